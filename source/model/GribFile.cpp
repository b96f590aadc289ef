#include "GribFile.h"

#include "GribKeys.h"
#include "grib.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// grib_seek's status at the normal end of the data.
constexpr int kSeekEnd = 2;
constexpr int kFullCircle = 360000;  // millidegrees
constexpr unsigned kOurCentre = 131;
constexpr int kMinPdsLength = 28;
constexpr int kMinGdsLength = 32;

void reportBadLength(long length)
{
    std::fprintf(stderr, "Error:  message returned had bad length (%ld)\n", length);
}

unsigned keyOf(const PDS_INPUT& pds)
{
    return unsigned(pds.usHeight1) * 65536u + unsigned(pds.usLevel_id) * 256u +
           unsigned(pds.usParm_id);
}

bool isLatLonGrid(const grid_desc_sec& gds)
{
    switch (gds.head.usData_type) {
    case 0: case 4: case 10: case 14: case 20: case 24: case 30: case 34:
        return true;
    default:
        return false;
    }
}

void fillGrid(const grid_desc_sec& gds, GribMsg& msg)
{
    if (!isLatLonGrid(gds)) {
        msg.ni = msg.nj = 0;
        msg.lat1 = msg.lon1 = msg.lat2 = msg.lon2 = msg.di = msg.dj = 0;
        return;
    }
    const GDS_LATLON_INPUT& g = gds.llg;
    msg.ni = int(g.usNi);
    msg.nj = int(g.usNj);
    msg.lat1 = g.lLat1;
    msg.lon1 = g.lLon1;
    msg.lat2 = g.lLat2;
    msg.lon2 = g.lLon2;
    msg.di = g.iDi;
    msg.dj = g.iDj;
}

// ---------------------------------------------------------------------------
// Valid time

// WMO code table 4: minutes per forecast time unit; 0 for units that are
// not a fixed number of minutes (months, years) or unknown.
long minutesPerUnit(unsigned unit)
{
    switch (unit) {
    case 0: return 1;
    case 1: return 60;
    case 2: return 24 * 60;
    case 10: return 3 * 60;
    case 11: return 6 * 60;
    case 12: return 12 * 60;
    case 13: return 15;
    case 14: return 30;
    default: return 0;
    }
}

// WMO code table 5: which of P1 and P2 gives the valid time.
long offsetInUnits(const PDS_INPUT& pds)
{
    switch (pds.usTime_range) {
    case 0: case 1: case 10:
        return pds.usP1;  // time range 10 holds the 16-bit P1
    case 2: case 3: case 4: case 5:
        return pds.usP2;  // the end of the period
    default:
        return 0;
    }
}

int monthLength(unsigned month, unsigned year)
{
    switch (month) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12:
        return 31;
    case 2:
        return year % 4 == 0 ? 29 : 28;
    default:
        return 30;
    }
}

void fillValidTime(const PDS_INPUT& pds, GribMsg& msg)
{
    unsigned year = unsigned(pds.usYear) + 100u * unsigned(pds.usCentury) - 100u;
    unsigned month = pds.usMonth;
    long day = pds.usDay;
    long minutes = long(pds.usHour) * 60 + long(pds.usMinute) +
                   offsetInUnits(pds) * minutesPerUnit(pds.usFcst_unit_id);
    day += minutes / (24 * 60);
    minutes %= 24 * 60;
    // An offset of many days can cross several months and a year end.
    // A month outside 1 … 12 (a damaged PDS) is left as it is.
    while (month >= 1 && month <= 12 && day > monthLength(month, year)) {
        day -= monthLength(month, year);
        if (++month == 13) {
            month = 1;
            ++year;
        }
    }
    msg.year = static_cast<unsigned short>(year);
    msg.month = static_cast<unsigned short>(month);
    msg.day = static_cast<unsigned short>(day);
    msg.hour = static_cast<unsigned short>(minutes / 60);
    msg.minute = static_cast<unsigned short>(minutes % 60);
}

// Takes the decoded values when they cover the whole lat/lon grid.
void takeValues(GRIB_MESSAGE& decoded, GribMsg& msg)
{
    const unsigned long needed = (unsigned long)msg.ni * (unsigned long)msg.nj;
    if (!decoded.values || needed == 0 || decoded.bds.ulGrid_size < needed)
        return;
    msg.values = decoded.values;
    decoded.values = nullptr;
}

