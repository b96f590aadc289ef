// The decoded message record and the time step's value table.
#include "GribFile.h"

#include "GribKeys.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

namespace {

constexpr int kFullCircle = 360000;  // millidegrees

}  // namespace

// ---------------------------------------------------------------------------
// GribMsg

GribMsg::GribMsg(const GribMsg& other)
{
    *this = other;
}

GribMsg::GribMsg(GribMsg&& other) noexcept
{
    *this = std::move(other);
}

void GribMsg::copyFieldsFrom(const GribMsg& other)
{
    gct = other.gct;
    nj = other.nj;
    ni = other.ni;
    lat1 = other.lat1;
    lon1 = other.lon1;
    lat2 = other.lat2;
    lon2 = other.lon2;
    di = other.di;
    dj = other.dj;
    year = other.year;
    month = other.month;
    day = other.day;
    hour = other.hour;
    minute = other.minute;
    rowLats = other.rowLats;
}

GribMsg& GribMsg::operator=(const GribMsg& other)
{
    if (this == &other)
        return *this;
    releaseValues();
    copyFieldsFrom(other);
    const size_t count = size_t(other.ni) * size_t(other.nj);
    if (other.values && count > 0)
        values = static_cast<float*>(std::malloc(count * sizeof(float)));
    if (values) {
        std::memcpy(values, other.values, count * sizeof(float));
    } else {
        // Without values the grid shrinks to its first point.
        ni = nj = 0;
        lat2 = lat1;
        lon2 = lon1;
    }
    return *this;
}

GribMsg& GribMsg::operator=(GribMsg&& other) noexcept
{
    if (this == &other)
        return *this;
    releaseValues();
    copyFieldsFrom(other);
    values = other.values;
    other.values = nullptr;
    return *this;
}

GribMsg::~GribMsg()
{
    releaseValues();
}

void GribMsg::releaseValues()
{
    std::free(values);
    values = nullptr;
}

QDateTime GribMsg::validTime() const
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}

bool GribMsg::getValueAt(int lat, int lon, float& value) const
{
    value = 0.0f;
    if (lat > lat1 || lat < lat2 || di <= 0 || dj <= 0)
        return false;
    const bool wraps = lon1 >= lon2;
    const long span = long(lon2) - long(lon1) + (wraps ? kFullCircle : 0);
    // A longitude is the same place whichever way round it is written:
    // -10° finds the column of 350° on a grid from 0° to 359°.
    long east = (long(lon) - long(lon1)) % kFullCircle;
    if (east < 0)
        east += kFullCircle;
    // On a grid round the whole globe the gap east of the last column (from
    // 359.75° back to 0° on a 0.25° grid) is that column's, by the same
    // north-west rule as every other point.
    const bool roundTheGlobe = span + di >= kFullCircle;
    if (east > span && !roundTheGlobe)
        return false;
    if (!values)
        return true;
    const long columns = span / di + 1;
    const long row = rowAt(lat);
    const long column = east / di;
    const long index = row * columns + column;
    // The stated extent may disagree with ni and nj: never index past them.
    if (row >= nj || column >= ni || index >= long(ni) * long(nj))
        return false;
    value = values[index];
    return true;
}

// The row at or north of lat, which lies within the grid.
long GribMsg::rowAt(int lat) const
{
    if (rowLats.empty())
        return (long(lat1) - long(lat)) / dj;
    // Rows run north to south: the first one south of lat ends the search.
    const auto south = std::upper_bound(rowLats.begin(), rowLats.end(), lat, std::greater<int>());
    return std::max(long(south - rowLats.begin()) - 1, 0L);
}

// ---------------------------------------------------------------------------
// CompoundMsg

namespace {

// Degrees to whole millidegrees, truncated; a position that is not a number
// or beyond any grid maps south of every grid.
int milliOf(float degrees)
{
    if (!(degrees >= -1.0e6f && degrees <= 1.0e6f))
        return std::numeric_limits<int>::min();
    return int(degrees * 1000.0f);
}

}  // namespace

// Labels of the value table by key; a u wind message labels the row it
// makes with its v.
const struct {
    unsigned gct;
    const char* label;
} kKeyLabels[] = {
    {GribKey::windSpeed, "Wind speed"},
    {GribKey::windU, "Wind speed"},
    {GribKey::pressureMsl, "Pressure"},
    {GribKey::precipitation, "Precipitation"},
    {GribKey::temperature2m, "Temperature"},
    {GribKey::seaTemperature, "Sea surface temp"},
    {GribKey::windWaveHeight, "Wind-wave height"},
    {GribKey::windWaveDirection, "Wind-wave direction"},
    {GribKey::swellHeight, "Swell height"},
    {GribKey::swellDirection, "Swell direction"},
    {GribKey::tidalSpeed, "Tidal stream speed"},
    {GribKey::tidalDirection, "Tidal stream direction"},
};

QString gribKeyLabel(unsigned gct)
{
    for (const auto& entry : kKeyLabels) {
        if (entry.gct == gct)
            return QString::fromLatin1(entry.label);
    }
    return QString();
}

unsigned CompoundMsg::getValueTableRowNum() const
{
    unsigned rows = unsigned(size());
    for (const GribMsg& msg : *this) {
        if (msg.gct == GribKey::windU)
            --rows;
    }
    return rows;
}

void CompoundMsg::getValueTableAt(float lat, float lon, std::list<Row>& rows) const
{
    rows.clear();
    const int latMilli = milliOf(lat);
    const int lonMilli = milliOf(lon);
    for (size_t k = 0; k < size(); ++k) {
        const GribMsg& msg = (*this)[k];
        float value = 0.0f;
        msg.getValueAt(latMilli, lonMilli, value);
        double shown = value;
        if (msg.gct == GribKey::windU && k + 1 < size()) {
            float v = 0.0f;
            (*this)[k + 1].getValueAt(latMilli, lonMilli, v);
            shown = std::sqrt(double(value) * value + double(v) * v);
            ++k;
        } else if (msg.gct == GribKey::tidalSpeed) {
            shown = value * 1.943844;  // m/s to knots
        }
        rows.emplace_back(gribKeyLabel(msg.gct), shown);
    }
}
