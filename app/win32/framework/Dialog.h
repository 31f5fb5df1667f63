// A modal dialog made from its template in the program's resources. The
// dialog's modal loop runs until OK or Cancel ends it.
#pragma once

#include "app/win32/framework/Wnd.h"

class CDialog : public CWnd {
public:
    // Without a parent, the application's main window (when it has one)
    // owns the dialog while it runs.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_templateId(templateId), m_parent(parent) {}

    // Shows the dialog and returns how it was ended (IDOK, IDCANCEL, …),
    // or -1 when it could not be made.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    // The first data exchange (fields to controls); true lets the system
    // give the focus to the first control that takes it.
    virtual BOOL OnInitDialog();
    // Saves the controls into the fields and, when that succeeded, ends
    // the dialog with IDOK.
    virtual void OnOK();
    virtual void OnCancel();

    // Over the owner when it is shown, else in the screen's work area.
    void CenterWindow();

protected:
    const MessageTable* GetMessageTable() const override;
    static const MessageTable kMessages;

private:
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    LRESULT HandleOk(WPARAM wParam, LPARAM lParam);
    LRESULT HandleCancel(WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK StartProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    CWnd* m_parent;
    static const MessageEntry kEntries[];
};
