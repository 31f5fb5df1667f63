// The reading of a task's mappings: through the kernel's query where only
// identities are compared, else through the text of its maps.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "linux/MapsQuery.h"
#include "linux/ProcessReader.h"

namespace proc {

ReadOutcome ProcessReader::ReadMaps(const Entry& entry) {
    const int fd = openat(m_task, entry.name, O_RDONLY | O_CLOEXEC);
    Tick();
    if (fd < 0) return FailureOf(errno);
    if (ReadOutcome queried; !m_context.index.needText && QueryMaps(fd, entry, queried)) {
        close(fd);
        return queried;
    }
    size_t used = 0;
    ssize_t n;
    for (;;) {
        if (m_buffer.size - used < 65536) m_buffer.Grow(used, std::max<size_t>(131072, 2 * m_buffer.size));
        n = read(fd, m_buffer.data.get() + used, m_buffer.size - used);
        Tick();
        if (n > 0) {
            used += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    const int error = errno;
    close(fd);
    if (n < 0) return FailureOf(error);

    std::string unescaped;
    Mapping last;
    ForEachLine(m_buffer.data.get(), used, [&](const char* begin, const char* end) {
        Mapping mapping;
        if (!ParseMapsLine(begin, end, mapping)) return;
        // A file's mappings mostly stand together.
        if (mapping.id == last.id && mapping.path == last.path) return;
        last = mapping;
        std::string_view path = mapping.path;
        if (path.find('\\') != std::string_view::npos) {
            unescaped = UnescapeMapsPath(path);
            path = unescaped;
        }
        Candidate candidate;
        candidate.haveId = true;
        candidate.id = mapping.id;
        candidate.text =
            m_context.index.needText && mapping.id.dev != m_context.index.sharedMemoryDev ? &path : nullptr;
        m_matcher.Compare(candidate, [&](uint32_t target) {
            Add(target, Finding::Kind::Module, entry.access, Finding::kUnknown, std::string(path), mapping.id);
        });
    });
    return ReadOutcome::Examined;
}

bool ProcessReader::QueryMaps(int fd, const Entry& entry, ReadOutcome& outcome) {
    MappedFile mapping, last, named;
    std::string name, path;
    bool textNeeded = false;
    for (uint64_t address = 0; !textNeeded;) {
        const MapsQuery query = QueryMappedFile(fd, address, mapping, nullptr);
        const int error = errno;
        Tick();
        if (query == MapsQuery::Unsupported) return false;
        if (query != MapsQuery::Found) {
            // No memory, as a kernel thread has, maps nothing: its text is empty.
            outcome = query == MapsQuery::End || query == MapsQuery::Gone ? ReadOutcome::Examined : FailureOf(error);
            return true;
        }
        address = mapping.end;
        // A file's mappings mostly stand together.
        if (mapping.id.ino == 0 || mapping.id == last.id) continue;
        last = mapping;
        Candidate candidate;
        candidate.haveId = true;
        candidate.id = mapping.id;
        bool haveName = false, unnamed = false;
        ReadOutcome nameRead = ReadOutcome::Examined;
        m_matcher.Compare(candidate, [&](uint32_t target) {
            if (!haveName && !unnamed) {
                const MapsQuery again = QueryMappedFile(fd, mapping.start, named, &name);
                // A mapping whose name could not be had is not examined.
                if (again == MapsQuery::Failed) nameRead = FailureOf(errno);
                Tick();
                textNeeded = again == MapsQuery::Unsupported;
                // Unmapped meanwhile: as if read a moment later.
                haveName = again == MapsQuery::Found && named.start == mapping.start && named.id == mapping.id &&
                           MapsPath(name, path);
                unnamed = !haveName;
            }
            if (haveName) Add(target, Finding::Kind::Module, entry.access, Finding::kUnknown, path, mapping.id);
        });
        if (nameRead != ReadOutcome::Examined && nameRead != ReadOutcome::Gone) {
            outcome = nameRead;
            return true;
        }
    }
    return false;
}

bool ProcessReader::MapsPath(const std::string& name, std::string& path) {
    // The text writes a newline as "\012" and begins the path after the
    // spaces that pad its column.
    std::string text;
    for (const char c : name) text += c == '\n' ? std::string("\\012") : std::string(1, c);
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return false;
    const std::string_view written = std::string_view(text).substr(begin);
    path = written.find('\\') != std::string_view::npos ? UnescapeMapsPath(written) : std::string(written);
    return true;
}

}  // namespace proc
