// The process-status library: modules are the files a process has mapped.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "platform/Api.h"
#include "platform/generic/Bounded.h"
#include "platform/linux/Linux.h"

using namespace standin::linux_proc;

namespace {

// Reading a process's maps waits for its memory-map lock, which a process
// stuck in the kernel can hold indefinitely; no process may stall a search
// for longer than this.
constexpr std::chrono::milliseconds kMapsReadLimit(100);

// What one read owns: it may outlive the call that started it.
struct MapsRead {
    int fd = -1;
    bool ok = false;
    std::string text;
    ~MapsRead() {
        if (fd >= 0) close(fd);
    }
};

bool ReadModules(Process& process) {
    if (process.modulesRead) return true;
    if (process.mapsFd < 0) return false;
    auto read = std::make_shared<MapsRead>();
    std::swap(read->fd, process.mapsFd);
    static standin::BoundedRunner runner;
    if (!runner.Run([read] { read->ok = ReadAll(read->fd, read->text); }, kMapsReadLimit) || !read->ok) return false;
    ParseMaps(read->text.data(), read->text.size(), process.modules);
    process.modulesRead = true;
    return true;
}

os::BOOL OSAPI EnumProcessModules(os::HANDLE handle, os::HMODULE* modules, os::DWORD size, os::LPDWORD needed) {
    auto process = standin::LookupHandleAs<Process>(handle);
    if (!process || !ReadModules(*process)) {
        standin::LastError() = process ? os::ERROR_PARTIAL_COPY : os::ERROR_INVALID_HANDLE;
        return os::FALSE;
    }
    size_t count = process->modules.size();
    if (needed != nullptr) *needed = static_cast<os::DWORD>(count * sizeof(os::HMODULE));
    size_t fit = size / sizeof(os::HMODULE);
    for (size_t i = 0; i < count && i < fit; ++i) modules[i] = reinterpret_cast<os::HMODULE>(process->modules[i].base);
    return os::TRUE;
}

os::DWORD OSAPI GetModuleFileNameExA(os::HANDLE handle, os::HMODULE module, os::LPSTR name, os::DWORD size) {
    auto process = standin::LookupHandleAs<Process>(handle);
    if (!process || !process->modulesRead || size == 0) {
        standin::LastError() = os::ERROR_INVALID_HANDLE;
        return 0;
    }
    const auto base = reinterpret_cast<uintptr_t>(module);
    const std::vector<MappedFile>& modules = process->modules;
    size_t at = process->nextModule < modules.size() && modules[process->nextModule].base == base
                    ? process->nextModule
                    : modules.size();
    for (size_t i = 0; at == modules.size() && i < modules.size(); ++i) {
        if (modules[i].base == base) at = i;
    }
    if (at == modules.size()) {
        standin::LastError() = os::ERROR_INVALID_HANDLE;
        return 0;
    }
    process->nextModule = at + 1;
    // Cut to fit, as the platform does.
    const std::string& path = modules[at].path;
    size_t length = path.size() < size ? path.size() : size - 1;
    std::memcpy(name, path.data(), length);
    name[length] = '\0';
    return static_cast<os::DWORD>(length);
}

}  // namespace

namespace standin {
namespace linux_proc {

os::FARPROC PsapiEntryPoint(const char* name) {
    if (std::strcmp(name, "EnumProcessModules") == 0) return reinterpret_cast<os::FARPROC>(&EnumProcessModules);
    if (std::strcmp(name, "GetModuleFileNameExA") == 0) return reinterpret_cast<os::FARPROC>(&GetModuleFileNameExA);
    return nullptr;
}

}  // namespace linux_proc
}  // namespace standin
