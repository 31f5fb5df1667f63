// The Windows front ends' words: the system calls whose failure stopped the
// search, with the error codes its users know.
#include <cstdio>

#include "search/Trace.h"

namespace {

std::string Stopped(const SearchStop& stop) {
    switch (stop.cause) {
    case SearchStop::Cause::None: break;
    case SearchStop::Cause::NameUnresolved: {
        char line[64];
        std::snprintf(line, sizeof line, "GetFullPathName() failed. Error = %d\n", stop.code);
        return line;
    }
    case SearchStop::Cause::ProcessesUnread: return "SystemModulesInformation::Refresh() failed.\n";
    case SearchStop::Cause::NoLoadedFiles: return "No module information\n";
    case SearchStop::Cause::DeviceUnnamed: return "GetDeviceFileName() failed.\n";
    case SearchStop::Cause::NoOpenFiles: return "No handle information\n";
    case SearchStop::Cause::FileSystemUnsupported: return "Searching a whole file system is not supported here.\n";
    }
    return std::string();
}

}  // namespace

const TraceWords& WindowsTraceWords() {
    static const TraceWords words{"DragDrop", Stopped};
    return words;
}
