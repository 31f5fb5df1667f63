// The floor: a plain walk of what tells who uses a file, and nothing more.
// It enumerates the processes, lists each one's modules, reads the
// extended handle table, opens each file handle's owner once, duplicates
// the handle and asks its name directly (no guard against a name query
// that hangs), and walks each process's address space, naming each mapped
// view. It counts the names whose final component is NAME.
//   Floor.exe NAME
#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

typedef LONG(NTAPI* QuerySystem)(ULONG, PVOID, ULONG, PULONG);
typedef LONG(NTAPI* QueryFile)(HANDLE, PVOID, PVOID, ULONG, ULONG);

struct HandleRow {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
    PVOID object;
    ULONG_PTR pid;
    ULONG_PTR value;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct Counts {
    unsigned processes = 0, modules = 0, fileHandles = 0, views = 0, matches = 0;
};

const wchar_t* g_name;

void Compare(const wchar_t* path, Counts& counts) {
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    if (_wcsicmp(slash != nullptr ? slash + 1 : path, g_name) == 0) ++counts.matches;
}

std::vector<unsigned char> QueryTable(QuerySystem query, ULONG infoClass) {
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(infoClass, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) return buffer;
        if (status != static_cast<LONG>(0xC0000004)) return {};
        buffer.resize(needed > buffer.size() ? needed + 65536 : buffer.size() * 2);
    }
}

std::vector<DWORD> Processes(QuerySystem query) {
    std::vector<DWORD> pids;
    const std::vector<unsigned char> table = QueryTable(query, 5);
    for (size_t at = 0; !table.empty();) {
        // UniqueProcessId follows NextEntryOffset, thread count, 48 bytes, image name and priority.
        const auto* record = table.data() + at;
        const size_t pidOffset = sizeof(void*) == 8 ? 0x50 : 0x44;
        pids.push_back(static_cast<DWORD>(*reinterpret_cast<const ULONG_PTR*>(record + pidOffset)));
        const ULONG next = *reinterpret_cast<const ULONG*>(record);
        if (next == 0) break;
        at += next;
    }
    return pids;
}

void ListModules(HANDLE process, Counts& counts) {
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!::EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) return;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 1024; ++i) {
        wchar_t path[MAX_PATH];
        if (::GetModuleFileNameExW(process, modules[i], path, MAX_PATH) == 0) continue;
        ++counts.modules;
        Compare(path, counts);
    }
}

void WalkViews(HANDLE process, Counts& counts) {
    MEMORY_BASIC_INFORMATION region;
    ULONG_PTR address = 0;
    while (::VirtualQueryEx(process, reinterpret_cast<void*>(address), &region, sizeof region) == sizeof region) {
        if (region.Type == MEM_MAPPED && region.State == MEM_COMMIT && region.BaseAddress == region.AllocationBase) {
            wchar_t path[MAX_PATH];
            if (::GetMappedFileNameW(process, region.BaseAddress, path, MAX_PATH) != 0) {
                ++counts.views;
                Compare(path, counts);
            }
        }
        const ULONG_PTR next = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
}

USHORT FileTypeIndex(const std::vector<unsigned char>& table, HANDLE own) {
    const auto count = *reinterpret_cast<const ULONG_PTR*>(table.data());
    const auto* rows = reinterpret_cast<const HandleRow*>(table.data() + 2 * sizeof(ULONG_PTR));
    for (ULONG_PTR i = 0; i < count; ++i) {
        if (rows[i].pid == ::GetCurrentProcessId() && rows[i].value == reinterpret_cast<ULONG_PTR>(own))
            return rows[i].typeIndex;
    }
    return 0;
}

void WalkHandles(QuerySystem query, QueryFile queryFile, std::map<DWORD, HANDLE>& owners, Counts& counts) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    HANDLE own = ::CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const std::vector<unsigned char> table = QueryTable(query, 64);
    if (table.empty()) return;
    const USHORT fileType = FileTypeIndex(table, own);
    const auto count = *reinterpret_cast<const ULONG_PTR*>(table.data());
    const auto* rows = reinterpret_cast<const HandleRow*>(table.data() + 2 * sizeof(ULONG_PTR));
    std::vector<unsigned char> name(4096 + 8);
    for (ULONG_PTR i = 0; i < count; ++i) {
        if (rows[i].typeIndex != fileType) continue;
        const DWORD pid = static_cast<DWORD>(rows[i].pid);
        auto owner = owners.find(pid);
        if (owner == owners.end())
            owner = owners.emplace(pid, ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                                                      FALSE, pid)).first;
        if (owner->second == nullptr) continue;
        HANDLE copy = nullptr;
        if (!::DuplicateHandle(owner->second, reinterpret_cast<HANDLE>(rows[i].value), ::GetCurrentProcess(), &copy, 0,
                               FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        IO_STATUS_BLOCK io;
        if (queryFile(copy, &io, name.data(), static_cast<ULONG>(name.size()), 9) == 0) {
            ++counts.fileHandles;
            const ULONG bytes = *reinterpret_cast<const ULONG*>(name.data());
            std::wstring text(reinterpret_cast<const wchar_t*>(name.data() + 4), bytes / sizeof(wchar_t));
            Compare(text.c_str(), counts);
        }
        ::CloseHandle(copy);
    }
    ::CloseHandle(own);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        std::fprintf(stderr, "usage: Floor NAME\n");
        return 2;
    }
    g_name = argv[1];
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    const auto queryFile = reinterpret_cast<QueryFile>(
        reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "NtQueryInformationFile")));
    Counts counts;
    std::map<DWORD, HANDLE> owners;
    for (DWORD pid : Processes(query)) {
        HANDLE process = ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        owners[pid] = process;
        if (process == nullptr) continue;
        ++counts.processes;
        ListModules(process, counts);
    }
    WalkHandles(query, queryFile, owners, counts);
    for (const auto& owner : owners) {
        if (owner.second != nullptr) WalkViews(owner.second, counts);
    }
    for (const auto& owner : owners) {
        if (owner.second != nullptr) ::CloseHandle(owner.second);
    }
    std::printf("%u processes, %u modules, %u file handles, %u views; %u named so\n", counts.processes, counts.modules,
                counts.fileHandles, counts.views, counts.matches);
    return counts.matches != 0 ? 0 : 1;
}
