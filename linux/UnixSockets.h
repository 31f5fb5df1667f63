// The UNIX sockets of this network namespace that are bound to a file, as
// the kernel's socket diagnostics give them: with the identity of that
// file, which /proc/net/unix leaves out. Its path text may name another
// file by now (the bound one removed, another made in its place), or
// another file in another mount namespace, and a newline in it forges a
// line of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace proc {

struct BoundSocket {
    uint64_t inode = 0;    // the socket's own, as "socket:[INODE]" names it
    uint64_t fileDev = 0;  // the file it is bound to, as stat's st_dev encodes it
    uint32_t fileIno = 0;  // and the low 32 bits of its inode: all the kernel gives
    std::string path;      // as it was bound, exactly; it may be relative
};

// False, with errno, where the kernel would not answer (its socket
// diagnostics for UNIX sockets not built or not loadable); sorted by inode.
bool ListBoundSockets(std::vector<BoundSocket>& sockets);

}  // namespace proc
