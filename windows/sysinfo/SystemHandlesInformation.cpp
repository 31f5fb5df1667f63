#include "windows/sysinfo/SystemHandlesInformation.h"

#include <array>
#include <memory>
#include <string_view>
#include <new>

#include "windows/sysinfo/NativeApi.h"

const char* const ObjectTypeTable[kObjectTypeCount] = {
    "",        "",          "Directory", "SymbolicLink",  "Token",     "Process",      "Thread",
    "Unknown7", "Event",    "EventPair", "Mutant",        "Unknown11", "Semaphore",    "Timer",
    "Profile", "WindowStation", "Desktop", "Section",     "Key",       "Port",         "WaitablePort",
    "Unknown21", "Unknown22", "Unknown23", "Unknown24",   "IoCompletion", "File",
};

namespace {

constexpr os::ULONG kMaxTypeRecordSize = sizeof(os::OBJECT_TYPE_INFORMATION) + 0x10000;

}  // namespace

// The table buffer, committed and released like the platform's pages.
class TableBuffer {
public:
    ~TableBuffer() { Release(); }
    bool Commit(size_t size) {
        Release();
        m_data = os::VirtualAlloc(nullptr, size, os::MEM_COMMIT, os::PAGE_READWRITE);
        m_size = m_data != nullptr ? size : 0;
        return m_data != nullptr;
    }
    void Release() {
        if (m_data != nullptr) os::VirtualFree(m_data, 0, os::MEM_RELEASE);
        m_data = nullptr;
        m_size = 0;
    }
    void* Data() const { return m_data; }
    os::ULONG Size() const { return static_cast<os::ULONG>(m_size); }

private:
    void* m_data = nullptr;
    size_t m_size = 0;
};

namespace {

bool BufferTooSmall(os::NTSTATUS status) {
    return status == os::STATUS_INFO_LENGTH_MISMATCH || status == os::STATUS_BUFFER_TOO_SMALL ||
           status == os::STATUS_BUFFER_OVERFLOW;
}

os::NTSTATUS QueryTable(os::ULONG infoClass, TableBuffer& buffer, os::ULONG* needed) {
    return NativeApi.NtQuerySystemInformation(infoClass, buffer.Data(), buffer.Size(), needed);
}

// How many rows of `Row` the table in the buffer holds: its count (the
// platform's word), never more than the buffer has room for.
template <typename Row>
size_t RowCount(const TableBuffer& buffer, size_t head, uint64_t count) {
    if (buffer.Size() < head) return 0;
    const size_t room = (buffer.Size() - head) / sizeof(Row);
    return count < room ? static_cast<size_t>(count) : room;
}

HandleEntry FromRow(const os::SYSTEM_HANDLE& row) {
    return HandleEntry{row.ProcessId, row.Handle, row.ObjectTypeNumber, row.Flags, row.Object, row.GrantedAccess};
}

HandleEntry FromRow(const os::SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX& row) {
    return HandleEntry{row.UniqueProcessId, row.HandleValue, row.ObjectTypeIndex, 0, row.Object, row.GrantedAccess};
}

}  // namespace

SystemHandlesInformation::SystemHandlesInformation(uint32_t ownerPid, bool refresh, const char* typeFilter)
    : m_ownerFilter(ownerPid) {
    SetTypeFilter(typeFilter, refresh);
}

SystemHandlesInformation::~SystemHandlesInformation() { m_entries.clear(); }

bool SystemHandlesInformation::SetTypeFilter(const char* typeFilter, bool refresh) {
    m_typeFilter = typeFilter != nullptr ? typeFilter : "";
    return refresh ? Refresh() : true;
}

bool SystemHandlesInformation::Refresh() {
    m_entries.clear();
    if (!g_nativeApiAvailable) return false;
    TableBuffer buffer;
    if (!buffer.Commit(kFirstBufferSize)) return false;
    // The extended class carries process IDs and handle values whole; the
    // older one cuts both to 16 bits, and serves where the extended one is
    // refused.
    os::ULONG needed = 0;
    os::ULONG infoClass = os::SystemExtendedHandleInformation;
    os::NTSTATUS status = QueryTable(infoClass, buffer, &needed);
    if (status == os::STATUS_INVALID_INFO_CLASS || status == os::STATUS_NOT_IMPLEMENTED) {
        infoClass = os::SystemHandleInformation;
        needed = 0;
        status = QueryTable(infoClass, buffer, &needed);
    }
    if (status != os::STATUS_SUCCESS && needed == 0) return false;
    return ReadTable(infoClass, buffer, status, needed);
}

