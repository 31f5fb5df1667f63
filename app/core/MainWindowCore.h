// What the main window does, apart from any window system: the order of its
// start, the routing of window-menu commands, the About item, the position
// of the minimised icon and what happens to a drop after the search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/PinDialogCore.h"
#include "app/core/Drop.h"

class MainWindowPort {
public:
    // The pinnable dialog's own initialisation (the window framework's
    // first, then the caption icons of the initial state).
    virtual void InitPinDialog() = 0;
    virtual bool HasWindowMenu() const = 0;
    // The About item's text; empty when the program has none.
    virtual std::string AboutItemText() const = 0;
    virtual void AppendMenuSeparator() = 0;
    virtual void AppendMenuItem(uint32_t commandId, const std::string& text) = 0;
    // Sets the program's own icon as the big, then the small window icon.
    virtual void SetMainIcon() = 0;
    virtual void EnableDebugPrivilege() = 0;
    virtual void AcceptDrops() = 0;
    // Runs the About box to its end.
    virtual void ShowAbout() = 0;

protected:
    ~MainWindowPort() = default;
};

struct IconPosition {
    int x;
    int y;
};

class MainWindowCore {
public:
    static constexpr uint32_t kAboutCommand = 0x10;

    MainWindowCore(MainWindowPort& port, PinDialogCore& pin) : m_port(port), m_pin(pin) {}
    MainWindowCore(const MainWindowCore&) = delete;
    MainWindowCore& operator=(const MainWindowCore&) = delete;

    // Commands 16 to 31: the low four bits are the system's own.
    static bool IsAboutCommand(uint32_t commandId) { return (commandId & PinDialogCore::kCommandMask) == kAboutCommand; }
    // Centred with the +1 before halving, in signed arithmetic that truncates
    // toward zero.
    static IconPosition MinimisedIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight);
    // The drop message goes on to the ordinary handling unless the search
    // stopped early.
    static bool DropGoesOn(DropEnd end) { return end != DropEnd::Stopped; }

    void OnInitDialog();
    void OnSysCommand(uint32_t commandId);

private:
    void AddAboutItem();

    MainWindowPort& m_port;
    PinDialogCore& m_pin;
};
