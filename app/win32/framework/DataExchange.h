// One data exchange between a dialog's controls and its fields.
#pragma once

#include "app/win32/framework/Wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CWnd* const m_pDlgWnd;
    const bool m_bSaveAndValidate;  // controls to fields when true

    void Fail() { m_failed = true; }
    bool Failed() const { return m_failed; }

private:
    bool m_failed = false;
};

// Binds control `id` of the dialog to `control` on the first exchange (and
// again when the dialog has been made anew); fails when there is no such
// control.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
