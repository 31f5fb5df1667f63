#include "linux/Faults.h"

#ifdef FENCAT_FAULTS

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace proc {

namespace {

struct Fault {
    Call call;
    int error;
    uint32_t pid;  // 0: every process
};

int ErrorNumber(const std::string& name) {
    static const struct {
        const char* name;
        int value;
    } kNames[] = {{"EACCES", EACCES}, {"EPERM", EPERM},   {"EMFILE", EMFILE}, {"ENFILE", ENFILE},
                  {"ENOMEM", ENOMEM}, {"ENOSYS", ENOSYS}, {"EIO", EIO},       {"ESRCH", ESRCH}};
    for (const auto& n : kNames) {
        if (name == n.name) return n.value;
    }
    return std::atoi(name.c_str());
}

std::vector<Fault> Parse(const char* text) {
    static const struct {
        const char* name;
        Call call;
    } kCalls[] = {{"pidfd_open", Call::PidfdOpen},
                  {"pidfd_send_signal", Call::PidfdSendSignal},
                  {"hold_folder", Call::HoldFolder},
                  {"signal_check", Call::SignalCheck},
                  {"proc_open", Call::ProcessFolder},
                  {"fd_stat", Call::DescriptorStat},
                  {"stall", Call::Stall}};
    std::vector<Fault> faults;
    std::string all = text != nullptr ? text : "";
    for (size_t at = 0; at < all.size();) {
        const size_t comma = std::min(all.find(',', at), all.size());
        std::string item = all.substr(at, comma - at);
        at = comma + 1;
        Fault fault{Call::Stall, 0, 0};
        const size_t pidAt = item.find('@');
        if (pidAt != std::string::npos) {
            fault.pid = static_cast<uint32_t>(std::strtoul(item.c_str() + pidAt + 1, nullptr, 10));
            item.erase(pidAt);
        }
        const size_t equals = item.find('=');
        const std::string call = item.substr(0, equals);
        fault.error = equals == std::string::npos ? 1 : ErrorNumber(item.substr(equals + 1));
        for (const auto& c : kCalls) {
            if (call == c.name) {
                fault.call = c.call;
                faults.push_back(fault);
            }
        }
    }
    return faults;
}

}  // namespace

int InjectedError(Call call, uint32_t pid) {
    // Never destroyed: a reader given up may still ask while the process exits.
    static const std::vector<Fault>* const faults = new std::vector<Fault>(Parse(std::getenv("FENCAT_TEST_FAULTS")));
    for (const Fault& fault : *faults) {
        if (fault.call == call && (fault.pid == 0 || fault.pid == pid)) return fault.error;
    }
    return 0;
}

}  // namespace proc

#endif
