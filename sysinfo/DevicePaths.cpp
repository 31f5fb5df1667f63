#include "sysinfo/DevicePaths.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Api.h"

namespace {

const char kRedirectorPrefix[] = "\\Device\\LanmanRedirector\\";
constexpr size_t kRedirectorPrefixLength = sizeof kRedirectorPrefix - 1;
constexpr os::DWORD kTargetSize = 4096;

bool EqualPrefix(const char* a, const char* b, size_t count) {
    return os::_mbsnbicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b),
                          count) == 0;
}

// The drive's current target, in its plain form: a mapped network drive's
// target ("\Device\LanmanRedirector\;Z:0000…\server\share") loses its
// drive letter and number. False when the drive is not defined or its
// target cannot be read.
bool DriveTarget(const char* driveName, Text& target) {
    std::vector<char> buffer(kTargetSize + 1, '\0');
    if (os::QueryDosDeviceA(driveName, buffer.data(), kTargetSize) == 0) return false;
    const char* text = buffer.data();
    if (!EqualPrefix(text, kRedirectorPrefix, kRedirectorPrefixLength)) {
        target = text;
        return true;
    }
    char letter;
    int number;
    int restAt = -1;
    // The rest runs to the end of the target: share names may hold blanks.
    if (std::sscanf(text + kRedirectorPrefixLength, ";%c:%d\\%n", &letter, &number, &restAt) < 2 || restAt < 0)
        return false;
    const char* rest = text + kRedirectorPrefixLength + restAt;
    while (*rest == ' ' || *rest == '\t') ++rest;
    if (*rest == '\0') return false;
    target = kRedirectorPrefix;
    target += rest;
    return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool GetDeviceFileName(const char* path, Text& deviceFileName) {
    // The drive name is the first two bytes, unless that would split a
    // double-byte character.
    char driveName[3] = {path[0], path[1], '\0'};
    if (!os::IsDBCSLeadByte(static_cast<os::BYTE>(path[0])) && path[1] != '\0' &&
        os::IsDBCSLeadByte(static_cast<os::BYTE>(path[1])))
        driveName[1] = '\0';
    Text target;
    if (!DriveTarget(driveName, target)) return false;
    target += path + std::strlen(driveName);
    deviceFileName = target;
    return true;
}

bool GetDosFileName(const char* deviceFileName, Text& dosFileName) {
    char driveName[3] = {'A', ':', '\0'};
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        driveName[0] = letter;
        Text target;
        if (!DriveTarget(driveName, target) || target.empty()) continue;
        const size_t n = target.size();
        // The target must end where a path component ends:
        // \Device\HarddiskVolume1 is no prefix of \Device\HarddiskVolume10.
        if (std::strlen(deviceFileName) < n || !EqualPrefix(deviceFileName, target.c_str(), n)) continue;
        if (deviceFileName[n] != '\0' && !IsSeparator(deviceFileName[n]) && !IsSeparator(target[n - 1])) continue;
        dosFileName = driveName;
        dosFileName += deviceFileName + n;
        return true;
    }
    return false;
}
