#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "tests/sim/generic/Paths.h"
#include "tests/sim/State.h"

namespace os {

using namespace sim::detail;

namespace {

// FileCaseSensitiveInfo of the handle information classes.
constexpr int kFileCaseSensitiveInfo = 23;

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

bool IsReservedName(std::u16string base) {
    while (!base.empty() && base.back() == u' ') base.pop_back();
    for (char16_t& c : base) c = FoldUnit(c, true);
    static const char16_t* const kNames[] = {u"CON", u"PRN", u"AUX", u"NUL"};
    for (const char16_t* name : kNames) {
        if (base == name) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
           base[3] >= u'1' && base[3] <= u'9';
}

// What the system makes of a name that is not in its \\?\ form: its final
// component loses its trailing dots and blanks, and a reserved name (nul.txt
// too) is the device \\.\NUL.
std::u16string Win32Form(std::u16string text) {
    if (text.compare(0, 4, u"\\\\.\\") == 0) return text;
    const size_t start = text.rfind(u'\\') == std::u16string::npos ? 0 : text.rfind(u'\\') + 1;
    while (text.size() > start && (text.back() == u'.' || text.back() == u' ')) text.pop_back();
    const std::u16string final = text.substr(start);
    if (!final.empty() && IsReservedName(final.substr(0, final.find(u'.')))) {
        std::u16string device = final.substr(0, final.find(u'.'));
        while (!device.empty() && device.back() == u' ') device.pop_back();
        for (char16_t& c : device) c = FoldUnit(c, true);
        return u"\\\\.\\" + device;
    }
    return text;
}

// A name as the file calls look it up: forward slashes as backslashes; a
// \\?\ name exactly as it stands after its prefix, any other in its Win32Form.
std::u16string LookupForm(const WCHAR* name) {
    std::u16string text(name);
    for (char16_t& c : text) {
        if (c == u'/') c = u'\\';
    }
    if (text.compare(0, 4, u"\\\\?\\") == 0) return text.substr(4);
    return Win32Form(text);
}

// The file that `name` names by its long or its short form; `isShort` tells which.
const sim::FileName* FindFile(Data& data, const WCHAR* name, bool* isShort = nullptr) {
    const std::u16string wanted = LookupForm(name);
    // A name of exactly these units first: in a case-sensitive folder two
    // files may differ by case alone.
    for (const sim::FileName& file : data.settings.files) {
        if (Wide(file.path) == wanted) {
            if (isShort != nullptr) *isShort = false;
            return &file;
        }
    }
    const bool ignoreCase = data.settings.nameCase == sim::NameCase::Ignore;
    for (const sim::FileName& file : data.settings.files) {
        const bool asShort = !file.shortPath.empty() && SameUnits(Wide(file.shortPath), wanted, ignoreCase);
        if (SameUnits(Wide(file.path), wanted, ignoreCase) || asShort) {
            if (isShort != nullptr) *isShort = asShort;
            return &file;
        }
    }
    return nullptr;
}

DWORD PathForm(const WCHAR* name, WCHAR* buffer, DWORD size, bool wantShort) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (name == nullptr) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const sim::FileName* file = FindFile(state.data, name);
    if (file == nullptr) {
        simbase::LastError() = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    const std::string& form = wantShort && !file->shortPath.empty() ? file->shortPath : file->path;
    return CopyOut(Wide(form), buffer, size);
}

}  // namespace

DWORD GetFullPathNameW(const WCHAR* lpFileName, DWORD nBufferLength, WCHAR* lpBuffer, WCHAR** lpFilePart) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.data.record.fullPathCalls;
    if (state.data.settings.fullPathError != 0) {
        simbase::LastError() = state.data.settings.fullPathError;
        return 0;
    }
    if (lpFileName == nullptr || lpFileName[0] == 0) {
        simbase::LastError() = kErrorInvalidName;
        return 0;
    }
    // A \\?\ name is taken as it stands.
    const std::u16string given(lpFileName);
    const std::u16string full = given.compare(0, 4, u"\\\\?\\") == 0
                                    ? given
                                    : Win32Form(Wide(FullPath(Narrow(lpFileName), state.data.settings.currentDirectory)));
    const DWORD length = CopyOut(full, lpBuffer, nBufferLength);
    if (lpFilePart != nullptr && length < nBufferLength) {
        size_t last = full.rfind(u'\\');
        *lpFilePart = last + 1 < full.size() ? lpBuffer + last + 1 : nullptr;
    }
    return length;
}

DWORD QueryDosDeviceW(const WCHAR* lpDeviceName, WCHAR* lpTargetPath, DWORD ucchMax) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (lpDeviceName == nullptr || lpTargetPath == nullptr) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const std::string deviceName = Narrow(lpDeviceName);
    state.data.record.dosDeviceQueries.push_back(deviceName);
    const std::string* target = nullptr;
    for (const auto& device : state.data.settings.dosDevices) {
        const std::string& name = device.first;
        bool same = name.size() == deviceName.size();
        for (size_t i = 0; same && i < name.size(); ++i) same = SameLetter(name[i], deviceName[i]);
        if (same) target = &device.second;
    }
    if (target == nullptr) {
        simbase::LastError() = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    const std::u16string text = Wide(*target);
    if (text.size() + 1 > ucchMax) {
        simbase::LastError() = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    // The answer is a list of texts: the target, its zero, and the zero that
    // ends the list when there is room for it.
    std::copy(text.begin(), text.end(), lpTargetPath);
    lpTargetPath[text.size()] = 0;
    DWORD stored = static_cast<DWORD>(text.size() + 1);
    if (stored < ucchMax) lpTargetPath[stored++] = 0;
    return stored;
}

DWORD GetShortPathNameW(const WCHAR* lpszLongPath, WCHAR* lpszShortPath, DWORD cchBuffer) {
    return PathForm(lpszLongPath, lpszShortPath, cchBuffer, true);
}

DWORD GetLongPathNameW(const WCHAR* lpszShortPath, WCHAR* lpszLongPath, DWORD cchBuffer) {
    return PathForm(lpszShortPath, lpszLongPath, cchBuffer, false);
}

HANDLE CreateFileW(const WCHAR* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, void* lpSecurityAttributes,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)dwShareMode;
    (void)lpSecurityAttributes;
    (void)dwFlagsAndAttributes;
    (void)hTemplateFile;
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING || dwDesiredAccess != FILE_READ_ATTRIBUTES) {
        Fault(state.data, "CreateFileW asked for more than a file's attributes");
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return InvalidHandleValue();
    }
    state.data.record.fileOpens.push_back(Narrow(lpFileName));
    const sim::FileName* file = FindFile(state.data, lpFileName);
    if (file == nullptr || file->openFails) {
        simbase::LastError() = file == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return InvalidHandleValue();
    }
    return simbase::InsertHandle(std::make_shared<FileObject>(*file));
}

