// A worker thread that the GUI can give up on without stopping it.
//
// An abandoned worker finishes its work whenever its blocking call ends,
// nobody reads its result, and it deletes itself afterwards.  At
// application exit such workers get a short grace time; one still blocked
// after that is left to end with the process.  Forced termination is never
// used: it could leave a lock held or a file half-written.
#ifndef SKYVANE_ABANDONABLETHREAD_H
#define SKYVANE_ABANDONABLETHREAD_H

#include <QThread>

#include <atomic>

class AbandonableThread : public QThread {
    Q_OBJECT
public:
    explicit AbandonableThread(QObject* parent = nullptr);
    ~AbandonableThread() override;

    // Hands a worker that has not finished over to itself (GUI thread; the
    // worker must have no parent): it is deleted once it has ended,
    // without anyone waiting for it.
    static void abandon(AbandonableThread* worker);
    // Abandoned workers not yet deleted.
    static int abandonedCount();

    // True once abandon() was called (GUI thread).
    bool isAbandoned() const { return abandoned_; }

private slots:
    void releaseIfAbandoned();

private:
    static void waitForAbandonedAtExit();

    // Set on the worker's thread as it finishes, before the queued
    // release is posted.
    std::atomic<bool> done_{false};
    // GUI thread only.
    bool abandoned_ = false;
    bool released_ = false;
};

#endif
