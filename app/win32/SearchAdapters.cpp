#include "app/win32/SearchAdapters.h"

#include "app/win32/framework/WinApp.h"
#include "windows/sysinfo/Unicode.h"

uint32_t ShellDrop::QueryFile(uint32_t index, char* buffer, uint32_t size) const {
    // The drop's names as the shell holds them, UTF-16, passed on as UTF-8.
    const UINT length = ::DragQueryFileW(m_drop, index, nullptr, 0);
    if (length == 0) return 0;
    std::wstring wide(length + 1, L'\0');
    wide.resize(::DragQueryFileW(m_drop, index, &wide[0], length + 1));
    const std::string name = ToUtf8(std::u16string(wide.begin(), wide.end()));
    return NameListDrop({name}).QueryFile(0, buffer, size);
}

void ListBoxResults::Append(const char* line, const Finding&) {
    const std::u16string wide = FromUtf8(line);
    ::SendMessageW(m_list.m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void ListBoxResults::AppendNote(const std::string& text) {
    const std::u16string wide = FromUtf8(text);
    ::SendMessageW(m_list.m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::vector<StartupName> StartupNames(const std::vector<std::string>& files) {
    std::vector<StartupName> names;
    for (const std::string& file : files) {
        const DWORD attributes = ::GetFileAttributesW(
            reinterpret_cast<LPCWSTR>(ExtendedLengthPath(FromUtf8(file)).c_str()));
        names.push_back(StartupName{file, attributes != INVALID_FILE_ATTRIBUTES &&
                                              (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    }
    return names;
}

void AppWaitCursor::Begin() { CWinApp::Current()->BeginWaitCursor(); }
void AppWaitCursor::End() { CWinApp::Current()->EndWaitCursor(); }