namespace {

// The identity behind a handle: a file opened by name, or a copy of a file
// handle row; false for what has none.
bool IdentityOf(HANDLE handle, uint32_t& volume, uint64_t& id) {
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (auto file = simbase::LookupHandleAs<FileObject>(handle)) {
        volume = file->file.volume;
        id = file->file.id;
        return !file->file.idFails;
    }
    auto row = RowOf(state.data, handle);
    if (!row || !row->hasId) return false;
    volume = row->volume;
    id = row->fileId;
    return true;
}

}  // namespace

BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpFileInformation) {
    uint32_t volume;
    uint64_t id;
    if (lpFileInformation == nullptr || !IdentityOf(hFile, volume, id)) {
        simbase::LastError() = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    std::memset(lpFileInformation, 0, sizeof *lpFileInformation);
    lpFileInformation->dwVolumeSerialNumber = volume;
    lpFileInformation->nFileIndexHigh = static_cast<DWORD>(id >> 32);
    lpFileInformation->nFileIndexLow = static_cast<DWORD>(id);
    lpFileInformation->nNumberOfLinks = 1;
    return TRUE;
}

BOOL GetFileInformationByHandleEx(HANDLE hFile, int FileInformationClass, LPVOID lpFileInformation,
                                  DWORD dwBufferSize) {
    uint32_t volume;
    uint64_t id;
    if (FileInformationClass == kFileCaseSensitiveInfo && dwBufferSize >= sizeof(ULONG) && lpFileInformation != nullptr) {
        State& state = Sim();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (auto file = simbase::LookupHandleAs<FileObject>(hFile)) {
            const ULONG flags = file->file.caseSensitive ? 1 : 0;
            std::memcpy(lpFileInformation, &flags, sizeof flags);
            return TRUE;
        }
        simbase::LastError() = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (FileInformationClass != FileIdInfo || dwBufferSize < sizeof(FILE_ID_INFO) || lpFileInformation == nullptr) {
        simbase::LastError() = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!IdentityOf(hFile, volume, id)) {
        simbase::LastError() = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    FILE_ID_INFO info;
    std::memset(&info, 0, sizeof info);
    info.VolumeSerialNumber = volume;
    std::memcpy(info.FileId, &id, sizeof id);
    std::memcpy(lpFileInformation, &info, sizeof info);
    return TRUE;
}

}  // namespace os
