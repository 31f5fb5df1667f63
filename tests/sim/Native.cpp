#include <algorithm>
#include <cstring>

#include "tests/sim/State.h"

namespace sim {
namespace detail {

namespace {

using namespace os;

// Follows each process record in a process table answer. Nothing above the
// platform reads it, so it lives here rather than with the shared records.
struct SYSTEM_THREAD_INFORMATION {
    LARGE_INTEGER KernelTime;
    LARGE_INTEGER UserTime;
    LARGE_INTEGER CreateTime;
    ULONG WaitTime;
    PVOID StartAddress;
    CLIENT_ID ClientId;
    KPRIORITY Priority;
    LONG BasePriority;
    ULONG ContextSwitches;
    ULONG ThreadState;
    ULONG WaitReason;
};
static_assert(!kIs32Bit || sizeof(SYSTEM_THREAD_INFORMATION) == 64, "64-byte thread records");

size_t AlignUp(size_t size) { return (size + 7) & ~static_cast<size_t>(7); }

HANDLE IdAsHandle(uint32_t id) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id)); }

size_t NameBytes(const Process& process) {
    return process.hasName ? (process.imageName.size() + 1) * sizeof(WCHAR) : 0;
}

size_t RecordSize(const Process& process) {
    return AlignUp(sizeof(SYSTEM_PROCESS_INFORMATION) + process.threads * sizeof(SYSTEM_THREAD_INFORMATION) +
                   NameBytes(process));
}

void LogQuery(std::vector<QueryCall>& log, ULONG infoClass, ULONG length, PULONG returnLength, NTSTATUS status) {
    log.push_back(QueryCall{infoClass, length, returnLength != nullptr, status});
}

// Answers call `call` (from 1) of a query from its raw answers.
NTSTATUS Raw(const std::vector<sim::RawAnswer>& answers, unsigned call, PVOID out, size_t length,
             ULONG* returnLength) {
    const sim::RawAnswer& answer = answers[std::min<size_t>(call, answers.size()) - 1];
    if (returnLength != nullptr) *returnLength = answer.returnLength;
    if (out == nullptr) return answer.status;
    auto* bytes = static_cast<unsigned char*>(out);
    const size_t copied = std::min(answer.bytes.size(), length);
    if (copied != 0) std::memcpy(bytes, answer.bytes.data(), copied);
    for (const auto& pointer : answer.pointers) {
        if (pointer.at > copied || copied - pointer.at < sizeof(PVOID)) continue;
        // Unsigned arithmetic: the target may lie anywhere, also before the buffer.
        const uintptr_t value = reinterpret_cast<uintptr_t>(out) + static_cast<uintptr_t>(pointer.target);
        std::memcpy(bytes + pointer.at, &value, sizeof value);
    }
    return answer.status;
}

// Raw answers of one row's queries of class `infoClass`, if it has any.
const std::vector<sim::RawAnswer>* RowAnswers(const HandleRow& row, ULONG infoClass) {
    const std::vector<sim::RawAnswer>* answers = infoClass == ObjectTypeInformation ? &row.typeAnswers
                                                 : infoClass == ObjectNameInformation ? &row.nameAnswers
                                                 : infoClass == FileNameInformation   ? &row.fileAnswers
                                                                                      : nullptr;
    return answers != nullptr && !answers->empty() ? answers : nullptr;
}

NTSTATUS RawRowAnswer(Data& data, const HandleRow& row, ULONG infoClass, PVOID out, size_t length,
                      ULONG* returnLength) {
    unsigned call = ++data.rowQueries[{&row, infoClass}];
    return Raw(*RowAnswers(row, infoClass), call, out, length, returnLength);
}

