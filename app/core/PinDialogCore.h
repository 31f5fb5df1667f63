// What a pinnable dialog does, apart from any window system: the pin (always
// on top, with a caption icon per state) and the notices to a parent window.
// A window class implements PinDialogPort with its own calls and forwards its
// messages here.
#pragma once

#include <cstdint>

enum class CaptionIcon { Unpinned, Pinned };

class PinDialogPort {
public:
    // Asked anew at every OK, Cancel, close and unpinned deactivation.
    virtual bool HasParent() const = 0;
    // Queues the notice (code 1 or 2) for the parent; never waits for it.
    virtual void PostNoticeToParent(int code) = 0;
    // Data exchange from the controls to the fields.
    virtual bool SaveData() = 0;
    // The plain dialog's OK (save, then end with OK when that succeeded) and
    // Cancel (end with Cancel).
    virtual void PlainOk() = 0;
    virtual void PlainCancel() = 0;
    virtual void SetAlwaysOnTop(bool on) = 0;
    // Sets the big, then the small caption icon.
    virtual void SetCaptionIcon(CaptionIcon icon) = 0;
    // The window system's own handling of the system command in progress.
    virtual void DefaultSysCommand() = 0;

protected:
    ~PinDialogPort() = default;
};

class PinDialogCore {
public:
    static constexpr int kNoticeOk = 1;
    static constexpr int kNoticeCancel = 2;
    static constexpr uint32_t kCommandMask = 0xFFF0;
    static constexpr uint32_t kMouseMenuCommand = 0xF090;  // a press on the caption icon
    static constexpr uint32_t kDefaultCommand = 0xF160;    // the window menu's default item

    explicit PinDialogCore(PinDialogPort& port) : m_port(port) {}
    PinDialogCore(const PinDialogCore&) = delete;
    PinDialogCore& operator=(const PinDialogCore&) = delete;

    static bool IsPinCommand(uint32_t commandId);

    bool Pinned() const { return m_pinned != 0; }
    bool CancelOnDeactivate() const { return m_cancelOnDeactivate != 0; }
    void SetCancelOnDeactivate(bool cancel) { m_cancelOnDeactivate = cancel ? 1 : 0; }

    // After the window's own initialisation: the icon of the initial state.
    void OnInitDialog() { UpdateCaptionIcons(); }
    void UpdateCaptionIcons();
    // Toggles the pin on the caption icon commands; every other command gets
    // the default handling.
    void OnSysCommand(uint32_t commandId);
    void OnOk();
    void OnCancel();
    void OnClose() { OnCancel(); }
    // wParam of the activation message. The caller returns 0 and lets the
    // message go no further, activated or not.
    void OnActivate(uintptr_t wParam);

private:
    PinDialogPort& m_port;
    int32_t m_pinned = 0;
    int32_t m_cancelOnDeactivate = 1;
};
