// The worker of one download: the forecast (or the buoy document) fetched,
// inflated and saved on a thread of its own, with a SOAP context that
// lives and dies there.
//
// It reports through its own signals, so that whoever shows the progress
// may go away: the sink's progress calls arrive at this object on the
// thread that created it, which relays them as progress(); the outcome
// comes as downloadFinished().  A worker the dialog gave up on is
// abandoned (see AbandonableThread); stopped, it drops its file instead of
// putting it in place.
#ifndef SKYVANE_DOWNLOADTHREAD_H
#define SKYVANE_DOWNLOADTHREAD_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

#include "AbandonableThread.h"
#include "AttachmentSink.h"
#include "ForecastDownload.h"
#include "ToviForecastParameters.h"

class DownloadThread : public AbandonableThread, public TransferControl {
    Q_OBJECT
public:
    // Takes the account and server from the settings store.
    explicit DownloadThread(QObject* dialog);

    // Copies of the caller's data, set before start() and read back after
    // the worker has finished.  Resolution 128 asks for the buoy document.
    ToviForecastParameters parameters{};

    void setAccount(const QString& login, const QString& password, const QString& endpoint);
    void setUtcClock(std::function<QDateTime()> clock) { utcNow = std::move(clock); }
    // Saves to this path instead of a time-stamped name.
    void setTargetFile(const QString& path) { targetFile = path; }
    // Seconds; 0 waits as long as the server takes.
    void setTimeLimits(int connectSeconds, int transferSeconds);
    // Refuses data that inflates to more than this many bytes.
    void setInflatedLimit(unsigned bytes) { inflatedLimitBytes = bytes; }

    // Ends the transfer at its next write and keeps the result from being
    // saved.  Any thread.
    void stop() { running.store(false); }
    bool transferRunning() const override { return running.load(); }

    // After the worker has finished.
    bool succeeded() const { return saved; }
    const QString& getFileName() const { return fileName; }
    const QString& errorText() const { return error; }
    const DownloadFigures& figures() const { return measured; }

    static constexpr int kBuoyResolution = 128;

public slots:
    // The sink's progress calls, relayed as progress().
    void setProgress(int received, int total);

signals:
    void progress(int received, int total);
    // Emitted on the worker's thread as its last step; ok is 1 when a file
    // was saved.
    void downloadFinished(int ok, const QString& fileName);

protected:
    void run() override;

private:
    QByteArray login;
    QByteArray password;
    QByteArray server;
    QString folder;
    QString targetFile;
    std::function<QDateTime()> utcNow;
    int connectLimitSeconds = 30;
    // Per read or write: a server may take long to prepare a forecast.
    int transferLimitSeconds = 300;
    unsigned inflatedLimitBytes = kMaxInflatedBytes;
    std::atomic<bool> running{true};
    bool saved = false;
    QString fileName;
    QString error;
    DownloadFigures measured;
};

#endif
