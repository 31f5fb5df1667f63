#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include "cli/Platform.h"
#include "linux/Owner.h"

const char kHelpIntro[] =
    "Usage: fencat [OPTION]... FILE...\n"
    "  or:  fencat [OPTION]... --name NAME...\n"
    "  or:  fencat [OPTION]... --under DIR...\n"
    "Lists the processes that use each FILE: those that have it loaded or mapped,\n"
    "then those that hold it open (or sit in it, if it is a folder), one line\n"
    "each: the process ID in hexadecimal and the process's name.\n"
    "\n"
    "A FILE is the file it names here (a bare name: in the current folder), found\n"
    "by device and inode: through bind mounts and hard links. --name matches a\n"
    "file name in any folder. Every FILE is answered from one look at the\n"
    "processes.\n"
    "\n";

const char kHelpNotes[] =
    "\n"
    "Names are written with control characters as \\xHH and a backslash as \\\\.\n"
    "Processes fencat may not examine are counted on standard error; root, or\n"
    "CAP_SYS_PTRACE with CAP_DAC_READ_SEARCH, sees them all. The window is\n"
    "fencat-window.\n";

const char kShortUsage[] =
    "Usage: fencat [OPTION]... FILE...\n"
    "Try 'fencat --help' for more information.\n";

const std::vector<Signal>& Signals() {
    static const std::vector<Signal> signals = {
        {"HUP", SIGHUP},       {"INT", SIGINT},       {"QUIT", SIGQUIT},     {"ILL", SIGILL},   {"TRAP", SIGTRAP},
        {"ABRT", SIGABRT},     {"BUS", SIGBUS},       {"FPE", SIGFPE},       {"KILL", SIGKILL}, {"USR1", SIGUSR1},
        {"SEGV", SIGSEGV},     {"USR2", SIGUSR2},     {"PIPE", SIGPIPE},     {"ALRM", SIGALRM}, {"TERM", SIGTERM},
        {"STKFLT", SIGSTKFLT}, {"CHLD", SIGCHLD},     {"CONT", SIGCONT},     {"STOP", SIGSTOP}, {"TSTP", SIGTSTP},
        {"TTIN", SIGTTIN},     {"TTOU", SIGTTOU},     {"URG", SIGURG},       {"XCPU", SIGXCPU}, {"XFSZ", SIGXFSZ},
        {"VTALRM", SIGVTALRM}, {"PROF", SIGPROF},     {"WINCH", SIGWINCH},   {"IO", SIGIO},     {"PWR", SIGPWR},
        {"SYS", SIGSYS},
    };
    return signals;
}

int DefaultSignal() { return SIGKILL; }

bool CanSearchFileSystems() { return true; }

const char* PlatformHelpArgument() { return nullptr; }

uint32_t OwnProcessId() { return static_cast<uint32_t>(getpid()); }

std::string UserName(const Finding& finding) { return UserNameOf(finding.uid); }

namespace {

// A standard stream that was closed would lend its number to the next file
// opened, and what is meant for it would go there. Each is held by
// /dev/null, opened the other way, so that using it fails as before.
void HoldClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        const int held = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            dup2(held, fd);
            close(held);
        }
    }
}

}  // namespace

std::vector<std::string> StartCommandLine(int argc, char** argv) {
    HoldClosedStandardStreams();
    return std::vector<std::string>(argv + 1, argv + argc);
}

PathCheck CheckPath(const std::string&, std::string&, std::string&) { return PathCheck::Canonical; }
