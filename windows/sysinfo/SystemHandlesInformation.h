// The system-wide handle table, reduced to one owner (or all) and,
// optionally, to one object type name; and the fixed numbering of object
// type names that decides how a handle is named.
#pragma once

#include <cstdint>
#include <vector>

#include "windows/platform/Api.h"
#include "windows/sysinfo/Text.h"

// One row of the system's handle table. Process IDs and handle values are
// whole where the table has them whole (the extended class); the type
// number is the platform's own, not the fixed numbering below, so it is
// compared only with other rows'.
struct HandleEntry {
    uintptr_t ProcessId;
    uintptr_t Handle;
    uint16_t ObjectTypeNumber;
    uint8_t Flags;  // always 0 once stored
    os::PVOID Object;
    os::ACCESS_MASK GrantedAccess;
};

constexpr uint16_t kObjectTypeCount = 27;
extern const char* const ObjectTypeTable[kObjectTypeCount];
constexpr uint16_t kProcessType = 5;
constexpr uint16_t kThreadType = 6;
constexpr uint16_t kFileType = 26;

class SystemHandlesInformation {
public:
    static constexpr uint32_t kAllProcesses = 0xFFFFFFFF;

    SystemHandlesInformation(uint32_t ownerPid, bool refresh, const char* typeFilter);
    ~SystemHandlesInformation();
    SystemHandlesInformation(const SystemHandlesInformation&) = delete;
    SystemHandlesInformation& operator=(const SystemHandlesInformation&) = delete;

    bool SetTypeFilter(const char* typeFilter, bool refresh);
    bool Refresh();
    const std::vector<HandleEntry>& Entries() const { return m_entries; }

    static constexpr os::ULONG kFirstBufferSize = 8192;
    // A handle table beyond this is no answer to trust.
    static constexpr size_t kMaxBufferSize = 256u << 20;
    static constexpr int kMaxRetries = 16;

private:
    // The table of class `infoClass`, whose first query into `buffer`
    // answered `status` and `needed`.
    bool ReadTable(os::ULONG infoClass, class TableBuffer& buffer, os::NTSTATUS status, os::ULONG needed);
    void Keep(const HandleEntry& row);

    std::vector<HandleEntry> m_entries;
    uint32_t m_ownerFilter;
    Text m_typeFilter;
};

bool GetHandleTypeName(os::HANDLE handleValue, Text& typeName, uint32_t ownerPid);
// The type name of a handle usable here.
bool QueryTypeName(os::HANDLE local, Text& typeName);
bool LookupObjectTypeNumber(const Text& typeName, uint16_t& typeNumber);
bool GetHandleTypeNumber(os::HANDLE handleValue, uint16_t& typeNumber, uint32_t ownerPid);
