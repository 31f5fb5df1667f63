#include "app/win32/FencatApp.h"

#include <commctrl.h>

#include <iterator>

#include "app/core/MainWindowCore.h"
#include "app/win32/FencatDlg.h"

const MessageEntry CFencatApp::kEntries[] = {
    {WM_COMMAND, ID_HELP, &Handle<CWinApp, &CFencatApp::OnHelp>},
};
const MessageTable CFencatApp::kMessages = {nullptr, kEntries, std::size(kEntries)};

const MessageTable* CFencatApp::GetMessageTable() const { return &kMessages; }

CFencatApp theApp;

BOOL CFencatApp::InitInstance() {
    ::InitCommonControls();
    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");
    {
        CFencatDlg dialog;
        m_pMainWnd = &dialog;
        // Send To starts the program with the file on its command line.
        dialog.SetStartupFile(MainWindowCore::StartupFile(m_arguments));
        dialog.DoModal();
        m_pMainWnd = nullptr;
    }
    // No application message loop: the program ends.
    return FALSE;
}
