#include "OpenDataStepFetch.h"

#include <QFile>

#include "EcmwfIndex.h"
#include "OpenDataFetcher.h"

OpenDataStepFetch::OpenDataStepFetch(OpenDataFetcher& fetcher, const OpenDataCache& cache, OpenDataStep step)
    : fetcher(fetcher), cache(cache), step(std::move(step)), key(keyOf(this->step)), stepPath(cache.pathOf(key)),
      service(QString::fromUtf8(this->step.source->service))
{
}

OpenDataStepFetch::~OpenDataStepFetch()
{
    discard();
}

void OpenDataStepFetch::discard()
{
    done = nullptr;
    for (Piece& piece : pieces)
        if (!piece.file.isEmpty()) {
            QFile::remove(piece.file);
            piece.file.clear();
        }
}

OpenDataStepKey OpenDataStepFetch::keyOf(const OpenDataStep& step)
{
    const bool cut = step.source->protocol == OpenDataProtocol::NomadsFilter;
    return {QString::fromLatin1(step.source->id), step.runUtc, step.hour,
            OpenDataUrls::fieldNames(*step.source, step.kinds), cut ? step.area.text() : QString()};
}

void OpenDataStepFetch::start(Done whenDone, std::function<void()> whenChanged)
{
    done = std::move(whenDone);
    changed = std::move(whenChanged);
    const OpenDataUrls urls(*step.source, step.base, step.runUtc);
    if (step.source->protocol == OpenDataProtocol::NomadsFilter) {
        pieces.resize(1);
        fetchPiece(0, urls.filter(step.hour, step.kinds, step.area));
        return;
    }
    OpenDataFetch request;
    request.url = urls.index(step.hour);
    request.body = OpenDataFetch::Body::Memory;
    request.maxBytes = kMaxIndexBytes;
    request.grib = false;
    request.service = service;
    request.intervalMs = step.source->requestIntervalMsFor(step.base);
    fetcher.fetch(request, [this](const OpenDataAnswer& answer) { indexArrived(answer); });
}

qint64 OpenDataStepFetch::receivedBytes() const
{
    qint64 bytes = 0;
    for (const Piece& piece : pieces)
        bytes += piece.received;
    return bytes;
}

qint64 OpenDataStepFetch::expectedBytes() const
{
    qint64 bytes = 0;
    for (const Piece& piece : pieces) {
        if (piece.expected < 0)
            return -1;
        bytes += piece.expected;
    }
    return pieces.isEmpty() ? -1 : bytes;
}

void OpenDataStepFetch::fetchPiece(int index, const QUrl& url)
{
    Piece& piece = pieces[index];
    piece.file = cache.newTemporary(key);
    if (piece.file.isEmpty()) {
        report(QStringLiteral("Cannot write into the cache folder %1").arg(cache.folder()));
        return;
    }
    OpenDataFetch request;
    request.url = url;
    request.bodyFile = piece.file;
    request.rangeFirst = piece.first;
    request.rangeLast = piece.last;
    request.service = service;
    request.intervalMs = step.source->requestIntervalMsFor(step.base);
    request.progress = [this, index](qint64 received, qint64 announced) {
        pieces[index].received = received;
        if (announced >= 0)
            pieces[index].expected = announced;
        changed();
    };
    fetcher.fetch(request, [this, index](const OpenDataAnswer& answer) { pieceArrived(index, answer); });
}

void OpenDataStepFetch::indexArrived(const OpenDataAnswer& answer)
{
    if (!answer.ok) {
        report(answer.error);
        return;
    }
    EcmwfIndex index;
    if (!index.read(answer.body)) {
        report(index.errorText());
        return;
    }
    const QStringList params = OpenDataUrls::fieldNames(*step.source, step.kinds);
    const QVector<ByteRange> ranges = index.rangesOf(params);
    if (ranges.isEmpty()) {
        report(QStringLiteral("The ECMWF index of step %1h lists none of %2").arg(step.hour).arg(params.join(QStringLiteral(", "))));
        return;
    }
    pieces.resize(ranges.size());
    for (int i = 0; i < ranges.size(); ++i) {
        pieces[i].first = ranges[i].first;
        pieces[i].last = ranges[i].last;
        pieces[i].expected = ranges[i].length();
    }
    changed();
    const QUrl grib = OpenDataUrls(*step.source, step.base, step.runUtc).grib(step.hour);
    for (int i = 0; i < ranges.size() && done; ++i)
        fetchPiece(i, grib);
}

void OpenDataStepFetch::pieceArrived(int index, const OpenDataAnswer& answer)
{
    if (!answer.ok) {
        report(answer.error);
        return;
    }
    pieces[index].arrived = true;
    pieces[index].received = answer.bytes;
    pieces[index].expected = answer.bytes;
    for (const Piece& piece : pieces)
        if (!piece.arrived)
            return;
    report(assemble());
}

// The pieces in order as the step file; the reason when that fails.
QString OpenDataStepFetch::assemble()
{
    QString whole = pieces.first().file;
    if (pieces.size() > 1) {
        whole = cache.newTemporary(key);
        QFile target(whole);
        bool written = !whole.isEmpty() && target.open(QIODevice::WriteOnly);
        for (const Piece& piece : pieces)
            written = written && appendFileTo(target, piece.file);
        target.close();
        if (!written) {
            QFile::remove(whole);
            return QStringLiteral("Cannot write into the cache folder %1").arg(cache.folder());
        }
        for (Piece& piece : pieces)
            QFile::remove(piece.file);
    }
    for (Piece& piece : pieces)
        piece.file.clear();
    return cache.commit(whole, stepPath) ? QString()
                                        : QStringLiteral("Cannot put %1 in place").arg(stepPath);
}

void OpenDataStepFetch::report(const QString& error)
{
    const Done whenDone = std::move(done);
    done = nullptr;
    if (whenDone)
        whenDone(error);
}
