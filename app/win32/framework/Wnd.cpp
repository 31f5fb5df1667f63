#include "app/win32/framework/Wnd.h"

#include <map>

#include "app/win32/framework/DataExchange.h"
#include "app/win32/framework/WinApp.h"

namespace {

// One user-interface thread: a plain map serves.
std::map<HWND, CWnd*>& PermanentMap() {
    static std::map<HWND, CWnd*> map;
    return map;
}

}  // namespace

CWnd::~CWnd() {
    if (m_superProc != nullptr && m_hWnd != nullptr) {
        // The object ends before its window: give the window its own
        // procedure back, so that no message reaches a dead object.
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
        PermanentMap().erase(m_hWnd);
    }
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    if (hWnd != nullptr && m_superProc != nullptr) PermanentMap().erase(hWnd);
    m_hWnd = nullptr;
    m_superProc = nullptr;
    return hWnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    auto found = PermanentMap().find(hWnd);
    return found != PermanentMap().end() ? found->second : nullptr;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::RedrawWindow(const RECT* update, HRGN region, UINT flags) const {
    return ::RedrawWindow(m_hWnd, update, region, flags);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, result)) return result;
    return DefWindowProc(message, wParam, lParam);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (const MessageEntry* entry = FindEntry(message, wParam)) {
        result = entry->handler(*this, wParam, lParam);
        return true;
    }
    // A command no window takes may still be the application's.
    if (message == WM_COMMAND && HIWORD(wParam) <= 1 && lParam == 0) {
        CWinApp* app = CWinApp::Current();
        if (app != nullptr && app->OnCmdMsg(LOWORD(wParam), result)) return true;
    }
    return false;
}

LRESULT CWnd::Default() { return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam); }

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_superProc != nullptr) return ::CallWindowProcA(m_superProc, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

void CWnd::SubclassWindow(HWND hWnd) {
    m_hWnd = hWnd;
    PermanentMap()[hWnd] = this;
    m_superProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StandardProc)));
}

LRESULT CALLBACK CWnd::StandardProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* window = FromHandlePermanent(hWnd);
    if (window == nullptr) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    // Handlers may send messages to their own window: keep the outer one.
    const Message outer = window->m_current;
    window->m_current = Message{message, wParam, lParam};
    LRESULT result = window->WindowProc(message, wParam, lParam);
    window->m_current = outer;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(window->m_superProc));
        window->Detach();
    }
    return result;
}
