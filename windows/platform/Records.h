// The platform's records, at the platform's own pointer width. The 32-bit
// form is the reference: its offsets are checked below, so a layout slip
// shows at compile time on the 32-bit build.
#pragma once

#include "windows/platform/WinTypes.h"

namespace os {

struct UNICODE_STRING {
    USHORT Length;         // bytes, without a terminator
    USHORT MaximumLength;  // bytes of the buffer
    PWSTR Buffer;
};

struct SYSTEM_PROCESS_INFORMATION {
    ULONG NextEntryOffset;
    ULONG NumberOfThreads;
    LARGE_INTEGER Reserved[3];
    LARGE_INTEGER CreateTime;
    LARGE_INTEGER UserTime;
    LARGE_INTEGER KernelTime;
    UNICODE_STRING ImageName;
    KPRIORITY BasePriority;
    HANDLE UniqueProcessId;
    HANDLE InheritedFromUniqueProcessId;
    ULONG HandleCount;
    ULONG SessionId;
    ULONG_PTR UniqueProcessKey;
    SIZE_T PeakVirtualSize;
    SIZE_T VirtualSize;
    ULONG PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
    SIZE_T PrivatePageCount;
    LARGE_INTEGER ReadOperationCount;
    LARGE_INTEGER WriteOperationCount;
    LARGE_INTEGER OtherOperationCount;
    LARGE_INTEGER ReadTransferCount;
    LARGE_INTEGER WriteTransferCount;
    LARGE_INTEGER OtherTransferCount;
};

// A row of the class-16 table: Windows gives its process ID and handle
// value 16 bits each, cut from the real ones.
struct SYSTEM_HANDLE {
    USHORT ProcessId;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectTypeNumber;
    UCHAR Flags;
    USHORT Handle;
    PVOID Object;
    ACCESS_MASK GrantedAccess;
};

struct SYSTEM_HANDLE_INFORMATION {
    ULONG HandleCount;
    SYSTEM_HANDLE Handles[1];
};

// A row of the class-64 table: process ID and handle value whole.
struct SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX {
    PVOID Object;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR HandleValue;
    ACCESS_MASK GrantedAccess;
    USHORT CreatorBackTraceIndex;
    USHORT ObjectTypeIndex;
    ULONG HandleAttributes;
    ULONG Reserved;
};

struct SYSTEM_HANDLE_INFORMATION_EX {
    ULONG_PTR NumberOfHandles;
    ULONG_PTR Reserved;
    SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX Handles[1];
};

// A service as EnumServicesStatusExW lists it (SC_ENUM_PROCESS_INFO); the
// names point into the same buffer.
struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};
struct ENUM_SERVICE_STATUS_PROCESSW {
    WCHAR* lpServiceName;
    WCHAR* lpDisplayName;
    SERVICE_STATUS_PROCESS ServiceStatusProcess;
};
static_assert(sizeof(void*) != 4 || sizeof(ENUM_SERVICE_STATUS_PROCESSW) == 44, "services are 44-byte rows on 32-bit");

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

struct FILE_ID_INFO {
    uint64_t VolumeSerialNumber;
    BYTE FileId[16];
};

struct MEMORY_BASIC_INFORMATION {
    PVOID BaseAddress;
    PVOID AllocationBase;
    DWORD AllocationProtect;
    SIZE_T RegionSize;
    DWORD State;
    DWORD Protect;
    DWORD Type;
};

// The allocation that a region belongs to.
struct MEMORY_REGION_INFORMATION {
    PVOID AllocationBase;
    ULONG AllocationProtect;
    ULONG RegionType;
    SIZE_T RegionSize;  // of the whole allocation
    SIZE_T CommitSize;
    ULONG_PTR PartitionId;
    ULONG_PTR NodePreference;
};

struct GENERIC_MAPPING {
    ACCESS_MASK GenericRead;
    ACCESS_MASK GenericWrite;
    ACCESS_MASK GenericExecute;
    ACCESS_MASK GenericAll;
};

