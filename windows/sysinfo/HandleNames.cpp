#include "windows/sysinfo/HandleNames.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "windows/sysinfo/NativeApi.h"
#include "windows/sysinfo/SystemHandlesInformation.h"

namespace {

// Object names are counted strings of at most 64 KiB; a probe that asks for
// more than that and its record is not believed.
constexpr os::ULONG kMaxObjectNameSize = sizeof(os::OBJECT_NAME_INFORMATION) + 0x10000;

std::atomic<os::DWORD> g_workerStartTimeoutMs{kWorkerStartTimeoutMs};
std::mutex g_workerMutex;
FileNameRequest* g_worker = nullptr;  // the healthy worker, kept for the next query

void ReleaseWorker(FileNameRequest* worker) {
    if (worker->requestEvent != nullptr) os::CloseHandle(worker->requestEvent);
    if (worker->doneEvent != nullptr) os::CloseHandle(worker->doneEvent);
    delete worker;
}

}  // namespace

os::DWORD WorkerStartTimeoutMs() { return g_workerStartTimeoutMs; }

void SetWorkerStartTimeoutMs(os::DWORD milliseconds) { g_workerStartTimeoutMs = milliseconds; }

namespace {

// A worker is reused while it stays healthy: a thread start per file handle
// would cost more than most queries. It is handed no query before it has
// said that it runs: a thread is started under the loader lock, and one
// stopped there by the watchdog would leave that lock held for good. A
// start that has not finished in time is waited for again at the next file
// handle, never stopped.
FileNameRequest* Worker() {
    if (g_worker == nullptr) {
        auto* worker = new (std::nothrow) FileNameRequest;
        if (worker == nullptr) return nullptr;
        worker->requestEvent = os::CreateEventA(nullptr, os::FALSE, os::FALSE, nullptr);
        worker->doneEvent = os::CreateEventA(nullptr, os::FALSE, os::FALSE, nullptr);
        if (worker->requestEvent != nullptr && worker->doneEvent != nullptr)
            worker->thread = os::CreateThread(nullptr, 0, FileNameWorker, worker, 0, nullptr);
        if (worker->thread == nullptr) {
            ReleaseWorker(worker);
            return nullptr;
        }
        g_worker = worker;
    }
    if (!g_worker->running) {
        // Its first signal on doneEvent says that it runs; taking it here
        // leaves the event clear for the first query.
        if (os::WaitForSingleObject(g_worker->doneEvent, WorkerStartTimeoutMs()) != os::WAIT_OBJECT_0) return nullptr;
        g_worker->running = true;
    }
    return g_worker;
}

// The worker overran its time. It is stopped where the platform can stop a
// thread (it is then inside the query, or parked, and holds no lock);
// otherwise it is left to end by itself and takes its record along.
void GiveUp(FileNameRequest* worker) {
    g_worker = nullptr;
    if (os::TerminateThread(worker->thread, 0)) {
        worker->fate = FileNameRequest::kBeingStopped;
        // A stop takes effect soon but not at once; the search does not wait
        // long for it. Until the thread has ended it may still touch its
        // record, so a thread not seen to end keeps it.
        bool ended = os::WaitForSingleObject(worker->thread, kStoppedWorkerWaitMs) == os::WAIT_OBJECT_0;
        os::CloseHandle(worker->thread);
        if (ended) ReleaseWorker(worker);
        return;
    }
    os::CloseHandle(worker->thread);
    worker->fate = FileNameRequest::kEndYourself;  // from here on the record is the worker's
}

// The object name of a handle usable here; false leaves the name alone.
bool QueryObjectName(os::HANDLE handle, WideText& name) {
    os::ULONG size = 8192;
    NativeApi.NtQueryObject(handle, os::ObjectNameInformation, nullptr, 0, &size);
    if (size == 0) size = 8192;
    if (size < sizeof(os::OBJECT_NAME_INFORMATION) || size > kMaxObjectNameSize) size = kMaxObjectNameSize;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer || NativeApi.NtQueryObject(handle, os::ObjectNameInformation, buffer.get(), size, nullptr) !=
                       os::STATUS_SUCCESS)
        return false;
    // The counted string is read only where it lies inside the buffer, and
    // only where its characters stand aligned.
    os::UNICODE_STRING string = reinterpret_cast<const os::OBJECT_NAME_INFORMATION*>(buffer.get())->Name;
    const auto* begin = reinterpret_cast<const unsigned char*>(string.Buffer);
    const unsigned char* end = buffer.get() + size;
    if (string.Buffer == nullptr || begin < buffer.get() || begin >= end ||
        reinterpret_cast<uintptr_t>(begin) % alignof(os::WCHAR) != 0) {
        name.clear();
        return true;
    }
    const size_t room = static_cast<size_t>(end - begin);
    if (string.Length > room) string.Length = static_cast<os::USHORT>(room);
    if (string.MaximumLength > room) string.MaximumLength = static_cast<os::USHORT>(room);
    UnicodeStringToText(&string, name);
    return true;
}

WideText FormatId(const char* format, uint32_t id) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(id));
    return WideText(text, text + std::strlen(text));
}

