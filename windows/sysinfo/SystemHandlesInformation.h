// The system-wide handle table, reduced to one owner (or all) and,
// optionally, to one object type name; and the fixed numbering of object
// type names that decides how a handle is named.
#pragma once

#include <cstdint>
#include <vector>

#include "windows/platform/Api.h"
#include "windows/sysinfo/Text.h"

using HandleEntry = os::SYSTEM_HANDLE;

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
    std::vector<HandleEntry> m_entries;
    uint32_t m_ownerFilter;
    Text m_typeFilter;
};

bool GetHandleTypeName(os::HANDLE handleValue, Text& typeName, uint32_t ownerPid);
bool LookupObjectTypeNumber(const Text& typeName, uint16_t& typeNumber);
bool GetHandleTypeNumber(os::HANDLE handleValue, uint16_t& typeNumber, uint32_t ownerPid);
