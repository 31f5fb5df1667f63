// Paths and devices. There are no drive letters: an absolute path is its
// own device path.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Api.h"
#include "platform/generic/Paths.h"
#include "platform/linux/Linux.h"

namespace {

// Makes `name` absolute against the current directory and resolves "." and
// ".." as text, like the platform's full-path rule (links are not followed).
bool FullPath(const char* name, std::string& out) {
    std::string path;
    if (name[0] != '/') {
        std::vector<char> cwd(4096);
        while (getcwd(cwd.data(), cwd.size()) == nullptr) {
            if (errno != ERANGE) return false;
            cwd.resize(cwd.size() * 2);
        }
        path = cwd.data();
        path += '/';
    }
    path += name;
    std::vector<std::string> parts = standin::ResolveDots(path, '/');
    out = "/";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) out += '/';
        out += parts[i];
    }
    const bool trailing = path.size() > 1 && path.back() == '/';
    if (trailing && out.size() > 1) out += '/';
    return true;
}

}  // namespace

namespace os {

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
    if (name == nullptr || name[0] == '\0') {
        standin::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::string full;
    if (!FullPath(name, full)) {
        standin::LastError() = standin::linux_proc::ErrorFromErrno(errno);
        return 0;
    }
    if (full.size() + 1 > size) return static_cast<DWORD>(full.size() + 1);
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart != nullptr) {
        char* last = std::strrchr(buffer, '/');
        *filePart = last != nullptr && last[1] != '\0' ? last + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}

// The "drive name" of an absolute path is its first two bytes, and each
// stands for itself, so that a path translates to the path itself.
DWORD QueryDosDeviceA(LPCSTR name, LPSTR target, DWORD size) {
    if (name == nullptr || name[0] != '/') {
        standin::LastError() = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    size_t length = std::strlen(name);
    if (length + 2 > size) {
        standin::LastError() = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(target, name, length + 1);
    target[length + 1] = '\0';  // the list of targets ends with an empty one
    return static_cast<DWORD>(length + 2);
}

}  // namespace os
