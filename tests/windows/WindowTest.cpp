// The Win32 window classes in a process of their own: each test runs a real
// dialog modally and drives it from inside its modal loop, one scripted step
// per posted message, so that what the window posts (notices, searches) is
// dispatched between the steps just as it would be for a user.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/win32/AboutDlg.h"
#include "app/win32/FencatDlg.h"
#include "app/win32/PinDialog.h"
#include "app/win32/framework/WinApp.h"
#include "res/resource.h"

#include <shellapi.h>
#include <shlobj.h>  // DROPFILES

namespace {

CWinApp g_app;  // instance handle and icons for the dialogs

constexpr UINT kStep = WM_APP + 100;
constexpr int kEndedByScript = 99;

// A dialog of class Base that runs `steps` one by one once it is up, then
// ends itself with kEndedByScript (unless a step ended it before).
template <class Base>
class Scripted : public Base {
public:
    using Step = std::function<void(Scripted&)>;

    template <class... Args>
    explicit Scripted(std::vector<Step> steps, Args... args) : Base(args...), m_steps(std::move(steps)) {}

    size_t stepsRun = 0;

    HICON Icon(WPARAM which) { return reinterpret_cast<HICON>(this->SendMessage(WM_GETICON, which)); }
    bool Topmost() const { return (::GetWindowLongA(this->m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

protected:
    BOOL OnInitDialog() override {
        const BOOL result = Base::OnInitDialog();
        this->PostMessage(kStep);
        return result;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != kStep) return Base::WindowProc(message, wParam, lParam);
        if (stepsRun < m_steps.size()) {
            m_steps[stepsRun++](*this);
            this->PostMessage(kStep);
        } else {
            this->EndDialog(kEndedByScript);
        }
        return 0;
    }

private:
    std::vector<Step> m_steps;
};

// A top-level window that records the notices posted to it.
class Owner : public CWnd {
public:
    Owner() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &Owner::Proc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FencatTestOwner";
        ::RegisterClassA(&windowClass);
        m_hWnd = ::CreateWindowExA(0, "FencatTestOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
        notices().clear();
    }
    ~Owner() override { ::DestroyWindow(m_hWnd); }

    static std::vector<WPARAM>& notices() {
        static std::vector<WPARAM> received;
        return received;
    }

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_PINDIALOG_RESULT) {
            EXPECT_EQ(lParam, 0);
            notices().push_back(wParam);
            return 0;
        }
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
};

using PinDialog = Scripted<CPinDialog>;
using MainWindow = Scripted<CFencatDlg>;
using Notices = std::vector<WPARAM>;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_app.m_hInstance = ::GetModuleHandleA(nullptr);
        // Wine makes no windows without an X display.
        HWND probe = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(probe, nullptr) << "no windows can be made here (under Wine: no DISPLAY; tools/test-windows.sh "
                                     "runs these tests under Xvfb)";
        ::DestroyWindow(probe);
    }
};

// ---- the pinnable dialog, with a parent ---------------------------------

TEST_F(WindowTest, WithAParentOkCancelAndCloseOnlyNotifyAndTheDialogStaysOpen) {
    Owner owner;
    Notices seen;
    PinDialog dialog(
        {
            [](PinDialog& d) { d.SendMessage(WM_COMMAND, IDOK); },
            [](PinDialog& d) { d.SendMessage(WM_COMMAND, IDCANCEL); },
            [](PinDialog& d) { d.SendMessage(WM_CLOSE); },
            // Not a caption-icon command: the system's handling closes, which
            // is Cancel again.
            [](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_CLOSE); },
            [&](PinDialog&) { seen = Owner::notices(); },
        },
        IDD_ABOUT_BOX, IDI_PINNED, IDI_UNPINNED, &owner);
    EXPECT_EQ(dialog.DoModal(), kEndedByScript);
    EXPECT_EQ(dialog.stepsRun, 5u);
    EXPECT_EQ(seen, (Notices{IDOK, IDCANCEL, IDCANCEL, IDCANCEL}));
}

TEST_F(WindowTest, WithAParentLosingTheActivationNotifiesOnlyWhileUnpinned) {
    Owner owner;
    Notices unpinned, pinned;
    PinDialog dialog(
        {
            [](PinDialog& d) { d.SendMessage(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)); },
            [](PinDialog& d) { d.SendMessage(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0)); },
            [&](PinDialog& d) {
                unpinned = Owner::notices();
                d.SendMessage(WM_SYSCOMMAND, SC_MOUSEMENU);
            },
            [](PinDialog& d) { d.SendMessage(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)); },
            [&](PinDialog& d) {
                pinned = Owner::notices();
                d.SendMessage(WM_SYSCOMMAND, SC_MOUSEMENU);  // unpinned again for the end
            },
        },
        IDD_ABOUT_BOX, IDI_PINNED, IDI_UNPINNED, &owner);
    EXPECT_EQ(dialog.DoModal(), kEndedByScript);
    EXPECT_EQ(unpinned, Notices{IDCANCEL});
    EXPECT_EQ(pinned, Notices{IDCANCEL});
}

