// Opening a large multi-step GRIB file, reading one time step, contouring
// it and painting it, against ecCodes on the same file; first an edition 1
// file, then an edition 2 one.
//
//   open_file [--steps N] [--ni N] [--nj N] [--bits B] [--reps R] [--tiny] [FILE]
//
// Without FILE it writes N time steps (default 41, 3 hours apart) of six
// fields (10 m u and v, mean-sea-level pressure, 2 m temperature, total
// precipitation, precipitation rate) on a 0.25 degree global grid
// (1440 x 721) into a temporary directory, removed at the end: with our
// writer in edition 1 at B bits per value (default 16), then with ecCodes
// in edition 2 as GFS publishes it (precipitation accumulated since the
// previous step, complex packing with spatial differencing from B bits).
// With FILE, that file is measured as the edition of its first message.
//
// Measured, each the best of R runs (default 5):
//   - opening: our GribFile (index and compound analysis) against ecCodes
//     creating a handle per message and reading its header keys, with the
//     file in the page cache and evicted from it; ecCodes' message count
//     and a scan of the message lengths alone are shown for scale;
//   - reading the middle time step's messages with their values;
//   - the isobars and isotherms of that step, and the viewer's whole step
//     (compound and both contour sets) through GribFileHelper;
//   - the first frame of the file: from opening it to a 1920 x 1080 map
//     painted with its wind colours and barbs;
//   - the resident-set peak each of these adds, beside the size of one
//     time step's values.
// Untimed checks compare the message offsets found by both sides and the
// keys and values of the step read.  Exit status 1 when they disagree.

#include "ContourSet.h"
#include "GeoProjector.h"
#include "GribFile.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "SettingsFactory.h"
#include "grib_writer.h"

#include <eccodes.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include "bench_common.h"
#include "eccodes_messages.h"
#include "grib2_forecast.h"
#include "map_frame.h"
#include "synthetic_forecast.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::Options;
using bench::since;
using bench::kFieldCount;
using bench::kStepHours;

// ---------------------------------------------------------------------------
// Measurements, each in a process of its own

// What a measurement sends back.  The counts mean what the step counts.
struct Figures {
    double seconds = -1.0;  // best of the repetitions
    double seconds2 = -1.0; // a second timing, where the step has one
    long growthKb = 0;      // resident-set peak above the level before the work
    long count = 0;
    long count2 = 0;
    long count3 = 0;
    long count4 = 0;
    double checksum = 0.0;  // of the results, so that none can be skipped
    double maxRel = 0.0;    // largest difference over its field's range
    bool ok = true;
};

