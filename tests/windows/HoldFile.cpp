// Test helper: uses files until a stop file appears (or a time-out passes),
// so that other processes can be asked who uses them.
//   HoldFile.exe STOPFILE SECONDS [open|map|load|cwd PATH]...
// open holds a handle; map maps a view and closes every handle; load loads
// a DLL; cwd makes the folder PATH the current one. It prints its process ID, then each file's short (8.3) path.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Paths beyond MAX_PATH are opened in their \\?\ form; one given so is
// opened exactly as written.
std::wstring Long(const wchar_t* path) {
    if (std::wcsncmp(path, L"\\\\?\\", 4) == 0) return path;
    std::wstring full(32768, L'\0');
    full.resize(::GetFullPathNameW(path, static_cast<DWORD>(full.size()), &full[0], nullptr));
    return full.size() >= MAX_PATH ? L"\\\\?\\" + full : full;
}

bool Use(const wchar_t* how, const wchar_t* path) {
    const std::wstring name = Long(path);
    if (std::wcscmp(how, L"load") == 0) return ::LoadLibraryW(name.c_str()) != nullptr;
    if (std::wcscmp(how, L"cwd") == 0) return ::SetCurrentDirectoryW(name.c_str()) != FALSE;
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (std::wcscmp(how, L"map") != 0) return true;
    DWORD written = 0;
    ::WriteFile(file, "mapped", 6, &written, nullptr);
    HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping != nullptr ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (mapping != nullptr) ::CloseHandle(mapping);
    ::CloseHandle(file);
    return view != nullptr;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3 || argc % 2 != 1) {
        std::fprintf(stderr, "usage: HoldFile STOPFILE SECONDS [open|map|load|cwd PATH]...\n");
        return 2;
    }
    for (int i = 3; i + 1 < argc; i += 2) {
        if (!Use(argv[i], argv[i + 1])) {
            std::fprintf(stderr, "HoldFile: cannot %ls %ls (error %lu)\n", argv[i], argv[i + 1], ::GetLastError());
            return 1;
        }
    }
    std::printf("holding in process 0x%04lX\n", ::GetCurrentProcessId());
    for (int i = 4; i < argc; i += 2) {
        wchar_t shortPath[MAX_PATH];
        const DWORD length = ::GetShortPathNameW(argv[i], shortPath, MAX_PATH);
        char utf8[4 * MAX_PATH];
        const int bytes = length != 0 && length < MAX_PATH
                              ? ::WideCharToMultiByte(CP_UTF8, 0, shortPath, -1, utf8, sizeof utf8, nullptr, nullptr)
                              : 0;
        std::printf("short %s\n", bytes > 0 ? utf8 : "");
    }
    std::fflush(stdout);
    const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(_wtoi(argv[2])) * 1000;
    while (::GetFileAttributesW(argv[1]) == INVALID_FILE_ATTRIBUTES &&
           static_cast<LONG>(deadline - ::GetTickCount()) > 0)
        ::Sleep(50);
    return 0;
}
