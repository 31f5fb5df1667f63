#include "linux/Scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "linux/Hold.h"
#include "linux/ProcessReader.h"
#include "linux/UnixSockets.h"
#include "linux/Watchdog.h"

namespace proc {

ScanContext::ScanContext(const std::vector<Target>& targets, int procRoot, unsigned readerThreads)
    : index(targets),
      self(static_cast<uint32_t>(getpid())),
      readers(readerThreads),
      holdLimit(HoldLimit(readerThreads)),
      root(fcntl(procRoot, F_DUPFD_CLOEXEC, 0)) {
    ownMounts = MountNamespace(root, "self/ns/mnt");
    char link[16];
    const ssize_t n = readlinkat(root, "self", link, sizeof link);
    ownPids = n > 0 && std::string(link, static_cast<size_t>(n)) == std::to_string(self);
}

ScanContext::~ScanContext() {
    if (root >= 0) close(root);
}

const std::string* ScanContext::BoundPath(uint64_t inode) {
    std::call_once(m_socketsRead, [this] {
        // The kernel's own list has every name exactly, newlines too.
        std::vector<BoundSocket> bound;
        if (ListBoundSockets(bound)) {
            for (BoundSocket& socket : bound) m_sockets.emplace_back(socket.inode, std::move(socket.path));
            return;
        }
        std::string text;
        if (ReadWholeFile(root, "net/unix", text)) m_sockets = ParseUnixSockets(text.data(), text.size());
    });
    auto at = std::lower_bound(m_sockets.begin(), m_sockets.end(), inode,
                               [](const std::pair<uint64_t, std::string>& e, uint64_t key) { return e.first < key; });
    return at != m_sockets.end() && at->first == inode ? &at->second : nullptr;
}

namespace {

std::vector<uint32_t> ListProcesses(int root, bool& listed, int& error) {
    std::vector<uint32_t> pids;
    const int fd = openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr && fd >= 0) close(fd);
    listed = dir != nullptr;
    error = listed ? 0 : errno;
    if (dir == nullptr) return pids;
    while (const dirent* entry = readdir(dir)) {
        uint64_t pid;
        if (ParseDecimal(entry->d_name, pid) && pid <= UINT32_MAX) pids.push_back(static_cast<uint32_t>(pid));
    }
    closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

unsigned Cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

// The processes being read now, by this scan or by a reader that an earlier
// scan gave up and that has not returned: such a process is not read again
// (and no further thread is left hanging on it) until that read returns.
class Registry {
public:
    void Start(uint32_t pid) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reading.push_back(pid);
    }
    void End(uint32_t pid) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reading.erase(std::find(m_reading.begin(), m_reading.end(), pid));
    }
    // Those being read, ascending, each once.
    std::vector<uint32_t> Reading() {
        std::vector<uint32_t> pids;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pids = m_reading;
        }
        std::sort(pids.begin(), pids.end());
        pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
        return pids;
    }

private:
    std::mutex m_mutex;
    std::vector<uint32_t> m_reading;
};

// Never destroyed: a reader that was given up may return, and end its read
// here, while the process exits and destroys its statics.
Registry& Readers() {
    static Registry* const registry = new Registry;
    return *registry;
}

}  // namespace

namespace {

struct Read {
    ReadOutcome outcome = ReadOutcome::Gone;
    std::vector<Hit> hits;
};

// Reads `pids` on `threads` threads, this one watching them.
Watchdog<Read>::Outcome ReadAll(const std::shared_ptr<ScanContext>& context, std::vector<uint32_t> pids,
                                size_t threads) {
    auto shared = std::make_shared<const std::vector<uint32_t>>(std::move(pids));
    return Watchdog<Read>::Run(shared->size(), threads, std::chrono::milliseconds(kStallMilliseconds),
                               [context, shared](size_t index, Progress& progress) {
                                   thread_local ReadBuffer buffer;
                                   ProcessReader reader(*context, progress, buffer);
                                   Read result;
                                   const uint32_t pid = (*shared)[index];
                                   Readers().Start(pid);
                                   result.outcome =
                                       context->root < 0 ? ReadOutcome::Short : reader.Read(pid, result.hits);
                                   Readers().End(pid);
                                   return result;
                               });
}

// A thread's ID opens a /proc folder too, but names no process: one whose
// status gives another thread group is none. Where the status cannot be
// read, the reading of the process says why.
bool NamesNoProcess(int root, uint32_t pid) {
    std::string text;
    if (!ReadWholeFile(root, (std::to_string(pid) + "/status").c_str(), text)) return false;
    const size_t at = text.find("\nTgid:");
    if (at == std::string::npos) return false;
    const size_t begin = text.find_first_not_of(" \t", at + 6);
    const size_t end = text.find('\n', begin);
    uint64_t group = 0;
    return begin != std::string::npos && ParseDecimal(std::string_view(text).substr(begin, end - begin), group) &&
           group != pid;
}

}  // namespace

ScanOutcome Scan(const std::vector<Target>& targets, int procRoot, const std::vector<uint32_t>* only) {
    ScanOutcome outcome;
    // Those asked for need no listing: one that has ended is not found.
    std::vector<uint32_t> pids;
    if (only != nullptr) {
        pids = *only;
        std::sort(pids.begin(), pids.end());
        pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
        pids.erase(std::remove_if(pids.begin(), pids.end(),
                                  [procRoot](uint32_t pid) { return NamesNoProcess(procRoot, pid); }),
                   pids.end());
        outcome.listed = true;
    } else {
        pids = ListProcesses(procRoot, outcome.listed, outcome.listError);
    }
    // A thread for every core there is work for; this one watches them.
    constexpr size_t kProcessesPerThread = 16;
    const size_t threads = std::min<size_t>(Cores(), (pids.size() + kProcessesPerThread - 1) / kProcessesPerThread);
    auto context =
        std::make_shared<ScanContext>(targets, procRoot, static_cast<unsigned>(std::max<size_t>(threads, 1)));
    // Our own process is no user of anything the user asked about.
    pids.erase(std::remove(pids.begin(), pids.end(), context->self), pids.end());
    outcome.stalled = Readers().Reading();
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [&](uint32_t pid) {
                                  return std::binary_search(outcome.stalled.begin(), outcome.stalled.end(), pid);
                              }),
               pids.end());

    auto read = ReadAll(context, pids, threads);
    // Those that found no descriptor to spare are read again one at a time,
    // once the other readers have let theirs go.
    std::vector<uint32_t> again;
    std::vector<size_t> where;
    for (size_t i = 0; i < pids.size(); ++i) {
        if (read.results[i].outcome != ReadOutcome::Short) continue;
        again.push_back(pids[i]);
        where.push_back(i);
    }
    if (!again.empty()) {
        auto second = ReadAll(context, again, 1);
        for (size_t k = 0; k < again.size(); ++k) read.results[where[k]] = std::move(second.results[k]);
        for (const size_t k : second.stalled) read.stalled.push_back(where[k]);
    }
    for (const size_t index : read.stalled) outcome.stalled.push_back(pids[index]);
    std::sort(outcome.stalled.begin(), outcome.stalled.end());
    for (size_t i = 0; i < pids.size(); ++i) {
        Read& result = read.results[i];
        if (result.outcome == ReadOutcome::Refused) outcome.refused.push_back(pids[i]);
        if (result.outcome == ReadOutcome::Short) outcome.exhausted.push_back(pids[i]);
        if (!result.hits.empty()) outcome.processes.push_back(std::move(result.hits));
    }
    return outcome;
}

}  // namespace proc
