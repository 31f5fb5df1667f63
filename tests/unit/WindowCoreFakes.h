// A window that records, in order, what the window cores ask of it.
#pragma once

#include <string>
#include <vector>

#include "app/core/MainWindowCore.h"
#include "app/core/PinDialogCore.h"

class FakeWindow : public PinDialogPort, public MainWindowPort {
public:
    std::vector<std::string> calls;
    bool hasParent = false;
    bool saveSucceeds = true;
    bool hasWindowMenu = true;
    std::string aboutText = "&About TolvarFencat...";

    // Pin dialog
    bool HasParent() const override { return hasParent; }
    void PostNoticeToParent(int code) override { calls.push_back("notice " + std::to_string(code)); }
    bool SaveData() override {
        calls.push_back("save");
        return saveSucceeds;
    }
    void PlainOk() override { calls.push_back("plain ok"); }
    void PlainCancel() override { calls.push_back("plain cancel"); }
    void SetAlwaysOnTop(bool on) override {
        calls.push_back(on ? "topmost" : "not topmost");
    }
    void SetCaptionIcon(CaptionIcon which) override {
        calls.push_back(which == CaptionIcon::Pinned ? "icon pinned" : "icon unpinned");
    }
    void DefaultSysCommand() override { calls.push_back("default"); }

    // Main window
    void InitPinDialog() override { calls.push_back("pin init"); }
    bool HasWindowMenu() const override { return hasWindowMenu; }
    std::string AboutItemText() const override { return aboutText; }
    void AppendMenuSeparator() override { calls.push_back("separator"); }
    void AppendMenuItem(uint32_t id, const std::string& text) override {
        calls.push_back("item " + std::to_string(id) + " " + text);
    }
    void SetMainIcon() override { calls.push_back("main icon"); }
    void EnableDebugPrivilege() override { calls.push_back("debug privilege"); }
    void AcceptDrops() override { calls.push_back("accept drops"); }
    void ShowAbout() override { calls.push_back("about"); }
};
