// The main window: a short usage text and the result list. A file dropped on
// it (or named on the command line) is searched, and the list shows every
// process that uses it.
#pragma once

#include <string>
#include <vector>

#include "app/core/MainWindowCore.h"
#include "app/win32/PinDialog.h"
#include "app/win32/framework/ListBox.h"

class CFencatDlg : public CPinDialog, private MainWindowPort {
public:
    explicit CFencatDlg(CWnd* parent = nullptr);
    ~CFencatDlg() override;

    HICON m_mainIcon;
    CListBox m_resultList;

    // Files (or folders) to search as soon as the window is up.
    void SetStartupFiles(std::vector<std::string> names) { m_startupFiles = std::move(names); }
    void SetStartupFile(const std::string& name) { SetStartupFiles({name}); }

protected:
    const MessageTable* GetMessageTable() const override;
    void DoDataExchange(CDataExchange* dx) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;

private:
    LRESULT HandleSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT HandlePaint(WPARAM wParam, LPARAM lParam);
    LRESULT HandleQueryDragIcon(WPARAM wParam, LPARAM lParam);
    LRESULT HandleLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT HandleSearchStartupFile(WPARAM wParam, LPARAM lParam);

    void InitPinDialog() override;
    bool HasWindowMenu() const override;
    std::string AboutItemText() const override;
    void AppendMenuSeparator() override;
    void AppendMenuItem(uint32_t commandId, const std::string& text) override;
    void SetMainIcon() override;
    void EnableDebugPrivilege() override;
    void AcceptDrops() override;
    void ShowAbout() override;

    MainWindowCore m_core;
    std::vector<std::string> m_startupFiles;

    static const MessageEntry kEntries[];
    static const MessageTable kMessages;
};
