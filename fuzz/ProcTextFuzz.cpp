// The other /proc texts of the Linux search: the bound sockets of
// /proc/net/unix, descriptor links that name a socket, and, read from the
// same bytes, a process's stat and the mount table.
#include <algorithm>

#include "fuzz/FuzzInput.h"
#include "linux/ProcText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string table = in.Text(in.U16());
    const auto sockets = proc::ParseUnixSockets(table.data(), table.size());
    if (!std::is_sorted(sockets.begin(), sockets.end())) __builtin_trap();
    for (const auto& socket : sockets) {
        // Every path is a whole line's end, and absolute.
        if (socket.second.empty() || socket.second[0] != '/' || socket.second.find('\n') != std::string::npos ||
            table.find(socket.second) == std::string::npos)
            __builtin_trap();
    }
    // A stat's command name is what lies between the first " (" and the
    // last ')', whatever it holds.
    proc::ProcessStat stat;
    if (proc::ParseStat(table, stat) && table.rfind(')') != table.find(" (") + 2 + stat.comm.size()) __builtin_trap();
    std::string options;
    if (proc::ProcMountOptions(table, options) &&
        (options.find(' ') != std::string::npos || table.find(" /proc ") == std::string::npos))
        __builtin_trap();
    const std::vector<unsigned char> bytes = in.Rest();
    const std::string link(bytes.begin(), bytes.end());
    uint64_t inode = 0;
    if (proc::ParseSocketLink(link, inode) && "socket:[" + std::to_string(inode) + "]" != link &&
        link.find("socket:[0") != 0)
        __builtin_trap();
    return 0;
}