// Reads a located message's product definition into pds, with gds
// cleared for the caller; false when the section is too short.
bool productDefinition(const GRIB_HDR* gh, PDS_INPUT& pds, grid_desc_sec& gds)
{
    if (gh->pds_len < kMinPdsLength)
        return false;
    BMS_INPUT bms;
    BDS_HEAD_INPUT bds;
    init_dec_struct(&pds, &gds, &bms, &bds);
    gribgetpds(gh->pds_ptr, &pds);
    return true;
}

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
    if (east > span)
        return false;
    if (!values)
        return true;
    const long columns = span / di + 1;
    const long row = (long(lat1) - long(lat)) / dj;
    const long column = east / di;
    const long index = row * columns + column;
    // The stated extent may disagree with ni and nj: never index past them.
    if (row >= nj || column >= ni || index >= long(ni) * long(nj))
        return false;
    value = values[index];
    return true;
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

// ---------------------------------------------------------------------------
// GribFile: index and decoding

GribFile::GribFile(const char* path)
{
    load(path);
}

bool GribFile::load(const char* path)
{
    fileName = path ? path : "";
    makeIdx();
    if (offsets.empty())
        return false;
    analyze();
    return true;
}

void GribFile::makeIdx()
{
    offsets.clear();
    keys.clear();
    current = 0;
    GRIB_HDR* gh = messageBuffer();
    if (!gh)
        return;
    char err[GRIB_ERRMSG_LEN] = "";
    long offset = 0;
    int status = 0;
    while ((status = grib_seek(fileName.c_str(), &offset, 0, gh, err)) == 0) {
        if (err[0] != '\0') {
            err[0] = '\0';
            ++offset;
        } else if (gh->msg_length < 0) {
            reportBadLength(gh->msg_length);
            break;
        } else if (gh->msg_length == 0) {
            ++offset;
        } else {
            offsets.push_back(offset);
            keys.push_back(keyOfLoaded(gh));
            offset += gh->msg_length;
        }
    }
    current = status == kSeekEnd ? 0 : offsets.size();
}

void GribFile::BufferDeleter::operator()(grib_hdr* gh) const
{
    free_gribhdr(&gh);
}

GRIB_HDR* GribFile::messageBuffer() const
{
    if (!buffer) {
        char err[GRIB_ERRMSG_LEN] = "";
        GRIB_HDR* gh = nullptr;
        if (init_gribhdr(&gh, err) == 0)
            buffer.reset(gh);
    }
    return buffer.get();
}

// Loads the message that starts exactly at offset.  The index was built by
// a forward scan; reading back in index mode makes sure a file that changed
// since gives no message rather than some other one further on.
bool GribFile::loadMessage(long offset) const
{
    GRIB_HDR* gh = messageBuffer();
    if (!gh)
        return false;
    char err[GRIB_ERRMSG_LEN] = "";
    long at = offset;
    if (grib_seek(fileName.c_str(), &at, 1, gh, err) != 0 || err[0] != '\0')
        return false;
    if (gh->msg_length < 0) {
        reportBadLength(gh->msg_length);
        return false;
    }
    return gh->msg_length > 0 && at == offset;
}

void GribFile::decode(long offset, GribMsg& msg)
{
    msg.releaseValues();
    if (!loadMessage(offset))
        return;
    GRIB_HDR* gh = buffer.get();
    GRIB_MESSAGE decoded;
    char err[GRIB_ERRMSG_LEN] = "";
    const int status = grib_decode_message(gh->entire_msg, kGribMissingValue, &decoded, err);
    if (status == 0) {
        fillGrid(decoded.gds, msg);
        msg.gct = keyOf(decoded.pds);
        fillValidTime(decoded.pds, msg);
        takeValues(decoded, msg);
    }
    grib_release_message(&decoded);
}

// The key of the message just located, while its sections are at hand;
// 0 for a product definition too short to hold one.
unsigned GribFile::keyOfLoaded(const GRIB_HDR* gh)
{
    PDS_INPUT pds;
    grid_desc_sec gds;
    return productDefinition(gh, pds, gds) ? keyOf(pds) : 0;
}

