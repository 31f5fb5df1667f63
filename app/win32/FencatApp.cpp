#include "app/win32/FencatApp.h"

#include <commctrl.h>

#include <iterator>
#include <string>
#include <vector>

#include "app/win32/FencatDlg.h"
#include "windows/sysinfo/Unicode.h"

const MessageEntry CFencatApp::kEntries[] = {
    {WM_COMMAND, ID_HELP, &Handle<CWinApp, &CFencatApp::OnHelp>},
};
const MessageTable CFencatApp::kMessages = {nullptr, kEntries, std::size(kEntries)};

const MessageTable* CFencatApp::GetMessageTable() const { return &kMessages; }

CFencatApp theApp;

std::string CFencatApp::AbsolutePath(const std::string& name) {
    std::u16string full;
    return !name.empty() && ::AbsolutePath(FromUtf8(name), full) ? ToUtf8(full) : name;
}

BOOL CFencatApp::InitInstance() {
    ::InitCommonControls();
    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");
    {
        CFencatDlg dialog;
        m_pMainWnd = &dialog;
        // Send To starts the program with every file chosen on its command
        // line, Explorer's menu with one file or folder; a relative name is
        // taken from the current folder now, so that the search's device
        // form of it names a drive.
        std::vector<std::string> files;
        for (const std::string& argument : m_arguments) {
            if (!argument.empty()) files.push_back(AbsolutePath(argument));
        }
        dialog.SetStartupFiles(std::move(files));
        dialog.DoModal();
        m_pMainWnd = nullptr;
    }
    // No application message loop: the program ends.
    return FALSE;
}
