#include "windows/sysinfo/FileIdentity.h"

#include <cstring>

bool SameFile(const FileId& a, const FileId& b) {
    if (static_cast<uint32_t>(a.volume) != static_cast<uint32_t>(b.volume) || a.low != b.low) return false;
    return !a.whole || !b.whole || (a.volume == b.volume && a.high == b.high);
}

bool ReadFileId(os::HANDLE file, FileId& id) {
    os::FILE_ID_INFO whole;
    if (os::GetFileInformationByHandleEx(file, os::FileIdInfo, &whole, sizeof whole)) {
        id.volume = whole.VolumeSerialNumber;
        std::memcpy(&id.low, whole.FileId, sizeof id.low);
        std::memcpy(&id.high, whole.FileId + sizeof id.low, sizeof id.high);
        id.whole = true;
        return true;
    }
    os::BY_HANDLE_FILE_INFORMATION info;
    if (!os::GetFileInformationByHandle(file, &info)) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.low = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.high = 0;
    id.whole = false;
    return true;
}

bool FileIdOfPath(const WideText& path, FileId& id) {
    const WideText name = ExtendedLengthPath(path);
    // Folders open only with backup semantics; no right beyond reading
    // attributes is asked, so nothing that may open the file is refused.
    os::HANDLE file = os::CreateFileW(name.c_str(), os::FILE_READ_ATTRIBUTES,
                                      os::FILE_SHARE_READ | os::FILE_SHARE_WRITE | os::FILE_SHARE_DELETE, nullptr,
                                      os::OPEN_EXISTING, os::FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == os::InvalidHandleValue() || file == nullptr) return false;
    const bool read = ReadFileId(file, id);
    os::CloseHandle(file);
    return read;
}