// The key, grid and valid time of a message without unpacking its values,
// for the analysis, which reads many messages only for their keys.  A
// message that cannot be read leaves msg empty, with key 0.
bool GribFile::readHeader(long offset, GribMsg& msg) const
{
    msg = GribMsg();
    PDS_INPUT pds;
    grid_desc_sec gds;
    if (!loadMessage(offset) || !productDefinition(buffer.get(), pds, gds))
        return false;
    const GRIB_HDR* gh = buffer.get();
    char err[GRIB_ERRMSG_LEN] = "";
    if (gh->gds_len >= kMinGdsLength && gribgetgds(gh->gds_ptr, &gds, err) != 0)
        gds.head.usData_type = 255;
    msg.gct = keyOf(pds);
    fillGrid(gds, msg);
    fillValidTime(pds, msg);
    return true;
}

bool GribFile::isOurGribFile()
{
    if (offsets.empty())
        return false;
    if (!loadMessage(offsets.front()))
        return false;
    const GRIB_HDR* gh = buffer.get();
    GRIB_MESSAGE decoded;
    char err[GRIB_ERRMSG_LEN] = "";
    const bool ours = grib_decode_message(gh->entire_msg, kGribMissingValue, &decoded, err) == 0 &&
                      decoded.pds.usCenter_id == kOurCentre;
    grib_release_message(&decoded);
    return ours;
}

// ---------------------------------------------------------------------------
// Compound analysis

