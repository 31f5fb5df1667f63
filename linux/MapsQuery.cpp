#include "linux/MapsQuery.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace proc {

namespace {

// As <linux/fs.h> has it since Linux 6.11; older headers lack it.
struct ProcmapQuery {
    uint64_t size;
    uint64_t queryFlags;
    uint64_t queryAddr;
    uint64_t vmaStart;
    uint64_t vmaEnd;
    uint64_t vmaFlags;
    uint64_t vmaPageSize;
    uint64_t vmaOffset;
    uint64_t inode;
    uint32_t devMajor;
    uint32_t devMinor;
    uint32_t vmaNameSize;
    uint32_t buildIdSize;
    uint64_t vmaNameAddr;
    uint64_t buildIdAddr;
};
static_assert(sizeof(ProcmapQuery) == 104, "the kernel's layout");

constexpr unsigned long kProcmapQuery = _IOWR('f', 17, ProcmapQuery);
constexpr uint64_t kCoveringOrNext = 0x10;
constexpr uint64_t kFileBacked = 0x20;

}  // namespace

MapsQuery QueryMappedFile(int mapsFd, uint64_t address, MappedFile& out, std::string* name) {
    // /proc names no file longer than a page.
    char text[4096];
    ProcmapQuery query{};
    query.size = sizeof query;
    query.queryFlags = kCoveringOrNext | kFileBacked;
    query.queryAddr = address;
    if (name != nullptr) {
        query.vmaNameSize = sizeof text;
        query.vmaNameAddr = reinterpret_cast<uintptr_t>(text);
    }
    int result;
    while ((result = ioctl(mapsFd, kProcmapQuery, &query)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        switch (errno) {
        case ENOENT: return MapsQuery::End;
        case ESRCH: return MapsQuery::Gone;
        // A kernel without the query, or a file that is no maps of a kernel.
        case ENOTTY:
        case EINVAL:
        case E2BIG:
        case ENAMETOOLONG: return MapsQuery::Unsupported;
        default: return MapsQuery::Failed;
        }
    }
    out.start = query.vmaStart;
    out.end = query.vmaEnd;
    out.id = FileId{makedev(query.devMajor, query.devMinor), query.inode};
    // The size counts the terminating zero.
    if (name != nullptr) name->assign(text, query.vmaNameSize > 0 ? query.vmaNameSize - 1 : 0);
    return MapsQuery::Found;
}

}  // namespace proc
