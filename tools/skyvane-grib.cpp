// skyvane-grib: inventory of the fields of a GRIB file of either edition, as
// the viewer's index finds them, and the values of one of them, for scripts
// and for checking files by hand.

#include "GribFile.h"
#include "compound_commands.h"
#include "grib.h"
#include "kind_names.h"
#include "section_dump.h"
#include "tool_output.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tooloutput;

constexpr float kFillValue = -9999.0f;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // undecodable message, INDEX past the end
constexpr int kExitUsage = 2;   // bad arguments, unreadable file

const char* const kUsage =
    "Usage: skyvane-grib list [--json] FILE\n"
    "       skyvane-grib values FILE INDEX\n"
    "       skyvane-grib dump FILE INDEX\n"
    "       skyvane-grib compounds [--json] FILE\n"
    "       skyvane-grib point [--json] FILE LAT LON\n"
    "       skyvane-grib --help\n"
    "\n"
    "FILE may hold GRIB edition 1 and edition 2 messages, mixed, with other\n"
    "data around them.  An edition 2 message may carry several fields; each\n"
    "is listed, and counted by INDEX, on its own, in file order.\n"
    "\n"
    "list    one line per field: index, offset and length in octets of its\n"
    "        message, edition, centre, parameter, level type and level, key\n"
    "        gct (level * 65536 + level type * 256 + parameter), data\n"
    "        representation type, grid size, first and last grid point\n"
    "        (degrees), reference time, P1, P2, time range, bits per value,\n"
    "        bitmap; then for either edition ecCodes' grid type name, the\n"
    "        valid time (UTC), the kind of weather the viewer shows from it,\n"
    "        and the status: ok, or why the field cannot be read or drawn.\n"
    "        An edition 2 field shows its parameter as discipline/category/\n"
    "        number, as gct the viewer's key for it, and - in the other\n"
    "        edition 1 columns.  --json prints one JSON array instead; its\n"
    "        edition 1 keys are null for edition 2 fields, and every field\n"
    "        adds discipline, category, number (null for edition 1), grid,\n"
    "        validTime (ISO 8601, UTC), kind (wind, pressure, precipitation,\n"
    "        temperature, wave, sst, tidal, preciprate; null for a field the\n"
    "        map does not show by itself, such as v wind or a direction),\n"
    "        drawable (the map can draw it) and problem (null when none).\n"
    "        Edition 2 fields are listed from their headers; only values\n"
    "        decodes their data.\n"
    "values  the values of field INDEX (counted from 0), one per line in the\n"
    "        order the file stores them (ecCodes' order for edition 2), in\n"
    "        the file's units; points absent from the bitmap print as -9999.\n"
    "dump    edition 1: the section layout of the message holding field\n"
    "        INDEX; edition 2: the offset and length of each section the\n"
    "        field is made of, from the start of its message.\n"
    "compounds  how the fields group into time steps, as the viewer reads\n"
    "        them: messages and fields in the file, fields per step\n"
    "        (compoundSize), the number of complete steps, whether steps\n"
    "        were made by valid time (files not laid out step by step),\n"
    "        whether the first step lacks the precipitation the later ones\n"
    "        carry, the hours between steps, the area of the first field in\n"
    "        degrees, the keys found, the fields that cannot be read and why\n"
    "        nothing can be drawn when that is so.\n"
    "point   for every time step, its valid time and the value of each field\n"
    "        at LAT LON (degrees, north and east positive): the grid point at\n"
    "        or north-west of it, wind as the speed of u and v, tidal stream\n"
    "        in knots.  A field whose grid does not cover the point shows -\n"
    "        (null in JSON); a point outside every grid exits with 1.\n"
    "\n"
    "Edition 1 grid columns by data representation type: latitude/longitude\n"
    "grids give Ni, Nj, first and last point and Di, Dj.  Lambert (3, 8, 13)\n"
    "and polar stereographic (5) grids give Nx, Ny, the first point and Dx,\n"
    "Dy as di, dj; their last point is 0.  Mercator (1) gives columns, rows,\n"
    "both corner points and the longitude and latitude increments.  Without\n"
    "a grid description all are 0.  In the JSON output points are in\n"
    "millidegrees, increments as the grid states them (metres for Lambert and\n"
    "polar stereographic grids).\n"
    "\n"
    "A file without GRIB messages lists nothing and succeeds.\n"
    "\n"
    "Exit status: 0 success; 1 a field that does not decode (values), or an\n"
    "INDEX past the last field; 2 bad arguments, or a file that cannot be\n"
    "read.\n";