// ---- the pin -------------------------------------------------------------

TEST_F(WindowTest, CaptionIconCommandsToggleTopmostAndTheCaptionIcon) {
    struct State {
        bool topmost;
        HICON big, small;
    };
    std::vector<State> states;
    auto record = [&](PinDialog& d) { states.push_back({d.Topmost(), d.Icon(ICON_BIG), d.Icon(ICON_SMALL)}); };
    PinDialog dialog(
        {
            record,
            [&](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_MOUSEMENU), record(d); },
            [&](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_MOUSEMENU | 0xF), record(d); },
            [&](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_DEFAULT | 0x3), record(d); },
            [&](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_DEFAULT), record(d); },
        },
        IDD_ABOUT_BOX, IDI_PINNED, IDI_UNPINNED, nullptr);
    EXPECT_EQ(dialog.DoModal(), kEndedByScript);
    ASSERT_NE(dialog.m_pinnedIcon, nullptr);
    ASSERT_NE(dialog.m_unpinnedIcon, nullptr);
    ASSERT_NE(dialog.m_pinnedIcon, dialog.m_unpinnedIcon);
    ASSERT_EQ(states.size(), 5u);
    for (size_t i = 0; i < states.size(); ++i) {
        const bool pinned = i % 2 == 1;
        EXPECT_EQ(states[i].topmost, pinned) << i;
        EXPECT_EQ(states[i].big, pinned ? dialog.m_pinnedIcon : dialog.m_unpinnedIcon) << i;
        EXPECT_EQ(states[i].small, pinned ? dialog.m_pinnedIcon : dialog.m_unpinnedIcon) << i;
    }
}

TEST_F(WindowTest, ThePinNeitherMovesNorSizesTheWindow) {
    std::vector<RECT> rects;
    auto record = [&](PinDialog& d) {
        RECT rect;
        ::GetWindowRect(d.m_hWnd, &rect);
        rects.push_back(rect);
    };
    PinDialog dialog(
        {
            record,
            [&](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_MOUSEMENU), record(d); },
            [&](PinDialog& d) { d.SendMessage(WM_SYSCOMMAND, SC_MOUSEMENU), record(d); },
        },
        IDD_ABOUT_BOX, IDI_PINNED, IDI_UNPINNED, nullptr);
    EXPECT_EQ(dialog.DoModal(), kEndedByScript);
    ASSERT_EQ(rects.size(), 3u);
    // Centred, so that a move to the corner or a size of nothing would show.
    ASSERT_TRUE(rects[0].left > 0 && rects[0].top > 0 && rects[0].right > rects[0].left);
    for (size_t i = 1; i < rects.size(); ++i) EXPECT_TRUE(::EqualRect(&rects[i], &rects[0])) << i;
}

TEST_F(WindowTest, TheActivationMessageGetsNoDefaultHandling) {
    // The dialog's default handling would note the focused control when the
    // dialog loses the activation and give it the focus back when it regains it.
    HWND focus = reinterpret_cast<HWND>(1);
    HWND control = nullptr;
    PinDialog dialog({[&](PinDialog& d) {
                         control = ::GetFocus();
                         d.SendMessage(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0));
                         ::SetFocus(nullptr);
                         d.SendMessage(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0));
                         focus = ::GetFocus();
                     }},
                     IDD_ABOUT_BOX, IDI_PINNED, IDI_UNPINNED, nullptr);
    EXPECT_EQ(dialog.DoModal(), kEndedByScript);
    ASSERT_NE(control, nullptr) << "the dialog's button had the focus";
    EXPECT_EQ(focus, nullptr);
}

// ---- the pinnable dialog, without a parent ------------------------------

TEST_F(WindowTest, WithoutAParentOkCancelAndCloseEndTheDialog) {
    struct Case {
        UINT message;
        WPARAM wParam;
        INT_PTR result;
    };
    for (const Case& c : {Case{WM_COMMAND, IDOK, IDOK}, Case{WM_COMMAND, IDCANCEL, IDCANCEL},
                          Case{WM_CLOSE, 0, IDCANCEL}, Case{WM_SYSCOMMAND, SC_CLOSE, IDCANCEL}}) {
        PinDialog dialog({[&](PinDialog& d) { d.SendMessage(c.message, c.wParam); }}, IDD_ABOUT_BOX, IDI_PINNED,
                         IDI_UNPINNED, nullptr);
        EXPECT_EQ(dialog.DoModal(), c.result) << c.message << " " << c.wParam;
    }
}

