#include "app/core/MainWindowCore.h"

IconPosition MainWindowCore::MinimisedIconPosition(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return IconPosition{(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

void MainWindowCore::OnInitDialog() {
    m_port.InitPinDialog();
    AddAboutItem();
    m_port.SetMainIcon();
    m_port.EnableDebugPrivilege();
    m_port.AcceptDrops();
}

void MainWindowCore::AddAboutItem() {
    if (!m_port.HasWindowMenu()) return;
    const std::string text = m_port.AboutItemText();
    if (text.empty()) return;
    m_port.AppendMenuSeparator();
    m_port.AppendMenuItem(kAboutCommand, text);
}

void MainWindowCore::OnSysCommand(uint32_t commandId) {
    if (IsAboutCommand(commandId))
        m_port.ShowAbout();
    else
        m_pin.OnSysCommand(commandId);
}
