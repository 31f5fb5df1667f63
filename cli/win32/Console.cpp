// Standard output and error as a Windows console shows them: the program
// writes UTF-8; where a stream is a console, a thread of its own turns it
// into UTF-16 for WriteConsoleW. A stream that is redirected gets the UTF-8
// bytes as they are.
#include "cli/win32/Console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "windows/sysinfo/Unicode.h"

namespace {

struct ConsoleStream {
    HANDLE console = nullptr;  // where the text goes
    HANDLE pipe = nullptr;     // what the program's stream writes into, read here
    HANDLE thread = nullptr;
};

ConsoleStream g_streams[2];

// Length of the end of `bytes` that may be the start of a UTF-8 sequence
// still to come.
size_t UnfinishedTail(const std::string& bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const unsigned char c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) != 0x80) {
            const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            return length > back ? back : 0;
        }
    }
    return 0;
}

void Show(HANDLE console, const std::string& bytes) {
    const std::u16string wide = FromUtf8(bytes);
    DWORD written = 0;
    for (size_t at = 0; at < wide.size(); at += written) {
        const DWORD count = static_cast<DWORD>(wide.size() - at < 8192 ? wide.size() - at : 8192);
        if (!::WriteConsoleW(console, wide.data() + at, count, &written, nullptr) || written == 0) return;
    }
}

DWORD WINAPI Pump(LPVOID parameter) {
    auto* stream = static_cast<ConsoleStream*>(parameter);
    std::string pending;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(stream->pipe, buffer, sizeof buffer, &read, nullptr) && read != 0) {
        pending.append(buffer, read);
        const size_t keep = UnfinishedTail(pending);
        Show(stream->console, pending.substr(0, pending.size() - keep));
        pending.erase(0, pending.size() - keep);
    }
    Show(stream->console, pending);
    return 0;
}

// At exit: the streams are flushed and closed, so that each thread sees the
// end of its pipe and shows the rest before the process ends.
void Finish() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int fd = 1; fd <= 2; ++fd) {
        ConsoleStream& stream = g_streams[fd - 1];
        if (stream.thread == nullptr) continue;
        _close(fd);
        ::WaitForSingleObject(stream.thread, 5000);
        ::CloseHandle(stream.thread);
        ::CloseHandle(stream.pipe);
    }
}

bool Redirect(int fd, DWORD which) {
    ConsoleStream& stream = g_streams[fd - 1];
    HANDLE standard = ::GetStdHandle(which);
    DWORD mode;
    if (standard == nullptr || standard == INVALID_HANDLE_VALUE || !::GetConsoleMode(standard, &mode)) return false;
    // A handle of our own: taking the stream over below closes the one the
    // C runtime had.
    HANDLE console = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), standard, ::GetCurrentProcess(), &console, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return false;
    HANDLE write = nullptr;
    if (!::CreatePipe(&stream.pipe, &write, nullptr, 0)) {
        ::CloseHandle(console);
        return false;
    }
    const int writeFd = _open_osfhandle(reinterpret_cast<intptr_t>(write), _O_WRONLY | _O_BINARY);
    if (writeFd < 0 || _dup2(writeFd, fd) != 0) {
        if (writeFd >= 0) _close(writeFd); else ::CloseHandle(write);
        ::CloseHandle(stream.pipe);
        ::CloseHandle(console);
        stream.pipe = nullptr;
        return false;
    }
    _close(writeFd);
    stream.console = console;
    stream.thread = ::CreateThread(nullptr, 0, Pump, &stream, 0, nullptr);
    return stream.thread != nullptr;
}

}  // namespace

void ShowStandardStreamsAsUtf8() {
    bool redirected = Redirect(1, STD_OUTPUT_HANDLE);
    redirected = Redirect(2, STD_ERROR_HANDLE) || redirected;
    if (redirected) std::atexit(Finish);
}
