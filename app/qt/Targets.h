// What the user asks about, from a drop, the path field, the file dialog or
// the command line, made into what the search takes. Names are bytes, as
// the kernel has them; a name that is no UTF-8 is searched as it is, and
// only shown as near as text can.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <string>
#include <vector>

#include "search/Search.h"

struct Target {
    QString shown;      // for the window's texts
    std::string name;   // as the search gets it: absolute and symlink-resolved where it is a path
    SearchScope scope;  // a folder is searched with everything below it
    QString problem;    // why it cannot be searched ("does not exist"); empty when it can
    int error = 0;      // the errno behind `problem`, where one is
};

// A file or folder by its local path.
Target TargetFromPath(const std::string& path);
// A NAME, as fencat --name takes it: that file name in any folder.
Target TargetFromName(const std::string& name);
// Typed text: a path (a bare name is the file of that name in the current
// folder, as fencat has a FILE), "~/…", "~user/…", or a file:// URL.
Target TargetFromText(const QString& text);
// "~", "~/…", "~user" and "~user/…" with the home folder they name, as a
// shell has them; anything else, and a user who does not exist, as given.
QString ExpandTilde(const QString& text);
// The local files of a drop, in its order; anything else is left out.
std::vector<Target> TargetsFromUrls(const QList<QUrl>& urls);

// The requests for the targets that can be searched.
std::vector<SearchRequest> RequestsFor(const std::vector<Target>& targets);
