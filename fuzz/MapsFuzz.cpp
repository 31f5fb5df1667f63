// The maps parser on any text, and on maps text written the kernel's way
// for names of any bytes (a newline written as \012): each mapping's device,
// inode and name come back whole, in order.
#include <sys/sysmacros.h>

#include <cstdio>
#include <memory>

#include "fuzz/FuzzInput.h"
#include "linux/ProcText.h"

namespace {

std::string Escaped(const std::string& name) {
    std::string text;
    for (char c : name) text += c == '\n' ? std::string("\\012") : std::string(1, c);
    return text;
}

struct Expected {
    unsigned major, minor, inode;
    std::string name;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    if (in.U8() % 2 == 0) {
        // Any text, alone on the heap: nothing may be read beyond it.
        std::vector<unsigned char> rest = in.Rest();
        std::unique_ptr<char[]> text(new char[rest.size() + 1]);
        if (!rest.empty()) std::memcpy(text.get(), rest.data(), rest.size());
        const char* end = text.get() + rest.size();
        proc::ForEachLine(text.get(), rest.size(), [end](const char* b, const char* e) {
            proc::Mapping mapping;
            if (e > end || b > e) __builtin_trap();
            if (proc::ParseMapsLine(b, e, mapping)) {
                if (mapping.id.ino == 0 || mapping.path.empty() || mapping.path.data() < b ||
                    mapping.path.data() + mapping.path.size() != e)
                    __builtin_trap();
            }
        });
        return 0;
    }
    std::string text;
    std::vector<Expected> expected;
    uint64_t address = 0x400000;
    while (!in.Empty()) {
        // The kernel does not escape a backslash, so a name holding "\012"
        // cannot be told from one holding a newline; such names are left out.
        std::string name = "/" + in.Text(in.U8());
        if (name.find('\\') != std::string::npos) continue;
        const Expected e{in.U16() % 4096u, in.U16() % 1048576u, static_cast<unsigned>(in.U16()) + 1, name};
        char line[160];
        std::snprintf(line, sizeof line, "%llx-%llx r--p 00000000 %02x:%02x %u ",
                      static_cast<unsigned long long>(address), static_cast<unsigned long long>(address + 0x1000),
                      e.major, e.minor, e.inode);
        text += line + std::string(in.U8() % 30, ' ') + Escaped(name) + "\n";
        expected.push_back(e);
        address += 0x1000;
    }
    size_t at = 0;
    proc::ForEachLine(text.data(), text.size(), [&](const char* b, const char* e) {
        proc::Mapping mapping;
        if (!proc::ParseMapsLine(b, e, mapping) || at >= expected.size()) __builtin_trap();
        const Expected& want = expected[at++];
        if (mapping.id.dev != makedev(want.major, want.minor) || mapping.id.ino != want.inode ||
            proc::UnescapeMapsPath(mapping.path) != want.name)
            __builtin_trap();
    });
    if (at != expected.size()) __builtin_trap();
    return 0;
}
