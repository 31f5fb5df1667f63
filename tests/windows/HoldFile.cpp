// Test helper: holds a file open until a stop file appears (or a time-out
// passes), so that other processes can be asked who uses it.
//   HoldFile.exe FILE STOPFILE SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: HoldFile FILE STOPFILE SECONDS\n");
        return 2;
    }
    HANDLE file = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "HoldFile: cannot open %s (error %lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    std::printf("holding %s in process 0x%04lX\n", argv[1], ::GetCurrentProcessId());
    std::fflush(stdout);
    const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    while (::GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES && static_cast<LONG>(deadline - ::GetTickCount()) > 0)
        ::Sleep(50);
    ::CloseHandle(file);
    return 0;
}
