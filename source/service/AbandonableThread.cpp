#include "AbandonableThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>

namespace {

// How long the application's exit waits for abandoned workers, all told.
const int kExitGraceMs = 500;

// The abandoned workers still alive.  GUI thread only.  Never destroyed:
// a worker left running at exit stays reachable through it.
QSet<AbandonableThread*>& abandonedWorkers()
{
    static auto* workers = new QSet<AbandonableThread*>();
    return *workers;
}

}  // namespace

AbandonableThread::AbandonableThread(QObject* parent) : QThread(parent)
{
    // Direct: runs on the worker as it finishes, so done_ is set before the
    // queued release below is posted.
    connect(this, &QThread::finished, this, [this] { done_.store(true); }, Qt::DirectConnection);
    // Queued: the slot runs on the GUI thread, where abandoned_ lives.
    connect(this, &QThread::finished, this, &AbandonableThread::releaseIfAbandoned, Qt::QueuedConnection);
}

AbandonableThread::~AbandonableThread()
{
    // Only finished workers are deleted; this waits out Qt's own finish.
    wait();
    abandonedWorkers().remove(this);
}

void AbandonableThread::abandon(AbandonableThread* worker)
{
    static bool exitHookInstalled = false;
    if (!exitHookInstalled) {
        qAddPostRoutine(waitForAbandonedAtExit);
        exitHookInstalled = true;
    }
    abandonedWorkers().insert(worker);
    worker->abandoned_ = true;
    // A worker that ended before it was abandoned may have had its finish
    // handled already; one that had not yet will be released by it.
    if (worker->done_.load())
        worker->releaseIfAbandoned();
}

int AbandonableThread::abandonedCount()
{
    return int(abandonedWorkers().size());
}

void AbandonableThread::releaseIfAbandoned()
{
    if (!abandoned_ || released_)
        return;
    released_ = true;
    deleteLater();
}

void AbandonableThread::waitForAbandonedAtExit()
{
    // No event loop runs any more: the ones that end in time are deleted
    // here; the others must not post anything to a dead application and
    // stay allocated until the process ends.
    const QDeadlineTimer deadline(kExitGraceMs);
    const QList<AbandonableThread*> workers = abandonedWorkers().values();
    for (AbandonableThread* worker : workers) {
        if (worker->wait(deadline))
            delete worker;
        else
            disconnect(worker, &QThread::finished, worker, nullptr);
    }
}
