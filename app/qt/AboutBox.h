// The About box: the program icon, the legal notice, the web-site line and
// an OK button.
#pragma once

#include <QDialog>

class AboutBox : public QDialog {
    Q_OBJECT

public:
    explicit AboutBox(QWidget* owner = nullptr);
};