// ---------------------------------------------------------------------------
// Small helpers

// An error buffer as the library expects it, always NUL-terminated.
struct ErrorBuffer {
    char text[GRIB_ERRMSG_LEN + 1] = {};
    bool empty() const { return text[0] == '\0'; }
    std::string line() const;
};

// The message without its trailing newline.
std::string ErrorBuffer::line() const
{
    std::string s(text, strnlen(text, GRIB_ERRMSG_LEN));
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

int usageError(const std::string& what)
{
    complain(what);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// A non-negative decimal number; values too large for the type are clamped,
// as they lie past the last field anyway.
bool parseIndex(const char* text, unsigned long long* index)
{
    if (*text == '\0')
        return false;
    for (const char* p = text; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    *index = std::strtoull(text, nullptr, 10);
    return true;
}

// ---------------------------------------------------------------------------
// Reading edition 1 messages

struct GribHdrDeleter {
    void operator()(GRIB_HDR* gh) const { free_gribhdr(&gh); }
};
using GribHdrPtr = std::unique_ptr<GRIB_HDR, GribHdrDeleter>;

GribHdrPtr newMessageBuffer()
{
    ErrorBuffer err;
    GRIB_HDR* raw = nullptr;
    if (init_gribhdr(&raw, err.text) != 0)
        return nullptr;
    return GribHdrPtr(raw);
}

// Loads the edition 1 message the index found at offset, exactly there.
bool loadEdition1(const char* path, long offset, GRIB_HDR* gh)
{
    ErrorBuffer err;
    long at = offset;
    return gh && grib_seek(path, &at, 1, gh, err.text) == 0 && err.empty() && at == offset &&
           gh->msg_length > 0;
}

// The file must exist, be no directory and open for reading: the index
// would otherwise just come out empty.
bool checkReadable(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0) {
        complain(std::string(path) + ": " + std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        complain(std::string(path) + ": is a directory");
        return false;
    }
    std::FILE* fp = std::fopen(path, "rb");
    if (!fp) {
        complain(std::string(path) + ": " + std::strerror(errno));
        return false;
    }
    std::fclose(fp);
    return true;
}

// ---------------------------------------------------------------------------
// Decoding

// A decoded message with its status and error line.
struct Decoded : GRIB_MESSAGE {
    int status = 0;
    std::string error;

    Decoded() : GRIB_MESSAGE() {}
    ~Decoded() { grib_release_message(this); }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;

    bool hasValues() const { return status == 0 && values != nullptr; }
    unsigned long points() const { return hasValues() ? bds.ulGrid_size : 0; }
};

void decodeMessage(const GRIB_HDR& gh, Decoded& d)
{
    ErrorBuffer err;
    d.status = grib_decode_message(gh.entire_msg, kFillValue, &d, err.text);
    if (d.status != 0)
        d.error = err.line();
}

// The grid figures shown for any grid type; see the usage text for which
// fields each type contributes.
struct GridSummary {
    long long ni = 0, nj = 0;
    long long lat1 = 0, lon1 = 0, lat2 = 0, lon2 = 0;
    double di = 0, dj = 0;  // Mercator increments are not whole numbers
    long long scanMode = 0;
    bool hasLastPoint = false;
    bool present = false;
};

bool isLatLonType(unsigned type)
{
    switch (type) {
    case 0: case 4: case 10: case 14: case 20: case 24: case 30: case 34:
        return true;
    default:
        return false;
    }
}

GridSummary summarizeGrid(const grid_desc_sec& gds)
{
    GridSummary g;
    const unsigned type = gds.head.usData_type;
    if (isLatLonType(type)) {
        const GDS_LATLON_INPUT& b = gds.llg;
        g = {b.usNi, b.usNj, b.lLat1, b.lLon1, b.lLat2, b.lLon2,
             double(b.iDi), double(b.iDj), b.usScan_mode, true, true};
    } else if (type == 3 || type == 8 || type == 13) {
        const GDS_LAM_INPUT& b = gds.lam;
        g = {b.iNx, b.iNy, b.lLat1, b.lLon1, 0, 0,
             double(b.ulDx), double(b.ulDy), b.usScan_mode, false, true};
    } else if (type == 5) {
        const GDS_PS_INPUT& b = gds.pol;
        g = {b.usNx, b.usNy, b.lLat1, b.lLon1, 0, 0,
             double(b.ulDx), double(b.ulDy), b.usScan_mode, false, true};
    } else if (type == 1) {
        const mercator& b = gds.merc;
        g = {b.cols, b.rows, b.first_lat, b.first_lon, b.La2, b.Lo2,
             double(b.lon_inc), double(b.lat_inc), b.usScan_mode, true, true};
    }
    return g;
}

unsigned long gctKey(const PDS_INPUT& pds)
{
    return (unsigned long)(uint32_t(pds.usHeight1) * 65536u +
                           uint32_t(pds.usLevel_id) * 256u +
                           uint32_t(pds.usParm_id));
}

// Four-digit year whether the decoder kept the year of century or not.
unsigned fullYear(const PDS_INPUT& pds)
{
    if (pds.usYear <= 100 && pds.usCentury > 0)
        return (pds.usCentury - 1u) * 100u + pds.usYear;
    return pds.usYear;
}

// The edition 1 keys of list --json after index, offset, length and
// edition, in their order.
const char* const kEdition1Keys[] = {
    "centre", "subcentre", "table", "param", "levelType", "height1", "height2", "gct", "dataType",
    "ni", "nj", "lat1", "lon1", "lat2", "lon2", "di", "dj", "scanMode", "year", "month", "day",
    "hour", "minute", "century", "timeUnit", "p1", "p2", "timeRange", "decScale", "binScale",
    "reference", "bitsPerValue", "bitmap", "points", "status", "error"};

void addEdition1Keys(JsonObject& o, const GRIB_HDR& gh, const Decoded& d)
{
    const PDS_INPUT& p = d.pds;
    const GridSummary g = summarizeGrid(d.gds);
    o.add("centre", (long long)p.usCenter_id);
    o.add("subcentre", (long long)p.usCenter_sub);
    o.add("table", (long long)p.usParm_tbl);
    o.add("param", (long long)p.usParm_id);
    o.add("levelType", (long long)p.usLevel_id);
    o.add("height1", (long long)p.usHeight1);
    o.add("height2", (long long)p.usHeight2);
    o.add("gct", (long long)gctKey(p));
    o.add("dataType", (long long)d.gds.head.usData_type);
    o.add("ni", g.ni);
    o.add("nj", g.nj);
    o.add("lat1", g.lat1);
    o.add("lon1", g.lon1);
    o.add("lat2", g.lat2);
    o.add("lon2", g.lon2);
    o.addNumber("di", g.di);
    o.addNumber("dj", g.dj);
    o.add("scanMode", g.scanMode);
    o.add("year", (long long)p.usYear);
    o.add("month", (long long)p.usMonth);
    o.add("day", (long long)p.usDay);
    o.add("hour", (long long)p.usHour);
    o.add("minute", (long long)p.usMinute);
    o.add("century", (long long)p.usCentury);
    o.add("timeUnit", (long long)p.usFcst_unit_id);
    o.add("p1", (long long)p.usP1);
    o.add("p2", (long long)p.usP2);
    o.add("timeRange", (long long)p.usTime_range);
    o.add("decScale", (long long)p.sDec_sc_fctr);
    o.add("binScale", (long long)d.bds.Bin_sc_fctr);
    o.addReal("reference", d.bds.fReference);
    o.add("bitsPerValue", (long long)d.bds.usBit_pack_num);
    o.add("bitmap", gh.bms_len != 0);
    o.add("points", (long long)d.points());
    o.add("status", (long long)d.status);
    o.addText("error", d.status != 0 ? &d.error : nullptr);
}

// Edition 2 fields (and an edition 1 message that cannot be read again)
// have none of the edition 1 keys but gct, the model's key when it has one.
void addEdition1Nulls(JsonObject& o, unsigned modelKey)
{
    for (const char* name : kEdition1Keys) {
        if (std::strcmp(name, "gct") == 0 && modelKey != 0)
            o.add(name, (long long)modelKey);
        else
            o.addText(name, nullptr);
    }
}

// Why the field cannot be read or drawn; empty when it can.
std::string problemOf(const GribField& f, const GRIB_HDR* gh, const Decoded& d)
{
    if (f.edition == 1 && !gh)
        return "message cannot be read again";
    if (gh && d.status != 0)
        return d.error.empty() ? "does not decode (status " + std::to_string(d.status) + ")" : d.error;
    return f.problem;
}

void addCode(JsonObject& o, const char* name, int code)
{
    if (code >= 0)
        o.add(name, (long long)code);
    else
        o.addText(name, nullptr);
}

void addOptionalText(JsonObject& o, const char* name, const std::string& text)
{
    o.addText(name, text.empty() ? nullptr : &text);
}

// The keys of either edition, from the index.
void addFieldKeys(JsonObject& o, const GribField& f, const std::string& problem)
{
    addCode(o, "discipline", f.discipline);
    addCode(o, "category", f.category);
    addCode(o, "number", f.number);
    addOptionalText(o, "grid", f.gridType);
    addOptionalText(o, "validTime", f.validTime.isValid()
                                        ? f.validTime.toUTC().toString(Qt::ISODate).toStdString()
                                        : std::string());
    const char* kind = KindNames::nameOfKey(f.gct);
    addOptionalText(o, "kind", kind ? kind : "");
    o.add("drawable", f.drawable);
    addOptionalText(o, "problem", problem);
}

// gh and d: the edition 1 message and its decoding; gh null for an edition
// 2 field.
std::string fieldJson(size_t index, const GribField& f, const GRIB_HDR* gh, const Decoded& d)
{
    JsonObject o;
    o.add("index", (long long)index);
    o.add("offset", (long long)f.offset);
    o.add("length", (long long)f.length);
    o.add("edition", (long long)f.edition);
    if (gh)
        addEdition1Keys(o, *gh, d);
    else
        addEdition1Nulls(o, f.edition == 2 ? f.gct : 0);
    addFieldKeys(o, f, problemOf(f, gh, d));
    return o.text();
}

using Row = std::vector<std::string>;

const Row kTableHeader = {"#", "offset", "length", "ed", "centre", "param", "ltype", "level",
                          "gct", "drt", "grid", "first", "last", "reftime", "p1", "p2", "tr",
                          "bits", "bitmap", "gridtype", "valid", "kind", "status"};
// The edition 1 columns, from centre to bitmap.
constexpr size_t kEdition1Columns = 15;

std::string pointText(long long lat, long long lon)
{
    return format("%.3f,%.3f", lat / 1000.0, lon / 1000.0);
}

// Level as one number, or top-bottom for the two one-octet layer values.
std::string levelText(const PDS_INPUT& p)
{
    if (p.usHeight2 != 0)
        return format("%u-%u", unsigned(p.usHeight1), unsigned(p.usHeight2));
    return std::to_string(p.usHeight1);
}

// Any text on one line.
std::string oneLine(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    for (char& c : s)
        if ((unsigned char)c < 0x20)
            c = ' ';
    return s;
}

// Status and error on one line, whatever the error text holds.
std::string statusText(const Decoded& d)
{
    std::string s = std::to_string(d.status);
    if (!d.error.empty())
        s += " " + d.error;
    return oneLine(s);
}

void appendEdition1Cells(Row& row, const GRIB_HDR& gh, const Decoded& d)
{
    const PDS_INPUT& p = d.pds;
    const GridSummary g = summarizeGrid(d.gds);
    const Row cells = {
        std::to_string(p.usCenter_id),
        std::to_string(p.usParm_id),
        std::to_string(p.usLevel_id),
        levelText(p),
        std::to_string(gctKey(p)),
        std::to_string(d.gds.head.usData_type),
        g.present ? format("%lldx%lld", g.ni, g.nj) : "-",
        g.present ? pointText(g.lat1, g.lon1) : "-",
        g.hasLastPoint ? pointText(g.lat2, g.lon2) : "-",
        format("%04u-%02u-%02u %02u:%02u", fullYear(p) % 10000u, unsigned(p.usMonth) % 100u,
               unsigned(p.usDay) % 100u, unsigned(p.usHour) % 100u, unsigned(p.usMinute) % 100u),
        std::to_string(p.usP1),
        std::to_string(p.usP2),
        std::to_string(p.usTime_range),
        std::to_string(d.bds.usBit_pack_num),
        gh.bms_len != 0 ? "yes" : "no"};
    row.insert(row.end(), cells.begin(), cells.end());
}

// An edition 2 field has its parameter as discipline/category/number and
// the model's key; its other edition 1 columns are empty.
void appendEdition2Cells(Row& row, const GribField& f)
{
    Row cells(kEdition1Columns, "-");
    if (f.edition == 2) {
        cells[1] = format("%d/%d/%d", f.discipline, f.category, f.number);
        if (f.gct != 0)
            cells[4] = std::to_string(f.gct);
    }
    row.insert(row.end(), cells.begin(), cells.end());
}

Row fieldRow(size_t index, const GribField& f, const GRIB_HDR* gh, const Decoded& d)
{
    Row row = {std::to_string(index), std::to_string(f.offset), std::to_string(f.length),
               std::to_string(f.edition)};
    if (gh)
        appendEdition1Cells(row, *gh, d);
    else
        appendEdition2Cells(row, f);
    const char* kind = KindNames::nameOfKey(f.gct);
    const std::string problem = problemOf(f, gh, d);
    row.push_back(f.gridType.empty() ? "-" : f.gridType);
    row.push_back(f.validTime.isValid()
                      ? f.validTime.toUTC().toString("yyyy-MM-dd HH:mm").toStdString()
                      : "-");
    row.push_back(kind ? kind : "-");
    if (gh && d.status != 0)
        row.push_back(statusText(d));
    else
        row.push_back(problem.empty() ? "ok" : oneLine(problem));
    return row;
}

// Numbers right-aligned, the last column (status text) left as it is.
void printTable(const std::vector<Row>& rows)
{
    std::vector<size_t> width(kTableHeader.size(), 0);
    for (const Row& row : rows)
        for (size_t i = 0; i < row.size(); ++i)
            width[i] = std::max(width[i], row[i].size());
    for (const Row& row : rows) {
        std::string line;
        for (size_t i = 0; i + 1 < row.size(); ++i) {
            line.append(width[i] - row[i].size(), ' ');
            line += row[i];
            line += "  ";
        }
        line += row.back();
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
    }
}

// ---------------------------------------------------------------------------
// Commands

// Every field of the index, with the edition 1 messages decoded for their
// own columns.
int listFields(const char* path, bool json)
{
    GribFile file(path);
    const GribHdrPtr gh = newMessageBuffer();
    const std::vector<GribField>& fields = file.fields();
    std::vector<Row> rows{kTableHeader};
    if (json)
        std::fputs("[", stdout);
    for (size_t n = 0; n < fields.size(); ++n) {
        const GribField& f = fields[n];
        Decoded d;
        const GRIB_HDR* loaded = nullptr;
        if (f.edition == 1 && loadEdition1(path, f.offset, gh.get())) {
            decodeMessage(*gh, d);
            loaded = gh.get();
        }
        if (json) {
            std::fputs(n == 0 ? "\n  " : ",\n  ", stdout);
            std::fputs(fieldJson(n, f, loaded, d).c_str(), stdout);
        } else {
            rows.push_back(fieldRow(n, f, loaded, d));
        }
    }
    if (json)
        std::fputs(fields.empty() ? "]\n" : "\n]\n", stdout);
    else
        printTable(rows);
    return kExitOk;
}

// Whether the file has field index; complains when it has not.
bool hasField(const GribFile& file, const char* path, unsigned long long index)
{
    const size_t count = file.fields().size();
    if (index < count)
        return true;
    complain(std::string(path) + ": no field " + std::to_string(index) + " (the file holds " +
             std::to_string(count) + ")");
    return false;
}

int showValues(const char* path, unsigned long long index)
{
    GribFile file(path);
    if (!hasField(file, path, index))
        return kExitFailed;
    std::vector<double> values;
    std::string error;
    if (!file.storedValues(int(index), values, error)) {
        complain(std::string(path) + ": field " + std::to_string(index) + ": " + oneLine(error));
        return kExitFailed;
    }
    for (double v : values)
        std::printf("%.9g\n", v);
    return kExitOk;
}

int dumpField(const char* path, unsigned long long index)
{
    GribFile file(path);
    if (!hasField(file, path, index))
        return kExitFailed;
    const GribField& f = file.fields()[size_t(index)];
    std::string error;
    if (f.edition == 2) {
        if (dumpEdition2Sections(path, f, error))
            return kExitOk;
    } else {
        const GribHdrPtr gh = newMessageBuffer();
        if (loadEdition1(path, f.offset, gh.get())) {
            display_gribhdr(gh.get());
            return kExitOk;
        }
        error = "cannot be read again";
    }
    complain(std::string(path) + ": field " + std::to_string(index) + ": " + oneLine(error));
    return kExitFailed;
}

// Splits --json off the arguments.
std::vector<std::string> withoutJsonFlag(const std::vector<std::string>& args, bool* json,
                                         std::string* unknown)
{
    std::vector<std::string> rest;
    for (const std::string& a : args) {
        if (a == "--json")
            *json = true;
        else if (a.size() > 1 && a[0] == '-' && !std::isdigit((unsigned char)a[1]) && a[1] != '.')
            *unknown = a;
        else
            rest.push_back(a);
    }
    return rest;
}

// The commands that take one FILE and --json: list and compounds.
int runOnFile(const std::string& command, const std::vector<std::string>& args,
              int (*run)(const char* path, bool json))
{
    bool json = false;
    std::string unknown;
    const std::vector<std::string> files = withoutJsonFlag(args, &json, &unknown);
    if (!unknown.empty())
        return usageError("unknown option " + unknown);
    if (files.size() != 1)
        return usageError(command + " needs exactly one FILE");
    const char* path = files[0].c_str();
    if (!checkReadable(path))
        return kExitUsage;
    return run(path, json);
}

int runIndexed(const std::string& command, const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return usageError(command + " needs FILE and INDEX");
    unsigned long long index = 0;
    if (!parseIndex(args[1].c_str(), &index))
        return usageError("INDEX must be a number from 0: " + args[1]);
    const char* path = args[0].c_str();
    if (!checkReadable(path))
        return kExitUsage;
    return command == "values" ? showValues(path, index) : dumpField(path, index);
}

// A finite decimal number within [low, high].
bool parseDegrees(const std::string& text, double low, double high, double* out)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value))
        return false;
    if (value < low || value > high)
        return false;
    *out = value;
    return true;
}