long statusKb(const char* key)
{
    FILE* fp = std::fopen("/proc/self/status", "r");
    if (!fp)
        return -1;
    const size_t n = std::strlen(key);
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, fp)) {
        if (std::strncmp(line, key, n) == 0 && line[n] == ':') {
            kb = std::strtol(line + n + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(fp);
    return kb;
}

// Lowers the peak to the present resident set, so that the peak read after
// the work is what the work added; returns that level.  Freed heap memory
// is handed back first: reused, it would not show as growth.
long startPeak()
{
    malloc_trim(0);
    const int fd = open("/proc/self/clear_refs", O_WRONLY);
    if (fd >= 0) {
        if (write(fd, "5", 1) != 1)
            std::fprintf(stderr, "cannot reset the resident-set peak\n");
        close(fd);
    }
    return statusKb("VmRSS");
}

long peakGrowth(long baseKb)
{
    return statusKb("VmHWM") - baseKb;
}

bool writeAll(int fd, const void* data, size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

bool readAll(int fd, void* data, size_t n)
{
    char* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = read(fd, p, n);
        if (r <= 0)
            return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

// Every measurement runs in a child process: a process's resident-set peak
// only ever rises, and both libraries keep memory after use (ecCodes its
// parsed definitions, malloc its free lists), so in one process each
// measurement would carry the previous ones' memory, and the order of the
// runs would change the figures.  The child starts from the parent's small
// state and sends its figures, and a list of numbers, through a pipe.
template <typename Work>
bool inChild(Work work, Figures& out, std::vector<long>* list = nullptr)
{
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        Figures f;
        std::vector<long> numbers;
        work(f, numbers);
        const size_t n = numbers.size();
        const bool sent = writeAll(fds[1], &f, sizeof f) && writeAll(fds[1], &n, sizeof n) &&
                          writeAll(fds[1], numbers.data(), n * sizeof(long));
        close(fds[1]);
        // No exit handlers: they belong to the parent's libraries.
        _exit(sent ? 0 : 3);
    }
    close(fds[1]);
    size_t n = 0;
    bool ok = readAll(fds[0], &out, sizeof out) && readAll(fds[0], &n, sizeof n);
    if (ok) {
        std::vector<long> numbers(n);
        ok = readAll(fds[0], numbers.data(), n * sizeof(long));
        if (ok && list)
            *list = std::move(numbers);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a measurement failed (status %d)\n", status);
        ok = false;
    }
    return ok;
}

// A message's values into v; false when ecCodes fails.
bool eccodesValues(codes_handle* h, std::vector<double>& v)
{
    size_t n = 0;
    if (codes_get_size(h, "values", &n) != 0)
        return false;
    v.resize(n);
    return codes_get_double_array(h, "values", v.data(), &n) == 0;
}

// What a viewer reads of an edition 1 message: parameter, level and valid
// time; their sum, or NaN when ecCodes fails.
double grib1Keys(codes_handle* h)
{
    long param = 0, type = 0, level = 0, date = 0, time = 0;
    int err = codes_get_long(h, "indicatorOfParameter", &param);
    err = err ? err : codes_get_long(h, "indicatorOfTypeOfLevel", &type);
    err = err ? err : codes_get_long(h, "level", &level);
    err = err ? err : codes_get_long(h, "validityDate", &date);
    err = err ? err : codes_get_long(h, "validityTime", &time);
    if (err != 0) {
        std::fprintf(stderr, "eccodes: %s\n", codes_get_error_message(err));
        return NAN;
    }
    return double(param + type + level + date + time);
}

// Of an edition 2 message: its parameter's name, level, valid time and
// grid type.
double grib2Keys(codes_handle* h)
{
    char name[64], grid[64];
    size_t nameLength = sizeof name, gridLength = sizeof grid;
    long level = 0, date = 0, time = 0;
    int err = codes_get_string(h, "shortName", name, &nameLength);
    err = err ? err : codes_get_long(h, "level", &level);
    err = err ? err : codes_get_long(h, "validityDate", &date);
    err = err ? err : codes_get_long(h, "validityTime", &time);
    err = err ? err : codes_get_string(h, "gridType", grid, &gridLength);
    if (err != 0) {
        std::fprintf(stderr, "eccodes: %s\n", codes_get_error_message(err));
        return NAN;
    }
    return double(level + date + time) + double(name[0]) + double(nameLength + gridLength);
}

double headerKeys(codes_handle* h, int edition)
{
    return edition == 1 ? grib1Keys(h) : grib2Keys(h);
}

// Small messages of the kinds the files hold, made in memory.
std::vector<std::vector<unsigned char>> warmingMessages(int edition)
{
    std::vector<std::vector<unsigned char>> messages;
    if (edition == 1) {
        GRIB_WRITE_PARAMS params;
        init_grib_write_params(&params);
        std::vector<float> values(size_t(params.ni) * params.nj, 280.0f);
        values[0] = 290.0f;
        octets* msg = nullptr;
        unsigned long len = 0;
        char err[GRIB_ERRMSG_LEN];
        err[0] = 0;
        if (grib_encode(&params, values.data(), values.size(), &msg, &len, nullptr, err) == 0)
            messages.emplace_back(msg, msg + len);
        std::free(msg);
        return messages;
    }
    const bench::GlobalGrid grid = bench::globalGrid(16, 9);
    std::vector<double> values(size_t(grid.ni) * grid.nj);
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = double(k);
    for (const bench::Grib2Field& field : bench::kGrib2Fields) {
        codes_handle* h = bench::encodeGrib2Field(grid, field, 1, 16, values);
        const void* msg = nullptr;
        size_t len = 0;
        if (h && codes_get_message(h, &msg, &len) == 0) {
            const auto* bytes = static_cast<const unsigned char*>(msg);
            messages.emplace_back(bytes, bytes + len);
        }
        if (h)
            codes_handle_delete(h);
    }
    return messages;
}

// ecCodes reads its definition files with its first handle of each kind; a
// viewer pays that once per run, not once per file, so it is kept out of
// the timings.
void warmEccodes(int edition)
{
    std::vector<double> values;
    for (const auto& msg : warmingMessages(edition)) {
        if (codes_handle* h = codes_handle_new_from_message(nullptr, msg.data(), msg.size())) {
            headerKeys(h, edition);
            eccodesValues(h, values);
            codes_handle_delete(h);
        }
    }
}

// Opening as the viewer does it; the list gets the message offsets.  Our
// edition 2 reader goes through ecCodes: warm, its tables are read already,
// as for every file after the first of a run.
void openSkyvane(const std::string& path, bool warm, Figures& f, std::vector<long>& offsets)
{
    if (warm)
        warmEccodes(2);
    const long base = startPeak();
    const auto t0 = Clock::now();
    GribFile file(path.c_str());
    f.seconds = since(t0);
    f.growthKb = peakGrowth(base);
    f.count = file.messageCount();
    f.count2 = file.getCompoundSize();
    f.count3 = file.getCompoundNum();
    f.count4 = file.getTimeStep();
    f.checksum = file.isShortFirstCompound() ? 1.0 : 0.0;
    // One per field: the fields of an edition 2 message share theirs.
    offsets = file.messageOffsets();
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
}

// What ecCodes needs for the same: every message's position and the keys
// a viewer reads.
void openEccodes(const std::string& path, int edition, Figures& f, std::vector<long>& offsets)
{
    warmEccodes(edition);
    const long base = startPeak();
    const auto t0 = Clock::now();
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        f.ok = false;
        return;
    }
    const bool read = bench::forEachGribMessage(fp, edition, [&](codes_handle* h) {
        long offset = 0;
        const double keys = headerKeys(h, edition);
        if (std::isnan(keys) || codes_get_long(h, "offset", &offset) != 0)
            f.ok = false;
        else
            f.checksum += keys;
        offsets.push_back(offset);
    });
    f.ok = f.ok && read;
    std::fclose(fp);
    f.seconds = since(t0);
    f.growthKb = peakGrowth(base);
    f.count = long(offsets.size());
}

// ecCodes' own count, which stops at the lengths and does not parse.
void countEccodes(const std::string& path, int edition, Figures& f)
{
    warmEccodes(edition);
    const long base = startPeak();
    const auto t0 = Clock::now();
    FILE* fp = std::fopen(path.c_str(), "rb");
    int n = 0;
    if (!fp || codes_count_in_file(nullptr, fp, &n) != 0)
        f.ok = false;
    if (fp)
        std::fclose(fp);
    f.seconds = since(t0);
    f.growthKb = peakGrowth(base);
    f.count = n;
}

// The length Section 0 gives a message of its edition: 3 octets after
// "GRIB" in edition 1, 8 octets after the edition in edition 2.
off_t messageLength(const unsigned char (&head)[16])
{
    if (head[7] == 1)
        return off_t(head[4]) << 16 | off_t(head[5]) << 8 | off_t(head[6]);
    uint64_t length = 0;
    for (int k = 8; k < 16; ++k)
        length = length << 8 | head[k];
    return length > uint64_t(INT64_MAX) ? 0 : off_t(length);
}

// Not a reader: the least any index must read, each message's Section 0
// and end marker, to show what reading every message whole costs.  count
// stays 0 when the file holds anything but back-to-back messages of the
// edition.
void scanLengths(const std::string& path, int edition, Figures& f)
{
    const long base = startPeak();
    const auto t0 = Clock::now();
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        f.ok = false;
        return;
    }
    off_t at = 0;
    long n = 0;
    for (;;) {
        unsigned char head[16], tail[4];
        const ssize_t got = pread(fd, head, sizeof head, at);
        if (got == 0)
            break;
        if (got != ssize_t(sizeof head) || std::memcmp(head, "GRIB", 4) != 0 ||
            head[7] != edition) {
            n = 0;
            break;
        }
        const off_t length = messageLength(head);
        if (length < 16 || pread(fd, tail, sizeof tail, at + length - 4) != ssize_t(sizeof tail) ||
            std::memcmp(tail, "7777", 4) != 0) {
            n = 0;
            break;
        }
        at += length;
        ++n;
    }
    close(fd);
    f.seconds = since(t0);
    f.growthKb = peakGrowth(base);
    f.count = n;
}

// Drops the file's pages from the page cache, for timings of a first open.
void evictFromCache(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

double sumOf(const float* v, size_t n)
{
    double s = 0.0;
    for (size_t i = 0; i < n; ++i)
        s += v[i];
    return s;
}

// Compound n with goCompound (a fresh compound each time) and with
// readCompound (into the compound already held).
void compoundSkyvane(const std::string& path, int reps, int n, Figures& f)
{
    GribFile file(path.c_str());
    CompoundMsg c;
    const long base = startPeak();
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        file.goCompound(n, c);
        const double t = since(t0);
        if (r == 0 || t < f.seconds)
            f.seconds = t;
    }
    f.growthKb = peakGrowth(base);
    for (const GribMsg& m : c) {
        if (!m.values)
            f.ok = false;
        else
            f.checksum += sumOf(m.values, size_t(m.ni) * size_t(m.nj));
        f.count2 += long(m.ni) * m.nj;
    }
    f.count = long(c.size());
    // readCompound counts compounds from the file's first message.
    const int index = n * file.getCompoundSize() - (file.isShortFirstCompound() ? 1 : 0);
    if (index % std::max(1, file.getCompoundSize()) == 0) {
        const int at = index / std::max(1, file.getCompoundSize());
        for (int r = 0; r < reps; ++r) {
            const auto t0 = Clock::now();
            file.readCompound(at, c);
            const double t = since(t0);
            if (r == 0 || t < f.seconds2)
                f.seconds2 = t;
        }
    }
}

// The messages at offsets with ecCodes, their values kept as a viewer
// keeps them.
void compoundEccodes(const std::string& path, int reps, const std::vector<long>& offsets,
                     int edition, Figures& f)
{
    warmEccodes(edition);
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        f.ok = false;
        return;
    }
    std::vector<std::vector<double>> held;
    const long base = startPeak();
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        held.clear();
        for (long offset : offsets) {
            int err = 0;
            std::fseek(fp, offset, SEEK_SET);
            codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err);
            if (!h) {
                f.ok = false;
                break;
            }
            held.emplace_back();
            if (!eccodesValues(h, held.back()))
                f.ok = false;
            codes_handle_delete(h);
        }
        const double t = since(t0);
        if (r == 0 || t < f.seconds)
            f.seconds = t;
    }
    f.growthKb = peakGrowth(base);
    std::fclose(fp);
    f.count = long(held.size());
    for (const auto& v : held) {
        for (double x : v)
            f.checksum += x;
        f.count2 += long(v.size());
    }
}

