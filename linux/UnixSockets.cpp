#include "linux/UnixSockets.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace proc {

namespace {

// Takes the sockets of one answer; 1 once the dump is done, -1 on an error
// (errno set), 0 while more is to come.
int TakeAnswer(const char* data, size_t length, std::vector<BoundSocket>& sockets) {
    for (size_t at = 0, next = 0; at < length && length - at >= sizeof(nlmsghdr); at = next) {
        const auto* header = reinterpret_cast<const nlmsghdr*>(data + at);
        if (header->nlmsg_len < sizeof(nlmsghdr) || header->nlmsg_len > length - at) break;
        next = at + NLMSG_ALIGN(header->nlmsg_len);
        if (header->nlmsg_type == NLMSG_DONE) return 1;
        if (header->nlmsg_type == NLMSG_ERROR) {
            const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
            errno = header->nlmsg_len >= NLMSG_LENGTH(sizeof *error) && error->error != 0 ? -error->error : EIO;
            return -1;
        }
        if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY || header->nlmsg_len < NLMSG_LENGTH(sizeof(unix_diag_msg)))
            continue;
        const auto* message = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
        BoundSocket socket;
        socket.inode = message->udiag_ino;
        bool onFile = false;
        int attributes = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *message));
        for (auto* a = reinterpret_cast<const rtattr*>(message + 1); RTA_OK(a, attributes);
             a = RTA_NEXT(a, attributes)) {
            if (a->rta_type == UNIX_DIAG_VFS && RTA_PAYLOAD(a) >= sizeof(unix_diag_vfs)) {
                unix_diag_vfs vfs;
                std::memcpy(&vfs, RTA_DATA(a), sizeof vfs);
                // The kernel's own encoding: 12 bits of major above 20 of minor.
                socket.fileDev = makedev(vfs.udiag_vfs_dev >> 20, vfs.udiag_vfs_dev & 0xfffff);
                socket.fileIno = vfs.udiag_vfs_ino;
                onFile = true;
            } else if (a->rta_type == UNIX_DIAG_NAME) {
                // A bind may count the closing zero byte into the name.
                const char* name = static_cast<const char*>(RTA_DATA(a));
                socket.path.assign(name, strnlen(name, RTA_PAYLOAD(a)));
            }
        }
        if (onFile) sockets.push_back(std::move(socket));
    }
    return 0;
}

}  // namespace

bool ListBoundSockets(std::vector<BoundSocket>& sockets) {
    sockets.clear();
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) return false;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } ask{};
    ask.header.nlmsg_len = sizeof ask;
    ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    ask.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    ask.request.sdiag_family = AF_UNIX;
    ask.request.udiag_states = ~0u;
    ask.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_VFS;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    int done = sendto(fd, &ask, sizeof ask, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) ==
                       static_cast<ssize_t>(sizeof ask)
                   ? 0
                   : -1;
    alignas(nlmsghdr) char buffer[32768];
    while (done == 0) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;
            done = -1;
            break;
        }
        done = TakeAnswer(buffer, static_cast<size_t>(got), sockets);
    }
    const int error = errno;
    close(fd);
    errno = error;
    if (done < 0) {
        sockets.clear();
        return false;
    }
    std::sort(sockets.begin(), sockets.end(),
              [](const BoundSocket& a, const BoundSocket& b) { return a.inode < b.inode; });
    return true;
}

}  // namespace proc