bool SystemHandlesInformation::ReadTable(os::ULONG infoClass, TableBuffer& buffer, os::NTSTATUS status,
                                         os::ULONG needed) {
    // Handles open and close between the queries on a busy system, so one
    // retry with a little to spare is not enough: retry while the platform
    // says the buffer is too small, with what it asks for and room to grow.
    // Reckoned in 64 bits: on a 32-bit build a size near 4 GiB plus the
    // margin would wrap to a small one. The cap bounds what the platform
    // may ask for; the margin is cut to fit under it.
    auto grow = [&buffer, &needed] {
        if (needed > kMaxBufferSize) return false;
        uint64_t size = uint64_t{needed} + needed / 4 + 4096;
        if (size > kMaxBufferSize) size = kMaxBufferSize;
        return buffer.Commit(static_cast<size_t>(size));
    };
    // The second query is made also after a first that succeeded, into the
    // same buffer; the entries come from it.
    if (status != os::STATUS_SUCCESS && !grow()) return false;
    needed = 0;
    status = QueryTable(infoClass, buffer, &needed);
    for (int retries = 0; BufferTooSmall(status) && needed != 0 && retries < kMaxRetries; ++retries) {
        if (!grow()) return false;
        needed = 0;
        status = QueryTable(infoClass, buffer, &needed);
    }
    if (status != os::STATUS_SUCCESS) return false;
    if (infoClass == os::SystemExtendedHandleInformation) {
        const auto* table = static_cast<const os::SYSTEM_HANDLE_INFORMATION_EX*>(buffer.Data());
        const size_t head = offsetof(os::SYSTEM_HANDLE_INFORMATION_EX, Handles);
        if (buffer.Size() < head) return false;
        const size_t count = RowCount<os::SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX>(buffer, head, table->NumberOfHandles);
        for (size_t i = 0; i < count; ++i) Keep(FromRow(table->Handles[i]));
    } else {
        const auto* table = static_cast<const os::SYSTEM_HANDLE_INFORMATION*>(buffer.Data());
        const size_t head = offsetof(os::SYSTEM_HANDLE_INFORMATION, Handles);
        if (buffer.Size() < head) return false;
        const size_t count = RowCount<os::SYSTEM_HANDLE>(buffer, head, table->HandleCount);
        for (size_t i = 0; i < count; ++i) Keep(FromRow(table->Handles[i]));
    }
    return true;
}

// Stores a row that passes the owner filter and, where one is set, the
// type filter.
void SystemHandlesInformation::Keep(const HandleEntry& row) {
    if (m_ownerFilter != kAllProcesses && row.ProcessId != m_ownerFilter) return;
    if (!m_typeFilter.empty()) {
        Text typeName;
        const uint32_t owner = static_cast<uint32_t>(row.ProcessId);
        if (!GetHandleTypeName(HandleFromValue(row.Handle), typeName, owner) || typeName != m_typeFilter) return;
    }
    HandleEntry stored = row;
    stored.Flags = 0;
    m_entries.push_back(stored);
}

bool GetHandleTypeName(os::HANDLE handleValue, Text& typeName, uint32_t ownerPid) {
    RemoteHandle handle(handleValue, ownerPid);
    return handle.Reached() && QueryTypeName(handle.Local(), typeName);
}

bool QueryTypeName(os::HANDLE local, Text& typeName) {
    os::ULONG size = 8192;
    NativeApi.NtQueryObject(local, os::ObjectTypeInformation, nullptr, 0, &size);
    // A type name is a counted string: a probe that asks for more room than
    // its record and the longest such string is not believed.
    if (size > kMaxTypeRecordSize) size = kMaxTypeRecordSize;
    // Type records are small: most fit on the stack.
    alignas(8) unsigned char stack[512];
    std::unique_ptr<unsigned char[]> heap;
    unsigned char* buffer = stack;
    if (size > sizeof stack) {
        heap.reset(new (std::nothrow) unsigned char[size]);
        if (!heap) return false;
        buffer = heap.get();
    }
    if (NativeApi.NtQueryObject(local, os::ObjectTypeInformation, buffer, size, nullptr) != os::STATUS_SUCCESS)
        return false;
    typeName.clear();
    const size_t offset = sizeof(os::OBJECT_TYPE_INFORMATION);
    if (size > offset) {
        UnicodeToText(reinterpret_cast<const os::WCHAR*>(buffer + offset), (size - offset) / sizeof(os::WCHAR),
                      typeName);
    }
    return true;
}

bool LookupObjectTypeNumber(const Text& typeName, uint16_t& typeNumber) {
    // The table's texts with their lengths, so that most entries are
    // passed over on their length alone.
    static const auto names = [] {
        std::array<std::string_view, kObjectTypeCount> views;
        for (uint16_t n = 0; n < kObjectTypeCount; ++n) views[n] = ObjectTypeTable[n];
        return views;
    }();
    typeNumber = 0;
    const std::string_view name(typeName);
    for (uint16_t n = 1; n < kObjectTypeCount; ++n) {
        if (name == names[n]) {
            typeNumber = n;
            return true;
        }
    }
    return false;
}

bool GetHandleTypeNumber(os::HANDLE handleValue, uint16_t& typeNumber, uint32_t ownerPid) {
    typeNumber = 0;
    Text typeName;
    if (!GetHandleTypeName(handleValue, typeName, ownerPid)) return false;
    return LookupObjectTypeNumber(typeName, typeNumber);
}
