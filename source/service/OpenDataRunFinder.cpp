#include "OpenDataRunFinder.h"

#include <QUrl>

#include <algorithm>

#include "OpenDataFetcher.h"
#include "OpenDataUrls.h"

namespace {

constexpr int kNotFound = 404;

bool isRunHour(const QVector<const OpenDataSource*>& sources, int hour)
{
    return std::all_of(sources.begin(), sources.end(),
                       [hour](const OpenDataSource* source) { return source->runHours.contains(hour); });
}

int longestDelayHours(const QVector<const OpenDataSource*>& sources)
{
    int hours = 0;
    for (const OpenDataSource* source : sources)
        hours = std::max(hours, source->publishDelayHours);
    return hours;
}

}  // namespace

OpenDataRunFinder::OpenDataRunFinder(OpenDataFetcher& fetcher, QVector<const OpenDataSource*> sources,
                                     QHash<QString, QString> bases)
    : fetcher(fetcher), sources(std::move(sources)), bases(std::move(bases))
{
}

QVector<QDateTime> OpenDataRunFinder::candidates(const QVector<const OpenDataSource*>& sources,
                                                 const QDateTime& nowUtc, int count)
{
    QVector<QDateTime> runs;
    if (sources.isEmpty())
        return runs;
    const QDateTime latest = nowUtc.toUTC().addSecs(-qint64(longestDelayHours(sources)) * 3600);
    QDateTime hour(latest.date(), QTime(latest.time().hour(), 0), Qt::UTC);
    // A day holds every run hour; two days back and more runs are found.
    for (int step = 0; step < 24 * (count + 1) && runs.size() < count; ++step, hour = hour.addSecs(-3600))
        if (isRunHour(sources, hour.time().hour()))
            runs.append(hour);
    return runs;
}

void OpenDataRunFinder::find(const QDateTime& nowUtc, Done done)
{
    finished = std::move(done);
    runs = candidates(sources, nowUtc, kRunsTried);
    probe(0);
}

void OpenDataRunFinder::probe(int candidate)
{
    if (candidate >= runs.size()) {
        report(QDateTime(), noRunMessage());
        return;
    }
    awaited = sources.size();
    absent = false;
    failure.clear();
    for (const OpenDataSource* source : sources) {
        OpenDataFetch request;
        request.url = OpenDataUrls(*source, baseOf(*source), runs[candidate]).probe();
        request.body = OpenDataFetch::Body::None;
        request.service = QString::fromUtf8(source->service);
        request.intervalMs = source->requestIntervalMsFor(baseOf(*source));
        fetcher.fetch(request, [this, candidate](const OpenDataAnswer& answer) {
            probed(candidate, answer.ok ? 200 : answer.status, answer.error);
        });
    }
}

void OpenDataRunFinder::probed(int candidate, int status, const QString& error)
{
    if (status == kNotFound)
        absent = true;
    else if (status != 200 && failure.isEmpty())
        failure = error;
    if (--awaited > 0)
        return;
    if (!failure.isEmpty())
        report(QDateTime(), failure);
    else if (absent)
        probe(candidate + 1);
    else
        report(runs[candidate], QString());
}

void OpenDataRunFinder::report(const QDateTime& runUtc, const QString& error)
{
    // Taken out first: the caller may start another search from it.
    const Done done = std::move(finished);
    finished = nullptr;
    if (done)
        done(runUtc, error);
}

QString OpenDataRunFinder::baseOf(const OpenDataSource& source) const
{
    return bases.value(QString::fromLatin1(source.id), QString::fromLatin1(source.defaultBase));
}

QString OpenDataRunFinder::noRunMessage() const
{
    if (sources.isEmpty())
        return QStringLiteral("No open-data source to look for runs of");
    const OpenDataSource& first = *sources.first();
    const QString host = QUrl(baseOf(first)).host();
    return QStringLiteral("No complete %1 run found on %2").arg(QString::fromUtf8(first.label), host);
}
