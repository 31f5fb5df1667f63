// The wing's text: names as the system gives them, UTF-16 (WideText), and
// UTF-8 (Text) where they leave the wing. No conversion loses a unit: a lone
// surrogate travels as its own three bytes, so no two names become one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "windows/platform/Records.h"
#include "windows/sysinfo/Unicode.h"

using Text = std::string;
using WideText = std::u16string;

// The units before the first zero unit, at most `units` of them (null
// gives the empty text).
void UnicodeToText(const os::WCHAR* unicode, size_t units, WideText& text);
// A counted string record; its buffer is read up to the first zero unit,
// never beyond the larger of its length and capacity.
void UnicodeStringToText(const os::UNICODE_STRING* string, WideText& text);

// The same as UTF-8.
void UnicodeToText(const os::WCHAR* unicode, Text& text);
void UnicodeToText(const os::WCHAR* unicode, size_t units, Text& text);
void UnicodeStringToText(const os::UNICODE_STRING* string, Text& text);

// The comparison rule of every pass and of device paths: the file
// system's, UTF-16 units upper-cased by the system's table.
bool NamesMatch(std::u16string_view a, std::u16string_view b);

// A name that `ask(buffer, units)` writes and cuts to fit, as the PSAPI
// calls do; empty when the call fails. A cut name fills the buffer, with or
// without its terminator (systems differ), so one that may have been cut is
// asked again with twice the room, up to the longest path the system names.
WideText AskFullName(const std::function<os::DWORD(os::WCHAR* buffer, os::DWORD units)>& ask);
