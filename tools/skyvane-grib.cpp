// skyvane-grib: inventory of the GRIB edition 1 messages in a file, and the
// decoded values of one of them, for scripts and for checking files by hand.

#include "compound_commands.h"
#include "grib.h"
#include "tool_output.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tooloutput;

constexpr float kFillValue = -9999.0f;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // undecodable message, INDEX past the end
constexpr int kExitUsage = 2;   // bad arguments, unreadable file

// grib_seek's status at the normal end of the data.
constexpr int kSeekEnd = 2;

const char* const kUsage =
    "Usage: skyvane-grib list [--json] FILE\n"
    "       skyvane-grib values FILE INDEX\n"
    "       skyvane-grib dump FILE INDEX\n"
    "       skyvane-grib compounds [--json] FILE\n"
    "       skyvane-grib point [--json] FILE LAT LON\n"
    "       skyvane-grib --help\n"
    "\n"
    "list    one line per GRIB edition 1 message found in FILE: index, offset\n"
    "        and length in octets, centre, parameter, level type and level,\n"
    "        key gct (level * 65536 + level type * 256 + parameter), data\n"
    "        representation type, grid size, first and last grid point\n"
    "        (degrees), reference time, P1, P2, time range, bits per value,\n"
    "        bitmap and decode status.  --json prints one JSON array instead.\n"
    "values  the values of message INDEX (counted from 0), one per line in\n"
    "        storage order; points absent from the bitmap print as -9999.\n"
    "dump    the section layout of message INDEX.\n"
    "compounds  how the messages group into time steps, as the viewer reads\n"
    "        them: messages per step (compoundSize), the number of complete\n"
    "        steps, whether the first step lacks the precipitation the later\n"
    "        ones carry, the hours between steps, the area of the first\n"
    "        message in degrees and the keys found.\n"
    "point   for every time step, its valid time and the value of each field\n"
    "        at LAT LON (degrees, north and east positive): the grid point at\n"
    "        or north-west of it, wind as the speed of u and v, tidal stream\n"
    "        in knots.  A field whose grid does not cover the point shows -\n"
    "        (null in JSON); a point outside every grid exits with 1.\n"
    "\n"
    "Grid columns by data representation type: latitude/longitude grids give\n"
    "Ni, Nj, first and last point and Di, Dj.  Lambert (3, 8, 13) and polar\n"
    "stereographic (5) grids give Nx, Ny, the first point and Dx, Dy as di, dj;\n"
    "their last point is 0.  Mercator (1) gives columns, rows, both corner\n"
    "points and the longitude and latitude increments.  Without a grid\n"
    "description all are 0.  In the JSON output points are in millidegrees,\n"
    "increments as the grid states them (metres for Lambert and polar\n"
    "stereographic grids).\n"
    "\n"
    "A file without GRIB edition 1 messages lists nothing and succeeds.\n"
    "\n"
    "Exit status: 0 success; 1 a message that does not decode (values), an\n"
    "INDEX past the last message, or a read error after some messages;\n"
    "2 bad arguments, or a file that cannot be read.\n";

// ---------------------------------------------------------------------------
// Small helpers