const GribMsg* findKey(const CompoundMsg& c, unsigned gct)
{
    for (const GribMsg& m : c) {
        if (m.gct == gct)
            return &m;
    }
    return nullptr;
}

// One contour set of compound n; count gets the segments, count2 the levels
// with a segment.  Absent field: count -1.
void isolines(const std::string& path, int reps, int n, unsigned gct, float min, float max,
              float step, Figures& f)
{
    GribFile file(path.c_str());
    CompoundMsg c;
    file.goCompound(n, c);
    const GribMsg* msg = findKey(c, gct);
    if (!msg || !msg->values) {
        f.count = -1;
        return;
    }
    ContourSet set;
    const long base = startPeak();
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        set.analyze(*msg, min, max, step);
        const double t = since(t0);
        if (r == 0 || t < f.seconds)
            f.seconds = t;
    }
    f.growthKb = peakGrowth(base);
    for (const auto& level : set.getContours())
        f.count += long(level.second.size() / 2);
    f.count2 = set.contourNum();
}

long segmentsOf(const ContourSet& set)
{
    long n = 0;
    for (const auto& level : set.getContours())
        n += long(level.second.size() / 2);
    return n;
}

// The viewer's cost of showing a file and of moving to another time step:
// seconds for openGribFile (open, first compound, both contour sets),
// seconds2 for goCompound(n) on the open file.
void helperSteps(const std::string& path, int reps, int n, Figures& f)
{
    GribFileHelper helper;
    const QString name = QString::fromLocal8Bit(path.c_str());
    const long base = startPeak();
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        if (!helper.openGribFile(name, true))
            f.ok = false;
        const double t = since(t0);
        if (r == 0 || t < f.seconds)
            f.seconds = t;
    }
    f.growthKb = peakGrowth(base);
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        if (!helper.goCompound(n))
            f.ok = false;
        const double t = since(t0);
        if (r == 0 || t < f.seconds2)
            f.seconds2 = t;
    }
    f.count = segmentsOf(helper.getIsobars()) + segmentsOf(helper.getIsotherms());
}

