// Before <windows.h>, whose macros would stand for the platform layer's names.
#include "cli/Platform.h"
#include "windows/sysinfo/OwnerProcesses.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "cli/win32/Console.h"
#include "search/Paths.h"
#include "windows/search/MappedViews.h"
#include "windows/sysinfo/Unicode.h"

const char kHelpIntro[] =
    "Usage: fencat [OPTION]... FILE...\n"
    "  or:  fencat [OPTION]... --name NAME...\n"
    "  or:  fencat [OPTION]... --under DIR...\n"
    "Lists the processes that use each FILE: those that have it loaded as a\n"
    "module, then those that hold an open handle to it, then those that have\n"
    "it mapped into memory, one line each: the process ID in hexadecimal and\n"
    "the image name.\n"
    "\n"
    "A FILE is matched by its full path (a bare name: in the current folder);\n"
    "--name matches a file name in any folder.\n"
    "\n";

const char kHelpNotes[] =
    "\n"
    "Run it as administrator to include other users' processes.\n";

const char kShortUsage[] =
    "Usage: fencat [OPTION]... FILE...\n"
    "Try 'fencat --help' for more information.\n";

const std::vector<Signal>& Signals() {
    // What TerminateProcess can stand for.
    static const std::vector<Signal> signals = {{"KILL", 9}, {"TERM", 15}};
    return signals;
}

int DefaultSignal() { return 9; }

bool CanSearchFileSystems() { return false; }

const char* PlatformHelpArgument() { return "/?"; }

uint32_t OwnProcessId() { return ::GetCurrentProcessId(); }

std::string UserName(const Finding& finding) {
    // The search holds the process open with room to read its token; a
    // finding held by nothing is asked by its ID.
    const auto* owner = dynamic_cast<const OwnerProcess*>(finding.process.get());
    HANDLE process = owner != nullptr ? owner->Handle()
                                      : ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, finding.pid);
    if (process == nullptr) return std::string();
    std::string name;
    HANDLE token = nullptr;
    if (::OpenProcessToken(process, TOKEN_QUERY, &token)) {
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::unique_ptr<char[]> buffer(new char[size > 0 ? size : 1]);
        if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
            const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.get());
            wchar_t account[256], domain[256];
            DWORD accountSize = 256, domainSize = 256;
            SID_NAME_USE use;
            if (::LookupAccountSidW(nullptr, user->User.Sid, account, &accountSize, domain, &domainSize, &use))
                name = ToUtf8(std::u16string(account, account + accountSize));
        }
        ::CloseHandle(token);
    }
    if (owner == nullptr) ::CloseHandle(process);
    return name;
}

std::vector<std::string> StartCommandLine(int, char**) {
    ShowStandardStreamsAsUtf8();
    // The command line is a finding of its own kind besides modules and
    // handles: files that processes have mapped into memory.
    SearchMappedViews(true);
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i)
        arguments.push_back(ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    ::LocalFree(wide);
    return arguments;
}

PathCheck CheckPath(const std::string& file, std::string& name, std::string& error) {
    const std::u16string given = FromUtf8(file);
    if (given.size() >= 4 && IsPathSeparator(given[0], PathStyle::Windows) &&
        IsPathSeparator(given[1], PathStyle::Windows) && given[2] == u'.' && IsPathSeparator(given[3], PathStyle::Windows)) {
        error = "a \\\\.\\ path names a device, not a file: give the file's path (in its \\\\?\\ form to have it taken "
                "exactly as written)";
        return PathCheck::Missing;
    }
    // A \\?\ name is full and literal: no full-path rule may drop its trailing
    // dots or blanks, or read a device into a reserved name.
    std::u16string absolute = given;
    const bool made = given.compare(0, 4, u"\\\\?\\") == 0 || AbsolutePath(given, absolute);
    const std::u16string path = ExtendedLengthPath(absolute);
    if (made && ::GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) != INVALID_FILE_ATTRIBUTES) {
        name = ToUtf8(absolute);
        return PathCheck::There;
    }
    const DWORD code = ::GetLastError();
    wchar_t* message = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    std::u16string text = message != nullptr ? std::u16string(message, message + std::wcslen(message)) : u"";
    ::LocalFree(message);
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u'.')) text.pop_back();
    error = text.empty() ? "error " + std::to_string(code) : ToUtf8(text);
    return PathCheck::Missing;
}
