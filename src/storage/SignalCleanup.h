#pragma once
// The temporary files of saves under way, removed should SIGINT, SIGTERM, SIGHUP or SIGXFSZ end
// the program (a signal the process ignores stays ignored); and a hold on every signal between
// two steps that must not be parted.

#include <csignal>

namespace storage {

// Notes a temporary file for removal on a signal (its name must live until unwatched); the
// handlers are in place while any file is noted.
void watchSignals(const char* part);
void unwatchSignals(const char* part);

// Blocks every signal while it lives, so that nothing ends the program between two steps.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &m_before);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_before;
};

}  // namespace storage