// The index entries of compound c's messages, found by key and valid
// time; -1 for a message the index does not hold.
std::vector<int> stepFields(const GribFile& file, const CompoundMsg& c)
{
    const std::vector<GribField>& fields = file.fields();
    std::vector<int> found;
    for (const GribMsg& m : c) {
        const QDateTime valid = m.validTime();
        const auto it = std::find_if(fields.begin(), fields.end(), [&](const GribField& g) {
            return g.gct == m.gct && g.validTime == valid;
        });
        found.push_back(it == fields.end() ? -1 : int(it - fields.begin()));
    }
    return found;
}

// Where compound n's messages are, for ecCodes to read the same.
void stepOffsets(const std::string& path, int n, Figures& f, std::vector<long>& offsets)
{
    GribFile file(path.c_str());
    CompoundMsg c;
    file.goCompound(n, c);
    for (int k : stepFields(file, c)) {
        if (k < 0)
            f.ok = false;
        else
            offsets.push_back(file.fields()[size_t(k)].offset);
    }
}

// Whether ecCodes' parameter and level of a message are those the index
// holds for its field.
bool sameKeys(codes_handle* h, const GribField& field)
{
    if (field.edition == 1) {
        long param = 0, type = 0, level = 0;
        codes_get_long(h, "indicatorOfParameter", &param);
        codes_get_long(h, "indicatorOfTypeOfLevel", &type);
        codes_get_long(h, "level", &level);
        return field.gct == unsigned(level * 65536 + type * 256 + param);
    }
    long discipline = -1, category = -1, number = -1;
    codes_get_long(h, "discipline", &discipline);
    codes_get_long(h, "parameterCategory", &category);
    codes_get_long(h, "parameterNumber", &number);
    return discipline == field.discipline && category == field.category &&
           number == field.number;
}

// The largest difference between our values and ecCodes' in the model's
// units, over the field's range there.
double relativeDifference(const float* ours, const std::vector<double>& file,
                          const GribField& field)
{
    double lo = HUGE_VAL, hi = -HUGE_VAL, maxAbs = 0.0;
    for (size_t i = 0; i < file.size(); ++i) {
        const double expected = file[i] == double(kGribMissingValue)
                                    ? file[i]
                                    : file[i] * double(field.valueScale) + field.valueOffset;
        lo = std::min(lo, expected);
        hi = std::max(hi, expected);
        maxAbs = std::max(maxAbs, std::fabs(ours[i] - expected));
    }
    return hi > lo ? maxAbs / (hi - lo) : maxAbs;
}

