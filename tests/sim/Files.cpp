#include <cctype>
#include <cstring>
#include <vector>

#include "tests/sim/generic/Paths.h"
#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {

bool IsDriveRoot(const std::string& path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool SameLetter(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

// Windows' rules for making a name absolute, in their common cases: drive
// paths, drive-relative names, rooted names, UNC paths and names relative
// to the current directory. "." and ".." are resolved; a trailing
// separator stays.
std::string FullPath(std::string name, const std::string& current) {
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    std::string root, rest;
    if (IsDriveRoot(name) && name.size() >= 3 && name[2] == '\\') {
        root = name.substr(0, 2);
        rest = name.substr(3);
    } else if (IsDriveRoot(name)) {
        if (SameLetter(name[0], current[0])) {
            root = current.substr(0, 2);
            rest = current.substr(2) + (name.size() > 2 ? "\\" + name.substr(2) : std::string());
        } else {
            root = name.substr(0, 2);
            rest = name.substr(2);
        }
    } else if (name.compare(0, 2, "\\\\") == 0) {
        size_t server = name.find('\\', 2);
        size_t share = server == std::string::npos ? std::string::npos : name.find('\\', server + 1);
        root = name.substr(0, share);
        rest = share == std::string::npos ? std::string() : name.substr(share + 1);
    } else if (name[0] == '\\') {
        root = current.substr(0, 2);
        rest = name.substr(1);
    } else {
        root = current.substr(0, 2);
        rest = current.substr(2) + "\\" + name;
    }
    std::vector<std::string> parts = simbase::ResolveDots(rest, '\\');
    std::string result = root;
    for (const auto& part : parts) result += "\\" + part;
    bool trailing = !rest.empty() && rest.back() == '\\';
    if (parts.empty() || trailing) result += "\\";
    return result;
}

}  // namespace

DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.fullPathCalls;
    if (state.data.settings.fullPathError != 0) {
        simbase::LastError() = state.data.settings.fullPathError;
        return 0;
    }
    if (lpFileName == nullptr || lpFileName[0] == '\0') {
        simbase::LastError() = kErrorInvalidName;
        return 0;
    }
    std::string full = FullPath(lpFileName, state.data.settings.currentDirectory);
    if (nBufferLength <= full.size() || lpBuffer == nullptr) return static_cast<DWORD>(full.size() + 1);
    std::memcpy(lpBuffer, full.c_str(), full.size() + 1);
    if (lpFilePart != nullptr) {
        size_t last = full.rfind('\\');
        *lpFilePart = last + 1 < full.size() ? lpBuffer + last + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}

DWORD QueryDosDeviceA(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (lpDeviceName == nullptr || lpTargetPath == nullptr) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    state.data.record.dosDeviceQueries.push_back(lpDeviceName);
    const std::string* target = nullptr;
    for (const auto& device : state.data.settings.dosDevices) {
        const std::string& name = device.first;
        bool same = name.size() == std::strlen(lpDeviceName);
        for (size_t i = 0; same && i < name.size(); ++i) same = SameLetter(name[i], lpDeviceName[i]);
        if (same) target = &device.second;
    }
    if (target == nullptr) {
        simbase::LastError() = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (target->size() + 1 > ucchMax) {
        simbase::LastError() = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    // The answer is a list of texts: the target, its zero, and the zero that
    // ends the list when there is room for it.
    std::memcpy(lpTargetPath, target->c_str(), target->size() + 1);
    DWORD stored = static_cast<DWORD>(target->size() + 1);
    if (stored < ucchMax) lpTargetPath[stored++] = '\0';
    return stored;
}

}  // namespace os
