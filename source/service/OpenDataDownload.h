// One download from an open-data source, from the request record to the
// saved GRIB file: the newest complete run found (unless one is fixed),
// the record's valid times mapped to the run's steps, each step fetched
// (several at once, paced, retried) or taken from the cache, and the step
// files joined into one file under a temporary name that is renamed only
// when complete.  Kinds the source lacks come from its companion (waves
// for GFS from GFS-Wave, and so on).
//
// Asynchronous, on the thread it lives on, which must run an event loop:
// the network objects are made in start(), so an object moved to a worker
// thread before start() does all its work there.
#ifndef SKYVANE_OPENDATADOWNLOAD_H
#define SKYVANE_OPENDATADOWNLOAD_H

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "ToviForecastParameters.h"

struct OpenDataSource;

// Where the time of a download went, for benchmarks and the log.
struct OpenDataFigures {
    qint64 discoveryNs = 0;     // start to run chosen
    qint64 transferNs = 0;      // run chosen to last step file in hand
    qint64 writeNs = 0;         // joining the step files into the result
    qint64 fetchedBytes = 0;    // bodies received over the network
    qint64 cachedBytes = 0;     // step files taken from the cache
    int requests = 0;           // HTTP requests made, retries included
    int retries = 0;
    int maxParallel = 0;        // most requests in flight at once
};

class OpenDataDownload : public QObject {
    Q_OBJECT
public:
    // folder: where finished files are saved, ending in a separator;
    // cacheFolder: where step files are kept for reuse.
    OpenDataDownload(QString folder, QString cacheFolder, QObject* parent = nullptr);
    ~OpenDataDownload() override;

    // The root address of a source ("gfs", ...) instead of its default:
    // a mirror, or a stand-in in tests.  Paths and queries stay the same.
    void setBase(const QString& sourceId, const QString& baseUrl);
    // Certificate authorities trusted besides the system's (PEM file);
    // false when the file holds none.
    bool addCaCertificates(const QString& pemPath);
    // Fetches this run instead of looking for the newest complete one.
    void setRun(const QDateTime& runUtc) { fixedRun = runUtc; }
    void setUtcClock(std::function<QDateTime()> clock) { utcNow = std::move(clock); }
    // Saves to this path instead of a time-stamped name in the folder.
    void setTargetFile(const QString& path) { targetFile = path; }
    // Seconds to connect, and seconds without a byte before a transfer
    // counts as stalled; the first retry waits retryDelayMs, then doubling.
    void setTimeLimits(int connectSeconds, int stallSeconds, int retryDelayMs);

    // Starts the download of the record's kinds, steps and area from the
    // source its resolution names; the outcome comes as finished().
    void start(const ToviForecastParameters& request);
    // Ends every transfer; nothing partial is left behind.  finished(false)
    // follows, with errorText() "Cancelled".
    void cancel();

    // After finished().
    const QString& fileName() const { return savedFile; }
    const QString& errorText() const { return error; }
    QDateTime run() const { return chosenRun; }
    const OpenDataFigures& figures() const { return measured; }

signals:
    // Bytes and steps done of the whole request; bytesTotal is 0 while
    // unknown.
    void progress(qint64 bytesDone, qint64 bytesTotal, int stepsDone, int stepsTotal);
    // The run being fetched, as the data-set button shows it ("GFS 0.25° 06Z").
    void runChosen(const QString& label);
    void finished(bool ok);

private:
    class Private;
    std::unique_ptr<Private> d;
    QString folder;
    QString cacheFolder;
    QString targetFile;
    QHash<QString, QString> bases;
    QDateTime fixedRun;
    std::function<QDateTime()> utcNow;
    QString savedFile;
    QString error;
    QDateTime chosenRun;
    OpenDataFigures measured;
};

#endif
