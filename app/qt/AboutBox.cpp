#include "app/qt/AboutBox.h"

#include <QMessageBox>
#include <QStyle>

#include "fencat_version.h"

void ShowAbout(QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("About Tolvar Fencat"));
    const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    box.setIconPixmap(parent->windowIcon().pixmap(size, size));
    box.setText(QStringLiteral("<b>Tolvar Fencat</b> %1").arg(QStringLiteral(FENCAT_VERSION)));
    box.setInformativeText(
        QStringLiteral("Shows which running processes use a file: those that have it loaded or mapped, hold it "
                       "open, or have it as their current or root folder.<br><br>"
                       "Copyright (C) 2026 The Tolvar Fencat developers<br>"
                       "Licence: proprietary; all rights reserved.<br>"
                       "On the web: tolvar-fencat.invalid"));
    box.setStandardButtons(QMessageBox::Close);
    box.exec();
}
