#include "windows/sysinfo/DevicePaths.h"

#include <vector>

#include "search/Paths.h"
#include "windows/platform/Api.h"

namespace {

const WideText kRedirectorPrefix = u"\\Device\\LanmanRedirector\\";
constexpr os::DWORD kTargetSize = 4096;

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// ";Z:0000000000012345\" after the redirector's name: the drive letter and
// a decimal number (blanks and a sign allowed before it, as a formatted
// scan reads one). The number is dropped, so it is read without a value
// that could overflow. Null when the text is not in that form.
const char16_t* SkipDriveAndNumber(const char16_t* p) {
    if (p[0] != u';' || p[1] == 0 || p[2] != u':') return nullptr;
    p += 3;
    while (IsBlank(*p)) ++p;
    if (*p == u'+' || *p == u'-') ++p;
    if (!IsDigit(*p)) return nullptr;
    while (IsDigit(*p)) ++p;
    return *p == u'\\' ? p + 1 : nullptr;
}

// Whether `text` begins with `prefix`, by the file system's rule.
bool StartsWithName(const WideText& text, const WideText& prefix) {
    return NamesMatch(std::u16string_view(text).substr(0, prefix.size()), prefix);
}

// The drive's current target, in its plain form: a mapped network drive's
// target ("\Device\LanmanRedirector\;Z:0000…\server\share") loses its
// drive letter and number. False when the drive is not defined or its
// target cannot be read.
bool DriveTarget(const WideText& driveName, WideText& target) {
    std::vector<char16_t> buffer(kTargetSize + 1, 0);
    if (os::QueryDosDeviceW(driveName.c_str(), buffer.data(), kTargetSize) == 0) return false;
    const WideText text(buffer.data());
    if (!StartsWithName(text, kRedirectorPrefix)) {
        target = text;
        return true;
    }
    const char16_t* rest = SkipDriveAndNumber(text.c_str() + kRedirectorPrefix.size());
    if (rest == nullptr) return false;
    // The rest runs to the end of the target: share names may hold blanks.
    while (*rest == u' ' || *rest == u'\t') ++rest;
    if (*rest == 0) return false;
    target = kRedirectorPrefix + rest;
    return true;
}

}  // namespace

bool GetDeviceFileName(const WideText& path, WideText& deviceFileName) {
    // The drive name is the first two units; the empty path has none.
    const WideText driveName = path.substr(0, 2);
    WideText target;
    if (!DriveTarget(driveName, target)) return false;
    deviceFileName = target + path.substr(driveName.size());
    return true;
}

bool GetDosFileName(const WideText& deviceFileName, WideText& dosFileName) {
    WideText driveName = u"A:";
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        driveName[0] = letter;
        WideText target;
        if (!DriveTarget(driveName, target) || target.empty()) continue;
        const size_t n = target.size();
        // The target must end where a path component ends:
        // \Device\HarddiskVolume1 is no prefix of \Device\HarddiskVolume10.
        if (!StartsWithName(deviceFileName, target)) continue;
        if (deviceFileName.size() > n && !IsPathSeparator(deviceFileName[n], PathStyle::Windows) &&
            !IsPathSeparator(target[n - 1], PathStyle::Windows))
            continue;
        dosFileName = driveName + deviceFileName.substr(n);
        return true;
    }
    return false;
}

bool GetDeviceFileName(const char* path, Text& deviceFileName) {
    WideText device;
    if (!GetDeviceFileName(FromUtf8(path), device)) return false;
    deviceFileName = ToUtf8(device);
    return true;
}

bool GetDosFileName(const char* deviceFileName, Text& dosFileName) {
    WideText dos;
    if (!GetDosFileName(FromUtf8(deviceFileName), dos)) return false;
    dosFileName = ToUtf8(dos);
    return true;
}
