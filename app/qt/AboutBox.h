// The About box: the program, its version, copyright and licence.
#pragma once

class QWidget;

void ShowAbout(QWidget* parent);
