#include "app/qt/Icons.h"

// Outside any namespace, as the resource system wants it. A static library's
// resources are registered only when something asks for them.
static void RegisterIcons() { Q_INIT_RESOURCE(icons); }

namespace {
QIcon Load(const char* path) {
    static const bool registered = (RegisterIcons(), true);
    (void)registered;
    return QIcon(QString::fromLatin1(path));
}
}  // namespace

namespace icons {
QIcon Main() { return Load(":/icons/main.ico"); }
QIcon Pinned() { return Load(":/icons/pinned.ico"); }
QIcon Unpinned() { return Load(":/icons/unpinned.ico"); }
}  // namespace icons
