#include "windows/sysinfo/Text.h"

#include "search/Utf8.h"
#include "windows/platform/Api.h"

void UnicodeToText(const os::WCHAR* unicode, size_t units, WideText& text) {
    text.clear();
    if (unicode == nullptr) return;
    size_t n = 0;
    while (n < units && unicode[n] != 0) ++n;
    text.assign(unicode, n);
}

void UnicodeStringToText(const os::UNICODE_STRING* string, WideText& text) {
    if (string->Length == 0 && string->MaximumLength == 0) {
        text.clear();
        return;
    }
    size_t bytes = string->Length > string->MaximumLength ? string->Length : string->MaximumLength;
    UnicodeToText(string->Buffer, bytes / sizeof(os::WCHAR), text);
}

bool NamesMatch(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    return a.empty() || os::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                 static_cast<int>(b.size()), os::TRUE) == os::CSTR_EQUAL;
}

WideText AskFullName(const std::function<os::DWORD(os::WCHAR* buffer, os::DWORD units)>& ask) {
    constexpr size_t kLongestPath = 32768;
    WideText name(os::MAX_PATH, u'\0');
    for (;;) {
        const os::DWORD length = ask(&name[0], static_cast<os::DWORD>(name.size()));
        if (length == 0) return WideText();
        if (length + 1 < name.size() || name.size() >= kLongestPath) {
            name.resize(length < name.size() ? length : name.size());
            return name;
        }
        name.resize(name.size() * 2);
    }
}

void UnicodeToText(const os::WCHAR* unicode, size_t units, Text& text) {
    WideText wide;
    UnicodeToText(unicode, units, wide);
    text = ToUtf8(wide);
}

void UnicodeToText(const os::WCHAR* unicode, Text& text) { UnicodeToText(unicode, static_cast<size_t>(-1), text); }

void UnicodeStringToText(const os::UNICODE_STRING* string, Text& text) {
    WideText wide;
    UnicodeStringToText(string, wide);
    text = ToUtf8(wide);
}

Text ToUtf8(std::u16string_view wide) {
    Text out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t code = wide[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
        AppendUtf8(out, code);
    }
    return out;
}

WideText FromUtf8(std::string_view bytes) {
    WideText out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        char32_t code;
        const size_t n = Utf8Sequence(s + i, bytes.size() - i, code, true);
        if (n == 0) {
            out += static_cast<char16_t>(0xDC00 + s[i++]);
            continue;
        }
        i += n;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::u16string ExtendedLengthPath(const std::u16string& path) {
    if (path.size() < os::MAX_PATH || path.compare(0, 4, u"\\\\?\\") == 0) return path;
    if (path.compare(0, 2, u"\\\\") == 0) return u"\\\\?\\UNC\\" + path.substr(2);
    return u"\\\\?\\" + path;
}

bool AbsolutePath(const std::u16string& name, std::u16string& full) {
    std::u16string buffer(os::MAX_PATH, u'\0');
    for (int pass = 0; pass < 3; ++pass) {
        const os::DWORD length =
            os::GetFullPathNameW(name.c_str(), static_cast<os::DWORD>(buffer.size()), &buffer[0], nullptr);
        if (length == 0) return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            full = std::move(buffer);
            return true;
        }
        // The size it would need; a name that grows meanwhile is asked again.
        buffer.assign(length + 1, u'\0');
    }
    return false;
}

