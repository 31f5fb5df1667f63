// A process as a search found it, held from that moment so that what is
// done to it later (a signal, an end) reaches that process or nothing: never
// another that has taken its ID since.
#pragma once

#include <string>

class HeldProcess {
public:
    virtual ~HeldProcess() = default;

    enum class Outcome {
        Sent,    // the signal was delivered
        Ended,   // the process had ended: nothing was sent, to it or to any other
        Failed,  // refused; `error` says why
    };
    // Sends `signal` (on Windows any signal ends the process).
    virtual Outcome Signal(int signal, std::string& error) = 0;
    // Whether the process still runs.
    virtual bool Running() const = 0;
    // Whether only this process can take the signal (through a pidfd or a
    // handle); false where the signal goes by its ID, which another process
    // can take between the last check and the signal.
    virtual bool Firm() const { return true; }
};
