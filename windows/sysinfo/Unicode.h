// The wing's text rules that front ends share: UTF-16 to UTF-8 and back,
// with no unit lost (a lone surrogate travels as its own three bytes), and
// the form of a path that takes any length. Plain strings only, so that
// code that includes <windows.h> can use them too.
#pragma once

#include <string>
#include <string_view>

std::string ToUtf8(std::u16string_view wide);
// UTF-8 (and the three-byte forms of lone surrogates) back to UTF-16; a
// byte that is no part of UTF-8 becomes the lone surrogate U+DC00 + byte,
// which no character can produce.
std::u16string FromUtf8(std::string_view bytes);

// `path` in the form that takes any length: \\?\C:\... or \\?\UNC\....
std::u16string ExtendedLengthPath(const std::u16string& path);

// `name` made absolute by the system's rule, for names of any length; false
// (with the system's last error set) where the system cannot.
bool AbsolutePath(const std::u16string& name, std::u16string& full);