int runPoint(const std::vector<std::string>& args)
{
    bool json = false;
    std::string unknown;
    const std::vector<std::string> rest = withoutJsonFlag(args, &json, &unknown);
    if (!unknown.empty())
        return usageError("unknown option " + unknown);
    if (rest.size() != 3)
        return usageError("point needs FILE, LAT and LON");
    double lat = 0, lon = 0;
    if (!parseDegrees(rest[1], -90.0, 90.0, &lat))
        return usageError("LAT must be a number of degrees from -90 to 90: " + rest[1]);
    if (!parseDegrees(rest[2], -360.0, 360.0, &lon))
        return usageError("LON must be a number of degrees from -360 to 360: " + rest[2]);
    if (!checkReadable(rest[0].c_str()))
        return kExitUsage;
    return showPoint(rest[0].c_str(), lat, lon, json);
}

int run(int argc, char** argv)
{
    if (argc < 2)
        return usageError("missing command");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "list")
        return runOnFile(command, args, listFields);
    if (command == "values" || command == "dump")
        return runIndexed(command, args);
    if (command == "compounds")
        return runOnFile(command, args, listCompounds);
    if (command == "point")
        return runPoint(args);
    return usageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv)
{
    // Values can run to millions of lines; write them in large blocks.
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    int status = run(argc, argv);
    if (std::fflush(stdout) != 0) {
        complain(std::string("write error: ") + std::strerror(errno));
        return kExitFailed;
    }
    return status;
}
