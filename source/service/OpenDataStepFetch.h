// One step of one source brought into the cache: NOMADS' filter answer
// for the area, or the fields ECMWF's index places in the step's file,
// fetched by byte ranges and joined.  The step file is put in place only
// complete; whatever is left half-made when the object goes is removed.
#ifndef SKYVANE_OPENDATASTEPFETCH_H
#define SKYVANE_OPENDATASTEPFETCH_H

#include <QDateTime>
#include <QString>
#include <QVector>

#include <functional>

#include "OpenDataCache.h"
#include "OpenDataSources.h"
#include "OpenDataUrls.h"

class OpenDataFetcher;
struct OpenDataAnswer;

struct OpenDataStep {
    const OpenDataSource* source = nullptr;
    QString base;          // the source's root address
    QDateTime runUtc;
    int hour = 0;
    int kinds = 0;
    FilterArea area;       // NOMADS only; ECMWF's files are global
};

class OpenDataStepFetch {
public:
    // An empty error when the step file is in place.
    using Done = std::function<void(const QString& error)>;

    static constexpr qint64 kMaxIndexBytes = qint64(4) << 20;

    OpenDataStepFetch(OpenDataFetcher& fetcher, const OpenDataCache& cache, OpenDataStep step);
    ~OpenDataStepFetch();
    OpenDataStepFetch(const OpenDataStepFetch&) = delete;
    OpenDataStepFetch& operator=(const OpenDataStepFetch&) = delete;

    static OpenDataStepKey keyOf(const OpenDataStep& step);
    const QString& path() const { return stepPath; }

    // changed is called whenever the byte counts move.
    void start(Done done, std::function<void()> changed);

    // No answer any more; its temporaries are removed.
    void discard();

    qint64 receivedBytes() const;
    // -1 until every part's length is known.
    qint64 expectedBytes() const;

private:
    struct Piece {
        QString file;
        qint64 first = -1;
        qint64 last = -1;
        qint64 received = 0;
        qint64 expected = -1;
        bool arrived = false;
    };

    void fetchPiece(int index, const QUrl& url);
    void indexArrived(const OpenDataAnswer& answer);
    void pieceArrived(int index, const OpenDataAnswer& answer);
    QString assemble();
    void report(const QString& error);

    OpenDataFetcher& fetcher;
    const OpenDataCache& cache;
    OpenDataStep step;
    OpenDataStepKey key;
    QString stepPath;
    QString service;
    QVector<Piece> pieces;
    Done done;
    std::function<void()> changed;
};

#endif
