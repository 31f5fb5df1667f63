#include "tests/sim/SimSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tests/sim/generic/Utf.h"
#include "tests/sim/State.h"

namespace sim {

namespace detail {

State& Sim() {
    // Never destroyed: worker threads of a test may still be parked in it
    // when the program ends.
    static State* state = new State;
    return *state;
}

Process* Find(Data& data, uint32_t pid) {
    for (auto& process : data.processes) {
        if (process->pid == pid) return process.get();
    }
    return nullptr;
}

void Fault(Data& data, std::string what) { data.record.faults.push_back(std::move(what)); }

std::string Hex(uintptr_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

Process* ProcessOfHandle(Data& data, os::HANDLE handle, os::DWORD access, os::DWORD& error) {
    error = os::ERROR_INVALID_HANDLE;
    if (handle == CurrentProcessHandle()) return OwnProcess(data);
    auto object = simbase::LookupHandleAs<ProcessObject>(handle);
    if (!object) return nullptr;
    if ((object->access & access) != access) {
        error = os::ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return Find(data, object->pid);
}

std::shared_ptr<const HandleRow> RowOf(Data& data, os::HANDLE handle) {
    auto madeUp = [](const char* type, uint32_t target) {
        auto row = std::make_shared<HandleRow>();
        row->type = type;
        row->targetId = target;
        return row;
    };
    if (handle == CurrentProcessHandle()) return madeUp("Process", data.settings.ownPid);
    if (simbase::IsOwnHandleValue(handle)) {
        Process* own = OwnProcess(data);
        if (own == nullptr || handle == nullptr) return nullptr;
        for (const auto& row : own->handles) {
            if (row->value == simbase::OwnHandleValue(handle)) return row;
        }
        return nullptr;
    }
    auto object = simbase::LookupHandle(handle);
    if (auto copy = std::dynamic_pointer_cast<RowHandle>(object)) return copy->row;
    if (auto process = std::dynamic_pointer_cast<ProcessObject>(object)) return madeUp("Process", process->pid);
    if (std::dynamic_pointer_cast<simbase::Thread>(object)) return madeUp("Thread", 0);
    if (std::dynamic_pointer_cast<simbase::Event>(object)) return madeUp("Event", 0);
    if (std::dynamic_pointer_cast<TokenObject>(object)) return madeUp("Token", 0);
    return nullptr;
}

std::string Describe(os::HANDLE handle) {
    auto object = simbase::LookupHandle(handle);
    if (auto copy = std::dynamic_pointer_cast<RowHandle>(object))
        return "handle " + Hex(copy->row->value) + " of " + std::to_string(copy->row->ownerPid);
    if (auto process = std::dynamic_pointer_cast<ProcessObject>(object))
        return "process " + std::to_string(process->pid);
    if (std::dynamic_pointer_cast<simbase::Thread>(object)) return "thread";
    if (std::dynamic_pointer_cast<simbase::Event>(object)) return "event";
    if (std::dynamic_pointer_cast<TokenObject>(object)) return "token";
    return "unknown " + Hex(reinterpret_cast<uintptr_t>(handle));
}

std::string Narrow(const os::WCHAR* units, size_t count) {
    if (count == 0) return std::string();
    const int size = simbase::Utf16ToUtf8(units, static_cast<int>(count), nullptr, 0);
    std::string bytes(static_cast<size_t>(size), '\0');
    simbase::Utf16ToUtf8(units, static_cast<int>(count), &bytes[0], size);
    return bytes;
}

std::string Narrow(const os::WCHAR* units) { return Narrow(units, std::char_traits<char16_t>::length(units)); }

std::u16string Wide(const std::string& bytes) { return simbase::Utf8ToUtf16(bytes.data(), bytes.size()); }

os::DWORD CopyOut(const std::u16string& text, os::WCHAR* buffer, os::DWORD size) {
    if (buffer == nullptr || size <= text.size()) return static_cast<os::DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<os::DWORD>(text.size());
}

}  // namespace detail

using namespace detail;

namespace {

// The platform's own numbering of types differs from the fixed type table,
// so code that reads the row's number instead of asking for the name shows.
uint8_t PlatformTypeNumber(const std::string& type) {
    static const char* const kTypes[] = {"Directory", "SymbolicLink", "Token", "Process", "Thread", "Job",
                                         "Event", "EventPair", "Mutant", "Callback", "Semaphore", "Timer",
                                         "Profile", "WindowStation", "Desktop", "Section", "Key", "Port",
                                         "WaitablePort", "Adapter", "Controller", "Device", "Driver",
                                         "IoCompletion", "File"};
    for (size_t i = 0; i < sizeof kTypes / sizeof kTypes[0]; ++i) {
        if (type == kTypes[i]) return static_cast<uint8_t>(i + 4);
    }
    return 0;
}

// A file's name within its volume: the object name without "\Device\Name".
std::u16string WithoutDevice(const std::u16string& name) {
    const std::u16string prefix = u"\\Device\\";
    if (name.compare(0, prefix.size(), prefix) != 0) return name;
    size_t end = name.find(u'\\', prefix.size());
    return end == std::u16string::npos ? std::u16string() : name.substr(end);
}

unsigned g_rowsMade = 0;

}  // namespace

HandleRow& HandleRow::Target(uint32_t id) {
    targetId = id;
    return *this;
}
HandleRow& HandleRow::FileName(std::u16string text) {
    fileName = std::move(text);
    fileQuery = FileQuery::Name;
    return *this;
}
HandleRow& HandleRow::FileNameEmpty() {
    fileQuery = FileQuery::Empty;
    return *this;
}
HandleRow& HandleRow::FileNameFails(os::NTSTATUS status) {
    fileQuery = FileQuery::Fails;
    fileStatus = status;
    return *this;
}
HandleRow& HandleRow::FileNameBlocks() {
    fileQuery = FileQuery::Blocks;
    return *this;
}
HandleRow& HandleRow::TypeQueryFails(os::NTSTATUS status) {
    typeStatus = status;
    return *this;
}
HandleRow& HandleRow::NameQueryFails(os::NTSTATUS status) {
    nameStatus = status;
    return *this;
}
HandleRow& HandleRow::IdQueryFails(os::NTSTATUS status) {
    idStatus = status;
    return *this;
}
HandleRow& HandleRow::TypeProbeReportsZero() {
    typeProbeReportsZero = true;
    return *this;
}
HandleRow& HandleRow::NameProbeReportsZero() {
    nameProbeReportsZero = true;
    return *this;
}
HandleRow& HandleRow::DuplicationFails() {
    duplicationFails = true;
    return *this;
}
HandleRow& HandleRow::Flags(uint8_t value) {
    flags = value;
    return *this;
}
HandleRow& HandleRow::Identity(uint32_t volumeSerial, uint64_t id) {
    hasId = true;
    volume = volumeSerial;
    fileId = id;
    return *this;
}

FileName& FileName::Short(std::string path83) {
    shortPath = std::move(path83);
    return *this;
}
FileName& FileName::OpenFails() {
    openFails = true;
    return *this;
}
FileName& FileName::IdFails() {
    idFails = true;
    return *this;
}

Process& Process::Module(uintptr_t handle, std::string path) {
    modules.push_back(LoadedModule{handle, std::move(path), false});
    return *this;
}

Process& Process::ModuleNameFails(uintptr_t handle) {
    for (auto& module : modules) {
        if (module.handle == handle) module.nameFails = true;
    }
    return *this;
}

HandleRow& Process::Handle(uintptr_t value, std::string type, std::u16string name) {
    auto row = std::make_shared<HandleRow>();
    row->ownerPid = pid;
    row->value = value;
    row->typeNumber = PlatformTypeNumber(type);
    row->object = 0x81000000u + 0x18u * g_rowsMade++;
    row->access = type == "File" ? 0x0012019Fu : 0x001F0003u;
    if (type == "File") row->fileName = WithoutDevice(name);
    row->type = std::move(type);
    row->name = std::move(name);
    handles.push_back(row);
    return *row;
}

Process& Process::Threads(unsigned count) {
    threads = count;
    return *this;
}

Process& Process::DenyOpen() {
    openDenied = true;
    return *this;
}

Process& Process::EnumModulesFails(unsigned fromCall) {
    enumFails = FailFrom(os::ERROR_PARTIAL_COPY, fromCall);
    return *this;
}

Process& Process::ExitsAfterListings(unsigned count) {
    listedIn = count;
    return *this;
}

Process& Process::Exe(std::string path) {
    exePath = std::move(path);
    return *this;
}

Process& Process::Parent(uint32_t pid, int64_t created) {
    parentPid = pid;
    createTime = created;
    return *this;
}

Process& Process::CurrentFolder(uintptr_t handle) {
    currentFolder = handle;
    return *this;
}

Process& Process::Is64Bit() {
    is64Bit = true;
    return *this;
}

Process& Process::View(uintptr_t base, size_t size, std::string deviceName) {
    MappedView view;
    view.base = base;
    view.size = size;
    view.deviceName = std::move(deviceName);
    views.push_back(std::move(view));
    return *this;
}

MappedView& Process::LastView() { return views.back(); }

MappedView& MappedView::Image() {
    type = 0x1000000;
    return *this;
}

MappedView& MappedView::Regions(unsigned count) {
    regions = count;
    return *this;
}

MappedView& MappedView::PsapiNameFails() {
    psapiNameFails = true;
    return *this;
}

MappedView& MappedView::NativeNameFails() {
    nativeNameFails = true;
    return *this;
}

MappedView& MappedView::HeaderSize(size_t size) {
    headerSize = size;
    return *this;
}

FileName& FileName::CaseSensitive() {
    caseSensitive = true;
    return *this;
}

unsigned Record::ObjectQueries(os::ULONG infoClass) const {
    unsigned n = 0;
    for (const auto& call : objectQueries) n += call.infoClass == infoClass ? 1 : 0;
    return n;
}

unsigned Record::SystemQueries(os::ULONG infoClass) const {
    unsigned n = 0;
    for (const auto& call : systemQueries) n += call.infoClass == infoClass ? 1 : 0;
    return n;
}

void Reset() {
    State& state = Sim();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.data = Data();
        ++state.generation;
        g_rowsMade = 0;
    }
    state.changed.notify_all();
}

Settings& Set() { return Sim().data.settings; }

const Record& Log() { return Sim().data.record; }

Record LogCopy() {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    return Sim().data.record;
}

Process& AddProcess(uint32_t pid, const char16_t* imageName) {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    auto process = std::make_unique<Process>();
    process->pid = pid;
    process->hasName = imageName != nullptr;
    if (imageName != nullptr) process->imageName = imageName;
    Sim().data.processes.push_back(std::move(process));
    return *Sim().data.processes.back();
}

FileName& AddFile(std::string path, uint32_t volume, uint64_t id) {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    FileName file;
    file.path = std::move(path);
    file.volume = volume;
    file.id = id;
    Sim().data.settings.files.push_back(std::move(file));
    return Sim().data.settings.files.back();
}

Process* FindProcess(uint32_t pid) {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    return Find(Sim().data, pid);
}

void ReleaseBlockedQueries() {
    {
        std::lock_guard<std::mutex> lock(Sim().mutex);
        Sim().data.gateOpen = true;
    }
    Sim().changed.notify_all();
}

unsigned BlockedQueries() {
    std::lock_guard<std::mutex> lock(Sim().mutex);
    return Sim().data.blocked;
}

bool WaitForBlockedQueries(unsigned count, unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(Sim().mutex);
    return Sim().changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return Sim().data.blocked >= count; });
}

size_t OpenObjects() { return Counted::Live(); }

}  // namespace sim
