// The conversions of the platform's UTF-16 names into 8-bit text, and the
// simulated system's round trip of 8-bit names through UTF-16, on any code units.
#include <memory>

#include "fuzz/FuzzInput.h"
#include "tests/sim/generic/Utf.h"
#include "windows/sysinfo/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    sim::Reset();
    sim::Set().nameCase = in.U8() % 2 == 0 ? sim::NameCase::Ignore : sim::NameCase::Exact;
    const uint16_t length = in.U16(), capacity = in.U16();
    const std::vector<unsigned char> bytes = in.Rest();

    // The units alone on the heap, exactly as many as the input holds.
    const size_t units = bytes.size() / 2;
    std::unique_ptr<char16_t[]> text(new char16_t[units == 0 ? 1 : units]);
    if (units != 0) std::memcpy(text.get(), bytes.data(), units * 2);
    Text out;
    UnicodeToText(text.get(), units, out);
    // A counted string never reads beyond the larger of its two lengths.
    os::UNICODE_STRING string;
    string.Length = static_cast<os::USHORT>(length <= units * 2 ? length : units * 2);
    string.MaximumLength = static_cast<os::USHORT>(capacity <= units * 2 ? capacity : units * 2);
    string.Buffer = text.get();
    UnicodeStringToText(&string, out);

    // Every 8-bit name survives the trip to UTF-16 and back.
    const std::u16string wide = simbase::Utf8ToUtf16(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!wide.empty()) {
        const int count = static_cast<int>(wide.size());
        const int needed = simbase::Utf16ToUtf8(wide.data(), count, nullptr, 0);
        std::string back(static_cast<size_t>(needed), '\0');
        if (simbase::Utf16ToUtf8(wide.data(), count, &back[0], needed) != needed) __builtin_trap();
        if (back != std::string(bytes.begin(), bytes.end())) __builtin_trap();
    }
    return 0;
}
