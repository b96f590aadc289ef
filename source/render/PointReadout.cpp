// The read-out under the pointer: which kinds the time step holds, each
// kind's value from its 4 x 4 neighbourhood, the texts
// in the point dialog's units and roundings, and the position in degrees
// and minutes.
#include "PointReadout.h"

#include "ColourLayer.h"
#include "FieldMessages.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "MeteoType.h"
#include "RenderMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr QChar kDegree(0x00B0);
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

// A position as the read-out evaluates it: the longitude as the frame
// placed the pixel's column (not wrapped), for the patches, and wrapped, for the point lookups and the text.
struct Position {
    int latMicro = 0;
    long long lonMicro = 0;
    int wrappedLonMicro = 0;
};

int wrappedLongitude(long long lonMicro)
{
    long long lon = (lonMicro % RenderMath::kTurnMicro + RenderMath::kTurnMicro) % RenderMath::kTurnMicro;
    if (lon > RenderMath::kHalfTurnMicro)
        lon -= RenderMath::kTurnMicro;
    return int(lon);
}

// Fixed-point as the point dialog writes it; a value that rounds to zero
// never reads with a minus.
QString fixedPoint(double value, int decimals)
{
    QString text = QStringLiteral("%1").arg(value, 0, 'f', decimals);
    const bool zero = std::all_of(text.begin() + 1, text.end(), [](QChar c) { return c == u'0' || c == u'.'; });
    if (text.startsWith(QLatin1Char('-')) && zero)
        text.remove(0, 1);
    return text;
}

// The integer part, as text (a corrupt file may hold any float).
QString truncated(double value)
{
    return QString::number(std::trunc(value) + 0.0, 'f', 0);
}

QString label(int kind)
{
    switch (kind) {
    case mtWind: return QStringLiteral("Wind");
    case mtPressure: return QStringLiteral("Pressure");
    case mtTemperature: return QStringLiteral("Temperature");
    case mtPrecipitation: return QStringLiteral("Precipitation");
    case mtWave: return QStringLiteral("Waves");
    case mtSST: return QStringLiteral("Sea temperature");
    case mtTidal: return QStringLiteral("Tidal stream");
    default: return QStringLiteral("Precipitation rate");
    }
}

// The v the map pairs with the kind's message into a wind speed.
const GribMsg* windPartner(const CompoundMsg& compound, int kind)
{
    return kind == mtWind ? FieldMessages::messageWithKey(compound, GribKey::windV) : nullptr;
}

float interpolated(const GribMsg& msg, const GribMsg* windV, const Position& at)
{
    const ColourLayer::PointValue point = ColourLayer::valueAt(msg, windV, at.latMicro, at.lonMicro);
    return point.onGrid ? point.value : kNoValue;
}

// " 225°": where the wind blows from, rounded as the point dialog rounds
// it, from u and v each interpolated; empty without both.
QString windFrom(const CompoundMsg& compound, const Position& at)
{
    const GribMsg* uMsg = FieldMessages::messageWithKey(compound, GribKey::windU);
    const GribMsg* vMsg = FieldMessages::messageWithKey(compound, GribKey::windV);
    if (!uMsg || !vMsg)
        return QString();
    const float u = interpolated(*uMsg, nullptr, at);
    const float v = interpolated(*vMsg, nullptr, at);
    if (std::isnan(u) || std::isnan(v))
        return QString();
    // d is the bearing the wind blows towards.
    const double d =
        (u != 0.0f || v != 0.0f) ? (std::atan2(1.0, 0.0) - std::atan2(double(v), double(u))) * 57.29582574928754 : 0.0;
    return QLatin1Char(' ') + truncated(d > 180.0 ? d - 179.5 : d + 180.5) + kDegree;
}