// The guarded file-name query on a handle usable here, with the file's
// identity where `id` asks for it. `started` tells whether a worker took
// the query at all.
bool QueryFileName(os::HANDLE handle, WideText& name, bool& started, FileId* id, bool* hasId) {
    std::lock_guard<std::mutex> lock(g_workerMutex);
    FileNameRequest* worker = Worker();
    started = worker != nullptr;
    if (worker == nullptr) return false;
    worker->handle = handle;
    worker->status = 0;
    worker->wantId = id != nullptr;
    worker->idRead = false;
    worker->state = FileNameRequest::kQuerying;
    os::SetEvent(worker->requestEvent);
    if (os::WaitForSingleObject(worker->doneEvent, kFileNameTimeoutMs) != os::WAIT_OBJECT_0) {
        int querying = FileNameRequest::kQuerying;
        if (worker->state.compare_exchange_strong(querying, FileNameRequest::kAbandoned)) {
            GiveUp(worker);
            name.clear();
            return true;
        }
        // It answered just now; take its signal so the next query starts clean.
        os::WaitForSingleObject(worker->doneEvent, os::INFINITE);
    }
    worker->state = FileNameRequest::kIdle;
    if (id != nullptr && worker->idRead) *id = worker->id;
    if (hasId != nullptr) *hasId = id != nullptr && worker->idRead;
    if (worker->status != os::STATUS_SUCCESS) return false;
    const auto* info = reinterpret_cast<const os::FILE_NAME_INFORMATION*>(worker->buffer);
    const size_t room = kFileNameBufferSize - offsetof(os::FILE_NAME_INFORMATION, FileName);
    const size_t bytes = info->FileNameLength < room ? info->FileNameLength : room;
    UnicodeToText(info->FileName, bytes / sizeof(os::WCHAR), name);
    return true;
}

}  // namespace

os::DWORD OSAPI FileNameWorker(void* parameter) {
    auto* request = static_cast<FileNameRequest*>(parameter);
    os::SetEvent(request->doneEvent);  // running
    for (;;) {
        os::WaitForSingleObject(request->requestEvent, os::INFINITE);
        os::IO_STATUS_BLOCK io;
        request->status = NativeApi.NtQueryInformationFile(request->handle, &io, request->buffer,
                                                           kFileNameBufferSize, os::FileNameInformation);
        if (request->wantId) request->idRead = ReadFileId(request->handle, request->id);
        int querying = FileNameRequest::kQuerying;
        if (request->state.compare_exchange_strong(querying, FileNameRequest::kDone)) {
            os::SetEvent(request->doneEvent);
            continue;
        }
        // Given up: the caller may be stopping this thread right now, so
        // nothing here may take a lock until it has decided.
        while (request->fate == FileNameRequest::kUndecided) os::Sleep(1);
        if (request->fate == FileNameRequest::kEndYourself) {
            ReleaseWorker(request);
            return 0;
        }
        for (;;) os::Sleep(1000);  // being stopped
    }
}

bool GetFileNameWithTimeout(os::HANDLE handleValue, Text& name, uint32_t ownerPid) {
    RemoteHandle handle(handleValue, ownerPid);
    if (!handle.Reached()) return false;
    bool started;
    WideText wide;
    if (!QueryFileName(handle.Local(), wide, started, nullptr, nullptr)) return false;
    name = ToUtf8(wide);
    return true;
}

bool NameLocalHandle(os::HANDLE local, uint16_t typeNumber, WideText& name, FileId* id, bool* hasId) {
    if (hasId != nullptr) *hasId = false;
    if (typeNumber == kProcessType || typeNumber == kThreadType) {
        uint32_t number = 0;
        const uint32_t self = os::GetCurrentProcessId();
        if (typeNumber == kProcessType) {
            GetProcessIdOfHandle(local, number, self);
            name = FormatId("PID: 0x%X", number);
        } else {
            GetThreadIdOfHandle(local, number, self);
            name = FormatId("TID: 0x%X", number);
        }
        return true;
    }
    bool result = false;
    if (typeNumber == kFileType) {
        bool started;
        result = QueryFileName(local, name, started, id, hasId);
        if (result && name.empty()) return true;
        // Without a worker the handle was never tried, and the unguarded
        // object-name query may block as long as the file-name query would.
        if (!started) return false;
    }
    if (QueryObjectName(local, name)) result = true;
    return result;
}

bool GetHandleNameByType(os::HANDLE handleValue, uint16_t typeNumber, Text& name, uint32_t ownerPid) {
    RemoteHandle handle(handleValue, ownerPid);
    if (!handle.Reached()) return false;
    WideText wide = FromUtf8(name);
    const bool named = NameLocalHandle(handle.Local(), typeNumber, wide);
    if (named) name = ToUtf8(wide);
    return named;
}

bool GetHandleName(os::HANDLE handleValue, Text& name, uint32_t ownerPid) {
    uint16_t typeNumber;
    if (!GetHandleTypeNumber(handleValue, typeNumber, ownerPid)) return false;
    return GetHandleNameByType(handleValue, typeNumber, name, ownerPid);
}
