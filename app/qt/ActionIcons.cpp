// The actions' icons: the desktop theme's where it has one that can be drawn
// here (a theme of SVG icons without Qt's SVG engine has none), else one of
// the program's own, drawn in the window's text colour.
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <cstring>

#include "app/qt/Icons.h"

namespace {

// Each on a 24 x 24 grid; `ink` is the text colour.
void Draw(QPainter& p, const char* name, const QColor& ink) {
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const auto is = [name](const char* n) { return std::strcmp(name, n) == 0; };
    if (is("document")) {
        p.drawPolygon(QPolygonF({{6, 3}, {14, 3}, {19, 8}, {19, 21}, {6, 21}}));
        p.drawPolyline(QPolygonF({{14, 3}, {14, 8}, {19, 8}}));
    } else if (is("folder")) {
        p.drawPolygon(QPolygonF({{3, 6}, {9, 6}, {11, 8}, {21, 8}, {21, 19}, {3, 19}}));
        p.drawLine(QPointF(3, 11), QPointF(21, 11));
    } else if (is("find")) {
        p.drawEllipse(QPointF(10, 10), 6, 6);
        p.drawLine(QPointF(14.5, 14.5), QPointF(20, 20));
    } else if (is("close")) {
        p.drawLine(QPointF(6, 6), QPointF(18, 18));
        p.drawLine(QPointF(18, 6), QPointF(6, 18));
    } else if (is("stop")) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc0, 0x1c, 0x28));
        p.drawPolygon(QPolygonF({{8, 2}, {16, 2}, {22, 8}, {22, 16}, {16, 22}, {8, 22}, {2, 16}, {2, 8}}));
        p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(16, 16));
        p.drawLine(QPointF(16, 8), QPointF(8, 16));
    } else if (is("copy")) {
        p.drawRect(QRectF(4, 4, 10, 12));
        p.drawRect(QRectF(10, 8, 10, 12));
    } else if (is("all")) {
        p.setPen(QPen(ink, 2, Qt::DashLine));
        p.drawRect(QRectF(4, 4, 16, 16));
    } else if (is("refresh")) {
        p.drawArc(QRectF(4, 4, 16, 16), 90 * 16, 270 * 16);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({{12, 1}, {16, 4}, {12, 7}}));
    } else if (is("eye")) {
        QPainterPath eye;
        eye.moveTo(2, 12);
        eye.quadTo(12, 2, 22, 12);
        eye.quadTo(12, 22, 2, 12);
        p.drawPath(eye);
        p.setBrush(ink);
        p.drawEllipse(QPointF(12, 12), 3, 3);
    } else if (is("clock")) {
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawPolyline(QPolygonF({{12, 6}, {12, 12}, {16, 14}}));
    } else if (is("lock")) {
        p.drawArc(QRectF(8, 3, 8, 10), 0, 180 * 16);
        p.drawLine(QPointF(8, 8), QPointF(8, 11));
        p.drawLine(QPointF(16, 8), QPointF(16, 11));
        p.setBrush(ink);
        p.drawRect(QRectF(5, 11, 14, 10));
    } else if (is("about")) {
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.drawLine(QPointF(12, 11), QPointF(12, 17));
        p.drawPoint(QPointF(12, 7.5));
    }
}

QIcon Drawn(const char* name) {
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 24.0, size / 24.0);
        Draw(painter, name, ink);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

namespace icons {

QIcon Themed(const QStringList& names, const QIcon& fallback) {
    for (const QString& name : names) {
        for (const QString& themed : {name, name + QLatin1String("-symbolic")}) {
            const QIcon icon = QIcon::fromTheme(themed);
            if (!icon.isNull() && !icon.pixmap(16, 16).isNull()) return icon;
        }
    }
    return fallback;
}

QIcon ForAction(const QString& action) {
    struct Choice {
        const char* action;
        const char* themed;  // names, by a space
        const char* drawn;
    };
    static const Choice kChoices[] = {
        {"open", "document-open", "document"},
        {"openDirectory", "folder-open", "folder"},
        {"editPath", "edit-find", "find"},
        {"close", "window-close", "close"},
        {"endProcess", "process-stop", "stop"},
        {"openFolder", "document-open-folder folder-open", "folder"},
        {"copyRows", "edit-copy", "copy"},
        {"copyPids", "edit-copy", "copy"},
        {"copyAll", "edit-select-all", "all"},
        {"refresh", "view-refresh", "refresh"},
        {"watch", "view-visible view-reveal", "eye"},
        {"waitFree", "appointment-soon alarm", "clock"},
        {"checkAll", "dialog-password changes-allow", "lock"},
        {"about", "help-about", "about"},
    };
    for (const Choice& choice : kChoices) {
        if (action == QLatin1String(choice.action))
            return Themed(QString::fromLatin1(choice.themed).split(u' '), Drawn(choice.drawn));
    }
    return QIcon();
}

}  // namespace icons
