// The parsers of /proc text, fed the kernel's own forms and hostile ones.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Api.h"
#include "platform/linux/Linux.h"
#include "sysinfo/HandleNames.h"
#include "sysinfo/NativeApi.h"
#include "sysinfo/SystemHandlesInformation.h"

namespace {

using namespace standin::linux_proc;

std::vector<std::string> MapsPaths(const std::string& text) {
    std::vector<MappedFile> files;
    ParseMaps(text.data(), text.size(), files);
    std::vector<std::string> paths;
    for (const MappedFile& file : files) paths.push_back(file.path);
    return paths;
}

TEST(ProcTextTest, MapsLinesGiveEachMappedFileOnceAtItsLowestAddress) {
    const std::string text =
        "55d0c0a00000-55d0c0a28000 r--p 00000000 08:01 1835023                    /usr/bin/bash\n"
        "55d0c0a28000-55d0c0aee000 r-xp 00028000 08:01 1835023                    /usr/bin/bash\n"
        "55d0c1f5e000-55d0c20e3000 rw-p 00000000 00:00 0                          [heap]\n"
        "7f1c0e000000-7f1c0e022000 r--p 00000000 08:01 1837425                    /usr/lib/libc.so.6\n"
        "7f1c0e200000-7f1c0e201000 rw-s 00000000 00:01 4242                       /memfd:shm (deleted)\n"
        "7f1c0e300000-7f1c0e301000 rw-p 00000000 00:00 0 \n"
        "7ffd5e1f0000-7ffd5e211000 rw-p 00000000 00:00 0                          [stack]\n"
        "7f1c0e400000-7f1c0e401000 r--p 00000000 08:01 99                         /tmp/gone.txt (deleted)\n"
        "7f1c0e500000-7f1c0e501000 r--p 00000000 08:01 1835023                    /usr/bin/bash";
    std::vector<MappedFile> files;
    ParseMaps(text.data(), text.size(), files);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].path, "/usr/bin/bash");
    EXPECT_EQ(files[0].base, 0x55d0c0a00000u);
    EXPECT_EQ(files[1].path, "/usr/lib/libc.so.6");
    // A deleted file keeps the kernel's mark: it names no file that exists.
    EXPECT_EQ(files[2].path, "/memfd:shm (deleted)");
    EXPECT_EQ(files[3].path, "/tmp/gone.txt (deleted)");
    EXPECT_EQ(files[3].base, 0x7f1c0e400000u);
}

TEST(ProcTextTest, MapsNamesWithEscapedNewlinesAndBlanksComeBackWhole) {
    EXPECT_EQ(MapsPaths("1000-2000 r--p 00000000 08:01 77 /tmp/a\\012b  c\\012\n"),
              std::vector<std::string>{"/tmp/a\nb  c\n"});
    // The same file by its escaped name twice is still one module.
    EXPECT_EQ(MapsPaths("1000-2000 r--p 0 08:01 77 /x\\012y\n3000-4000 r--p 0 08:01 77 /x\\012y\n"),
              std::vector<std::string>{"/x\ny"});
}

TEST(ProcTextTest, MapsTextCutAnywhereIsReadOnlyWithinItsLength) {
    const std::string line = "7f1c0e000000-7f1c0e022000 r--p 00000000 08:01 1837425 /usr/lib/libc.so.6\n";
    for (size_t cut = 0; cut <= line.size(); ++cut) {
        // Alone on the heap, so that the sanitizer sees any read beyond it.
        std::unique_ptr<char[]> copy(new char[cut == 0 ? 1 : cut]);
        std::memcpy(copy.get(), line.data(), cut);
        std::vector<MappedFile> files;
        ParseMaps(copy.get(), cut, files);
        ASSERT_LE(files.size(), 1u) << cut;
        if (!files.empty()) {
            EXPECT_EQ(line.compare(line.find('/'), files[0].path.size(), files[0].path), 0) << cut;
        }
    }
    EXPECT_TRUE(MapsPaths("\n\n \n0\n- - - - 0 /a\n").empty());
}