// Untimed: compound n by both, point by point, and the keys of its messages.
void compareCompound(const std::string& path, int n, Figures& f)
{
    GribFile file(path.c_str());
    CompoundMsg c;
    file.goCompound(n, c);
    const std::vector<int> found = stepFields(file, c);
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp || c.empty()) {
        f.ok = false;
        if (fp)
            std::fclose(fp);
        return;
    }
    std::vector<double> ref;
    for (size_t k = 0; k < c.size(); ++k) {
        const GribMsg& m = c[k];
        if (found[k] < 0) {
            f.ok = false;
            continue;
        }
        const GribField& field = file.fields()[size_t(found[k])];
        int err = 0;
        std::fseek(fp, field.offset, SEEK_SET);
        codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err);
        if (!h) {
            f.ok = false;
            break;
        }
        f.ok = sameKeys(h, field) && f.ok;
        codes_set_double(h, "missingValue", double(kGribMissingValue));
        const bool decoded = eccodesValues(h, ref);
        codes_handle_delete(h);
        if (!decoded || !m.values || ref.size() != size_t(m.ni) * size_t(m.nj)) {
            f.ok = false;
            continue;
        }
        f.maxRel = std::max(f.maxRel, relativeDifference(m.values, ref, field));
        ++f.count;
    }
    std::fclose(fp);
}

// The viewer showing a file it has just opened, on a map that already
// shows the base map: from openGribFile to the first frame painted with
// the wind's colours and barbs.  seconds2 is openGribFile's part; count
// the pixels the file's layers changed.  Warm as openSkyvane.
void firstFrame(const std::string& path, bool warm, int width, int height, Figures& f)
{
    QTemporaryDir home;
    if (!home.isValid()) {
        f.ok = false;
        return;
    }
    bench::isolateMapEnvironment(home);
    int argc = 1;
    char name[] = "open_file";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    {
        EquirectProjector projector;
        bench::showAtlantic(projector, width, height);
        const QImage before = bench::paintedFrame(projector, width, height);
        if (warm)
            warmEccodes(2);
        GribFileHelper helper;
        const long base = startPeak();
        const auto t0 = Clock::now();
        f.ok = helper.openGribFile(QString::fromLocal8Bit(path.c_str()), true);
        f.seconds2 = since(t0);
        projector.setData(&helper, mtWind, false, 0.0f);
        const QImage after = bench::paintedFrame(projector, width, height);
        f.seconds = since(t0);
        f.growthKb = peakGrowth(base);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                f.count += before.pixel(x, y) != after.pixel(x, y) ? 1 : 0;
    }
    SettingsFactory::destroy();
}

// ---------------------------------------------------------------------------
// Printing

std::string timeText(double s)
{
    char b[32];
    if (s < 0.0)
        std::snprintf(b, sizeof b, "-");
    else if (s >= 1.0)
        std::snprintf(b, sizeof b, "%.3f s", s);
    else if (s >= 1e-3)
        std::snprintf(b, sizeof b, "%.2f ms", s * 1e3);
    else
        std::snprintf(b, sizeof b, "%.1f us", s * 1e6);
    return b;
}

std::string memText(long kb)
{
    char b[32];
    std::snprintf(b, sizeof b, "+%.1f MB", kb / 1024.0);
    return b;
}

void row(const char* label, const std::string& ours, const std::string& theirs,
         const std::string& ratio)
{
    std::printf("%-40s %14s %14s %8s\n", label, ours.c_str(), theirs.c_str(), ratio.c_str());
}

std::string ratioText(double ours, double theirs)
{
    if (ours < 0.0 || theirs <= 0.0)
        return "";
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", ours / theirs);
    return b;
}

// Keeps the better (faster) of two runs; the peak is the highest seen.
void keepBest(Figures& best, const Figures& run, bool first)
{
    const long peak = first ? run.growthKb : std::max(best.growthKb, run.growthKb);
    if (first || run.seconds < best.seconds)
        best = run;
    best.growthKb = peak;
}

bool enoughDisk(const std::string& dir, double bytes)
{
    struct statvfs st;
    if (statvfs(dir.c_str(), &st) != 0)
        return true; // unknown: let the write fail if it must
    const double avail = double(st.f_bavail) * double(st.f_frsize);
    // Keep a margin for everyone else on the disk.
    return avail > bytes + 2e9;
}

// ---------------------------------------------------------------------------
// One file's table

// Runs work(figures, list) in a fresh child process for each of reps runs,
// keeping the best.
template <typename Work>
bool bestInChildren(int reps, Work work, Figures& best)
{
    bool ok = true;
    for (int r = 0; r < reps; ++r) {
        Figures run;
        ok = inChild(work, run) && run.ok && ok;
        keepBest(best, run, r == 0);
    }
    return ok;
}

struct Opening {
    Figures ours, theirs, counted, scanned, coldOurs, coldTheirs, coldScanned;
    Figures firstOfRun;  // ours, ecCodes' tables still to read
    std::vector<long> ourOffsets, theirOffsets;
};

