// The os:: types and constants are handed to the system as they are, so
// they must be the system's own: checked here at compile time, on each
// pointer width. The constants are copied before <windows.h> turns their
// names into macros.
#include "windows/platform/Api.h"

namespace {
constexpr os::DWORD kMaxPath = os::MAX_PATH;
constexpr os::BOOL kTrue = os::TRUE;
constexpr os::DWORD kDupHandle = os::PROCESS_DUP_HANDLE;
constexpr os::DWORD kQueryInformation = os::PROCESS_QUERY_INFORMATION;
constexpr os::DWORD kVmRead = os::PROCESS_VM_READ;
constexpr os::DWORD kSameAccess = os::DUPLICATE_SAME_ACCESS;
constexpr os::DWORD kAdjustPrivileges = os::TOKEN_ADJUST_PRIVILEGES;
constexpr os::DWORD kTokenQuery = os::TOKEN_QUERY;
constexpr os::DWORD kPrivilegeEnabled = os::SE_PRIVILEGE_ENABLED;
constexpr os::DWORD kCommit = os::MEM_COMMIT;
constexpr os::DWORD kRelease = os::MEM_RELEASE;
constexpr os::DWORD kReadWrite = os::PAGE_READWRITE;
constexpr os::DWORD kInfinite = os::INFINITE;
constexpr os::DWORD kWaitTimeout = os::WAIT_TIMEOUT;
constexpr os::DWORD kWaitFailed = os::WAIT_FAILED;
constexpr os::DWORD kInsufficientBuffer = os::ERROR_INSUFFICIENT_BUFFER;
constexpr os::DWORD kNotAllAssigned = os::ERROR_NOT_ALL_ASSIGNED;
constexpr os::DWORD kTerminate = os::PROCESS_TERMINATE;
constexpr os::DWORD kQueryLimited = os::PROCESS_QUERY_LIMITED_INFORMATION;
constexpr os::DWORD kSynchronize = os::SYNCHRONIZE;
constexpr os::DWORD kReadAttributes = os::FILE_READ_ATTRIBUTES;
constexpr os::DWORD kShareAll = os::FILE_SHARE_READ | os::FILE_SHARE_WRITE | os::FILE_SHARE_DELETE;
constexpr os::DWORD kOpenExisting = os::OPEN_EXISTING;
constexpr os::DWORD kBackupSemantics = os::FILE_FLAG_BACKUP_SEMANTICS;
constexpr int kFileIdInfo = os::FileIdInfo;
constexpr os::DWORD kModulesAll = os::LIST_MODULES_ALL;
constexpr os::DWORD kMapped = os::MEM_MAPPED;
constexpr int kEqual = os::CSTR_EQUAL;
}  // namespace

#include "windows/platform/Win32.h"

#include <psapi.h>

static_assert(kMaxPath == MAX_PATH && kTrue == TRUE, "MAX_PATH, TRUE");
static_assert(kDupHandle == PROCESS_DUP_HANDLE && kQueryInformation == PROCESS_QUERY_INFORMATION &&
                  kVmRead == PROCESS_VM_READ && kSameAccess == DUPLICATE_SAME_ACCESS,
              "process access");
static_assert(kAdjustPrivileges == TOKEN_ADJUST_PRIVILEGES && kTokenQuery == TOKEN_QUERY &&
                  kPrivilegeEnabled == SE_PRIVILEGE_ENABLED,
              "token access");
static_assert(kCommit == MEM_COMMIT && kRelease == MEM_RELEASE && kReadWrite == PAGE_READWRITE, "memory");
static_assert(kInfinite == INFINITE && kWaitTimeout == WAIT_TIMEOUT && kWaitFailed == WAIT_FAILED, "waiting");
static_assert(kInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER && kNotAllAssigned == ERROR_NOT_ALL_ASSIGNED,
              "errors");
static_assert(kTerminate == PROCESS_TERMINATE && kQueryLimited == PROCESS_QUERY_LIMITED_INFORMATION &&
                  kSynchronize == SYNCHRONIZE,
              "more process access");
static_assert(kReadAttributes == FILE_READ_ATTRIBUTES &&
                  kShareAll == (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) &&
                  kOpenExisting == OPEN_EXISTING && kBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS &&
                  kFileIdInfo == FileIdInfo,
              "files");
static_assert(kModulesAll == LIST_MODULES_ALL && kMapped == MEM_MAPPED && kEqual == CSTR_EQUAL, "modules, views, text");
static_assert(sizeof(os::BY_HANDLE_FILE_INFORMATION) == sizeof(::BY_HANDLE_FILE_INFORMATION) &&
                  offsetof(os::BY_HANDLE_FILE_INFORMATION, nFileIndexLow) ==
                      offsetof(::BY_HANDLE_FILE_INFORMATION, nFileIndexLow),
              "BY_HANDLE_FILE_INFORMATION");
static_assert(sizeof(os::FILE_ID_INFO) == sizeof(::FILE_ID_INFO), "FILE_ID_INFO");
static_assert(sizeof(os::MEMORY_BASIC_INFORMATION) == sizeof(::MEMORY_BASIC_INFORMATION) &&
                  offsetof(os::MEMORY_BASIC_INFORMATION, Type) == offsetof(::MEMORY_BASIC_INFORMATION, Type),
              "MEMORY_BASIC_INFORMATION");

static_assert(sizeof(os::HANDLE) == sizeof(::HANDLE) && sizeof(os::HMODULE) == sizeof(::HMODULE), "handles");
static_assert(sizeof(os::DWORD) == sizeof(::DWORD) && sizeof(os::BOOL) == sizeof(::BOOL) &&
                  sizeof(os::SIZE_T) == sizeof(::SIZE_T) && sizeof(os::ULONG_PTR) == sizeof(::ULONG_PTR),
              "integers");
static_assert(sizeof(os::WCHAR) == sizeof(::WCHAR), "UTF-16 units");
static_assert(sizeof(os::LUID) == sizeof(::LUID) && offsetof(os::LUID, HighPart) == offsetof(::LUID, HighPart),
              "LUID");
static_assert(sizeof(os::TOKEN_PRIVILEGES) == sizeof(::TOKEN_PRIVILEGES) &&
                  offsetof(os::TOKEN_PRIVILEGES, Privileges) == offsetof(::TOKEN_PRIVILEGES, Privileges),
              "TOKEN_PRIVILEGES");
static_assert(sizeof(os::LARGE_INTEGER) == sizeof(::LARGE_INTEGER) &&
                  alignof(os::LARGE_INTEGER) == alignof(::LARGE_INTEGER),
              "LARGE_INTEGER");
