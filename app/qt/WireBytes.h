// The bytes of a name fencat wrote in JSON, from the UTF-16 text a JSON
// reader makes of it. Free of Qt, so the fuzz targets can check it against
// what fencat writes.
#pragma once

#include <cstddef>
#include <string>

// fencat writes bytes that are no UTF-8 as lone surrogates U+DC80…U+DCFF;
// those become their bytes again, the rest UTF-8 (another lone surrogate
// "?", as Qt writes it).
std::string BytesOfUtf16(const char16_t* units, size_t count);