bool measureOpening(const std::string& path, int edition, int reps, Opening& o)
{
    bool ok = true;
    const bool warm = edition == 2;
    // Alternating the two spreads any disturbance over both.
    for (int r = 0; r < reps; ++r) {
        Figures ours, theirs;
        std::vector<long> a, b;
        ok = inChild([&](Figures& f, std::vector<long>& l) { openSkyvane(path, warm, f, l); },
                     ours, &a) && ok;
        ok = inChild([&](Figures& f, std::vector<long>& l) { openEccodes(path, edition, f, l); },
                     theirs, &b) && ok;
        keepBest(o.ours, ours, r == 0);
        keepBest(o.theirs, theirs, r == 0);
        if (r == 0) {
            o.ourOffsets = a;
            o.theirOffsets = b;
        }
    }
    for (int r = 0; r < reps; ++r) {
        Figures c, s;
        ok = inChild([&](Figures& f, std::vector<long>&) { countEccodes(path, edition, f); }, c) &&
             ok;
        ok = inChild([&](Figures& f, std::vector<long>&) { scanLengths(path, edition, f); }, s) &&
             ok;
        keepBest(o.counted, c, r == 0);
        keepBest(o.scanned, s, r == 0);
    }
    for (int r = 0; r < reps; ++r) {
        Figures ours, theirs, s;
        ok = inChild([&](Figures& f, std::vector<long>& l) {
            evictFromCache(path);
            openSkyvane(path, warm, f, l);
        }, ours) && ok;
        ok = inChild([&](Figures& f, std::vector<long>& l) {
            evictFromCache(path);
            openEccodes(path, edition, f, l);
        }, theirs) && ok;
        ok = inChild([&](Figures& f, std::vector<long>&) {
            evictFromCache(path);
            scanLengths(path, edition, f);
        }, s) && ok;
        keepBest(o.coldOurs, ours, r == 0);
        keepBest(o.coldTheirs, theirs, r == 0);
        keepBest(o.coldScanned, s, r == 0);
    }
    if (warm)
        ok = bestInChildren(reps, [&](Figures& f, std::vector<long>& l) {
            openSkyvane(path, false, f, l);
        }, o.firstOfRun) && ok;
    return ok && o.ours.ok && o.theirs.ok && o.counted.ok && o.coldOurs.ok && o.coldTheirs.ok;
}

void printOpening(const Opening& o, double fileBytes)
{
    row("", "skyvane", "ecCodes", "ratio");
    row("open: index + analysis / handles + keys", timeText(o.ours.seconds),
        timeText(o.theirs.seconds), ratioText(o.ours.seconds, o.theirs.seconds));
    char a[64], b[64];
    std::snprintf(a, sizeof a, "%.0f MB/s", fileBytes / 1e6 / o.ours.seconds);
    std::snprintf(b, sizeof b, "%.0f MB/s", fileBytes / 1e6 / o.theirs.seconds);
    row("  read rate", a, b, "");
    row("  file not in the page cache", timeText(o.coldOurs.seconds),
        timeText(o.coldTheirs.seconds), ratioText(o.coldOurs.seconds, o.coldTheirs.seconds));
    row("  peak resident growth", memText(o.ours.growthKb), memText(o.theirs.growthKb), "");
    std::snprintf(a, sizeof a, "%.2f%%", o.ours.growthKb * 1024.0 / fileBytes * 100.0);
    std::snprintf(b, sizeof b, "%.2f%%", o.theirs.growthKb * 1024.0 / fileBytes * 100.0);
    row("  peak growth / file size", a, b, "");
    if (o.firstOfRun.seconds >= 0.0) {
        row("  first file of a run: ecCodes' tables", timeText(o.firstOfRun.seconds), "",
            ratioText(o.firstOfRun.seconds, o.theirs.seconds));
        row("    peak resident growth", memText(o.firstOfRun.growthKb), "", "");
    }
    row("  messages", std::to_string(o.ourOffsets.size()), std::to_string(o.theirs.count), "");
    row("  fields", std::to_string(o.ours.count), "", "");
    std::snprintf(a, sizeof a, "%ld x %ld%s, %ld h", o.ours.count3, o.ours.count2,
                  o.ours.checksum != 0.0 ? " (short first)" : "", o.ours.count4);
    row("  compounds x messages, time step", a, "", "");
    row("open: codes_count_in_file", "", timeText(o.counted.seconds),
        ratioText(o.ours.seconds, o.counted.seconds));
    row("  messages", "", std::to_string(o.counted.count), "");
    if (o.scanned.count == long(o.ourOffsets.size())) {
        row("reference: lengths and end markers only", timeText(o.scanned.seconds), "", "");
        row("  file not in the page cache", timeText(o.coldScanned.seconds), "", "");
    }
}

