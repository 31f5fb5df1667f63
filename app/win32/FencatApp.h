// The application: runs the main window, and ends when it closes.
#pragma once

#include <string>

#include "app/win32/framework/WinApp.h"

class CFencatApp : public CWinApp {
public:
    CFencatApp() = default;
    BOOL InitInstance() override;

    // `name` (UTF-8) made absolute by the system's rule; as it is when it
    // cannot be.
    static std::string AbsolutePath(const std::string& name);

protected:
    const MessageTable* GetMessageTable() const override;

private:
    static const MessageEntry kEntries[];
    static const MessageTable kMessages;
};

extern CFencatApp theApp;
