#include "OpenDataUrls.h"

#include <algorithm>

namespace {

constexpr qint64 kQuarterTurnMilli = 90000;
constexpr qint64 kHalfTurnMilli = 180000;
constexpr qint64 kTurnMilli = 360000;

qint64 floorTo(qint64 value, qint64 step)
{
    const qint64 quotient = value / step - (value % step < 0 ? 1 : 0);
    return quotient * step;
}

qint64 ceilTo(qint64 value, qint64 step)
{
    return -floorTo(-value, step);
}

// value moved by whole turns into [from, from + 360°).
qint64 wrappedFrom(qint64 value, qint64 from)
{
    return from + (value - from) - floorTo(value - from, kTurnMilli);
}

// Unique values, in the order first met.
void appendOnce(QStringList& list, const QString& value)
{
    if (!list.contains(value))
        list.append(value);
}

// Latitudes clamped to the globe, north first, at least one grid row apart.
void setLatitudes(FilterArea& area, qint64 north, qint64 south, qint64 step)
{
    area.topMilli = std::clamp(ceilTo(north, step), -kQuarterTurnMilli, kQuarterTurnMilli);
    area.bottomMilli = std::clamp(floorTo(south, step), -kQuarterTurnMilli, kQuarterTurnMilli);
    if (area.topMilli == area.bottomMilli) {
        if (area.topMilli < kQuarterTurnMilli)
            area.topMilli += step;
        else
            area.bottomMilli -= step;
    }
}

// left < right; an area across 180° in 0..360°; wider than a turn: 0..360°.
void setLongitudes(FilterArea& area, qint64 west, qint64 east, qint64 step)
{
    // A right edge west of the left one means the area crosses the date line.
    if (east < west)
        east += kTurnMilli * ((west - east) / kTurnMilli + 1);
    west = floorTo(west, step);
    east = std::max(ceilTo(east, step), west + step);
    const qint64 width = east - west;
    if (width >= kTurnMilli) {
        area.leftMilli = 0;
        area.rightMilli = kTurnMilli;
        return;
    }
    area.leftMilli = wrappedFrom(west, -kHalfTurnMilli);
    if (area.leftMilli + width > kHalfTurnMilli)
        area.leftMilli = wrappedFrom(west, 0);
    area.rightMilli = area.leftMilli + width;
}

}  // namespace

QString FilterArea::text() const
{
    return OpenDataUrls::degrees(topMilli) + QLatin1Char('_') + OpenDataUrls::degrees(leftMilli) +
           QLatin1Char('_') + OpenDataUrls::degrees(rightMilli) + QLatin1Char('_') +
           OpenDataUrls::degrees(bottomMilli);
}

OpenDataUrls::OpenDataUrls(const OpenDataSource& source, const QString& baseUrl, const QDateTime& runUtc)
    : source(source), base(baseUrl), run(runUtc.toUTC())
{
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
}

QUrl OpenDataUrls::probe() const
{
    if (source.protocol == OpenDataProtocol::EcmwfIndex)
        return index(source.lastStep());
    return QUrl(base + QLatin1String(source.inventoryRoot) + stepPath(source.lastStep()) + QStringLiteral(".idx"));
}

QUrl OpenDataUrls::filter(int hour, int kinds, const FilterArea& area) const
{
    QStringList query;
    query << QStringLiteral("dir=") + QString::fromLatin1(QUrl::toPercentEncoding(filled(source.runFolder, hour)))
          << QStringLiteral("file=") + filled(source.stepFile, hour);
    QStringList levels;
    for (const OpenDataField& field : source.fields)
        if (field.meteoType & kinds)
            appendOnce(levels, QStringLiteral("lev_") + QLatin1String(field.level) + QStringLiteral("=on"));
    for (const QString& name : fieldNames(source, kinds))
        query << QStringLiteral("var_") + name + QStringLiteral("=on");
    query << levels << QStringLiteral("subregion=") << QStringLiteral("toplat=") + degrees(area.topMilli)
          << QStringLiteral("leftlon=") + degrees(area.leftMilli)
          << QStringLiteral("rightlon=") + degrees(area.rightMilli)
          << QStringLiteral("bottomlat=") + degrees(area.bottomMilli);
    QUrl url(base + QLatin1String(source.filterScript));
    url.setQuery(query.join(QLatin1Char('&')));
    return url;
}

QUrl OpenDataUrls::grib(int hour) const
{
    return QUrl(base + stepPath(hour));
}

QUrl OpenDataUrls::index(int hour) const
{
    QString path = stepPath(hour);
    const QLatin1String gribEnding(".grib2");
    if (path.endsWith(gribEnding))
        path.chop(gribEnding.size());
    return QUrl(base + path + QStringLiteral(".index"));
}

FilterArea OpenDataUrls::filterArea(const ToviForecastParameters& request, int gridStepMilli)
{
    const qint64 step = std::max(gridStepMilli, 1);
    FilterArea area;
    setLatitudes(area, std::max(request.top, request.bottom), std::min(request.top, request.bottom), step);
    setLongitudes(area, request.left, request.right, step);
    return area;
}

QString OpenDataUrls::degrees(qint64 milli)
{
    const qint64 magnitude = milli < 0 ? -milli : milli;
    QString text = QString::number(magnitude / 1000);
    if (const qint64 fraction = magnitude % 1000) {
        QString digits = QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return milli < 0 ? QLatin1Char('-') + text : text;
}

QStringList OpenDataUrls::fieldNames(const OpenDataSource& source, int kinds)
{
    QStringList names;
    for (const OpenDataField& field : source.fields)
        if (field.meteoType & kinds)
            appendOnce(names, QLatin1String(field.name));
    return names;
}

QString OpenDataUrls::filled(const char* pattern, int hour) const
{
    QString text = QString::fromLatin1(pattern);
    text.replace(QStringLiteral("{date}"), run.toString(QStringLiteral("yyyyMMdd")));
    text.replace(QStringLiteral("{hour}"), run.toString(QStringLiteral("hh")));
    text.replace(QStringLiteral("{step3}"), QStringLiteral("%1").arg(hour, 3, 10, QLatin1Char('0')));
    text.replace(QStringLiteral("{step}"), QString::number(hour));
    return text;
}

QString OpenDataUrls::stepPath(int hour) const
{
    return filled(source.runFolder, hour) + QLatin1Char('/') + filled(source.stepFile, hour);
}
