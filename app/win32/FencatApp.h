// The application: runs the main window, and ends when it closes.
#pragma once

#include "app/win32/framework/WinApp.h"

class CFencatApp : public CWinApp {
public:
    CFencatApp() = default;
    BOOL InitInstance() override;

protected:
    const MessageTable* GetMessageTable() const override;

private:
    static const MessageEntry kEntries[];
    static const MessageTable kMessages;
};

extern CFencatApp theApp;
