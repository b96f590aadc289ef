// How the stand-in servers stop: SIGINT and SIGTERM only raise a flag (all
// a signal handler may do), the serving loop checks it; SIGPIPE is ignored
// so that a client hanging up mid-answer is an error, not the end.
#ifndef SKYVANE_STOPSIGNALS_H
#define SKYVANE_STOPSIGNALS_H

#include <atomic>
#include <csignal>

namespace StopSignals {

inline std::atomic<bool> requested{false};

inline void raiseFlag(int)
{
    requested.store(true);
}

inline void install()
{
    struct sigaction action {};
    action.sa_handler = raiseFlag;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace StopSignals

#endif
