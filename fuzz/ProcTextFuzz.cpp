// The Linux stand-ins' other /proc texts: descriptor links of every kind
// (with a socket table from /proc/net/unix), a pidfd's fdinfo, a status
// text's CapEff line, and the reading of a whole file.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "fuzz/FuzzInput.h"
#include "platform/generic/Utf.h"
#include "platform/linux/Linux.h"

using namespace standin::linux_proc;

namespace {

void Link(FuzzInput& in) {
    UnixSockets sockets;
    const std::string table = in.Text(in.U16());
    ParseUnixSockets(table.data(), table.size(), sockets);
    const std::vector<unsigned char> bytes = in.Rest();
    const std::string link(bytes.begin(), bytes.end());
    Descriptor descriptor;
    descriptor.Set(link.data(), link.size(), &sockets);
    // A descriptor is a file exactly when it names a path, and its name is
    // that text, byte for byte, in the records' UTF-16.
    if (descriptor.IsFile() != (std::string(descriptor.type) == "File")) __builtin_trap();
    if (descriptor.link != link && sockets.PathOf(link) == nullptr) __builtin_trap();
    std::string back(descriptor.link.size() * 3 + 1, '\0');
    const int written = descriptor.name.empty() ? 0
                                                : standin::Utf16ToUtf8(descriptor.name.data(),
                                                                       static_cast<int>(descriptor.name.size()),
                                                                       &back[0], static_cast<int>(back.size()));
    if (back.substr(0, static_cast<size_t>(written)) != descriptor.link) __builtin_trap();
}

void SocketTable(FuzzInput& in) {
    const std::vector<unsigned char> bytes = in.Rest();
    std::unique_ptr<char[]> text(new char[bytes.size() + 1]);
    if (!bytes.empty()) std::memcpy(text.get(), bytes.data(), bytes.size());
    UnixSockets sockets;
    ParseUnixSockets(text.get(), bytes.size(), sockets);
    if (!std::is_sorted(sockets.paths.begin(), sockets.paths.end())) __builtin_trap();
    for (const auto& entry : sockets.paths) {
        if (entry.second.empty() || entry.second[0] != '/') __builtin_trap();
    }
}

void ReadWhole(FuzzInput& in) {
    const std::vector<unsigned char> bytes = in.Rest();
    const int fd = memfd_create("fencat-fuzz", MFD_CLOEXEC);
    if (fd < 0) return;
    std::string text = "old";
    if (write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && lseek(fd, 0, SEEK_SET) == 0) {
        if (!ReadAll(fd, text) || text != std::string(bytes.begin(), bytes.end())) __builtin_trap();
    }
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    switch (in.U8() % 5) {
    case 0:
        Link(in);
        break;
    case 1: {
        const std::vector<unsigned char> bytes = in.Rest();
        uint32_t pid = 0;
        if (ParsePidLine(std::string(bytes.begin(), bytes.end()), pid) && pid == 0) __builtin_trap();
        break;
    }
    case 2: {
        const std::vector<unsigned char> bytes = in.Rest();
        uint64_t capabilities = 0;
        ParseCapEff(std::string(bytes.begin(), bytes.end()), capabilities);
        break;
    }
    case 3:
        SocketTable(in);
        break;
    default:
        ReadWhole(in);
        break;
    }
    return 0;
}