// " 45°": the direction the tidal stream runs towards, of the grid point
// at or north-west of the position as the point dialog reads directions
// (a direction is not interpolated: it wraps round at north).
QString tidalTowards(const CompoundMsg& compound, const Position& at)
{
    const GribMsg* msg = FieldMessages::messageWithKey(compound, GribKey::tidalDirection);
    float direction = 0.0f;
    if (!msg || !msg->getValueAt(at.latMicro / 1000, at.wrappedLonMicro / 1000, direction) ||
        !FieldMessages::isPresent(direction))
        return QString();
    return QLatin1Char(' ') + truncated(double(direction) + 0.5) + kDegree;
}

QString valueText(int kind, float value, const CompoundMsg& compound, const Position& at)
{
    if (std::isnan(value))
        return QStringLiteral("-");
    switch (kind) {
    case mtWind: return fixedPoint(value / 0.5144f, 0) + QStringLiteral(" kn") + windFrom(compound, at);
    case mtPressure: return fixedPoint(value / 100.0f, 0) + QStringLiteral(" hPa");
    case mtTemperature:
    case mtSST: return fixedPoint(value - 273.0f, 0) + QLatin1Char(' ') + kDegree + QLatin1Char('C');
    case mtPrecipitation: return fixedPoint(value, 0) + QStringLiteral(" mm");
    case mtWave: return fixedPoint(value, 0) + QStringLiteral(" m");
    case mtTidal: return fixedPoint(value * 1.943844, 1) + QStringLiteral(" kn") + tidalTowards(compound, at);
    default: return fixedPoint(value, 1) + QStringLiteral(" mm/h");
    }
}

PointReadout::Reading readingAt(const GribFileHelper& helper, const Position& at)
{
    PointReadout::Reading reading;
    reading.position = PointReadout::positionText(at.latMicro, at.wrappedLonMicro);
    const CompoundMsg& compound = helper.getCurrentCompound();
    for (int kind : PointReadout::kindOrder()) {
        const GribMsg* msg = ColourLayer::fieldMessage(compound, kind);
        if (!msg)
            continue;
        const float value = interpolated(*msg, windPartner(compound, kind), at);
        reading.rows.push_back({kind, label(kind), valueText(kind, value, compound, at), value});
    }
    return reading;
}

// "51°30'N": whole minutes, rounded; a position that rounds to 0 takes
// the positive side.
QString coordinateText(long long micro, QChar positive, QChar negative)
{
    const long long minutes = (std::llabs(micro) * 60 + 500000) / 1000000;
    return QStringLiteral("%1%2%3'%4")
        .arg(minutes / 60)
        .arg(kDegree)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .arg(micro < 0 && minutes > 0 ? negative : positive);
}

}  // namespace

const std::vector<int>& PointReadout::kindOrder()
{
    static const std::vector<int> order = {mtWind, mtPressure, mtTemperature, mtPrecipitation,
                                           mtWave, mtSST,      mtTidal,       mtPrecipRate};
    return order;
}

QString PointReadout::positionText(int latMicro, int lonMicro)
{
    return coordinateText(latMicro, QLatin1Char('N'), QLatin1Char('S')) + QLatin1Char(' ') +
           coordinateText(wrappedLongitude(lonMicro), QLatin1Char('E'), QLatin1Char('W'));
}

PointReadout::Reading PointReadout::atPosition(const GribFileHelper& helper, int latMicro, int lonMicro)
{
    return readingAt(helper, {latMicro, lonMicro, wrappedLongitude(lonMicro)});
}

PointReadout::Reading PointReadout::at(GeoProjector& projector, const GribFileHelper& helper, int x, int y)
{
    Position at;
    int wrapped = 0;
    if (!projector.screen2Geo(x, y, at.latMicro, wrapped))
        return Reading();
    at.lonMicro = RenderMath::ColumnScale{projector.getCenterX(), projector.getScale(), projector.getCenterLon()}
                      .longitude(x);
    at.wrappedLonMicro = wrappedLongitude(at.lonMicro);
    return readingAt(helper, at);
}
