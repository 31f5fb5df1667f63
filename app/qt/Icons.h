// The program's icons, from res/: 128 the magnifying glass, 129 the pin seen
// head-on (pinned), 130 the pin from the side (unpinned).
#pragma once

#include <QIcon>

namespace icons {
QIcon Main();
QIcon Pinned();
QIcon Unpinned();
}  // namespace icons
