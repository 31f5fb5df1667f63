// The program's icons, from res/: 128 the magnifying glass, 129 the pin seen
// head-on (pinned), 130 the pin from the side (unpinned).
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QStringList>

namespace icons {
// Every image of an .ico file, in file order, transparent where it should be.
QList<QImage> Images(const QString& path);

QIcon Main();
QIcon Pinned();
QIcon Unpinned();

// The first of the theme's icons by these names (or their -symbolic forms)
// that can be drawn, else `fallback`.
QIcon Themed(const QStringList& names, const QIcon& fallback);
// The icon of the window's action of that object name ("refresh", …):
// the theme's, else the program's own.
QIcon ForAction(const QString& action);
}  // namespace icons
