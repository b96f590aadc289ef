#include "OpenDataThread.h"

#include "OpenDataDownload.h"

#include <QEventLoop>
#include <QMutexLocker>

OpenDataThread::OpenDataThread(const ToviForecastParameters& request, QString folder, QString cacheFolder,
                               QObject* parent)
    : QThread(parent), request(request), folder(std::move(folder)), cacheFolder(std::move(cacheFolder))
{
}

OpenDataThread::~OpenDataThread()
{
    cancel();
    wait();
}

void OpenDataThread::configure(OpenDataDownload& download) const
{
    for (auto it = bases.constBegin(); it != bases.constEnd(); ++it)
        download.setBase(it.key(), it.value());
    if (utcNow)
        download.setUtcClock(utcNow);
}

void OpenDataThread::cancel()
{
    cancelled.store(true);
    const QMutexLocker locker(&liveLock);
    if (live)
        QMetaObject::invokeMethod(live, &OpenDataDownload::cancel, Qt::QueuedConnection);
}

void OpenDataThread::run()
{
    OpenDataDownload download(folder, cacheFolder);
    configure(download);
    connect(&download, &OpenDataDownload::progress, this, &OpenDataThread::progress, Qt::DirectConnection);
    connect(&download, &OpenDataDownload::runChosen, this, &OpenDataThread::runChosen, Qt::DirectConnection);
    QEventLoop loop;
    connect(&download, &OpenDataDownload::finished, &loop, [this, &loop](bool succeeded) {
        ok = succeeded;
        loop.quit();
    });
    // Started from the loop, so that an outcome known at once still
    // finds the loop running.
    QMetaObject::invokeMethod(
        &download, [&download, this] { download.start(request); }, Qt::QueuedConnection);
    {
        const QMutexLocker locker(&liveLock);
        live = &download;
    }
    // A cancel that came before the download was reachable.
    if (cancelled.load())
        QMetaObject::invokeMethod(&download, &OpenDataDownload::cancel, Qt::QueuedConnection);
    loop.exec();
    {
        const QMutexLocker locker(&liveLock);
        live = nullptr;
    }
    savedFile = download.fileName();
    error = download.errorText();
    chosenRun = download.run();
}
