// The application object: one global instance, made before the entry point
// runs. The entry point calls InitInstance once; the program's windows run
// their own modal loops, so when InitInstance returns, the program ends.
#pragma once

#include <string>
#include <vector>

#include "app/win32/framework/CmdTarget.h"

class CWnd;

// The framework's Help command.
constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
public:
    // Without a name, the program file's name (without extension) serves.
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    static CWinApp* Current() { return s_current; }

    // The framework's own instance initialisation; a derived class calls it
    // from its own.
    virtual BOOL InitInstance();
    // The program's exit status.
    virtual int ExitInstance();

    // Names the per-user settings key; the framework itself stores nothing.
    void SetRegistryKey(const char* key) { m_registryKey = key; }
    HICON LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }

    // The wait cursor, counted: it stays until as many ends as begins.
    void BeginWaitCursor() { DoWaitCursor(1); }
    void EndWaitCursor() { DoWaitCursor(-1); }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    std::string m_appName;
    std::string m_registryKey;
    std::vector<std::string> m_arguments;  // the command line, without the program

    // Called once by the entry point.
    int Run(HINSTANCE instance);

protected:
    // The row of the Help command; the program has no help file to show.
    LRESULT OnHelp(WPARAM wParam, LPARAM lParam);

private:
    void DoWaitCursor(int change);

    static CWinApp* s_current;
    int m_waitCount = 0;
    HCURSOR m_restoreCursor = nullptr;
};
