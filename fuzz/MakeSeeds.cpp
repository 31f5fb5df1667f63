// Writes the seed corpora of the fuzz targets: well-formed records as the
// platform writes them, real maps lines, descriptor links of every kind.
//   fuzz_seeds DIR    (DIR/<target>/<seed> for each target)
// The records are those of this build's pointer width.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "fuzz/FuzzInput.h"

namespace {

std::string g_root;

void Write(const std::string& target, const std::string& seed, const std::vector<unsigned char>& bytes) {
    const std::string dir = g_root + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE* file = std::fopen((dir + "/" + seed).c_str(), "wb");
    if (file == nullptr) {
        std::perror(seed.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

void Write(const std::string& target, const std::string& seed, uint8_t mode, const std::string& text) {
    std::vector<unsigned char> bytes(1, mode);
    bytes.insert(bytes.end(), text.begin(), text.end());
    Write(target, seed, bytes);
}

template <typename T>
void Put(std::vector<unsigned char>& bytes, size_t at, const T& value) {
    if (bytes.size() < at + sizeof value) bytes.resize(at + sizeof value);
    std::memcpy(&bytes[at], &value, sizeof value);
}

void PutText(std::vector<unsigned char>& bytes, size_t at, const std::u16string& text) {
    for (size_t i = 0; i <= text.size(); ++i) Put(bytes, at + 2 * i, i < text.size() ? text[i] : u'\0');
}

sim::RawAnswer Answer(os::NTSTATUS status, std::vector<unsigned char> bytes = {}, uint32_t returnLength = 0) {
    sim::RawAnswer answer;
    answer.status = status;
    answer.returnLength = returnLength != 0 ? returnLength : static_cast<uint32_t>(bytes.size());
    answer.bytes = std::move(bytes);
    return answer;
}

// Records followed by their names, as the platform lays a process table.
sim::RawAnswer ProcessTable(const std::vector<std::pair<uint32_t, std::u16string>>& processes) {
    sim::RawAnswer answer = Answer(os::STATUS_SUCCESS);
    size_t at = 0;
    for (size_t i = 0; i < processes.size(); ++i) {
        const std::u16string& name = processes[i].second;
        const size_t nameBytes = name.empty() ? 0 : (name.size() + 1) * 2;
        const size_t size = (sizeof(os::SYSTEM_PROCESS_INFORMATION) + nameBytes + 7) & ~size_t{7};
        os::SYSTEM_PROCESS_INFORMATION record;
        std::memset(&record, 0, sizeof record);
        record.NextEntryOffset = i + 1 < processes.size() ? static_cast<os::ULONG>(size) : 0;
        record.UniqueProcessId = reinterpret_cast<os::HANDLE>(static_cast<uintptr_t>(processes[i].first));
        if (!name.empty()) {
            record.ImageName.Length = static_cast<os::USHORT>(name.size() * 2);
            record.ImageName.MaximumLength = static_cast<os::USHORT>(nameBytes);
            PutText(answer.bytes, at + sizeof record, name);
            answer.pointers.push_back(sim::RawAnswer::Pointer{
                at + offsetof(os::SYSTEM_PROCESS_INFORMATION, ImageName) + offsetof(os::UNICODE_STRING, Buffer),
                static_cast<int64_t>(at + sizeof record)});
        }
        Put(answer.bytes, at, record);
        at += size;
        answer.bytes.resize(at);
    }
    answer.returnLength = static_cast<uint32_t>(answer.bytes.size());
    return answer;
}

sim::RawAnswer HandleTable(const std::vector<std::pair<uint32_t, uint16_t>>& rows) {
    std::vector<unsigned char> bytes;
    Put(bytes, 0, static_cast<os::ULONG>(rows.size()));
    const size_t head = offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles);
    bytes.resize(head);
    for (size_t i = 0; i < rows.size(); ++i) {
        os::SYSTEM_HANDLE row;
        std::memset(&row, 0, sizeof row);
        row.ProcessId = rows[i].first;
        row.Handle = rows[i].second;
        row.GrantedAccess = 0x0012019F;
        Put(bytes, head + i * sizeof row, row);
    }
    return Answer(os::STATUS_SUCCESS, bytes);
}

// A counted string record followed by its characters.
template <typename Record>
std::vector<sim::RawAnswer> NameRecord(const std::u16string& text) {
    const size_t size = sizeof(Record) + (text.size() + 1) * 2;
    std::vector<unsigned char> bytes(sizeof(Record), 0);
    Put(bytes, 0, static_cast<os::USHORT>(text.size() * 2));
    Put(bytes, 2, static_cast<os::USHORT>((text.size() + 1) * 2));
    PutText(bytes, sizeof(Record), text);
    sim::RawAnswer record = Answer(os::STATUS_SUCCESS, bytes);
    record.pointers.push_back(sim::RawAnswer::Pointer{offsetof(os::UNICODE_STRING, Buffer), sizeof(Record)});
    return {Answer(os::STATUS_INFO_LENGTH_MISMATCH, {}, static_cast<uint32_t>(size)), record};
}

std::vector<sim::RawAnswer> FileNameRecord(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    Put(bytes, 0, static_cast<os::ULONG>(text.size() * 2));
    PutText(bytes, 4, text);
    bytes.resize(4 + text.size() * 2);
    return {Answer(os::STATUS_SUCCESS, bytes)};
}

std::vector<unsigned char> Wide(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    PutText(bytes, 0, text);
    bytes.resize(text.size() * 2);
    return bytes;
}

void ProcessTables() {
    const auto table = ProcessTable({{0, u""}, {4, u"System"}, {368, u"csrss.exe"}, {1234, u"explorer.exe"}});
    Write("process_table", "table", FuzzOutput().U8(0).Answers({table}).Data());
    Write("process_table", "grown",
          FuzzOutput().U8(1).Answers({Answer(os::STATUS_INFO_LENGTH_MISMATCH, {}, 0x20000), table}).Data());
    Write("process_table", "latin1", FuzzOutput().U8(0).Answers({ProcessTable({{8, u"caf\u00E9.exe"}})}).Data());
}

void HandleTables() {
    const auto table = HandleTable({{sim::kDefaultOwnPid, 0x4}, {sim::kDefaultOwnPid, 0x8}, {500, 0x4}});
    Write("handle_table", "all_files", FuzzOutput().U8(3).Answers({table}).Data());
    Write("handle_table", "one_owner",
          FuzzOutput().U8(0).U32(500).Answers({Answer(os::STATUS_INFO_LENGTH_MISMATCH, {}, 0x3000), table}).Data());
    Write("handle_table", "empty", FuzzOutput().U8(1).Answers({HandleTable({})}).Data());
}

void ObjectRecords() {
    const std::u16string device = u"\\Device\\HarddiskVolume1\\dir\\file.txt";
    Write("object_records", "file",
          FuzzOutput()
              .U8(0)
              .U8(0)
              .U8(7)
              .Answers(NameRecord<os::OBJECT_TYPE_INFORMATION>(u"File"))
              .Answers(NameRecord<os::OBJECT_NAME_INFORMATION>(device))
              .Answers(FileNameRecord(u"\\dir\\file.txt"))
              .Data());
    Write("object_records", "event",
          FuzzOutput()
              .U8(1)
              .U8(1)
              .U8(3)
              .Answers(NameRecord<os::OBJECT_TYPE_INFORMATION>(u"Event"))
              .Answers(NameRecord<os::OBJECT_NAME_INFORMATION>(u"\\BaseNamedObjects\\ready"))
              .Data());
    Write("object_records", "process", FuzzOutput().U8(0).U8(2).U8(0).Data());
}

void DevicePaths() {
    auto drives = [](FuzzOutput& out, const std::vector<std::pair<std::string, std::string>>& list) -> FuzzOutput& {
        out.U8(static_cast<uint8_t>(list.size()));
        for (const auto& drive : list) {
            out.Bytes(drive.first.data(), 2).U16(static_cast<uint16_t>(drive.second.size()));
            out.Bytes(drive.second.data(), drive.second.size());
        }
        return out;
    };
    auto path = [](FuzzOutput& out, const std::string& text) -> FuzzOutput& {
        return out.U16(static_cast<uint16_t>(text.size())).Bytes(text.data(), text.size());
    };
    const std::pair<std::string, std::string> c{"C:", "\\Device\\HarddiskVolume1"};
    const std::pair<std::string, std::string> z{"Z:", "\\Device\\LanmanRedirector\\;Z:0000000000012345\\server\\share"};
    FuzzOutput drive;
    Write("device_paths", "drive", path(drives(drive, {c}), "C:\\dir\\file.txt").Data());
    FuzzOutput network;
    Write("device_paths", "network", path(drives(network, {c, z}), "Z:\\dir\\file.txt").Data());
    FuzzOutput device;
    Write("device_paths", "device",
          path(drives(device, {c, z}), "\\Device\\LanmanRedirector\\server\\share\\f.txt").Data());
}

void Texts() {
    Write("text", "ascii", FuzzOutput().U8(0).U16(24).U16(26).Bytes(Wide(u"explorer.exe").data(), 24).Data());
    const std::vector<unsigned char> polish = Wide(u"\u0141\u00F3d\u017A.txt");
    Write("text", "polish", FuzzOutput().U8(1).U16(16).U16(18).Bytes(polish.data(), polish.size()).Data());
    const char bytes[] = "caf\xC3\xA9 \xFF\xFE \xE4\xB8\x80";
    Write("text", "bytes", FuzzOutput().U8(1).U16(4).U16(0).Bytes(bytes, sizeof bytes - 1).Data());
}

void Drops() {
    auto drop = [](uint8_t setup, uint8_t lengthChoice, uint32_t reported, const std::string& name) {
        return FuzzOutput()
            .U8(setup)
            .U8(lengthChoice)
            .U32(reported)
            .U16(static_cast<uint16_t>(name.size()))
            .Bytes(name.data(), name.size())
            .Data();
    };
    Write("drop", "path", drop(0, 1, 0, "C:\\dir\\file.txt"));
    Write("drop", "name", drop(0, 1, 0, "FILE.TXT"));
    Write("drop", "latin1", drop(0, 1, 0, "CAF\xC9.DLL"));
    Write("drop", "bytes", drop(3, 1, 0, "C:\\d\\caf\xC3\xA9\xFF.dll"));
    Write("drop", "huge_length", drop(0, 0, 0xFFFFFFFF, "file.txt"));
    Write("drop", "long_name", drop(0, 1, 0, std::string(300, 'n')));
}

void Maps() {
    Write("maps", "bash", 0,
          "55d0c0a00000-55d0c0a28000 r--p 00000000 08:01 1835023                    /usr/bin/bash\n"
          "55d0c0a28000-55d0c0aee000 r-xp 00028000 08:01 1835023                    /usr/bin/bash\n"
          "55d0c1f5e000-55d0c20e3000 rw-p 00000000 00:00 0                          [heap]\n"
          "7f1c0e000000-7f1c0e022000 r--p 00000000 08:01 1837425                    /usr/lib/x86_64-linux-gnu/libc.so.6\n"
          "7f1c0e200000-7f1c0e201000 rw-s 00000000 00:01 4242                       /memfd:shm (deleted)\n"
          "7ffd5e1f0000-7ffd5e211000 rw-p 00000000 00:00 0                          [stack]\n"
          "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0                  [vsyscall]\n");
    Write("maps", "escaped", 0,
          "7f1c0e400000-7f1c0e401000 r--p 00000000 08:01 99 /tmp/a\\012b  c (deleted)\n"
          "7f1c0e500000-7f1c0e501000 r--p 00000000 08:01 98 /tmp/name with blanks\n");
    Write("maps", "written", 1, std::string("\x05" "a/b c" "\x01\x00\x03" "\x06" "x\ny.so" "\x02\x00\x00", 19));
}

void ProcTexts() {
    auto link = [](const std::string& table, const std::string& text) {
        std::vector<unsigned char> bytes = FuzzOutput().U8(0).U16(static_cast<uint16_t>(table.size())).Data();
        bytes.insert(bytes.end(), table.begin(), table.end());
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    };
    const std::string table =
        "Num       RefCount Protocol Flags    Type St Inode Path\n"
        "0000000059f609ba: 00000002 00000000 00010000 0001 01 460790 /run/app.sock\n"
        "00000000bbbbbbbb: 00000002 00000000 00010000 0001 01 460794 @/abstract\n";
    Write("proc_text", "link_file", link("", "/usr/lib/x86_64-linux-gnu/libc.so.6"));
    Write("proc_text", "link_deleted", link("", "/tmp/a\nb (deleted)"));
    Write("proc_text", "link_bound_socket", link(table, "socket:[460790]"));
    Write("proc_text", "link_socket", link(table, "socket:[460794]"));
    Write("proc_text", "link_pipe", link("", "pipe:[32145]"));
    Write("proc_text", "link_eventfd", link("", "anon_inode:[eventfd]"));
    Write("proc_text", "link_pidfd", link("", "anon_inode:[pidfd]"));
    Write("proc_text", "link_inotify", link("", "anon_inode:inotify"));
    Write("proc_text", "link_namespace", link("", "mnt:[4026531840]"));
    Write("proc_text", "link_device", link("", "/dev/pts/0"));
    // The table's bytes are read as a stat and as a mount table too.
    auto table16 = [](const std::string& text) {
        std::vector<unsigned char> bytes = FuzzOutput().U16(static_cast<uint16_t>(text.size())).Data();
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    };
    Write("proc_text", "stat", table16("4242 (a) (b) S 1 4242 4242 0 -1 4194560 97 0 0 0 0 0 0 0 20 0 3 0 88210 0\n"));
    Write("proc_text", "mountinfo",
          table16("26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                  "21 26 0:20 / /proc rw,relatime shared:5 - proc proc rw,hidepid=invisible,subset=pid\n"));
    Write("proc_text", "fdinfo", 1, "pos:\t0\nflags:\t02000002\nmnt_id:\t15\nino:\t1057\nPid:\t4321\nNSpid:\t4321\n");
    Write("proc_text", "status", 2,
          "Name:\tbash\nUmask:\t0022\nState:\tS (sleeping)\nCapInh:\t0000000000000000\n"
          "CapPrm:\t000001ffffffffff\nCapEff:\t000001ffffffffff\nCapBnd:\t000001ffffffffff\n");
    Write("proc_text", "net_unix", 3, table);
    Write("proc_text", "read_all", 4, "a whole file\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    g_root = argv[1];
    mkdir(g_root.c_str(), 0755);
    ProcessTables();
    HandleTables();
    ObjectRecords();
    DevicePaths();
    Texts();
    Drops();
    Maps();
    ProcTexts();
    return 0;
}
