// The program's icons, from res/: 128 the magnifying glass, 129 the pin seen
// head-on (pinned), 130 the pin from the side (unpinned).
#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

namespace icons {
// Every image of an .ico file, in file order, transparent where it should be.
QList<QImage> Images(const QString& path);

QIcon Main();
QIcon Pinned();
QIcon Unpinned();
}  // namespace icons
