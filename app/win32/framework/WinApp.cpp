#include "app/win32/framework/WinApp.h"

#include <shellapi.h>

#include <cstdlib>

#include "windows/sysinfo/Unicode.h"

CWinApp* CWinApp::s_current = nullptr;

CWinApp::CWinApp(const char* appName) {
    if (appName != nullptr) m_appName = appName;
    s_current = this;
}

CWinApp::~CWinApp() {
    if (s_current == this) s_current = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

LRESULT CWinApp::OnHelp(WPARAM, LPARAM) { return 0; }

int CWinApp::Run(HINSTANCE instance) {
    m_hInstance = instance;
    if (m_appName.empty()) {
        char path[MAX_PATH];
        DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
        std::string name(path, length < MAX_PATH ? length : 0);
        name = name.substr(name.find_last_of("\\/") + 1);
        m_appName = name.substr(0, name.rfind('.'));
    }
    // The command line as the system holds it, UTF-16, so that no name
    // outside the ANSI code page is lost; kept as UTF-8.
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; arguments != nullptr && i < count; ++i)
        m_arguments.push_back(ToUtf8(reinterpret_cast<const char16_t*>(arguments[i])));
    ::LocalFree(arguments);
    InitInstance();
    return ExitInstance();
}

void CWinApp::DoWaitCursor(int change) {
    m_waitCount += change;
    if (m_waitCount < 0) m_waitCount = 0;
    if (change > 0) {
        HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        if (m_waitCount == 1) m_restoreCursor = previous;
    } else if (m_waitCount == 0) {
        ::SetCursor(m_restoreCursor);
    }
}
