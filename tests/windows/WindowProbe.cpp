// Test helper: reads and drives another process's window from outside.
//   WindowProbe.exe wait TITLE SECONDS     exit 0 once a window TITLE exists
//   WindowProbe.exe list TITLE [COUNT SECONDS]
//                                          the lines of its result list; with
//                                          COUNT, waits for that many first
//   WindowProbe.exe topmost TITLE          1 when always on top, else 0
//   WindowProbe.exe sysmenu TITLE          the texts of its window menu
//   WindowProbe.exe syscommand TITLE ID    posts WM_SYSCOMMAND ID to it
//   WindowProbe.exe where TITLE            "left top right bottom" of the window,
//                                          then the screen point of its caption icon
//   WindowProbe.exe gone TITLE SECONDS     exit 0 once no window TITLE exists
// Exit status 1 when the window is not there (or does not go), 2 on misuse.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kResultList = 1000;

HWND Find(const char* title) { return ::FindWindowA(nullptr, title); }

HWND WaitFor(const char* title, int seconds) {
    const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    for (;;) {
        HWND window = Find(title);
        if (window != nullptr || static_cast<LONG>(deadline - ::GetTickCount()) <= 0) return window;
        ::Sleep(50);
    }
}

int List(HWND window, int count, int seconds) {
    HWND list = ::GetDlgItem(window, kResultList);
    if (list == nullptr) return 1;
    const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    // The search fills the list while its window is busy: wait for the
    // lines, each query with a time-out of its own.
    DWORD_PTR lines = 0;
    for (;;) {
        if (::SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &lines) &&
            static_cast<int>(lines) >= count)
            break;
        if (static_cast<LONG>(deadline - ::GetTickCount()) <= 0) return 1;
        ::Sleep(100);
    }
    // In UTF-16: Wine 8 hands the ANSI form of LB_GETTEXT to another
    // process as UTF-16 all the same.
    for (int i = 0; i < static_cast<int>(lines); ++i) {
        wchar_t text[1024];
        LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= 1024) return 1;
        length = ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        if (length < 0) return 1;
        char line[4096];
        int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), line, sizeof line - 1, nullptr, nullptr);
        line[bytes > 0 ? bytes : 0] = '\0';
        std::printf("%s\n", line);
    }
    return 0;
}

int SysMenu(HWND window) {
    HMENU menu = ::GetSystemMenu(window, FALSE);
    if (menu == nullptr) return 1;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        ::GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        std::printf("%u\t%s\n", ::GetMenuItemID(menu, i), text);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string command = argv[1];
    const char* title = argv[2];
    if (command == "wait") return argc == 4 && WaitFor(title, std::atoi(argv[3])) != nullptr ? 0 : 1;
    if (command == "gone") {
        const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(argc == 4 ? std::atoi(argv[3]) : 0) * 1000;
        while (Find(title) != nullptr) {
            if (static_cast<LONG>(deadline - ::GetTickCount()) <= 0) return 1;
            ::Sleep(50);
        }
        return 0;
    }
    HWND window = Find(title);
    if (window == nullptr) return 1;
    if (command == "list") return List(window, argc >= 4 ? std::atoi(argv[3]) : 0, argc >= 5 ? std::atoi(argv[4]) : 0);
    if (command == "topmost") {
        std::printf("%d\n", (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0 ? 1 : 0);
        return 0;
    }
    if (command == "sysmenu") return SysMenu(window);
    if (command == "where") {
        RECT r;
        ::GetWindowRect(window, &r);
        // The small icon sits at the caption's left, inside the frame.
        const int x = r.left + ::GetSystemMetrics(SM_CXFIXEDFRAME) + ::GetSystemMetrics(SM_CXSMICON) / 2 + 1;
        const int y = r.top + ::GetSystemMetrics(SM_CYFIXEDFRAME) + ::GetSystemMetrics(SM_CYCAPTION) / 2;
        std::printf("%ld %ld %ld %ld %d %d\n", r.left, r.top, r.right, r.bottom, x, y);
        return 0;
    }
    if (command == "syscommand" && argc == 4) {
        return ::PostMessageA(window, WM_SYSCOMMAND, std::strtoul(argv[3], nullptr, 0), 0) ? 0 : 1;
    }
    return 2;
}