// An error buffer as the library expects it, always NUL-terminated.
struct ErrorBuffer {
    char text[GRIB_ERRMSG_LEN + 1] = {};
    void clear() { text[0] = '\0'; }
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
// as they lie past the last message anyway.
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
// Scanning

struct GribHdrDeleter {
    void operator()(GRIB_HDR* gh) const { free_gribhdr(&gh); }
};
using GribHdrPtr = std::unique_ptr<GRIB_HDR, GribHdrDeleter>;

struct ScanResult {
    int status = kSeekEnd;   // grib_seek's last status
    std::string error;       // its error line when the status is an error
    unsigned long long found = 0;
};

// Receives each message in turn; returns false to stop the scan.
using MessageVisitor =
    std::function<bool(unsigned long long index, long offset, const GRIB_HDR& gh)>;

// Walks the file message by message.  Octets that grib_seek passes over
// without yielding a message are skipped one at a time.
ScanResult scanFile(const char* path, const MessageVisitor& visit)
{
    ScanResult result;
    ErrorBuffer err;
    GRIB_HDR* raw = nullptr;
    if (init_gribhdr(&raw, err.text) != 0) {
        result.status = 1;
        result.error = err.line();
        return result;
    }
    GribHdrPtr gh(raw);

    long offset = 0;
    for (;;) {
        err.clear();
        long at = offset;
        int status = grib_seek(path, &at, 0, gh.get(), err.text);
        if (status != 0) {
            result.status = status;
            result.error = err.line();
            return result;
        }
        if (gh->msg_length <= 0 || !err.empty()) {
            offset = std::max(at, offset) + 1;
            continue;
        }
        bool more = visit(result.found, at, *gh);
        ++result.found;
        if (!more) {
            result.status = 0;
            return result;
        }
        offset = at + gh->msg_length;
    }
}

// Reports a scan that ended on an error and gives the exit status for it.
int reportScanError(const char* path, const ScanResult& scan)
{
    std::string what = std::string(path) + ": ";
    what += scan.error.empty() ? "cannot read GRIB data (status " +
                                     std::to_string(scan.status) + ")"
                               : scan.error;
    complain(what);
    return scan.found == 0 ? kExitUsage : kExitFailed;
}

// grib_seek opens the file by name; a directory would only confuse it.
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

std::string messageJson(unsigned long long index, long offset,
                        const GRIB_HDR& gh, const Decoded& d)
{
    const PDS_INPUT& p = d.pds;
    const GridSummary g = summarizeGrid(d.gds);
    JsonObject o;
    o.add("index", (long long)index);
    o.add("offset", (long long)offset);
    o.add("length", (long long)gh.msg_length);
    o.add("edition", (long long)p.usEd_num);
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
    return o.text();
}

using Row = std::vector<std::string>;

const Row kTableHeader = {"#", "offset", "length", "centre", "param", "ltype",
                          "level", "gct", "drt", "grid", "first", "last",
                          "reftime", "p1", "p2", "tr", "bits", "bitmap",
                          "status"};

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

// Status and error on one line, whatever the error text holds.
std::string statusText(const Decoded& d)
{
    if (d.status == 0)
        return "ok";
    std::string s = std::to_string(d.status);
    if (!d.error.empty())
        s += " " + d.error;
    for (char& c : s)
        if ((unsigned char)c < 0x20)
            c = ' ';
    return s;
}

Row messageRow(unsigned long long index, long offset, const GRIB_HDR& gh,
               const Decoded& d)
{
    const PDS_INPUT& p = d.pds;
    const GridSummary g = summarizeGrid(d.gds);
    return {std::to_string(index),
            std::to_string(offset),
            std::to_string(gh.msg_length),
            std::to_string(p.usCenter_id),
            std::to_string(p.usParm_id),
            std::to_string(p.usLevel_id),
            levelText(p),
            std::to_string(gctKey(p)),
            std::to_string(d.gds.head.usData_type),
            g.present ? format("%lldx%lld", g.ni, g.nj) : "-",
            g.present ? pointText(g.lat1, g.lon1) : "-",
            g.hasLastPoint ? pointText(g.lat2, g.lon2) : "-",
            format("%04u-%02u-%02u %02u:%02u", fullYear(p) % 10000u,
                   unsigned(p.usMonth) % 100u, unsigned(p.usDay) % 100u,
                   unsigned(p.usHour) % 100u, unsigned(p.usMinute) % 100u),
            std::to_string(p.usP1),
            std::to_string(p.usP2),
            std::to_string(p.usTime_range),
            std::to_string(d.bds.usBit_pack_num),
            gh.bms_len != 0 ? "yes" : "no",
            statusText(d)};
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

int finishScan(const char* path, const ScanResult& scan)
{
    if (scan.status != kSeekEnd && scan.status != 0)
        return reportScanError(path, scan);
    return kExitOk;
}

int listTable(const char* path)
{
    std::vector<Row> rows{kTableHeader};
    ScanResult scan = scanFile(path, [&](unsigned long long index, long offset,
                                         const GRIB_HDR& gh) {
        Decoded d;
        decodeMessage(gh, d);
        rows.push_back(messageRow(index, offset, gh, d));
        return true;
    });
    printTable(rows);
    return finishScan(path, scan);
}

int listJson(const char* path)
{
    bool first = true;
    std::fputs("[", stdout);
    ScanResult scan = scanFile(path, [&](unsigned long long index, long offset,
                                         const GRIB_HDR& gh) {
        Decoded d;
        decodeMessage(gh, d);
        std::fputs(first ? "\n  " : ",\n  ", stdout);
        std::fputs(messageJson(index, offset, gh, d).c_str(), stdout);
        first = false;
        return true;
    });
    std::fputs(first ? "]\n" : "\n]\n", stdout);
    return finishScan(path, scan);
}

void printValues(const Decoded& d)
{
    const unsigned long n = d.points();
    for (unsigned long i = 0; i < n; ++i)
        std::printf("%.9g\n", double(d.values[i]));
}

// Runs action on message index; reports a missing message.
int withMessage(const char* path, unsigned long long index,
                const std::function<int(const GRIB_HDR&)>& action)
{
    int exitStatus = kExitOk;
    bool reached = false;
    ScanResult scan = scanFile(path, [&](unsigned long long i, long,
                                         const GRIB_HDR& gh) {
        if (i != index)
            return true;
        reached = true;
        exitStatus = action(gh);
        return false;
    });
    if (reached)
        return exitStatus;
    if (scan.status != kSeekEnd)
        return reportScanError(path, scan);
    complain(std::string(path) + ": no message " + std::to_string(index) +
             " (the file holds " + std::to_string(scan.found) + ")");
    return kExitFailed;
}

int showValues(const char* path, unsigned long long index)
{
    return withMessage(path, index, [&](const GRIB_HDR& gh) {
        Decoded d;
        decodeMessage(gh, d);
        if (d.status != 0) {
            complain(std::string(path) + ": message " + std::to_string(index) +
                     ": " + d.error);
            return kExitFailed;
        }
        printValues(d);
        return kExitOk;
    });
}

int dumpMessage(const char* path, unsigned long long index)
{
    return withMessage(path, index, [](const GRIB_HDR& gh) {
        display_gribhdr(&gh);
        return kExitOk;
    });
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

int listMessages(const char* path, bool json)
{
    return json ? listJson(path) : listTable(path);
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
    return command == "values" ? showValues(path, index)
                               : dumpMessage(path, index);
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
        return runOnFile(command, args, listMessages);
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
