// The start-up login check on a thread of its own: one getUserOptions2
// call with the stored account, made with a SOAP context that lives and
// dies on the worker thread.
//
// A worker that the user gave up on is abandoned rather than stopped: it
// finishes its call whenever the server answers or the connection ends,
// nobody reads its result, and it deletes itself afterwards.  At
// application exit such workers get a short grace time; one still blocked
// after that is left to end with the process.
#ifndef SKYVANE_CONNECTIONTHREAD_H
#define SKYVANE_CONNECTIONTHREAD_H

#include <QThread>

#include <atomic>

class ConnectionThread : public QThread {
    Q_OBJECT
public:
    ConnectionThread();
    ~ConnectionThread() override;

    // -1 until a call succeeded, then the server's userOptions value.
    int result() const { return result_.load(); }

    // Hands a worker that has not finished over to itself (GUI thread):
    // it is deleted once it has ended, without anyone waiting for it.
    static void abandon(ConnectionThread* worker);
    // Abandoned workers not yet deleted.
    static int abandonedCount();

protected:
    void run() override;

private slots:
    void releaseIfAbandoned();

private:
    static void waitForAbandonedAtExit();

    std::atomic<int> result_{-1};
    // Set by the worker as the last thing run() does.
    std::atomic<bool> done_{false};
    // GUI thread only.
    bool abandoned_ = false;
    bool released_ = false;
};

#endif
