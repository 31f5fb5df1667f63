// Names of handles held by any process: process and thread handles by the
// ID they refer to, file handles by their device path behind a 100 ms
// watchdog, every other handle by its object name.
#pragma once

#include <atomic>
#include <cstdint>

#include "windows/platform/Api.h"
#include "windows/sysinfo/FileIdentity.h"
#include "windows/sysinfo/Text.h"

bool GetHandleName(os::HANDLE handleValue, Text& name, uint32_t ownerPid);
bool GetHandleNameByType(os::HANDLE handleValue, uint16_t typeNumber, Text& name, uint32_t ownerPid);
bool GetFileNameWithTimeout(os::HANDLE handleValue, Text& name, uint32_t ownerPid);

// Names a handle that is usable here (the caller's own, or a duplicate it
// made), by its number in the type table. For a file handle `id`, when
// given, also receives the file's identity, read on the same guarded worker
// under the same time limit; `hasId` tells whether it could be.
bool NameLocalHandle(os::HANDLE local, uint16_t typeNumber, WideText& name, FileId* id = nullptr,
                     bool* hasId = nullptr);

// How long a file-name query may take before its worker is given up.
constexpr os::DWORD kFileNameTimeoutMs = 100;
// How long a new worker may take to start before its file handle is passed
// over (it is waited for again at the next one).
constexpr os::DWORD kWorkerStartTimeoutMs = 1000;
// The start limit in force: kWorkerStartTimeoutMs unless tests shortened it.
os::DWORD WorkerStartTimeoutMs();
void SetWorkerStartTimeoutMs(os::DWORD milliseconds);
// How long the search waits for a stopped worker to end.
constexpr os::DWORD kStoppedWorkerWaitMs = 20;
constexpr os::ULONG kFileNameBufferSize = 4096;

// What the caller and its worker share. The worker never touches the
// caller's text: it writes here, and the caller copies the name out only
// after a wait that saw the query answer. A worker that overruns is given
// up; it then owns this record and frees it when (if) its query returns.
struct FileNameRequest {
    enum State { kIdle, kQuerying, kDone, kAbandoned };
    enum Fate { kUndecided, kBeingStopped, kEndYourself };

    os::HANDLE handle = nullptr;
    os::NTSTATUS status = 0;
    bool wantId = false;  // also read the file's identity
    bool idRead = false;
    FileId id;
    std::atomic<int> state{kIdle};
    std::atomic<int> fate{kUndecided};
    os::HANDLE thread = nullptr;
    bool running = false;  // the worker has said so; read and written by the caller only
    os::HANDLE requestEvent = nullptr;  // a query is waiting
    os::HANDLE doneEvent = nullptr;     // the query answered
    alignas(8) unsigned char buffer[kFileNameBufferSize];
};

// The worker thread's body: answers requests until it is given up.
os::DWORD OSAPI FileNameWorker(void* request);