TEST(ProcTextTest, BoundUnixSocketsAreKnownByTheirInodes) {
    const std::string text =
        "Num       RefCount Protocol Flags    Type St Inode Path\n"
        "0000000059f609ba: 00000002 00000000 00010000 0001 01 460790 /tmp/s.sock\n"
        "00000000d9466ebc: 00000003 00000000 00000000 0001 03 460792 /tmp/s.sock\n"
        "00000000aaaaaaaa: 00000003 00000000 00000000 0001 03 460793\n"
        "00000000bbbbbbbb: 00000002 00000000 00010000 0001 01 460794 @/abstract\n"
        "00000000cccccccc: 00000002 00000000 00010000 0001 01 460795 /tmp/with blank\n"
        "00000000dddddddd: 00000002 00000000 00010000 0001 01 99999999999999999999999 /tmp/huge\n";
    UnixSockets sockets;
    ParseUnixSockets(text.data(), text.size(), sockets);
    auto path = [&sockets](const char* link) {
        const std::string* found = sockets.PathOf(link);
        return found != nullptr ? *found : std::string("<none>");
    };
    EXPECT_EQ(path("socket:[460790]"), "/tmp/s.sock");
    EXPECT_EQ(path("socket:[460792]"), "/tmp/s.sock");  // accepted: it shares the address
    EXPECT_EQ(path("socket:[460793]"), "<none>");
    EXPECT_EQ(path("socket:[460794]"), "<none>");
    EXPECT_EQ(path("socket:[460795]"), "/tmp/with blank");
    EXPECT_EQ(path("socket:[]"), "<none>");
    EXPECT_EQ(path("socket:[460790"), "<none>");
    EXPECT_EQ(path("socket:[99999999999999999999999]"), "<none>");
    EXPECT_EQ(path("pipe:[460790]"), "<none>");
    EXPECT_EQ(sockets.paths.size(), 3u);

    Descriptor bound;
    bound.Set("socket:[460795]", 15, &sockets);
    EXPECT_STREQ(bound.type, "File");
    EXPECT_TRUE(bound.IsFile());
    EXPECT_EQ(bound.name, u"/tmp/with blank");
    Descriptor unbound;
    unbound.Set("socket:[460793]", 15, &sockets);
    EXPECT_STREQ(unbound.type, "Port");
    EXPECT_EQ(unbound.name, u"socket:[460793]");
}

TEST(ProcTextTest, PidfdAndCapabilityLinesAreReadWithinTheirBounds) {
    uint32_t pid = 7;
    EXPECT_TRUE(ParsePidLine("pos:\t0\nflags:\t02000002\nmnt_id:\t15\nino:\t1057\nPid:\t4321\nNSpid:\t4321\n", pid));
    EXPECT_EQ(pid, 4321u);
    for (const char* text : {"pos:\t0\nPid:\t-1\n", "pos:\t0\n", "pos:\t0\nPid:\t\n", "pos:\t0\nPid:\t0\n",
                             "pos:\t0\nPid:\t99999999999\n", "pos:\t0\nPid:"}) {
        pid = 7;
        EXPECT_FALSE(ParsePidLine(text, pid)) << text;
        EXPECT_EQ(pid, 7u) << text;
    }
    uint64_t caps = 1;
    EXPECT_TRUE(ParseCapEff("Name:\tbash\nCapPrm:\t0000000000000000\nCapEff:\t00000000a80425fb\n", caps));
    EXPECT_EQ(caps, 0xa80425fbu);
    EXPECT_TRUE(ParseCapEff("CapEff:\t000001ffffffffff", caps));
    EXPECT_EQ(caps, 0x1ffffffffffu);
    // More digits than 64 bits hold is no answer, never all capabilities.
    for (const char* text : {"CapEff:\t1ffffffffffffffff\n", "CapEff:\t\n", "Name:\tx\n", "CapEff:"}) {
        caps = 1;
        EXPECT_FALSE(ParseCapEff(text, caps)) << text;
        EXPECT_EQ(caps, 1u) << text;
    }
}

TEST(ProcTextTest, OwnSocketBoundToAPathIsNamedByIt) {
    char dir[] = "/tmp/fencat-socket-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/s.sock";
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    Text type, name;
    const os::HANDLE handle = HandleFromValue(static_cast<uint32_t>(listener));
    EXPECT_TRUE(GetHandleTypeName(handle, type, os::GetCurrentProcessId()));
    EXPECT_EQ(type, "File");
    EXPECT_TRUE(GetHandleName(handle, name, os::GetCurrentProcessId()));
    EXPECT_EQ(name, path);
    close(listener);
    std::filesystem::remove_all(dir);
}

}  // namespace
