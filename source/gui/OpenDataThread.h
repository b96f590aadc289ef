// The worker of one open-data download: an OpenDataDownload made, run and
// destroyed on a thread of its own with its own event loop, so that the
// transfers and the joining of the step files never hold the window.
//
// Set up before start(); the outcome is read after the thread has
// finished.  cancel() may come from any thread at any time.
#ifndef SKYVANE_OPENDATATHREAD_H
#define SKYVANE_OPENDATATHREAD_H

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

#include "ToviForecastParameters.h"

class OpenDataDownload;

class OpenDataThread : public QThread {
    Q_OBJECT
public:
    // folder: where the file is saved; cacheFolder: where step files are
    // kept for the next download.  Both end in a separator.
    OpenDataThread(const ToviForecastParameters& request, QString folder, QString cacheFolder,
                   QObject* parent = nullptr);
    ~OpenDataThread() override;

    // The root address of a source instead of its default.
    void setBase(const QString& sourceId, const QString& baseUrl) { bases.insert(sourceId, baseUrl); }
    void setUtcClock(std::function<QDateTime()> clock) { utcNow = std::move(clock); }

    // Ends the download; nothing partial is left behind.
    void cancel();

    // After the thread has finished.
    bool succeeded() const { return ok; }
    const QString& fileName() const { return savedFile; }
    const QString& errorText() const { return error; }
    QDateTime fetchedRun() const { return chosenRun; }

signals:
    // Emitted on the worker's thread.
    void progress(qint64 bytesDone, qint64 bytesTotal, int stepsDone, int stepsTotal);
    void runChosen(const QString& label);

protected:
    void run() override;

private:
    void configure(OpenDataDownload& download) const;

    const ToviForecastParameters request;
    const QString folder;
    const QString cacheFolder;
    QHash<QString, QString> bases;
    std::function<QDateTime()> utcNow;

    // The download while it runs; cancel() posts to it under the lock,
    // so never to one being destroyed.
    QMutex liveLock;
    OpenDataDownload* live = nullptr;
    std::atomic<bool> cancelled{false};

    bool ok = false;
    QString savedFile;
    QString error;
    QDateTime chosenRun;
};

#endif