// Compound n read by both; offsets are its messages'.
bool measureStep(const std::string& path, int edition, int reps, int n,
                 const std::vector<long>& offsets)
{
    Figures ours, theirs;
    bool ok = inChild([&](Figures& f, std::vector<long>&) { compoundSkyvane(path, reps, n, f); },
                      ours);
    ok = inChild([&](Figures& f, std::vector<long>&) {
        compoundEccodes(path, reps, offsets, edition, f);
    }, theirs) && ok;
    ok = ok && ours.ok && theirs.ok;
    char label[96], a[64];
    std::snprintf(label, sizeof label, "compound %d (%ld messages, %.1f M values)", n, ours.count,
                  ours.count2 / 1e6);
    row(label, timeText(ours.seconds), timeText(theirs.seconds),
        ratioText(ours.seconds, theirs.seconds));
    row("  peak resident growth", memText(ours.growthKb), memText(theirs.growthKb), "");
    std::snprintf(a, sizeof a, "%.1f MB", ours.count2 * double(sizeof(float)) / (1024.0 * 1024.0));
    row("  its values as floats, for scale", a, "", "");
    row("  readCompound into the held compound", timeText(ours.seconds2), "",
        ratioText(ours.seconds2, theirs.seconds));
    if (ours.count != theirs.count || ours.count2 != theirs.count2) {
        std::printf("COUNTS DIFFER: skyvane %ld messages %ld values, ecCodes %ld, %ld\n",
                    ours.count, ours.count2, theirs.count, theirs.count2);
        ok = false;
    }
    return ok;
}

// Isolines of compound n, with the viewer's default levels.
bool measureIsolines(const std::string& path, int reps, int n)
{
    struct Levels {
        const char* name;
        unsigned gct;
        float min, max, step;
    };
    const Levels sets[] = {
        {"isobars 95000..105000 Pa step 200", GribKey::pressureMsl, 95000.0f, 105000.0f, 200.0f},
        {"isotherms 223..323 K step 5", GribKey::temperature2m, 223.0f, 323.0f, 5.0f},
    };
    bool ok = true;
    for (const Levels& l : sets) {
        Figures f;
        ok = inChild([&](Figures& out, std::vector<long>&) {
            isolines(path, reps, n, l.gct, l.min, l.max, l.step, out);
        }, f) && ok;
        if (f.count < 0) {
            row(l.name, "no field", "", "");
            continue;
        }
        row(l.name, timeText(f.seconds), "", "");
        char a[64];
        std::snprintf(a, sizeof a, "%ld / %ld", f.count, f.count2);
        row("  segments / levels", a, "", "");
        row("  peak resident growth", memText(f.growthKb), "", "");
    }
    return ok;
}

bool measureHelper(const std::string& path, int reps, int n)
{
    Figures steps;
    const bool ok =
        inChild([&](Figures& f, std::vector<long>&) { helperSteps(path, reps, n, f); }, steps) &&
        steps.ok;
    row("GribFileHelper::openGribFile", timeText(steps.seconds), "", "");
    row("  peak resident growth", memText(steps.growthKb), "", "");
    char label[96];
    std::snprintf(label, sizeof label, "GribFileHelper::goCompound(%d)", n);
    row(label, timeText(steps.seconds2), "", "");
    row("  segments, both sets", std::to_string(steps.count), "", "");
    return ok;
}

// Each run in a fresh process, so that nothing of the file is held before.
bool measureFirstFrame(const std::string& path, int edition, int reps, int width, int height)
{
    Figures frame;
    const bool ok = bestInChildren(reps, [&](Figures& f, std::vector<long>&) {
        firstFrame(path, edition == 2, width, height, f);
    }, frame);
    char label[96];
    std::snprintf(label, sizeof label, "first frame %d x %d: open + paint", width, height);
    row(label, timeText(frame.seconds), "", "");
    row("  of which openGribFile", timeText(frame.seconds2), "", "");
    row("  peak resident growth", memText(frame.growthKb), "", "");
    row("  pixels the file's layers changed", std::to_string(frame.count), "", "");
    return ok;
}

bool sameMessages(const Opening& o)
{
    return o.ourOffsets == o.theirOffsets && o.counted.count == o.theirs.count;
}

// Untimed: the step read by both, with the offsets of the opening.
bool checkStep(const std::string& path, int n, const Opening& opened, size_t stepMessages)
{
    Figures check;
    const bool ran =
        inChild([&](Figures& f, std::vector<long>&) { compareCompound(path, n, f); }, check);
    const bool sameOffsets = sameMessages(opened);
    // Our values are single precision, ecCodes' double.
    const bool agree = ran && sameOffsets && check.ok && check.count == long(stepMessages) &&
                       check.maxRel <= 1e-6;
    std::printf("\ncheck: %zu message offsets %s; compound %d: %ld messages, keys %s, "
                "max |skyvane - ecCodes| = %.3g of the field's range\n",
                opened.ourOffsets.size(), sameOffsets ? "equal" : "DIFFER", n, check.count,
                check.ok ? "equal" : "DIFFER", check.maxRel);
    std::printf("%s\n", agree ? "both sides agree" : "THE SIDES DISAGREE");
    return agree;
}

double fileSize(const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return -1.0;
    std::fseek(fp, 0, SEEK_END);
    const double bytes = double(std::ftell(fp));
    std::fclose(fp);
    return bytes;
}

struct FrameSize {
    int width;
    int height;
};