// The type name's characters follow this record in the same buffer.
struct OBJECT_TYPE_INFORMATION {
    UNICODE_STRING TypeName;
    ULONG TotalNumberOfObjects;
    ULONG TotalNumberOfHandles;
    ULONG TotalPagedPoolUsage;
    ULONG TotalNonPagedPoolUsage;
    ULONG TotalNamePoolUsage;
    ULONG TotalHandleTableUsage;
    ULONG HighWaterNumberOfObjects;
    ULONG HighWaterNumberOfHandles;
    ULONG HighWaterPagedPoolUsage;
    ULONG HighWaterNonPagedPoolUsage;
    ULONG HighWaterNamePoolUsage;
    ULONG HighWaterHandleTableUsage;
    ULONG InvalidAttributes;
    GENERIC_MAPPING GenericMapping;
    ULONG ValidAccessMask;
    BOOLEAN SecurityRequired;
    BOOLEAN MaintainHandleCount;
    UCHAR TypeIndex;
    UCHAR ReservedByte;
    ULONG PoolType;
    ULONG DefaultPagedPoolCharge;
    ULONG DefaultNonPagedPoolCharge;
};

struct OBJECT_NAME_INFORMATION {
    UNICODE_STRING Name;
};

struct FILE_NAME_INFORMATION {
    ULONG FileNameLength;  // bytes
    WCHAR FileName[1];     // not terminated
};

struct IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

struct CLIENT_ID {
    HANDLE UniqueProcess;
    HANDLE UniqueThread;
};

struct THREAD_BASIC_INFORMATION {
    NTSTATUS ExitStatus;
    PVOID TebBaseAddress;
    CLIENT_ID ClientId;
    ULONG_PTR AffinityMask;
    KPRIORITY Priority;
    LONG BasePriority;
};

struct PROCESS_BASIC_INFORMATION {
    NTSTATUS ExitStatus;
    PVOID PebBaseAddress;
    ULONG_PTR AffinityMask;
    KPRIORITY BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFromUniqueProcessId;
};

// The 32-bit offsets that the system relies on.
constexpr bool kIs32Bit = sizeof(void*) == 4;
static_assert(!kIs32Bit || sizeof(UNICODE_STRING) == 8, "UNICODE_STRING");
static_assert(!kIs32Bit || offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) == 56, "image name length at 56");
static_assert(!kIs32Bit || offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) + offsetof(UNICODE_STRING, MaximumLength) == 58,
              "image name capacity at 58");
static_assert(!kIs32Bit || offsetof(SYSTEM_PROCESS_INFORMATION, ImageName) + offsetof(UNICODE_STRING, Buffer) == 60,
              "image name buffer at 60");
static_assert(!kIs32Bit || offsetof(SYSTEM_PROCESS_INFORMATION, UniqueProcessId) == 68, "process ID at 68");
static_assert(!kIs32Bit || sizeof(SYSTEM_PROCESS_INFORMATION) == 184, "process record without threads");
static_assert(!kIs32Bit || sizeof(SYSTEM_HANDLE) == 16, "16-byte handle rows");
static_assert(!kIs32Bit || offsetof(SYSTEM_HANDLE_INFORMATION, Handles) == 4, "rows start at 4");
static_assert(offsetof(SYSTEM_HANDLE, ObjectTypeNumber) == 4 && offsetof(SYSTEM_HANDLE, Flags) == 5 &&
                  offsetof(SYSTEM_HANDLE, Handle) == 6 && offsetof(SYSTEM_HANDLE, Object) == 8,
              "handle row fields");
static_assert(!kIs32Bit || offsetof(SYSTEM_HANDLE, GrantedAccess) == 12, "granted access at 12");
static_assert(!kIs32Bit || sizeof(SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX) == 28, "28-byte extended rows");
static_assert(kIs32Bit || sizeof(SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX) == 40, "40-byte extended rows");
static_assert(offsetof(SYSTEM_HANDLE_INFORMATION_EX, Handles) == 2 * sizeof(void*), "extended rows after two words");
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52, "file information");
static_assert(sizeof(FILE_ID_INFO) == 24, "file ID information");
static_assert(!kIs32Bit || sizeof(OBJECT_TYPE_INFORMATION) == 96, "type name follows at 96");
static_assert(offsetof(FILE_NAME_INFORMATION, FileName) == 4, "file name at 4");
static_assert(!kIs32Bit || sizeof(IO_STATUS_BLOCK) == 8, "8-byte I/O status block");
static_assert(!kIs32Bit || sizeof(THREAD_BASIC_INFORMATION) == 28, "thread record is 28 bytes");
static_assert(!kIs32Bit || offsetof(THREAD_BASIC_INFORMATION, ClientId.UniqueThread) == 12, "thread ID at 12");
static_assert(!kIs32Bit || sizeof(PROCESS_BASIC_INFORMATION) == 24, "process record is 24 bytes");
static_assert(!kIs32Bit || offsetof(PROCESS_BASIC_INFORMATION, UniqueProcessId) == 16, "process ID at 16");

}  // namespace os