NTSTATUS ProcessTable(Data& data, unsigned char* out, ULONG length, PULONG returnLength) {
    unsigned call = ++data.processQueries;
    if (data.settings.processQuery.Hits(call)) return static_cast<NTSTATUS>(data.settings.processQuery.code);
    if (!data.settings.processTableAnswers.empty())
        return Raw(data.settings.processTableAnswers, call, out, length, returnLength);
    unsigned listing = data.processListings + 1;
    std::vector<const Process*> listed;
    size_t needed = 0;
    for (const auto& process : data.processes) {
        if (listing > process->listedIn) continue;
        listed.push_back(process.get());
        needed += RecordSize(*process);
    }
    if (needed > length || out == nullptr) {
        if (returnLength != nullptr) *returnLength = data.settings.processNeededZero ? 0 : static_cast<ULONG>(needed);
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    std::memset(out, 0, needed);
    size_t offset = 0;
    for (size_t i = 0; i < listed.size(); ++i) {
        const Process& process = *listed[i];
        size_t size = RecordSize(process);
        SYSTEM_PROCESS_INFORMATION record;
        std::memset(&record, 0, sizeof record);
        record.NextEntryOffset = i + 1 < listed.size() ? static_cast<ULONG>(size) : 0;
        record.NumberOfThreads = process.threads;
        record.UniqueProcessId = IdAsHandle(process.pid);
        record.InheritedFromUniqueProcessId = IdAsHandle(process.parentPid);
        record.CreateTime.LowPart = static_cast<uint32_t>(process.createTime);
        record.CreateTime.HighPart = static_cast<int32_t>(process.createTime >> 32);
        record.HandleCount = static_cast<ULONG>(process.handles.size());
        size_t nameOffset = sizeof record + process.threads * sizeof(SYSTEM_THREAD_INFORMATION);
        if (process.hasName) {
            record.ImageName.Length = static_cast<USHORT>(process.imageName.size() * sizeof(WCHAR));
            record.ImageName.MaximumLength = static_cast<USHORT>(record.ImageName.Length + sizeof(WCHAR));
            record.ImageName.Buffer = reinterpret_cast<PWSTR>(out + offset + nameOffset);
            std::memcpy(out + offset + nameOffset, process.imageName.c_str(), NameBytes(process));
        }
        std::memcpy(out + offset, &record, sizeof record);
        for (unsigned t = 0; t < process.threads; ++t) {
            SYSTEM_THREAD_INFORMATION thread;
            std::memset(&thread, 0, sizeof thread);
            thread.ClientId.UniqueProcess = IdAsHandle(process.pid);
            thread.ClientId.UniqueThread = IdAsHandle(process.pid + 4 * (t + 1));
            std::memcpy(out + offset + sizeof record + t * sizeof thread, &thread, sizeof thread);
        }
        offset += size;
    }
    ++data.processListings;
    if (returnLength != nullptr) *returnLength = static_cast<ULONG>(needed);
    return STATUS_SUCCESS;
}

void GrowHandleTable(Data& data) {
    if (data.settings.handleTableGrowth == 0 || data.processes.empty()) return;
    Process& last = *data.processes.back();
    for (unsigned i = 0; i < data.settings.handleTableGrowth; ++i) {
        uintptr_t value = last.handles.empty() ? 4 : last.handles.back()->value + 4;
        last.Handle(value, "Event");
    }
}

// One class's rows: a count, then each row of every process as `Row`.
template <typename Table, typename Row, typename Count, typename Fill>
NTSTATUS Rows(Data& data, unsigned char* out, ULONG length, PULONG returnLength, Fill fill) {
    size_t rows = 0;
    for (const auto& process : data.processes) rows += process->handles.size();
    const size_t head = offsetof(Table, Handles);
    size_t needed = head + rows * sizeof(Row);
    if (needed > length || out == nullptr) {
        if (returnLength != nullptr) *returnLength = data.settings.handleNeededZero ? 0 : static_cast<ULONG>(needed);
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    std::memset(out, 0, needed);
    Count count = static_cast<Count>(rows);
    std::memcpy(out, &count, sizeof count);
    size_t offset = head;
    for (const auto& process : data.processes) {
        for (const auto& row : process->handles) {
            Row entry;
            std::memset(&entry, 0, sizeof entry);
            fill(entry, process->pid, *row);
            std::memcpy(out + offset, &entry, sizeof entry);
            offset += sizeof entry;
        }
    }
    if (returnLength != nullptr) *returnLength = static_cast<ULONG>(needed);
    return STATUS_SUCCESS;
}

NTSTATUS HandleTable(Data& data, unsigned char* out, ULONG length, PULONG returnLength) {
    unsigned call = ++data.handleQueries;
    if (data.settings.handleQuery.Hits(call)) return static_cast<NTSTATUS>(data.settings.handleQuery.code);
    if (!data.settings.handleTableAnswers.empty())
        return Raw(data.settings.handleTableAnswers, call, out, length, returnLength);
    // Windows cuts process IDs and handle values to 16 bits in this class.
    return Rows<SYSTEM_HANDLE_INFORMATION, SYSTEM_HANDLE, ULONG>(
        data, out, length, returnLength, [](SYSTEM_HANDLE& entry, uint32_t pid, const sim::HandleRow& row) {
            entry.ProcessId = static_cast<USHORT>(pid);
            entry.ObjectTypeNumber = row.typeNumber;
            entry.Flags = row.flags;
            entry.Handle = static_cast<USHORT>(row.value);
            entry.Object = reinterpret_cast<PVOID>(row.object);
            entry.GrantedAccess = row.access;
        });
}

NTSTATUS ExtendedHandleTable(Data& data, unsigned char* out, ULONG length, PULONG returnLength) {
    if (data.settings.extendedHandleTableRefused || !data.settings.handleTableAnswers.empty())
        return STATUS_INVALID_INFO_CLASS;
    unsigned call = ++data.handleQueries;
    if (data.settings.handleQuery.Hits(call)) return static_cast<NTSTATUS>(data.settings.handleQuery.code);
    return Rows<SYSTEM_HANDLE_INFORMATION_EX, SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX, ULONG_PTR>(
        data, out, length, returnLength,
        [](SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX& entry, uint32_t pid, const sim::HandleRow& row) {
            entry.UniqueProcessId = pid;
            entry.ObjectTypeIndex = row.typeNumber;
            entry.HandleAttributes = row.flags;
            entry.HandleValue = row.value;
            entry.Object = reinterpret_cast<PVOID>(row.object);
            entry.GrantedAccess = row.access;
        });
}

// A counted string record followed by its characters, zero-terminated, as
// the object queries return type and object names.
template <typename RecordType>
NTSTATUS NameRecord(const std::u16string& text, bool probeReportsZero, PVOID out, ULONG length,
                    PULONG returnLength, RecordType& record, UNICODE_STRING& string) {
    size_t chars = text.empty() ? 0 : (text.size() + 1) * sizeof(WCHAR);
    size_t needed = sizeof(RecordType) + chars;
    if (needed > length || out == nullptr) {
        if (returnLength != nullptr) *returnLength = probeReportsZero ? 0 : static_cast<ULONG>(needed);
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    auto* bytes = static_cast<unsigned char*>(out);
    if (!text.empty()) {
        string.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
        string.MaximumLength = static_cast<USHORT>(chars);
        string.Buffer = reinterpret_cast<PWSTR>(bytes + sizeof(RecordType));
        std::memcpy(bytes + sizeof(RecordType), text.c_str(), chars);
    }
    std::memcpy(bytes, &record, sizeof record);
    if (returnLength != nullptr) *returnLength = static_cast<ULONG>(needed);
    return STATUS_SUCCESS;
}

// Waits at the gate until the test opens it, a Reset gives up on it or the
// thread is terminated; false when the query is to be abandoned.
bool WaitAtGate(State& state, std::unique_lock<std::mutex>& lock) {
    unsigned generation = state.generation;
    ++state.data.blocked;
    state.changed.notify_all();
    auto killed = [] { return simbase::CurrentThread() != nullptr && simbase::CurrentThread()->killed; };
    auto stopped = [&] { return killed() && !state.data.settings.terminationIsLate; };
    state.changed.wait(lock, [&] { return state.data.gateOpen || state.generation != generation || stopped(); });
    if (state.generation == generation) --state.data.blocked;
    if (killed()) {
        lock.unlock();
        simbase::ParkIfKilled();
    }
    return state.generation == generation;
}

NTSTATUS OSAPI SimNtQuerySystemInformation(ULONG SystemInformationClass, PVOID SystemInformation,
                                           ULONG SystemInformationLength, PULONG ReturnLength) {
    simbase::ParkIfKilled();
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    auto* out = static_cast<unsigned char*>(SystemInformation);
    NTSTATUS status = STATUS_INVALID_INFO_CLASS;
    if (SystemInformationClass == SystemProcessInformation) {
        status = ProcessTable(state.data, out, SystemInformationLength, ReturnLength);
    } else if (SystemInformationClass == SystemHandleInformation) {
        status = HandleTable(state.data, out, SystemInformationLength, ReturnLength);
        GrowHandleTable(state.data);
    } else if (SystemInformationClass == SystemExtendedHandleInformation) {
        status = ExtendedHandleTable(state.data, out, SystemInformationLength, ReturnLength);
        if (status != STATUS_INVALID_INFO_CLASS) GrowHandleTable(state.data);
    }
    LogQuery(state.data.record.systemQueries, SystemInformationClass, SystemInformationLength, ReturnLength, status);
    return status;
}

NTSTATUS OSAPI SimNtQueryObject(HANDLE Handle, ULONG ObjectInformationClass, PVOID ObjectInformation,
                                ULONG ObjectInformationLength, PULONG ReturnLength) {
    simbase::ParkIfKilled();
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    auto row = RowOf(state.data, Handle);
    NTSTATUS status = STATUS_INVALID_INFO_CLASS;
    if (!row) {
        status = STATUS_INVALID_HANDLE;
    } else if (RowAnswers(*row, ObjectInformationClass) != nullptr) {
        status = RawRowAnswer(state.data, *row, ObjectInformationClass, ObjectInformation, ObjectInformationLength,
                              ReturnLength);
    } else if (ObjectInformationClass == ObjectTypeInformation) {
        OBJECT_TYPE_INFORMATION record;
        std::memset(&record, 0, sizeof record);
        status = row->typeStatus;
        if (status == STATUS_SUCCESS) {
            std::u16string type(row->type.begin(), row->type.end());
            status = NameRecord(type, row->typeProbeReportsZero, ObjectInformation, ObjectInformationLength,
                                ReturnLength, record, record.TypeName);
        }
    } else if (ObjectInformationClass == ObjectNameInformation) {
        OBJECT_NAME_INFORMATION record;
        std::memset(&record, 0, sizeof record);
        status = row->nameStatus;
        if (status == STATUS_SUCCESS)
            status = NameRecord(row->name, row->nameProbeReportsZero, ObjectInformation, ObjectInformationLength,
                                ReturnLength, record, record.Name);
    }
    LogQuery(state.data.record.objectQueries, ObjectInformationClass, ObjectInformationLength, ReturnLength, status);
    return status;
}

NTSTATUS OSAPI SimNtQueryInformationFile(HANDLE FileHandle, IO_STATUS_BLOCK* IoStatusBlock, PVOID FileInformation,
                                         ULONG Length, ULONG FileInformationClass) {
    simbase::ParkIfKilled();
    State& state = Sim();
    std::unique_lock<std::mutex> lock(state.mutex);
    ++state.data.record.fileNameQueries;
    auto row = RowOf(state.data, FileHandle);
    if (!row) return STATUS_INVALID_HANDLE;
    if (FileInformationClass != FileNameInformation) return STATUS_INVALID_INFO_CLASS;
    if (RowAnswers(*row, FileNameInformation) != nullptr) {
        if (IoStatusBlock == nullptr || FileInformation == nullptr) return STATUS_INVALID_PARAMETER;
        ULONG information = 0;
        NTSTATUS status = RawRowAnswer(state.data, *row, FileNameInformation, FileInformation, Length, &information);
        IoStatusBlock->Status = status;
        IoStatusBlock->Information = information;
        return status;
    }
    if (row->type != "File") return STATUS_OBJECT_TYPE_MISMATCH;
    if (IoStatusBlock == nullptr || FileInformation == nullptr) return STATUS_INVALID_PARAMETER;
    if (row->fileQuery == FileQuery::Fails) return row->fileStatus;
    if (row->fileQuery == FileQuery::Blocks && !state.data.gateOpen && !WaitAtGate(state, lock))
        return STATUS_PROCESS_IS_TERMINATING;
    const size_t head = offsetof(FILE_NAME_INFORMATION, FileName);
    if (Length < head) return STATUS_INFO_LENGTH_MISMATCH;
    std::u16string name = row->fileQuery == FileQuery::Empty ? std::u16string() : row->fileName;
    ULONG fullBytes = static_cast<ULONG>(name.size() * sizeof(WCHAR));
    size_t room = (Length - head) / sizeof(WCHAR) * sizeof(WCHAR);
    size_t copied = fullBytes < room ? fullBytes : room;
    auto* out = static_cast<unsigned char*>(FileInformation);
    std::memcpy(out, &fullBytes, sizeof fullBytes);
    std::memcpy(out + head, name.data(), copied);
    NTSTATUS status = copied < fullBytes ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = head + copied;
    return status;
}

// The ID behind a process or thread handle, for the basic-information
// queries.
template <typename Info>
NTSTATUS BasicInformation(HANDLE handle, ULONG infoClass, PVOID out, ULONG length, PULONG returnLength,
                          const char* type, NTSTATUS Settings::*failure, unsigned sim::Record::*counter,
                          void (*fill)(Info&, uint32_t)) {
    simbase::ParkIfKilled();
    State& state = Sim();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++(state.data.record.*counter);
    auto row = RowOf(state.data, handle);
    if (!row) return STATUS_INVALID_HANDLE;
    if (infoClass != 0) return STATUS_INVALID_INFO_CLASS;
    if (length != sizeof(Info) || out == nullptr) return STATUS_INFO_LENGTH_MISMATCH;
    if (row->type != type) return STATUS_OBJECT_TYPE_MISMATCH;
    if (state.data.settings.*failure != STATUS_SUCCESS) return state.data.settings.*failure;
    if (row->idStatus != STATUS_SUCCESS) return row->idStatus;
    Info info;
    std::memset(&info, 0, sizeof info);
    fill(info, row->targetId);
    std::memcpy(out, &info, sizeof info);
    if (returnLength != nullptr) *returnLength = sizeof info;
    return STATUS_SUCCESS;
}

NTSTATUS OSAPI SimNtQueryInformationProcess(HANDLE ProcessHandle, ULONG ProcessInformationClass,
                                            PVOID ProcessInformation, ULONG ProcessInformationLength,
                                            PULONG ReturnLength) {
    return BasicInformation<PROCESS_BASIC_INFORMATION>(
        ProcessHandle, ProcessInformationClass, ProcessInformation, ProcessInformationLength, ReturnLength,
        "Process", &Settings::processInfoStatus, &sim::Record::processInfoQueries,
        [](PROCESS_BASIC_INFORMATION& info, uint32_t id) {
            info.UniqueProcessId = id;
            info.PebBaseAddress = reinterpret_cast<PVOID>(sim::detail::kProcessBlock);
        });
}

NTSTATUS OSAPI SimNtQueryInformationThread(HANDLE ThreadHandle, ULONG ThreadInformationClass,
                                           PVOID ThreadInformation, ULONG ThreadInformationLength,
                                           PULONG ReturnLength) {
    return BasicInformation<THREAD_BASIC_INFORMATION>(
        ThreadHandle, ThreadInformationClass, ThreadInformation, ThreadInformationLength, ReturnLength, "Thread",
        &Settings::threadInfoStatus, &sim::Record::threadInfoQueries,
        [](THREAD_BASIC_INFORMATION& info, uint32_t id) { info.ClientId.UniqueThread = IdAsHandle(id); });
}

template <typename Fn>
FARPROC AsProc(Fn fn) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace

FARPROC NativeExport(const char* name) {
    static const struct {
        const char* name;
        FARPROC proc;
    } kExports[] = {
        {"NtQuerySystemInformation", AsProc(&SimNtQuerySystemInformation)},
        {"NtQueryObject", AsProc(&SimNtQueryObject)},
        {"NtQueryInformationThread", AsProc(&SimNtQueryInformationThread)},
        {"NtQueryInformationFile", AsProc(&SimNtQueryInformationFile)},
        {"NtQueryInformationProcess", AsProc(&SimNtQueryInformationProcess)},
        {"NtQueryVirtualMemory", AsProc(&SimNtQueryVirtualMemory)},
    };
    for (const auto& e : kExports) {
        if (std::strcmp(e.name, name) == 0) return e.proc;
    }
    return nullptr;
}

}  // namespace detail

size_t ThreadRecordSize() { return sizeof(detail::SYSTEM_THREAD_INFORMATION); }

}  // namespace sim