// Every figure of one file, printed; false when a measurement fails or the
// sides disagree.
bool measureFile(const Options& o, const std::string& path, int edition, FrameSize frame)
{
    const double fileBytes = fileSize(path);
    if (fileBytes < 0.0) {
        std::perror(path.c_str());
        return false;
    }
    std::printf("\nedition %d file: %s, %.1f MB; best of %d runs, each in a fresh process; "
                "time ratio = skyvane / ecCodes\n\n",
                edition, path.c_str(), fileBytes / 1e6, o.reps);
    Opening opened;
    bool ok = measureOpening(path, edition, o.reps, opened);
    printOpening(opened, fileBytes);
    if (!sameMessages(opened)) {
        std::printf("MESSAGES DIFFER: skyvane %zu, ecCodes %zu (codes_count_in_file %ld)\n",
                    opened.ourOffsets.size(), opened.theirOffsets.size(), opened.counted.count);
        ok = false;
    }
    if (opened.ours.count3 < 1) {
        std::printf("no complete compound to read\n");
        return ok;
    }
    const int n = int(opened.ours.count3) / 2;
    Figures located;
    std::vector<long> offsets;
    if (!inChild([&](Figures& f, std::vector<long>& l) { stepOffsets(path, n, f, l); }, located,
                 &offsets) || !located.ok || offsets.empty()) {
        std::printf("compound %d: messages NOT IN THE INDEX\n", n);
        return false;
    }
    ok = measureStep(path, edition, o.reps, n, offsets) && ok;
    ok = measureIsolines(path, o.reps, n) && ok;
    ok = measureHelper(path, o.reps, n) && ok;
    ok = measureFirstFrame(path, edition, o.reps, frame.width, frame.height) && ok;
    return checkStep(path, n, opened, offsets.size()) && ok;
}

// The edition of the file's first message; 0 when it does not start with one.
int firstEdition(const std::string& path)
{
    unsigned char head[8] = {};
    FILE* fp = std::fopen(path.c_str(), "rb");
    const bool read = fp && std::fread(head, 1, sizeof head, fp) == sizeof head;
    if (fp)
        std::fclose(fp);
    return read && std::memcmp(head, "GRIB", 4) == 0 ? head[7] : 0;
}

// A temporary directory for one written file, removed with it.
class Scratch {
public:
    // Empty path when there is no room or no directory.
    explicit Scratch(double bytes, const char* name)
    {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp ? tmp : "/tmp";
        if (!enoughDisk(base, bytes)) {
            std::fprintf(stderr, "not enough free space in %s for %.0f MB; try --steps\n",
                         base.c_str(), bytes / 1e6);
            return;
        }
        std::string tmpl = base + "/skyvane-bench-XXXXXX";
        std::vector<char> chars(tmpl.begin(), tmpl.end());
        chars.push_back(0);
        if (!mkdtemp(chars.data())) {
            std::perror("mkdtemp");
            return;
        }
        dir = chars.data();
        file = dir + "/" + name;
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch()
    {
        if (!dir.empty()) {
            std::remove(file.c_str());
            rmdir(dir.c_str());
        }
    }
    const std::string& path() const { return file; }

private:
    std::string dir;
    std::string file;
};

// Writes a file with writer(o, path) in a child, so that the measurements,
// forked from this process, do not start with the writer's freed buffers
// in their heap.
template <typename Writer>
bool writeInChild(const Options& o, const std::string& path, const char* how, Writer writer)
{
    std::printf("\nwriting %d steps of %d fields on %d x %d points from %d bits per value %s\n",
                o.count, kFieldCount, o.ni, o.nj, o.bits, how);
    const auto t0 = Clock::now();
    Figures w;
    const bool written =
        inChild([&](Figures& f, std::vector<long>&) { f.ok = writer(o, path); }, w) && w.ok;
    if (written)
        std::printf("written in %.2f s\n", since(t0));
    return written;
}

bool hasFlag(int argc, char** argv, const char* flag)
{
    return std::find_if(argv + 1, argv + argc, [&](const char* a) {
               return std::strcmp(a, flag) == 0;
           }) != argv + argc;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o =
        bench::parseOptions(argc, argv, "steps", 20000, Options{41, 1440, 721, 16, 5, {}});
    const FrameSize frame =
        hasFlag(argc, argv, "--tiny") ? FrameSize{320, 200} : FrameSize{1920, 1080};
    if (!o.file.empty()) {
        const int edition = firstEdition(o.file);
        if (edition != 1 && edition != 2) {
            std::fprintf(stderr, "%s: no GRIB message at its start\n", o.file.c_str());
            return 2;
        }
        return measureFile(o, o.file, edition, frame) ? 0 : 1;
    }
    // An upper bound for both editions: edition 2 packs tighter.
    const double bytes = double(o.ni) * o.nj * o.bits / 8.0 * kFieldCount * o.count;
    bool ok = true;
    {
        Scratch scratch(bytes, "steps.grb");
        if (scratch.path().empty() ||
            !writeInChild(o, scratch.path(), "with our writer", bench::writeSyntheticForecast))
            return 2;
        ok = measureFile(o, scratch.path(), 1, frame) && ok;
    }
    {
        Scratch scratch(bytes, "steps.grb2");
        if (scratch.path().empty() ||
            !writeInChild(o, scratch.path(), "with ecCodes", bench::writeGrib2Forecast))
            return 2;
        ok = measureFile(o, scratch.path(), 2, frame) && ok;
    }
    return ok ? 0 : 1;
}
