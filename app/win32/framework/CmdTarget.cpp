#include "app/win32/framework/CmdTarget.h"

const MessageTable CCmdTarget::kMessages = {nullptr, nullptr, 0};

const MessageTable* CCmdTarget::GetMessageTable() const { return &kMessages; }

const MessageEntry* CCmdTarget::FindEntry(UINT message, WPARAM wParam) const {
    const UINT notification = HIWORD(wParam);
    // Commands come from menus (0), accelerators (1) and buttons (BN_CLICKED, 0).
    const bool command = message == WM_COMMAND && notification <= 1;
    for (const MessageTable* table = GetMessageTable(); table != nullptr; table = table->base) {
        for (size_t i = 0; i < table->count; ++i) {
            const MessageEntry& entry = table->entries[i];
            if (entry.message != message) continue;
            if (message != WM_COMMAND || (command && entry.commandId == LOWORD(wParam))) return &entry;
        }
    }
    return nullptr;
}

bool CCmdTarget::OnCmdMsg(UINT commandId, LRESULT& result) {
    const MessageEntry* entry = FindEntry(WM_COMMAND, MAKEWPARAM(commandId, 0));
    if (entry == nullptr) return false;
    result = entry->handler(*this, MAKEWPARAM(commandId, 0), 0);
    return true;
}
