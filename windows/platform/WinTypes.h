// The platform's own types and constants, defined once for every build.
// Widths follow the Windows ABI (ILP32 on 32-bit, LLP64 on 64-bit), so the
// real calls can hand these values straight to the system and the
// simulated system can write records exactly as the real one would.
#pragma once

#include <cstddef>
#include <cstdint>

// Native and PSAPI entry points are called through pointers that the real
// system hands out; on 32-bit Windows those use the stdcall convention.
#if defined(_WIN32) && defined(__i386__)
#define OSAPI __attribute__((stdcall))
#else
#define OSAPI
#endif

// Everything lives in namespace os: the Win32 backend includes <windows.h>
// after this header, and the two sets of names must not meet.
namespace os {

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint8_t UCHAR;
typedef uint8_t BOOLEAN;
typedef uint16_t USHORT;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t SIZE_T;
typedef intptr_t LONG_PTR;
typedef int32_t NTSTATUS;
typedef LONG KPRIORITY;
typedef DWORD ACCESS_MASK;
typedef char16_t WCHAR;
typedef WCHAR* PWSTR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* PVOID;
typedef void* LPVOID;
typedef ULONG* PULONG;
typedef DWORD* LPDWORD;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void (*FARPROC)();

struct alignas(8) LARGE_INTEGER {
    uint32_t LowPart;
    int32_t HighPart;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};
static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one-privilege set is 16 bytes");

typedef DWORD(OSAPI* LPTHREAD_START_ROUTINE)(LPVOID);

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD MAX_PATH = 260;

// Status values
constexpr NTSTATUS STATUS_SUCCESS = 0;
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005u);
constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = static_cast<NTSTATUS>(0xC0000002u);
constexpr NTSTATUS STATUS_INVALID_INFO_CLASS = static_cast<NTSTATUS>(0xC0000003u);
constexpr NTSTATUS STATUS_INFO_LENGTH_MISMATCH = static_cast<NTSTATUS>(0xC0000004u);
constexpr NTSTATUS STATUS_INVALID_HANDLE = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS STATUS_ACCESS_DENIED = static_cast<NTSTATUS>(0xC0000022u);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = static_cast<NTSTATUS>(0xC0000023u);
constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = static_cast<NTSTATUS>(0xC0000024u);
constexpr NTSTATUS STATUS_PROCESS_IS_TERMINATING = static_cast<NTSTATUS>(0xC000010Au);

// Information classes
constexpr ULONG SystemProcessInformation = 5;
constexpr ULONG SystemHandleInformation = 16;
constexpr ULONG SystemExtendedHandleInformation = 64;
constexpr ULONG ObjectNameInformation = 1;
constexpr ULONG ObjectTypeInformation = 2;
constexpr ULONG FileNameInformation = 9;
constexpr ULONG ProcessBasicInformation = 0;
constexpr ULONG ProcessWow64Information = 26;
constexpr ULONG ThreadBasicInformation = 0;

// Error codes (GetLastError)
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_PARTIAL_COPY = 299;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;

// Access rights and options
constexpr DWORD PROCESS_DUP_HANDLE = 0x0040;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_VM_READ = 0x0010;
constexpr DWORD DUPLICATE_SAME_ACCESS = 0x00000002;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
constexpr DWORD SYNCHRONIZE = 0x00100000;

// Services
typedef void* SC_HANDLE;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr int SC_ENUM_PROCESS_INFO = 0;
constexpr DWORD SERVICE_WIN32 = 0x30;
constexpr DWORD SERVICE_ACTIVE = 0x1;

// Files
constexpr DWORD FILE_READ_ATTRIBUTES = 0x0080;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr int FileIdInfo = 18;  // FILE_INFO_BY_HANDLE_CLASS
inline HANDLE InvalidHandleValue() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

// Modules and views
constexpr DWORD LIST_MODULES_ALL = 0x03;
constexpr DWORD MEM_MAPPED = 0x40000;
constexpr DWORD MEM_IMAGE = 0x1000000;
constexpr DWORD MEM_FREE = 0x10000;
// NtQueryVirtualMemory: the file behind a view, and the allocation a region
// belongs to.
constexpr ULONG MemoryMappedFilenameInformation = 2;
constexpr ULONG MemoryRegionInformation = 3;

// Memory
constexpr DWORD MEM_COMMIT = 0x00001000;
constexpr DWORD MEM_RELEASE = 0x00008000;
constexpr DWORD PAGE_READWRITE = 0x04;

// Waiting
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// CompareStringOrdinal
constexpr int CSTR_EQUAL = 2;

}  // namespace os