void GribFile::analyze()
{
    timeStep = 1;
    compoundSize = 0;
    shortFirstCompound = false;
    gcts.clear();
    if (offsets.empty())
        return;
    current = 0;
    GribMsg first;
    readHeader(offsets[0], first);
    const float milli = 0.001f;
    area = QRectF(float(first.lon1) * milli, float(first.lat1) * milli,
                  float(first.lon2 - first.lon1) * milli, float(first.lat2 - first.lat1) * milli);
    gridStep = float(first.di) * milli;
    lat1 = first.lat1;
    lon1 = first.lon1;
    di = first.di;

    compoundSize = 1;
    bool precipitationSeen = false;
    GribMsg msg;
    bool repeated = false;
    while (current + 1 < offsets.size()) {
        ++current;
        readHeader(offsets[current], msg);
        gcts.push_back(msg.gct);
        precipitationSeen = precipitationSeen || msg.gct == GribKey::precipitation;
        if (msg.gct == first.gct) {
            repeated = true;
            break;
        }
        ++compoundSize;
    }
    if (!repeated)
        return;
    timeStep = int(first.validTime().secsTo(msg.validTime()) / 3600);
    if (precipitationSeen)
        return;
    // Read the second compound: when it carries precipitation, the first
    // one lacks the message the later ones hold.
    for (int k = 0; k < compoundSize && current + 1 < offsets.size(); ++k) {
        ++current;
        readHeader(offsets[current], msg);
        if (msg.gct == GribKey::precipitation) {
            gcts.push_back(GribKey::precipitation);
            shortFirstCompound = true;
            ++compoundSize;
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Message navigation

void GribFile::firstMsg(GribMsg& msg)
{
    if (offsets.empty()) {
        msg.releaseValues();
        return;
    }
    current = 0;
    decode(offsets[current], msg);
}

void GribFile::lastMsg(GribMsg& msg)
{
    if (offsets.empty()) {
        msg.releaseValues();
        return;
    }
    current = offsets.size() - 1;
    decode(offsets[current], msg);
}

bool GribFile::nextMsg(GribMsg& msg)
{
    if (current + 1 >= offsets.size())
        return false;
    ++current;
    decode(offsets[current], msg);
    return true;
}

bool GribFile::prevMsg(GribMsg& msg)
{
    if (current == 0 || current >= offsets.size())
        return false;
    --current;
    decode(offsets[current], msg);
    return true;
}

bool GribFile::goMsg(int index, GribMsg& msg)
{
    if (index < 0 || size_t(index) >= offsets.size())
        return false;
    current = size_t(index);
    decode(offsets[current], msg);
    return true;
}

// ---------------------------------------------------------------------------
// Compound navigation

int GribFile::getCompoundNum() const
{
    if (compoundSize < 1)
        return 0;
    const int messages = messageCount() + (shortFirstCompound ? 1 : 0);
    return messages / compoundSize;
}

namespace {

// A message slot made ready for reuse: values freed, fields zero.
GribMsg& emptied(GribMsg& msg)
{
    msg = GribMsg();
    return msg;
}

}  // namespace

// Decodes count messages from first into c, reusing its slots: each value
// array is freed just before the next one is allocated.  Freeing a whole
// compound at once hands the memory back to the system, and every decode
// would then fault fresh pages in.
void GribFile::readMessages(int first, int count, CompoundMsg& c)
{
    c.resize(size_t(std::max(count, 0)));
    for (int k = 0; k < count; ++k) {
        if (!goMsg(first + k, emptied(c[size_t(k)]))) {
            c.resize(size_t(k));
            return;
        }
    }
}

int GribFile::compoundStart(int n) const
{
    return n == 0 ? 0 : n * compoundSize - (shortFirstCompound ? 1 : 0);
}

void GribFile::firstCompound(CompoundMsg& c)
{
    if (offsets.empty()) {
        c.clear();
        return;
    }
    // The first message is read even before the file has been analysed.
    readMessages(0, std::max(compoundSize - (shortFirstCompound ? 1 : 0), 1), c);
}

bool GribFile::hasNextCompound() const
{
    return compoundSize < 1 || current + size_t(compoundSize) < offsets.size();
}

bool GribFile::nextCompound(CompoundMsg& c)
{
    const size_t start = current;
    c.resize(size_t(std::max(compoundSize, 0)));
    for (int k = 0; k < compoundSize; ++k) {
        if (!nextMsg(emptied(c[size_t(k)]))) {
            c.resize(size_t(k));
            // Past the last complete compound: the cursor goes back to the
            // end of the one before, so that stepping back still finds
            // whole compounds.
            current = start;
            return false;
        }
    }
    return true;
}

bool GribFile::hasPrevCompound() const
{
    const int f = shortFirstCompound ? 1 : 0;
    const int s = compoundSize;
    const int i = currentIndex();
    // At (or before) the end of the first compound there is nothing before.
    if (s < 1 || i <= s - 1 - f || i >= messageCount())
        return false;
    return (f == 1 && i == 2 * s - 2) || i - 2 * s + 1 >= 0;
}

bool GribFile::prevCompound(CompoundMsg& c)
{
    if (!hasPrevCompound())
        return false;
    const int s = compoundSize;
    const int i = currentIndex();
    if (shortFirstCompound && i == 2 * s - 2)
        firstCompound(c);
    else
        readMessages(i - 2 * s + 1, s, c);
    return true;
}

bool GribFile::goCompound(int n, CompoundMsg& c)
{
    if (n < 0 || n >= getCompoundNum())
        return false;
    if (n == 0)
        firstCompound(c);
    else
        readMessages(compoundStart(n), compoundSize, c);
    return true;
}

void GribFile::lastCompound(CompoundMsg& c)
{
    const int m = messageCount();
    if (m == 1 || compoundSize < 1)
        return;
    const int f = shortFirstCompound ? 1 : 0;
    goCompound((m + f) / compoundSize - 1, c);
}

void GribFile::readCompound(int n, CompoundMsg& c)
{
    for (int k = 0; k < compoundSize && size_t(k) < c.size(); ++k) {
        const long index = long(n) * compoundSize + k;
        if (index < 0 || index >= messageCount()) {
            c[size_t(k)].releaseValues();
            continue;
        }
        current = size_t(index);
        decode(offsets[current], c[size_t(k)]);
    }
}

std::vector<unsigned> GribFile::compoundKeys(int n) const
{
    std::vector<unsigned> found;
    if (n < 0 || n >= getCompoundNum())
        return found;
    const int count = n == 0 ? std::max(compoundSize - (shortFirstCompound ? 1 : 0), 1) : compoundSize;
    for (int index = compoundStart(n); index < compoundStart(n) + count && index < messageCount(); ++index)
        found.push_back(keys[size_t(index)]);
    return found;
}

bool GribFile::containsGct(unsigned gct) const
{
    for (unsigned key : gcts) {
        if (key == gct)
            return true;
    }
    return false;
}