// ---- the main window -----------------------------------------------------

// A shell drop object carrying `names`, as the shell makes it.
HDROP MakeDrop(const std::vector<std::string>& names) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& name : names) size += name.size() + 1;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    char* at = reinterpret_cast<char*>(drop + 1);
    for (const std::string& name : names) {
        std::memcpy(at, name.c_str(), name.size() + 1);
        at += name.size() + 1;
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::vector<std::string> Lines(CListBox& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.GetCount(); ++i) {
        std::string line;
        if (list.GetText(i, line)) lines.push_back(line);
    }
    return lines;
}

// The result lines of the list. A 32-bit window on 64-bit Windows adds one
// note after them, for the processes whose modules only the 64-bit one
// lists; a 64-bit window has nothing to add here.
std::vector<std::string> ResultLines(CListBox& list) {
    std::vector<std::string> lines = Lines(list);
    if (lines.empty() || lines.back().front() != '(') return lines;
#ifdef _WIN64
    ADD_FAILURE() << "a note from the 64-bit window: " << lines.back();
#else
    EXPECT_NE(lines.back().find(" modules need the 64-bit program)"), std::string::npos) << lines.back();
#endif
    lines.pop_back();
    return lines;
}

// This process's own result line, and a file it holds open.
class HeldFile {
public:
    HeldFile() {
        char directory[MAX_PATH];
        ::GetTempPathA(MAX_PATH, directory);
        name = "fencat-window-test-" + std::to_string(::GetCurrentProcessId()) + ".txt";
        path = std::string(directory) + name;
        handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        char image[MAX_PATH];
        DWORD length = ::GetModuleFileNameA(nullptr, image, MAX_PATH);
        std::string file(image, length);
        file = file.substr(file.find_last_of("\\/") + 1);
        char text[512];
        std::snprintf(text, sizeof text, "0x%04lX  %-20s", ::GetCurrentProcessId(), file.c_str());
        line = text;
    }
    ~HeldFile() {
        ::CloseHandle(handle);
        ::DeleteFileA(path.c_str());
    }
    std::string name, path, line;
    HANDLE handle;
};

TEST_F(WindowTest, TheMainWindowStartsWithItsIconsTheAboutItemAndItsList) {
    UINT lastId = 0, beforeLastState = 0;
    std::string lastText;
    HICON big = nullptr, small = nullptr, dragIcon = nullptr;
    HWND list = nullptr, item = nullptr;
    LONG exStyle = 0;
    MainWindow window(
        {[&](MainWindow& w) {
            HMENU menu = ::GetSystemMenu(w.m_hWnd, FALSE);
            const int count = ::GetMenuItemCount(menu);
            lastId = ::GetMenuItemID(menu, count - 1);
            char text[128] = "";
            ::GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof text, MF_BYPOSITION);
            lastText = text;
            beforeLastState = ::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION);
            big = w.Icon(ICON_BIG);
            small = w.Icon(ICON_SMALL);
            dragIcon = reinterpret_cast<HICON>(w.SendMessage(WM_QUERYDRAGICON));
            list = w.m_resultList.m_hWnd;
            item = ::GetDlgItem(w.m_hWnd, IDC_RESULT_LIST);
            exStyle = ::GetWindowLongA(w.m_hWnd, GWL_EXSTYLE);
        }});
    EXPECT_EQ(window.DoModal(), kEndedByScript);
    EXPECT_EQ(lastId, static_cast<UINT>(IDM_SHOW_ABOUT));
    EXPECT_EQ(lastText, "&About TolvarFencat...");
    EXPECT_TRUE(beforeLastState & MF_SEPARATOR);
    ASSERT_NE(window.m_mainIcon, nullptr);
    EXPECT_EQ(big, window.m_mainIcon);
    EXPECT_EQ(small, window.m_mainIcon);
    EXPECT_EQ(dragIcon, window.m_mainIcon);
    EXPECT_NE(list, nullptr);
    EXPECT_EQ(list, item);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
}

