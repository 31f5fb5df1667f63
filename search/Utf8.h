// Reading UTF-8, one sequence at a time: the one rule for every place that
// must tell UTF-8 from other bytes.
#pragma once

#include <cstddef>
#include <string>

// The sequence at `s` (at most `left` bytes): its length, with its value in
// `code`; 0 where there is none (a stray byte, an overlong form, a value
// beyond U+10FFFF, and a surrogate unless `surrogates` allows it, as the
// three-byte form that keeps a lone UTF-16 surrogate).
size_t Utf8Sequence(const unsigned char* s, size_t left, char32_t& code, bool surrogates = false);

// Appends the UTF-8 form of `code` (at most U+10FFFF; a lone surrogate gets
// its three-byte form).
void AppendUtf8(std::string& out, char32_t code);
