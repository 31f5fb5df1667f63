// ParseMaps on any text, and on maps text written the kernel's way for
// names of any bytes (a newline written as \012): the names come back
// whole, in order of their first mapping, each once.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>

#include "fuzz/FuzzInput.h"
#include "platform/linux/Linux.h"

using standin::linux_proc::MappedFile;
using standin::linux_proc::ParseMaps;

namespace {

std::string Escaped(const std::string& name) {
    std::string text;
    for (char c : name) text += c == '\n' ? std::string("\\012") : std::string(1, c);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::vector<MappedFile> files;
    if (in.U8() % 2 == 0) {
        // Any text, alone on the heap: nothing may be read beyond it.
        std::vector<unsigned char> rest = in.Rest();
        std::unique_ptr<char[]> text(new char[rest.size() + 1]);
        if (!rest.empty()) std::memcpy(text.get(), rest.data(), rest.size());
        ParseMaps(text.get(), rest.size(), files);
        std::set<std::string> seen;
        for (const MappedFile& file : files) {
            if (file.path.empty() || file.path[0] != '/' || !seen.insert(file.path).second) __builtin_trap();
        }
        return 0;
    }
    std::string text;
    std::vector<std::string> expected;
    uint64_t address = 0x400000;
    while (!in.Empty()) {
        // The kernel does not escape a backslash, so a name holding "\012"
        // cannot be told from one holding a newline; such names are left out.
        std::string name = "/" + in.Text(in.U8());
        if (name.find('\\') != std::string::npos) continue;
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) expected.push_back(name);
        char line[128];
        std::snprintf(line, sizeof line, "%llx-%llx r--p 00000000 08:01 %u ", static_cast<unsigned long long>(address),
                      static_cast<unsigned long long>(address + 0x1000), static_cast<unsigned>(in.U16()) + 1);
        text += line + std::string(in.U8() % 30, ' ') + Escaped(name) + "\n";
        address += 0x1000;
    }
    ParseMaps(text.data(), text.size(), files);
    if (files.size() != expected.size()) __builtin_trap();
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].path != expected[i]) __builtin_trap();
    }
    return 0;
}
