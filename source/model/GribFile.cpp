// The index of a GRIB file of either edition and the decoding of its
// fields: edition 1 through our library, edition 2 through ecCodes.
#include "GribFile.h"

#include "Grib2Codec.h"
#include "Grib2Sections.h"
#include "GribKeys.h"
#include "GribParameters.h"
#include "StoredGrid.h"
#include "grib.h"

#include <fcntl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

namespace {

// grib_seek's status at the normal end of the data.
constexpr int kSeekEnd = 2;
constexpr unsigned kOurCentre = 131;
constexpr int kMinPdsLength = 28;
constexpr int kMinGdsLength = 32;

void reportBadLength(long length)
{
    std::fprintf(stderr, "Error:  message returned had bad length (%ld)\n", length);
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

constexpr unsigned kGaussianType = 4;
constexpr unsigned kMissingCount = 65535;  // Ni or Nj of a quasi-regular grid

// ecCodes' name for an edition 1 grid (code table 6).
std::string gridTypeOf(const grid_desc_sec& gds)
{
    const unsigned type = gds.head.usData_type;
    const bool reduced = isLatLonGrid(gds) && (gds.llg.usNi == kMissingCount || gds.llg.usNj == kMissingCount);
    switch (type) {
    case 0: return reduced ? "reduced_ll" : "regular_ll";
    case 1: return "mercator";
    case 3: return "lambert";
    case 4: return reduced ? "reduced_gg" : "regular_gg";
    case 5: return "polar_stereographic";
    case 8: return "albers";
    case 10: return "rotated_ll";
    case 14: return "rotated_gg";
    case 20: return "stretched_ll";
    case 24: return "stretched_gg";
    case 30: return "stretched_rotated_ll";
    case 34: return "stretched_rotated_gg";
    case 50: return "sh";
    case 255: return "none";
    default: return "unknown";
    }
}

// WMO code table 8: scanning mode flags.
StoredGrid storedGridOf(const grid_desc_sec& gds)
{
    StoredGrid grid;
    const GDS_LATLON_INPUT& g = gds.llg;
    grid.ni = int(g.usNi);
    grid.nj = int(g.usNj);
    grid.lat1 = g.lLat1;
    grid.lon1 = g.lLon1;
    grid.lat2 = g.lLat2;
    grid.lon2 = g.lLon2;
    grid.di = g.iDi;
    grid.dj = g.iDj;
    grid.iNegative = (g.usScan_mode & 0x80) != 0;
    grid.jPositive = (g.usScan_mode & 0x40) != 0;
    grid.jConsecutive = (g.usScan_mode & 0x20) != 0;
    // Quasi-regular Gaussian grids are not drawn: their rows are not needed.
    if (gds.head.usData_type == kGaussianType && g.usNi != kMissingCount) {
        grid.gaussianN = g.iDj;  // the Gaussian grid states N where dj would stand
        grid.dj = grid.nj > 1 ? std::abs(grid.lat1 - grid.lat2) / (grid.nj - 1) : 0;
    }
    return grid;
}

void fillGrid(const grid_desc_sec& gds, GribMsg& msg)
{
    if (!isLatLonGrid(gds)) {
        msg.ni = msg.nj = 0;
        msg.lat1 = msg.lon1 = msg.lat2 = msg.lon2 = msg.di = msg.dj = 0;
        msg.rowLats.clear();
        return;
    }
    placeGrid(storedGridOf(gds), msg);
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

// Takes the decoded values when they cover the whole lat/lon grid, in the
// model's order whatever the scanning mode.
void takeValues(GRIB_MESSAGE& decoded, GribMsg& msg)
{
    const unsigned long needed = (unsigned long)msg.ni * (unsigned long)msg.nj;
    if (!decoded.values || needed == 0 || decoded.bds.ulGrid_size < needed)
        return;
    const StoredGrid grid = storedGridOf(decoded.gds);
    if (grid.isNorthWestOrder()) {
        msg.values = decoded.values;
        decoded.values = nullptr;
        return;
    }
    msg.values = static_cast<float*>(std::malloc(needed * sizeof(float)));
    if (msg.values)
        reorderToNorthWest(grid, decoded.values, msg.values);
}

Grib1Codes codesOf(const PDS_INPUT& pds)
{
    Grib1Codes codes;
    codes.centre = pds.usCenter_id;
    codes.tableVersion = pds.usParm_tbl;
    codes.parameter = pds.usParm_id;
    codes.levelType = pds.usLevel_id;
    codes.level = pds.usHeight1;
    return codes;
}

// The start of an accumulation's period: time range 4 states it in P1;
// ECMWF's totals run from the reference time.
QDateTime periodStartOf(const PDS_INPUT& pds, const ModelParameter& parameter)
{
    const bool window = pds.usTime_range == 4;
    if (!window && !parameter.accumulatedFromStart)
        return QDateTime();
    const int year = int(pds.usYear) + 100 * int(pds.usCentury) - 100;
    const QDateTime reference(QDate(year, pds.usMonth, pds.usDay), QTime(pds.usHour, pds.usMinute), Qt::UTC);
    const long units = window ? long(pds.usP1) : 0;
    return reference.addSecs(qint64(units) * minutesPerUnit(pds.usFcst_unit_id) * 60);
}

void applyUnits(float scale, float offset, GribMsg& msg)
{
    if ((scale == 1.0f && offset == 0.0f) || !msg.values)
        return;
    const size_t count = size_t(msg.ni) * size_t(msg.nj);
    for (size_t k = 0; k < count; ++k) {
        if (msg.values[k] != kGribMissingValue)
            msg.values[k] = msg.values[k] * scale + offset;
    }
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
// GribFile: index

namespace {

// Edition 1 keys the model shows; edition 2 fields get only those.
bool isModelKey(unsigned gct)
{
    return keyRank(gct) < keyRank(0);
}

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

long fileSizeOf(std::FILE* fp)
{
    if (std::fseek(fp, 0, SEEK_END) != 0)
        return -1;
    return std::ftell(fp);
}

// Reads octets of the message that starts at base.
Grib2Sections::Reader readerAt(std::FILE* fp, long base)
{
    return [fp, base](uint64_t offset, size_t count, unsigned char* out) {
        return std::fseek(fp, base + long(offset), SEEK_SET) == 0 && std::fread(out, 1, count, fp) == count;
    };
}

// The next GRIB indicator at or after from, before end; -1 if none.
long findIndicator(std::FILE* fp, long from, long end)
{
    constexpr size_t kChunk = 64 * 1024;
    constexpr long kOverlap = 7;
    std::vector<unsigned char> chunk(kChunk);
    for (long at = from; at + 8 <= end;) {
        const size_t want = size_t(std::min<long>(long(kChunk), end - at));
        if (std::fseek(fp, at, SEEK_SET) != 0)
            return -1;
        const size_t got = std::fread(chunk.data(), 1, want, fp);
        if (got < 8)
            return -1;
        const unsigned char* const last = chunk.data() + got - 8;
        for (const unsigned char* g = chunk.data(); g <= last; ++g) {
            g = static_cast<const unsigned char*>(std::memchr(g, 'G', size_t(last - g) + 1));
            if (!g)
                break;
            if (std::memcmp(g, "GRIB", 4) == 0)
                return at + long(g - chunk.data());
        }
        at += long(got) - kOverlap;
    }
    return -1;
}

}  // namespace

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
    index.clear();
    current = 0;
    GRIB_HDR* gh = messageBuffer();
    const File fp(std::fopen(fileName.c_str(), "rb"));
    if (!gh || !fp)
        return;
    // Edition 2 messages are read header by header, a few hundred octets a
    // message apart: reading ahead would fetch the data in between.
    posix_fadvise(fileno(fp.get()), 0, 0, POSIX_FADV_RANDOM);
    const long size = fileSizeOf(fp.get());
    // The edition 1 locator reads every octet between its messages: it
    // runs only once an edition 1 message turns up.
    const long firstEdition1 = indexEdition2(fp.get(), 0, size, size, true);
    int status = kSeekEnd;
    std::vector<GribField> edition1;
    if (firstEdition1 >= 0) {
        status = locateEdition1(edition1);
        indexEdition2Between(fp.get(), firstEdition1, edition1, size);
    }
    mergeEditions(edition1);
    for (const GribField& field : index)
        offsets.push_back(field.offset);
    current = status == kSeekEnd ? 0 : offsets.size();
}

// The edition 1 messages, found by the locator's forward scan; its last
// status.
int GribFile::locateEdition1(std::vector<GribField>& found)
{
    GRIB_HDR* gh = messageBuffer();
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
            found.push_back(fieldOfLoaded(gh, offset));
            offset += gh->msg_length;
        }
    }
    return status;
}

// Indexes the edition 2 messages that start between from and to, going
// from message to message by their stated lengths.  With untilEdition1 it
// stops at the first edition 1 message and gives its offset; otherwise
// edition 1 indicators are passed over, and the result is -1.
long GribFile::indexEdition2(std::FILE* fp, long from, long to, long fileSize, bool untilEdition1)
{
    for (long at = from; at >= 0 && at < to;) {
        const long found = findIndicator(fp, at, to);
        unsigned char indicator[Grib2Sections::kIndicatorLength];
        if (found < 0 || std::fseek(fp, found, SEEK_SET) != 0 ||
            std::fread(indicator, 1, sizeof indicator, fp) != sizeof indicator)
            break;
        if (indicator[7] == 1 && untilEdition1)
            return found;
        const long length = indicator[7] == 2 ? addEdition2Message(fp, found, fileSize) : 0;
        at = found + std::max(length, 1L);
    }
    return -1;
}

// Indexes the edition 2 messages from `from` on that lie between the
// edition 1 ones.
void GribFile::indexEdition2Between(std::FILE* fp, long from, const std::vector<GribField>& edition1, long fileSize)
{
    long at = from;
    for (const GribField& field : edition1) {
        if (field.offset > at)
            indexEdition2(fp, at, field.offset, fileSize, false);
        at = std::max(at, field.offset + field.length);
    }
    indexEdition2(fp, at, fileSize, fileSize, false);
}

// Joins the edition 1 messages to the edition 2 ones in file order; an
// edition 1 match inside an edition 2 message was a coincidence.
void GribFile::mergeEditions(std::vector<GribField>& edition1)
{
    std::vector<GribField> merged;
    merged.reserve(index.size() + edition1.size());
    size_t next2 = 0;
    long end2 = 0;
    for (GribField& field : edition1) {
        while (next2 < index.size() && index[next2].offset <= field.offset) {
            end2 = std::max(end2, index[next2].offset + index[next2].length);
            merged.push_back(index[next2++]);
        }
        if (field.offset >= end2)
            merged.push_back(std::move(field));
    }
    merged.insert(merged.end(), index.begin() + long(next2), index.end());
    index.swap(merged);
}

// Indexes every field of the edition 2 message at offset; its length, or
// 0 when its sections do not hold together.
long GribFile::addEdition2Message(std::FILE* fp, long offset, long fileSize)
{
    const Grib2Sections::Reader read = readerAt(fp, offset);
    Grib2Sections::Layout layout;
    std::string error;
    if (!Grib2Sections::readLayout(read, uint64_t(fileSize - offset), layout, error))
        return 0;
    for (size_t k = 0; k < layout.fields.size(); ++k) {
        GribField field;
        field.offset = offset;
        field.length = long(layout.totalLength);
        field.edition = 2;
        field.fieldInMessage = int(k);
        Grib2Codec::Message header;
        StoredGrid grid;
        if (!Grib2Sections::assembleField(read, layout, k, false, header, field.problem)) {
            field.problem = "field cannot be read: " + field.problem;
            field.readable = false;
        } else {
            Grib2Codec::readHeader(header, field, grid);
        }
        index.push_back(field);
    }
    return long(layout.totalLength);
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

// The index entry of the edition 1 message just located, from its headers
// while they are at hand.
GribField GribFile::fieldOfLoaded(const GRIB_HDR* gh, long offset)
{
    GribField field;
    field.offset = offset;
    field.length = gh->msg_length;
    PDS_INPUT pds;
    grid_desc_sec gds;
    if (!productDefinition(gh, pds, gds)) {
        field.problem = "product definition section too short";
        field.readable = false;
        return field;
    }
    char err[GRIB_ERRMSG_LEN] = "";
    if (gh->gds_len < kMinGdsLength || gribgetgds(gh->gds_ptr, &gds, err) != 0)
        gds.head.usData_type = 255;
    const ModelParameter parameter = modelParameterOf(codesOf(pds));
    field.gct = parameter.gct;
    field.valueScale = parameter.scale;
    field.valueOffset = parameter.offset;
    field.gridType = gridTypeOf(gds);
    GribMsg times;
    fillValidTime(pds, times);
    field.validTime = times.validTime();
    field.periodStart = periodStartOf(pds, parameter);
    const bool drawnGrid = field.gridType == "regular_ll" || field.gridType == "regular_gg";
    field.drawable = isModelKey(field.gct) && drawnGrid;
    if (isModelKey(field.gct) && !drawnGrid)
        field.problem = "grid " + field.gridType + " is not drawn";
    return field;
}

// Whether the loaded edition 1 message's grid is of a size it can hold;
// the library would fill a huge constant field before any check.
bool GribFile::loadedGridPlausible() const
{
    const GRIB_HDR* gh = buffer.get();
    grid_desc_sec gds;
    PDS_INPUT pds;
    BMS_INPUT bms;
    BDS_HEAD_INPUT bds;
    init_dec_struct(&pds, &gds, &bms, &bds);
    char err[GRIB_ERRMSG_LEN] = "";
    if (gh->gds_len < kMinGdsLength || gribgetgds(gh->gds_ptr, &gds, err) != 0 || !isLatLonGrid(gds))
        return true;
    return plausiblePointCount((long long)gds.llg.usNi * (long long)gds.llg.usNj, gh->msg_length);
}

// Decodes the edition 1 message found at offset.
void GribFile::decode(long offset, GribMsg& msg)
{
    msg.releaseValues();
    if (!loadMessage(offset) || !loadedGridPlausible())
        return;
    GRIB_HDR* gh = buffer.get();
    GRIB_MESSAGE decoded;
    char err[GRIB_ERRMSG_LEN] = "";
    const int status = grib_decode_message(gh->entire_msg, kGribMissingValue, &decoded, err);
    if (status == 0) {
        fillGrid(decoded.gds, msg);
        const ModelParameter parameter = modelParameterOf(codesOf(decoded.pds));
        msg.gct = parameter.gct;
        fillValidTime(decoded.pds, msg);
        takeValues(decoded, msg);
        applyUnits(parameter.scale, parameter.offset, msg);
    }
    grib_release_message(&decoded);
}

void GribFile::decodeField(size_t n, GribMsg& msg)
{
    if (n >= index.size())
        decodeDerived(n - index.size(), msg);
    else if (index[n].edition == 2)
        decodeEdition2(index[n], msg);
    else
        decode(offsets[n], msg);
    subtractEarlierPeriod(n, msg);
}

namespace {

void fillTime(const QDateTime& valid, GribMsg& msg)
{
    const QDate date = valid.date();
    msg.year = static_cast<unsigned short>(date.year());
    msg.month = static_cast<unsigned short>(date.month());
    msg.day = static_cast<unsigned short>(date.day());
    msg.hour = static_cast<unsigned short>(valid.time().hour());
    msg.minute = static_cast<unsigned short>(valid.time().minute());
}

// Reads the edition 2 message holding field and assembles the field alone.
bool assembledField(const std::string& path, const GribField& field, bool withData,
                    Grib2Codec::Message& message, std::string& error)
{
    const File fp(std::fopen(path.c_str(), "rb"));
    if (!fp) {
        error = "file cannot be opened";
        return false;
    }
    const long size = fileSizeOf(fp.get());
    const Grib2Sections::Reader read = readerAt(fp.get(), field.offset);
    Grib2Sections::Layout layout;
    if (size < field.offset || !Grib2Sections::readLayout(read, uint64_t(size - field.offset), layout, error))
        return false;
    return Grib2Sections::assembleField(read, layout, size_t(field.fieldInMessage), withData, message, error);
}

}  // namespace

// Fills msg from an edition 2 field: headers always, values when the map
// can draw the field.
void GribFile::decodeEdition2(const GribField& field, GribMsg& msg)
{
    msg.releaseValues();
    msg.gct = field.gct;
    fillTime(field.validTime, msg);
    Grib2Codec::Message message;
    std::string error;
    StoredGrid grid;
    std::vector<double> stored;
    if (!field.drawable || !assembledField(fileName, field, true, message, error) ||
        !Grib2Codec::gridAndValues(message, grid, stored, error))
        return;
    placeGrid(grid, msg);
    const size_t count = size_t(grid.ni) * size_t(grid.nj);
    if (stored.size() != count)
        return;
    msg.values = static_cast<float*>(std::malloc(count * sizeof(float)));
    if (!msg.values)
        return;
    reorderToNorthWest(grid, stored.data(), msg.values);
    applyUnits(field.valueScale, field.valueOffset, msg);
}

// The tidal stream's speed (m/s) or direction (degrees it runs towards)
// from the current's components.
void GribFile::decodeDerived(size_t k, GribMsg& msg)
{
    const DerivedField& d = derived[k];
    GribMsg v;
    decodeField(size_t(d.u), msg);
    decodeField(size_t(d.v), v);
    msg.gct = d.gct;
    if (!msg.values)
        return;
    if (!v.values || v.ni != msg.ni || v.nj != msg.nj) {
        msg.releaseValues();
        return;
    }
    constexpr double kDegrees = 180.0 / 3.14159265358979323846;
    const size_t count = size_t(msg.ni) * size_t(msg.nj);
    for (size_t i = 0; i < count; ++i) {
        const float u = msg.values[i], vv = v.values[i];
        if (u == kGribMissingValue || vv == kGribMissingValue) {
            msg.values[i] = kGribMissingValue;
        } else if (d.gct == GribKey::tidalSpeed) {
            msg.values[i] = std::hypot(u, vv);
        } else {
            const double towards = std::atan2(double(u), double(vv)) * kDegrees;
            msg.values[i] = float(towards < 0.0 ? towards + 360.0 : towards);
        }
    }
}

// Turns an amount since the start of a longer period into the amount since
// the previous step: the earlier part of the period is taken off.
void GribFile::subtractEarlierPeriod(size_t n, GribMsg& msg)
{
    if (n >= earlierPeriod.size() || earlierPeriod[n] < 0 || !msg.values)
        return;
    GribMsg earlier;
    const size_t e = size_t(earlierPeriod[n]);
    if (index[e].edition == 2)
        decodeEdition2(index[e], earlier);
    else
        decode(offsets[e], earlier);
    if (!earlier.values || earlier.ni != msg.ni || earlier.nj != msg.nj)
        return;
    const size_t count = size_t(msg.ni) * size_t(msg.nj);
    for (size_t k = 0; k < count; ++k) {
        if (msg.values[k] != kGribMissingValue && earlier.values[k] != kGribMissingValue)
            msg.values[k] = std::max(msg.values[k] - earlier.values[k], 0.0f);
    }
}

bool GribFile::storedValues(int n, std::vector<double>& values, std::string& error)
{
    values.clear();
    if (n < 0 || size_t(n) >= index.size()) {
        error = "no such field";
        return false;
    }
    const GribField& field = index[size_t(n)];
    if (field.edition == 2) {
        Grib2Codec::Message message;
        return assembledField(fileName, field, true, message, error) &&
               Grib2Codec::storedValues(message, values, error);
    }
    if (!loadMessage(field.offset)) {
        error = "message cannot be read";
        return false;
    }
    if (!loadedGridPlausible()) {
        error = "grid too large for its message";
        return false;
    }
    GRIB_MESSAGE decoded;
    char err[GRIB_ERRMSG_LEN] = "";
    const bool ok = grib_decode_message(buffer->entire_msg, kGribMissingValue, &decoded, err) == 0 && decoded.values;
    if (ok)
        values.assign(decoded.values, decoded.values + decoded.bds.ulGrid_size);
    else
        error = err[0] != '\0' ? std::string(err) : std::string("message does not decode");
    grib_release_message(&decoded);
    return ok;
}

// The key, grid and valid time of field n without its values, for the
// analysis.  A field that cannot be read leaves msg empty, with key 0.
bool GribFile::readHeader(int n, GribMsg& msg)
{
    msg = GribMsg();
    const GribField& field = index[size_t(n)];
    if (field.edition == 2) {
        Grib2Codec::Message message;
        std::string error;
        GribField described;
        StoredGrid grid;
        msg.gct = field.gct;
        fillTime(field.validTime, msg);
        if (assembledField(fileName, field, false, message, error) &&
            Grib2Codec::readHeader(message, described, grid) && described.drawable)
            placeGrid(grid, msg);
        return true;
    }
    PDS_INPUT pds;
    grid_desc_sec gds;
    if (!loadMessage(field.offset) || !productDefinition(buffer.get(), pds, gds))
        return false;
    const GRIB_HDR* gh = buffer.get();
    char err[GRIB_ERRMSG_LEN] = "";
    if (gh->gds_len >= kMinGdsLength && gribgetgds(gh->gds_ptr, &gds, err) != 0)
        gds.head.usData_type = 255;
    msg.gct = field.gct;
    fillGrid(gds, msg);
    fillValidTime(pds, msg);
    return true;
}

bool GribFile::isOurGribFile()
{
    if (offsets.empty() || index.front().edition != 1)
        return false;
    if (!loadMessage(offsets.front()) || !loadedGridPlausible())
        return false;
    const GRIB_HDR* gh = buffer.get();
    GRIB_MESSAGE decoded;
    char err[GRIB_ERRMSG_LEN] = "";
    const bool ours = grib_decode_message(gh->entire_msg, kGribMissingValue, &decoded, err) == 0 &&
                      decoded.pds.usCenter_id == kOurCentre;
    grib_release_message(&decoded);
    return ours;
}

int GribFile::unreadableCount() const
{
    int count = 0;
    for (const GribField& field : index)
        count += field.readable ? 0 : 1;
    return count;
}

std::string GribFile::openProblem() const
{
    if (index.empty())
        return "It holds no GRIB data.";
    std::vector<std::string> grids;
    for (const GribField& field : index) {
        if (field.drawable)
            return std::string();
        if (isModelKey(field.gct) && !field.gridType.empty() &&
            std::find(grids.begin(), grids.end(), field.gridType) == grids.end())
            grids.push_back(field.gridType);
    }
    std::string reason;
    if (!grids.empty()) {
        reason = "Its weather fields lie on grids Skyvane does not draw (";
        for (size_t k = 0; k < grids.size(); ++k)
            reason += (k > 0 ? ", " : "") + grids[k];
        reason += ").";
    } else {
        reason = "It holds no weather parameter that Skyvane can show.";
    }
    const int unreadable = unreadableCount();
    if (unreadable > 0)
        reason += " " + std::to_string(unreadable) + " of its fields cannot be read.";
    return reason;
}
