#include "ForecastUpdateTime.h"


void ForecastUpdateTime::updateHours(int resolution, int hourNow, int& first, int& second)
{
    switch (resolution) {
    case 1: case 2: first = 7; second = 19; break;
    case 4: case 8: case 23: case 24: first = 10; second = 22; break;
    case 16: case 25: first = 7; second = 31; break;
    case 17: first = 13; second = 37; break;
    case 18: first = 0; second = 25; break;
    case 19: case 20: first = 11; second = 23; break;
    case 21: first = 8; second = 20; break;
    case 22: first = 9; second = 21; break;
    // The radar composite is updated continuously.
    case 26: first = hourNow; second = hourNow + 1; break;
    default: first = 0; second = 0; break;
    }
}

QDateTime ForecastUpdateTime::latestUpdate(int resolution, const QDateTime& nowUtc)
{
    const QDateTime now = nowUtc.toUTC();
    const int hour = now.time().hour();
    int first = 0;
    int second = 0;
    updateHours(resolution, hour, first, second);
    const QDate today = now.date();
    auto at = [](QDate day, int h) { return QDateTime(day, QTime(h, 0), Qt::UTC); };
    if (first <= hour && hour < second)
        return at(today, first);
    if (hour >= second)
        return at(today, second);
    // Before the first update of the day: yesterday's second one, unless
    // that one lies past midnight and so never happened; then yesterday's
    // first.
    return at(today.addDays(-1), second > 24 ? first : second);
}

QString ForecastUpdateTime::localText(const QDateTime& updateUtc)
{
    const QDateTime local = updateUtc.toLocalTime();
    // The true offset from UTC: comparing the two times of day would be a
    // day out whenever local time and UTC fall on different dates.
    const int offsetHours = local.offsetFromUtc() / 3600;
    const QString offset = offsetHours > 0 ? QStringLiteral("+%1").arg(offsetHours, 2, 10, QLatin1Char('0'))
                                           : QStringLiteral("-%1").arg(-offsetHours, 2, 10, QLatin1Char('0'));
    return local.toString(QStringLiteral("HH:mm 'GMT'%1, dd-MM-yyyy")).arg(offset);
}

QString ForecastUpdateTime::toolTip(int resolution, const QDateTime& nowUtc)
{
    return QStringLiteral("Latest forecast update time:\n") + localText(latestUpdate(resolution, nowUtc));
}