TEST_F(WindowTest, ADropSearchesItsFirstFileOnlyAndTheNextDropClearsTheList) {
    HeldFile held;
    ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
    std::vector<std::string> afterFirst, afterEmpty;
    HDROP first = MakeDrop({held.name, "kernel32.dll"});
    MainWindow window({
        [&](MainWindow& w) {
            w.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(first));
            afterFirst = ResultLines(w.m_resultList);
        },
        [&](MainWindow& w) {
            w.SendMessage(WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({})));
            afterEmpty = Lines(w.m_resultList);
        },
    });
    EXPECT_EQ(window.DoModal(), kEndedByScript);
    EXPECT_EQ(afterFirst, std::vector<std::string>{held.line});
    EXPECT_TRUE(afterEmpty.empty());
    // The window is done with the drop object: it has been given back.
    EXPECT_EQ(::GlobalFlags(first), static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST_F(WindowTest, AFileFromTheCommandLineIsSearchedOnceTheWindowIsUp) {
    HeldFile held;
    std::vector<std::string> lines;
    MainWindow window({[&](MainWindow& w) { lines = ResultLines(w.m_resultList); }});
    window.SetStartupFile(held.name);
    EXPECT_EQ(window.DoModal(), kEndedByScript);
    EXPECT_EQ(lines, std::vector<std::string>{held.line});
}

// Send To passes every file chosen, Explorer's verb a folder: each is
// searched, the folder with everything below it, and a file that is only
// mapped counts as used.
TEST_F(WindowTest, EveryFileOfTheStartIsSearchedAFolderWithWhatLiesBelowIt) {
    HeldFile held;
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string tag = std::to_string(::GetCurrentProcessId());
    const std::string folder = std::string(temp) + "fencat-window-tree-" + tag;
    const std::string inside = folder + "\\deep.txt";
    const std::string mapped = std::string(temp) + "fencat-window-mapped-" + tag + ".bin";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    HANDLE deep = ::CreateFileA(inside.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE file = ::CreateFileA(mapped.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(deep, INVALID_HANDLE_VALUE);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE section = ::CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    void* view = section != nullptr ? ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0) : nullptr;
    // Only the view keeps the file in use.
    ::CloseHandle(section);
    ::CloseHandle(file);
    ASSERT_NE(view, nullptr);

    std::vector<std::string> lines;
    MainWindow window({[&](MainWindow& w) { lines = ResultLines(w.m_resultList); }});
    window.SetStartupFiles({held.path, folder, mapped});
    EXPECT_EQ(window.DoModal(), kEndedByScript);
    EXPECT_EQ(lines, (std::vector<std::string>{held.line, held.line, held.line}));

    ::UnmapViewOfFile(view);
    ::CloseHandle(deep);
    ::DeleteFileA(inside.c_str());
    ::DeleteFileA(mapped.c_str());
    ::RemoveDirectoryA(folder.c_str());
}

// The About box runs modally inside the system command; a timer, which its
// modal loop dispatches, looks at it and closes it.
struct AboutSeen {
    HWND about = nullptr;
    HWND owner = nullptr;
    bool ownerEnabled = true;
};
AboutSeen g_aboutSeen;

void CALLBACK CloseAbout(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND about = ::FindWindowA(nullptr, "About Tolvar Fencat");
    if (about == nullptr) return;
    ::KillTimer(nullptr, timer);
    g_aboutSeen.about = about;
    g_aboutSeen.owner = ::GetWindow(about, GW_OWNER);
    g_aboutSeen.ownerEnabled = ::IsWindowEnabled(g_aboutSeen.owner) != FALSE;
    ::SendMessageA(about, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(WindowTest, WindowMenuCommandsSixteenToThirtyOneOpenTheAboutBoxOverTheMainWindow) {
    for (WPARAM command : {WPARAM{IDM_SHOW_ABOUT}, WPARAM{0x1F}}) {
        g_aboutSeen = AboutSeen();
        bool pinnedAfter = true;
        HWND main = nullptr;
        MainWindow window({[&](MainWindow& w) {
            main = w.m_hWnd;
            g_app.m_pMainWnd = &w;
            ::SetTimer(nullptr, 0, 50, &CloseAbout);
            w.SendMessage(WM_SYSCOMMAND, command);
            pinnedAfter = w.Topmost();
            g_app.m_pMainWnd = nullptr;
        }});
        EXPECT_EQ(window.DoModal(), kEndedByScript);
        EXPECT_NE(g_aboutSeen.about, nullptr) << command;
        EXPECT_EQ(g_aboutSeen.owner, main) << command;
        EXPECT_FALSE(g_aboutSeen.ownerEnabled) << "the main window waits for the About box";
        EXPECT_FALSE(pinnedAfter);
    }
}

}  // namespace
