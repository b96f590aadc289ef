#include "ConnectionThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSet>

#include "ForecastServiceClient.h"
#include "SettingsFactory.h"

namespace {

// How long the application's exit waits for abandoned workers, all told.
const int kExitGraceMs = 500;
const int kConnectLimitSeconds = 15;
const int kAnswerLimitSeconds = 60;

// The abandoned workers still alive.  GUI thread only.  Never destroyed:
// a worker left running at exit stays reachable through it.
QSet<ConnectionThread*>& abandonedWorkers()
{
    static auto* workers = new QSet<ConnectionThread*>();
    return *workers;
}

}  // namespace

ConnectionThread::ConnectionThread()
{
    // Queued: the slot runs on the GUI thread, where abandoned_ lives.
    connect(this, &QThread::finished, this, &ConnectionThread::releaseIfAbandoned, Qt::QueuedConnection);
}

ConnectionThread::~ConnectionThread()
{
    // Only finished workers are deleted; this waits out Qt's own finish.
    wait();
    abandonedWorkers().remove(this);
}

void ConnectionThread::run()
{
    const QByteArray password = SettingsFactory::password().toLocal8Bit();
    const QByteArray login = SettingsFactory::login().toLocal8Bit();
    const QByteArray server = SettingsFactory::server().toLocal8Bit();
    if (!password.isEmpty() && !login.isEmpty()) {
        // Created and torn down here, so an abandoned worker closes its
        // connection on its own thread once the call has ended.
        ForecastServiceClient client;
        // A login answer is small: a server that stays silent this long
        // is not going to answer, and an abandoned worker must end.
        client.setTimeLimits(kConnectLimitSeconds, kAnswerLimitSeconds);
        int userOptions = -1;
        if (client.getUserOptions(server.constData(), login.constData(), password.constData(), &userOptions) == 0)
            result_.store(userOptions);
    }
    done_.store(true);
}

void ConnectionThread::abandon(ConnectionThread* worker)
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

int ConnectionThread::abandonedCount()
{
    return int(abandonedWorkers().size());
}

void ConnectionThread::releaseIfAbandoned()
{
    if (!abandoned_ || released_)
        return;
    released_ = true;
    deleteLater();
}

void ConnectionThread::waitForAbandonedAtExit()
{
    // No event loop runs any more: the ones that end in time are deleted
    // here; the others must not post anything to a dead application and
    // stay allocated until the process ends.
    const QDeadlineTimer deadline(kExitGraceMs);
    const QList<ConnectionThread*> workers = abandonedWorkers().values();
    for (ConnectionThread* worker : workers) {
        if (worker->wait(deadline))
            delete worker;
        else
            disconnect(worker, &QThread::finished, worker, nullptr);
    }
}
