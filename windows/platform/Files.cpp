// Paths, devices and files: the system's own.
#include "windows/platform/Api.h"
#include "windows/platform/Win32.h"

namespace os {

namespace {
LPCWSTR In(const WCHAR* text) { return reinterpret_cast<LPCWSTR>(text); }
LPWSTR Out(WCHAR* text) { return reinterpret_cast<LPWSTR>(text); }
}  // namespace

DWORD GetFullPathNameW(const WCHAR* name, DWORD size, WCHAR* buffer, WCHAR** filePart) {
    return ::GetFullPathNameW(In(name), size, Out(buffer), reinterpret_cast<LPWSTR*>(filePart));
}

DWORD QueryDosDeviceW(const WCHAR* name, WCHAR* target, DWORD size) { return ::QueryDosDeviceW(In(name), Out(target), size); }

DWORD GetShortPathNameW(const WCHAR* path, WCHAR* buffer, DWORD size) {
    return ::GetShortPathNameW(In(path), Out(buffer), size);
}

DWORD GetLongPathNameW(const WCHAR* path, WCHAR* buffer, DWORD size) {
    return ::GetLongPathNameW(In(path), Out(buffer), size);
}

HANDLE CreateFileW(const WCHAR* name, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                   HANDLE templateFile) {
    return ::CreateFileW(In(name), access, share, static_cast<LPSECURITY_ATTRIBUTES>(security), disposition, flags,
                         templateFile);
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
    return ::GetFileInformationByHandle(file, reinterpret_cast<::LPBY_HANDLE_FILE_INFORMATION>(information));
}

BOOL GetFileInformationByHandleEx(HANDLE file, int infoClass, LPVOID information, DWORD size) {
    return ::GetFileInformationByHandleEx(file, static_cast<::FILE_INFO_BY_HANDLE_CLASS>(infoClass), information, size);
}

}  // namespace os
