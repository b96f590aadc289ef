#include "OpenDataStepPlan.h"

#include <algorithm>

#include "MeteoType.h"

namespace {

constexpr qint64 kMinutesPerDay = 24 * 60;
constexpr int kHourNow = 255;           // the record's "the current hour"
constexpr int kTenMinutesCode = 10;     // the record's time step of ten minutes

// Minutes since the epoch of the first valid time: today (UTC) plus the
// record's days, at its hour.
qint64 firstValidMinutes(const ToviForecastParameters& request, const QDateTime& nowUtc)
{
    const QDateTime now = nowUtc.toUTC();
    const int hour = request.forecastTime == kHourNow ? now.time().hour() : request.forecastTime;
    const qint64 midnight = QDateTime(now.date(), QTime(0, 0), Qt::UTC).toSecsSinceEpoch() / 60;
    return midnight + qint64(request.forecastDay) * kMinutesPerDay + qint64(hour) * 60;
}

qint64 stepMinutes(const ToviForecastParameters& request)
{
    return request.timeStep == kTenMinutesCode ? 10 : qint64(request.timeStep) * 60;
}

// Hours since the run, rounded up; a time in the hour of the run or after
// it gives the hour that holds it.
qint64 hoursAfter(qint64 validMinutes, qint64 runMinutes)
{
    const qint64 minutes = validMinutes - runMinutes;
    return minutes <= 0 ? 0 : (minutes + 59) / 60;
}

// Precipitation is an amount since the run: a part of it alone has
// nothing at the run's first step.
QVector<int> withoutAnalysis(QVector<int> published, int kinds)
{
    if (kinds == mtPrecipitation && published.size() > 1 && published.first() == 0)
        published.removeFirst();
    return published;
}

}  // namespace

OpenDataStepPlan::OpenDataStepPlan(const OpenDataSource& source, const ToviForecastParameters& request)
    : label(QString::fromUtf8(source.label)), record(request)
{
    const OpenDataSource* companion = findOpenDataSource(QString::fromLatin1(source.companionId));
    const int own = request.meteoType & source.kinds;
    if (own)
        shares.append({&source, own, {}});
    const int borrowed = companion ? request.meteoType & companion->kinds & ~source.kinds : 0;
    if (borrowed)
        shares.append({companion, borrowed, {}});
    if (shares.isEmpty())
        error = companion ? QStringLiteral("%1 and %2 offer none of the kinds of weather asked for")
                                .arg(label, QString::fromUtf8(companion->label))
                          : QStringLiteral("%1 offers none of the kinds of weather asked for").arg(label);
}

bool OpenDataStepPlan::mapTo(const QDateTime& runUtc, const QDateTime& nowUtc)
{
    bool any = false;
    for (OpenDataPart& part : shares) {
        part.hours = forecastHours(withoutAnalysis(part.source->steps(), part.kinds), record, runUtc, nowUtc);
        any = any || !part.hours.isEmpty();
    }
    if (!any)
        error = QStringLiteral("The %1 run of %2 does not reach the times asked for")
                    .arg(runUtc.toUTC().toString(QStringLiteral("hh'Z' d MMM")), label);
    return any;
}

QVector<int> OpenDataStepPlan::forecastHours(const QVector<int>& published, const ToviForecastParameters& request,
                                             const QDateTime& runUtc, const QDateTime& nowUtc)
{
    QVector<int> hours;
    if (published.isEmpty() || request.stepsNumber <= 0)
        return hours;
    const qint64 runMinutes = runUtc.toSecsSinceEpoch() / 60;
    const qint64 first = firstValidMinutes(request, nowUtc);
    const qint64 every = stepMinutes(request);
    const qint64 count = every > 0 ? request.stepsNumber : 1;
    // Times before the run all take its first step: start at the last of them.
    qint64 index = first < runMinutes && every > 0 ? std::min((runMinutes - first) / every, count - 1) : 0;
    for (; index < count; ++index) {
        const qint64 hour = hoursAfter(first + index * every, runMinutes);
        const auto at = std::lower_bound(published.begin(), published.end(), hour);
        if (at == published.end())
            break;
        if (hours.isEmpty() || hours.last() != *at)
            hours.append(*at);
    }
    return hours;
}
