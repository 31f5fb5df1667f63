// The Linux front ends' words: what failed, with errno's text.
#include <cstring>

#include "search/Trace.h"

namespace {

std::string WithCode(const char* what, int code) {
    return std::string(what) + (code != 0 ? std::string(": ") + std::strerror(code) : std::string()) + "\n";
}

std::string Stopped(const SearchStop& stop) {
    switch (stop.cause) {
    case SearchStop::Cause::None: break;
    case SearchStop::Cause::NameUnresolved: return WithCode("the name could not be resolved", stop.code);
    case SearchStop::Cause::ProcessesUnread: return WithCode("/proc could not be read", stop.code);
    case SearchStop::Cause::NoLoadedFiles: return WithCode("no loaded file could be read", stop.code);
    case SearchStop::Cause::DeviceUnnamed: return WithCode("the file's device could not be named", stop.code);
    case SearchStop::Cause::NoOpenFiles: return WithCode("no open file could be read", stop.code);
    case SearchStop::Cause::FileSystemUnsupported: return WithCode("a whole file system cannot be searched", stop.code);
    }
    return std::string();
}

}  // namespace

const TraceWords& LinuxTraceWords() {
    static const TraceWords words{"Search", Stopped};
    return words;
}
