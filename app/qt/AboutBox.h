// The About box: the program, its version, copyright and licence, under
// the icon of `parent`'s window.
#pragma once

class QWidget;

void ShowAbout(QWidget* parent);
