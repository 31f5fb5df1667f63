#include "windows/sysinfo/DevicePaths.h"

#include <cstring>
#include <vector>

#include "windows/platform/Api.h"

namespace {

const char kRedirectorPrefix[] = "\\Device\\LanmanRedirector\\";
constexpr size_t kRedirectorPrefixLength = sizeof kRedirectorPrefix - 1;
constexpr os::DWORD kTargetSize = 4096;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ";Z:0000000000012345\" after the redirector's name: the drive letter and
// a decimal number (blanks and a sign allowed before it, as a formatted
// scan reads one). The number is dropped, so it is read without a value
// that could overflow. Null when the text is not in that form.
const char* SkipDriveAndNumber(const char* p) {
    if (p[0] != ';' || p[1] == '\0' || p[2] != ':') return nullptr;
    p += 3;
    while (IsBlank(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!IsDigit(*p)) return nullptr;
    while (IsDigit(*p)) ++p;
    return *p == '\\' ? p + 1 : nullptr;
}

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
    const char* rest = SkipDriveAndNumber(text + kRedirectorPrefixLength);
    if (rest == nullptr) return false;
    // The rest runs to the end of the target: share names may hold blanks.
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
    // The empty path has no second byte to read.
    char driveName[3] = {path[0], path[0] != '\0' ? path[1] : '\0', '\0'};
    if (!os::IsDBCSLeadByte(static_cast<os::BYTE>(driveName[0])) && driveName[1] != '\0' &&
        os::IsDBCSLeadByte(static_cast<os::BYTE>(driveName[1])))
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
