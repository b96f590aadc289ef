// The start-up login check on a thread of its own: one getUserOptions2
// call with the stored account, made with a SOAP context that lives and
// dies on the worker thread.  A worker the user gave up on is abandoned
// (see AbandonableThread).
#ifndef SKYVANE_CONNECTIONTHREAD_H
#define SKYVANE_CONNECTIONTHREAD_H

#include "AbandonableThread.h"

#include <atomic>

class ConnectionThread : public AbandonableThread {
    Q_OBJECT
public:
    ConnectionThread() = default;

    // -1 until a call succeeded, then the server's userOptions value.
    int result() const { return result_.load(); }

protected:
    void run() override;

private:
    std::atomic<int> result_{-1};
};

#endif
