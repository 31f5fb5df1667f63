#include "windows/sysinfo/Text.h"

#include "windows/platform/Api.h"

void UnicodeToText(const os::WCHAR* unicode, size_t units, Text& text) {
    text.clear();
    if (unicode == nullptr) return;
    size_t n = 0;
    while (n < units && unicode[n] != 0) ++n;
    if (n == 0) return;
    // Plain ASCII is the same in every ANSI code page, and most names are.
    size_t ascii = 0;
    while (ascii < n && unicode[ascii] < 0x80) ++ascii;
    if (ascii == n) {
        text.resize(n);
        for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>(unicode[i]);
        return;
    }
    // The platform's own code page conversion, so that names outside
    // Latin-1 arrive as the shell and the file system spell them.
    int count = static_cast<int>(n);
    int bytes = os::WideCharToMultiByte(os::CP_ACP, 0, unicode, count, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    text.resize(static_cast<size_t>(bytes));
    bytes = os::WideCharToMultiByte(os::CP_ACP, 0, unicode, count, &text[0], bytes, nullptr, nullptr);
    text.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
}

void UnicodeToText(const os::WCHAR* unicode, Text& text) {
    UnicodeToText(unicode, static_cast<size_t>(-1), text);
}

void UnicodeStringToText(const os::UNICODE_STRING* string, Text& text) {
    if (string->Length == 0 && string->MaximumLength == 0) {
        text.clear();
        return;
    }
    size_t bytes = string->Length > string->MaximumLength ? string->Length : string->MaximumLength;
    UnicodeToText(string->Buffer, bytes / sizeof(os::WCHAR), text);
}
