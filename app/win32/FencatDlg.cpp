#include "app/win32/FencatDlg.h"

#include <shellapi.h>

#include <iterator>

#include "app/win32/AboutDlg.h"
#include "app/win32/SearchAdapters.h"
#include "app/win32/framework/DataExchange.h"
#include "app/win32/framework/PaintDC.h"
#include "app/win32/framework/WinApp.h"
#include "res/resource.h"
#include "search/Search.h"
#include "windows/search/MappedViews.h"

static_assert(IDM_SHOW_ABOUT == MainWindowCore::kAboutCommand, "the About command");

namespace {
// Posted from the initialisation, so that the window is on screen before the
// search blocks it.
constexpr UINT kSearchStartupFile = WM_APP + 1;
}  // namespace

const MessageEntry CFencatDlg::kEntries[] = {
    {WM_SYSCOMMAND, 0, &Handle<CFencatDlg, &CFencatDlg::HandleSysCommand>},
    {WM_PAINT, 0, &Handle<CFencatDlg, &CFencatDlg::HandlePaint>},
    {WM_QUERYDRAGICON, 0, &Handle<CFencatDlg, &CFencatDlg::HandleQueryDragIcon>},
    {WM_LBUTTONDOWN, 0, &Handle<CFencatDlg, &CFencatDlg::HandleLButtonDown>},
    {kSearchStartupFile, 0, &Handle<CFencatDlg, &CFencatDlg::HandleSearchStartupFile>},
};
const MessageTable CFencatDlg::kMessages = {&CPinDialog::kMessages, kEntries, std::size(kEntries)};

const MessageTable* CFencatDlg::GetMessageTable() const { return &kMessages; }

CFencatDlg::CFencatDlg(CWnd* parent)
    : CPinDialog(IDD_MAIN_WINDOW, IDI_PINNED, IDI_UNPINNED, parent), m_mainIcon(nullptr), m_core(*this, m_pin) {
    m_mainIcon = CWinApp::Current()->LoadIcon(IDI_UNPINNED);
    // A file that is only mapped is in use as much as one held open.
    SearchMappedViews(true);
}

CFencatDlg::~CFencatDlg() = default;

void CFencatDlg::DoDataExchange(CDataExchange* dx) {
    CPinDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_RESULT_LIST, m_resultList);
}

LRESULT CFencatDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DROPFILES) return CPinDialog::WindowProc(message, wParam, lParam);
    HDROP drop = reinterpret_cast<HDROP>(wParam);
    ListBoxResults results(m_resultList);
    AppWaitCursor cursor;
    const DropEnd end = HandleDrop(ShellDrop(drop), results, cursor);
    LRESULT result = 0;
    if (MainWindowCore::DropGoesOn(end)) result = CPinDialog::WindowProc(message, wParam, lParam);
    // Nothing after this reads the drop; the shell's object is freed here.
    ::DragFinish(drop);
    return result;
}

BOOL CFencatDlg::OnInitDialog() {
    m_core.OnInitDialog();
    if (!m_startupFiles.empty()) PostMessage(kSearchStartupFile);
    return TRUE;
}

LRESULT CFencatDlg::HandleSysCommand(WPARAM wParam, LPARAM) {
    m_core.OnSysCommand(static_cast<uint32_t>(wParam));
    return 0;
}

LRESULT CFencatDlg::HandlePaint(WPARAM, LPARAM) {
    if (!IsIconic()) return Default();
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    RECT client;
    GetClientRect(&client);
    const IconPosition at =
        MainWindowCore::MinimisedIconPosition(client.right - client.left, client.bottom - client.top,
                                              ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    dc.DrawIcon(at.x, at.y, m_mainIcon);
    return 0;
}

LRESULT CFencatDlg::HandleQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_mainIcon); }

// A press anywhere in the client area that no control takes moves the
// window, as a press on the caption would.
LRESULT CFencatDlg::HandleLButtonDown(WPARAM, LPARAM lParam) {
    Default();
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(LOWORD(lParam), HIWORD(lParam)));
    return 0;
}

LRESULT CFencatDlg::HandleSearchStartupFile(WPARAM, LPARAM) {
    ListBoxResults results(m_resultList);
    AppWaitCursor cursor;
    HandleStartup(StartupNames(m_startupFiles), results, cursor);
    return 0;
}

void CFencatDlg::InitPinDialog() { CPinDialog::OnInitDialog(); }

bool CFencatDlg::HasWindowMenu() const { return ::GetSystemMenu(m_hWnd, FALSE) != nullptr; }

std::string CFencatDlg::AboutItemText() const {
    char text[256];
    const int length = ::LoadStringA(CWinApp::Current()->m_hInstance, IDS_ABOUT_ITEM, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

void CFencatDlg::AppendMenuSeparator() { ::AppendMenuA(::GetSystemMenu(m_hWnd, FALSE), MF_SEPARATOR, 0, nullptr); }

void CFencatDlg::AppendMenuItem(uint32_t commandId, const std::string& text) {
    ::AppendMenuA(::GetSystemMenu(m_hWnd, FALSE), MF_STRING, commandId, text.c_str());
}

void CFencatDlg::SetMainIcon() {
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_mainIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_mainIcon));
}

void CFencatDlg::EnableDebugPrivilege() { EnableSearchPrivileges(); }

void CFencatDlg::AcceptDrops() { ::DragAcceptFiles(m_hWnd, TRUE); }

void CFencatDlg::ShowAbout() {
    CAboutDlg about;
    about.DoModal();
}
