// What a search on Linux looks for: each name the user gave, resolved once
// into what the scan of /proc compares with.
#pragma once

#include <string>
#include <vector>

#include "search/Search.h"
#include "linux/ProcText.h"

namespace proc {

struct Target {
    enum class Match {
        Name,      // the final component of the path text, exact bytes
        Identity,  // the same file: device and inode
        Tree,      // path text at or below `text`, '/' the only separator
        Device,    // any file on the device of `id`
    };
    Match match = Match::Name;
    std::string text;  // Name: the bare name; Tree: the folder, resolved
    FileId id;
    // What /proc/PID/maps shows for the file, where a stacked file system
    // shows another inode than stat does.
    FileId mapsId;
    // The sockets bound to the file: they stand for it, as fuser counts it.
    std::vector<uint64_t> sockets;
    bool socketFile = false;  // whether the file is a socket
    bool folder = false;      // whether the file is a folder
};

// Resolves `name` for `scope`: a file is found by identity, a folder of a
// tree by its resolved text, a name by its text. False, with errno's value
// in `error`, when it names nothing. `procRoot` is the /proc to read this
// process's own maps and the bound sockets from.
bool ResolveTarget(const std::string& name, SearchScope scope, Target& target, int& error, int procRoot);

}  // namespace proc
