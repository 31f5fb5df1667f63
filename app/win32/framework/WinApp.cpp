#include "app/win32/framework/WinApp.h"

#include <cstdlib>

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
    for (int i = 1; i < __argc; ++i) m_arguments.push_back(__argv[i]);
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
