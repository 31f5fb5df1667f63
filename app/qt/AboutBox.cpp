#include "app/qt/AboutBox.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "app/qt/DialogUnits.h"
#include "app/qt/Icons.h"
#include "app/qt/Texts.h"

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QString::fromUtf8(texts::kAboutTitle));
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(235, 55));

    // The template's control order.
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    // The system's standard icon size, as the Windows program loads it.
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    icon->setPixmap(icons::Main().pixmap(size, size));
    const QRect iconCell = units.Rect(11, 17, 20, 20);
    icon->setGeometry(iconCell.x(), iconCell.y(), size, size);

    auto* notice = new QLabel(QString::fromUtf8(texts::kLegalNotice), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setGeometry(units.Rect(40, 24, 188, 8));

    auto* ok = new QPushButton(QString::fromUtf8(texts::kOk), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(units.Rect(178, 7, 50, 16));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* web = new QLabel(QString::fromUtf8(texts::kWebLine), this);
    web->setObjectName(QStringLiteral("web"));
    web->setGeometry(units.Rect(40, 40, 188, 8));

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    const QRect line = units.Rect(39, 36, 155, 1);
    separator->setGeometry(line.x(), line.y(), line.width(), qMax(line.height(), 2));

    ok->setFocus();
}
