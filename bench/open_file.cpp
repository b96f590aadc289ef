// Opening a large multi-step GRIB file, reading one time step and contouring
// it, against ecCodes on the same file.
//
//   open_file [--steps N] [--ni N] [--nj N] [--bits B] [--reps R] [--tiny] [FILE]
//
// Without FILE it writes, with our writer, N time steps (default 41, 3 hours
// apart) of six fields (10 m u and v, mean-sea-level pressure, 2 m
// temperature, total precipitation, precipitation rate) on a 0.25 degree
// global grid (1440 x 721) at B bits per value (default 16) into a temporary
// directory, removed at the end.
//
// Measured, each the best of R runs (default 5):
//   - opening: our GribFile (index and compound analysis) against ecCodes
//     creating a handle per message and reading its header keys, with the
//     file in the page cache and evicted from it; ecCodes' message count
//     and a scan of the message lengths alone are shown for scale;
//   - reading the middle time step's messages with their values;
//   - the isobars and isotherms of that step, and the viewer's whole step
//     (compound and both contour sets) through GribFileHelper;
//   - the resident-set peak each of these adds.
// Untimed checks compare the message offsets found by both sides and the
// values of the step read.  Exit status 1 when they disagree.

#include "ContourSet.h"
#include "GribFile.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "grib_writer.h"

#include <eccodes.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>

#include "bench_common.h"
#include "synthetic_forecast.h"
#include "eccodes_messages.h"

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

// ecCodes reads its definition files with its first handle; a viewer pays
// that once per run, not once per file, so it is kept out of the timings.
void warmEccodes()
{
    GRIB_WRITE_PARAMS params;
    init_grib_write_params(&params);
    std::vector<float> values(size_t(params.ni) * params.nj, 280.0f);
    values[0] = 290.0f;
    octets* msg = nullptr;
    unsigned long len = 0;
    char err[GRIB_ERRMSG_LEN];
    err[0] = 0;
    if (grib_encode(&params, values.data(), values.size(), &msg, &len, nullptr, err) != 0)
        return;
    if (codes_handle* h = codes_handle_new_from_message(nullptr, msg, len)) {
        long v = 0;
        codes_get_long(h, "indicatorOfParameter", &v);
        codes_get_long(h, "level", &v);
        codes_get_long(h, "validityDate", &v);
        codes_get_long(h, "validityTime", &v);
        size_t n = 0;
        codes_get_size(h, "values", &n);
        std::vector<double> d(n);
        codes_get_double_array(h, "values", d.data(), &n);
        codes_handle_delete(h);
    }
    std::free(msg);
}

// Opening as the viewer does it; the list gets the message offsets.
void openSkyvane(const std::string& path, Figures& f, std::vector<long>& offsets)
{
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
    offsets = file.messageOffsets();
}

// What ecCodes needs for the same: every message's position, parameter,
// level and valid time.
void openEccodes(const std::string& path, Figures& f, std::vector<long>& offsets)
{
    warmEccodes();
    const long base = startPeak();
    const auto t0 = Clock::now();
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) {
        f.ok = false;
        return;
    }
    const bool read = bench::forEachGrib1Message(fp, [&](codes_handle* h) {
        long param = 0, type = 0, level = 0, date = 0, time = 0, offset = 0;
        int err = codes_get_long(h, "indicatorOfParameter", &param);
        err = err ? err : codes_get_long(h, "indicatorOfTypeOfLevel", &type);
        err = err ? err : codes_get_long(h, "level", &level);
        err = err ? err : codes_get_long(h, "validityDate", &date);
        err = err ? err : codes_get_long(h, "validityTime", &time);
        err = err ? err : codes_get_long(h, "offset", &offset);
        if (err != 0) {
            std::fprintf(stderr, "eccodes: %s\n", codes_get_error_message(err));
            f.ok = false;
        }
        f.checksum += double(param + type + level + date + time);
        offsets.push_back(offset);
    });
    f.ok = f.ok && read;
    std::fclose(fp);
    f.seconds = since(t0);
    f.growthKb = peakGrowth(base);
    f.count = long(offsets.size());
}

// ecCodes' own count, which stops at the lengths and does not parse.
void countEccodes(const std::string& path, Figures& f)
{
    warmEccodes();
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

// Not a reader: the least any index must read, each message's Section 0
// and end marker, to show what reading every message whole costs.  count
// stays 0 when the file holds anything but back-to-back edition-1 messages.
void scanLengths(const std::string& path, Figures& f)
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
        unsigned char head[8], tail[4];
        const ssize_t got = pread(fd, head, sizeof head, at);
        if (got == 0)
            break;
        if (got != ssize_t(sizeof head) || std::memcmp(head, "GRIB", 4) != 0 || head[7] != 1) {
            n = 0;
            break;
        }
        const off_t length = off_t(head[4]) << 16 | off_t(head[5]) << 8 | off_t(head[6]);
        if (length < 12 || pread(fd, tail, sizeof tail, at + length - 4) != ssize_t(sizeof tail) ||
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

// The same messages with ecCodes, their values kept as a viewer keeps them.
void compoundEccodes(const std::string& path, int reps, long offset, int count, Figures& f)
{
    warmEccodes();
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
        std::fseek(fp, offset, SEEK_SET);
        for (int k = 0; k < count; ++k) {
            int err = 0;
            codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err);
            if (!h) {
                f.ok = false;
                break;
            }
            size_t n = 0;
            err = codes_get_size(h, "values", &n);
            held.emplace_back(n);
            if (err == 0)
                err = codes_get_double_array(h, "values", held.back().data(), &n);
            if (err != 0)
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

// Untimed: compound n by both, point by point, and the keys of its messages.
void compareCompound(const std::string& path, int n, Figures& f)
{
    GribFile file(path.c_str());
    CompoundMsg c;
    file.goCompound(n, c);
    const int start =
        n == 0 ? 0 : n * file.getCompoundSize() - (file.isShortFirstCompound() ? 1 : 0);
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp || c.empty() || start < 0) {
        f.ok = false;
        if (fp)
            std::fclose(fp);
        return;
    }
    std::fseek(fp, file.messageOffsets()[size_t(start)], SEEK_SET);
    std::vector<double> ref;
    for (const GribMsg& m : c) {
        int err = 0;
        codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err);
        if (!h) {
            f.ok = false;
            break;
        }
        long param = 0, type = 0, level = 0;
        codes_get_long(h, "indicatorOfParameter", &param);
        codes_get_long(h, "indicatorOfTypeOfLevel", &type);
        codes_get_long(h, "level", &level);
        if (m.gct != unsigned(level * 65536 + type * 256 + param))
            f.ok = false;
        size_t count = 0;
        codes_set_double(h, "missingValue", double(kGribMissingValue));
        codes_get_size(h, "values", &count);
        ref.assign(count, 0.0);
        codes_get_double_array(h, "values", ref.data(), &count);
        codes_handle_delete(h);
        if (!m.values || count != size_t(m.ni) * size_t(m.nj)) {
            f.ok = false;
            continue;
        }
        double lo = HUGE_VAL, hi = -HUGE_VAL, maxAbs = 0.0;
        for (size_t i = 0; i < count; ++i) {
            lo = std::min(lo, ref[i]);
            hi = std::max(hi, ref[i]);
            maxAbs = std::max(maxAbs, std::fabs(m.values[i] - ref[i]));
        }
        f.maxRel = std::max(f.maxRel, hi > lo ? maxAbs / (hi - lo) : maxAbs);
        ++f.count;
    }
    std::fclose(fp);
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

} // namespace

int main(int argc, char** argv)
{
    const Options o =
        bench::parseOptions(argc, argv, "steps", 20000, Options{41, 1440, 721, 16, 5, {}});
    std::string path = o.file;
    std::string dir;
    if (path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string base = tmp && *tmp ? tmp : "/tmp";
        const double bytes = double(o.ni) * o.nj * o.bits / 8.0 * kFieldCount * o.count;
        if (!enoughDisk(base, bytes)) {
            std::fprintf(stderr, "not enough free space in %s for %.0f MB; try --steps\n",
                         base.c_str(), bytes / 1e6);
            return 2;
        }
        std::string tmpl = base + "/skyvane-bench-XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back(0);
        if (!mkdtemp(name.data())) {
            std::perror("mkdtemp");
            return 2;
        }
        dir = name.data();
        path = dir + "/steps.grb";
        std::printf("writing %d steps of %d fields on %d x %d points at %d bits per value\n",
                    o.count, kFieldCount, o.ni, o.nj, o.bits);
        const auto t0 = Clock::now();
        // In a child, so that the measurements, forked from this process,
        // do not start with the writer's freed buffers in their heap.
        Figures w;
        const bool written =
            inChild([&](Figures& f, std::vector<long>&) { f.ok = bench::writeSyntheticForecast(o, path); }, w) &&
            w.ok;
        if (!written) {
            std::remove(path.c_str());
            rmdir(dir.c_str());
            return 2;
        }
        std::printf("written in %.2f s\n", since(t0));
    }
    const auto cleanUp = [&]() {
        if (!dir.empty()) {
            std::remove(path.c_str());
            rmdir(dir.c_str());
        }
    };
    double fileBytes = 0.0;
    if (FILE* fp = std::fopen(path.c_str(), "rb")) {
        std::fseek(fp, 0, SEEK_END);
        fileBytes = double(std::ftell(fp));
        std::fclose(fp);
    } else {
        std::perror(path.c_str());
        cleanUp();
        return 2;
    }
    std::printf("file: %s, %.1f MB; best of %d runs, each in a fresh process; "
                "time ratio = skyvane / ecCodes\n",
                path.c_str(), fileBytes / 1e6, o.reps);

    bool ok = true;

    // Opening.  Alternating the two spreads any disturbance over both.
    Figures openOurs, openTheirs, counted;
    std::vector<long> ourOffsets, theirOffsets;
    for (int r = 0; r < o.reps; ++r) {
        Figures ours, theirs;
        std::vector<long> a, b;
        ok = inChild([&](Figures& f, std::vector<long>& l) { openSkyvane(path, f, l); }, ours,
                     &a) && ok;
        ok = inChild([&](Figures& f, std::vector<long>& l) { openEccodes(path, f, l); }, theirs,
                     &b) && ok;
        keepBest(openOurs, ours, r == 0);
        keepBest(openTheirs, theirs, r == 0);
        if (r == 0) {
            ourOffsets = a;
            theirOffsets = b;
        }
    }
    Figures scanned, coldOurs, coldTheirs, coldScanned;
    for (int r = 0; r < o.reps; ++r) {
        Figures c, s;
        ok = inChild([&](Figures& f, std::vector<long>&) { countEccodes(path, f); }, c) && ok;
        ok = inChild([&](Figures& f, std::vector<long>&) { scanLengths(path, f); }, s) && ok;
        keepBest(counted, c, r == 0);
        keepBest(scanned, s, r == 0);
    }
    for (int r = 0; r < o.reps; ++r) {
        Figures ours, theirs, s;
        ok = inChild([&](Figures& f, std::vector<long>& l) {
            evictFromCache(path);
            openSkyvane(path, f, l);
        }, ours) && ok;
        ok = inChild([&](Figures& f, std::vector<long>& l) {
            evictFromCache(path);
            openEccodes(path, f, l);
        }, theirs) && ok;
        ok = inChild([&](Figures& f, std::vector<long>&) {
            evictFromCache(path);
            scanLengths(path, f);
        }, s) && ok;
        keepBest(coldOurs, ours, r == 0);
        keepBest(coldTheirs, theirs, r == 0);
        keepBest(coldScanned, s, r == 0);
    }
    ok = ok && openOurs.ok && openTheirs.ok && counted.ok && coldOurs.ok && coldTheirs.ok;

    std::printf("\n");
    row("", "skyvane", "ecCodes", "ratio");
    row("open: index + analysis / handles + keys", timeText(openOurs.seconds),
        timeText(openTheirs.seconds), ratioText(openOurs.seconds, openTheirs.seconds));
    char label[96], a[64], b[64];
    std::snprintf(a, sizeof a, "%.0f MB/s", fileBytes / 1e6 / openOurs.seconds);
    std::snprintf(b, sizeof b, "%.0f MB/s", fileBytes / 1e6 / openTheirs.seconds);
    row("  read rate", a, b, "");
    row("  file not in the page cache", timeText(coldOurs.seconds), timeText(coldTheirs.seconds),
        ratioText(coldOurs.seconds, coldTheirs.seconds));
    row("  peak resident growth", memText(openOurs.growthKb), memText(openTheirs.growthKb), "");
    std::snprintf(a, sizeof a, "%.2f%%", openOurs.growthKb * 1024.0 / fileBytes * 100.0);
    std::snprintf(b, sizeof b, "%.2f%%", openTheirs.growthKb * 1024.0 / fileBytes * 100.0);
    row("  peak growth / file size", a, b, "");
    row("  messages", std::to_string(openOurs.count), std::to_string(openTheirs.count), "");
    std::snprintf(a, sizeof a, "%ld x %ld%s, %ld h", openOurs.count3, openOurs.count2,
                  openOurs.checksum != 0.0 ? " (short first)" : "", openOurs.count4);
    row("  compounds x messages, time step", a, "", "");
    row("open: codes_count_in_file", "", timeText(counted.seconds),
        ratioText(openOurs.seconds, counted.seconds));
    row("  messages", "", std::to_string(counted.count), "");
    if (scanned.count == openOurs.count) {
        row("reference: lengths and end markers only", timeText(scanned.seconds), "", "");
        row("  file not in the page cache", timeText(coldScanned.seconds), "", "");
    }

    const bool sameOffsets = ourOffsets == theirOffsets && counted.count == openOurs.count;
    if (!sameOffsets) {
        std::printf("MESSAGES DIFFER: skyvane %zu, ecCodes %zu (codes_count_in_file %ld)\n",
                    ourOffsets.size(), theirOffsets.size(), counted.count);
        ok = false;
    }

    const int compounds = int(openOurs.count3);
    const int size = int(openOurs.count2);
    const int n = compounds / 2;
    const int start = n * size - (n > 0 && openOurs.checksum != 0.0 ? 1 : 0);
    if (compounds < 1 || start < 0 || size_t(start) >= ourOffsets.size()) {
        std::printf("no complete compound to read\n");
        cleanUp();
        return ok ? 0 : 1;
    }
    const int inCompound = n == 0 && openOurs.checksum != 0.0 ? size - 1 : size;

    // One compound.
    Figures readOurs, readTheirs;
    ok = inChild([&](Figures& f, std::vector<long>&) { compoundSkyvane(path, o.reps, n, f); },
                 readOurs) && ok;
    ok = inChild([&](Figures& f, std::vector<long>&) {
        compoundEccodes(path, o.reps, ourOffsets[size_t(start)], inCompound, f);
    }, readTheirs) && ok;
    ok = ok && readOurs.ok && readTheirs.ok;
    std::snprintf(label, sizeof label, "compound %d (%ld messages, %.1f M values)", n,
                  readOurs.count, readOurs.count2 / 1e6);
    row(label, timeText(readOurs.seconds), timeText(readTheirs.seconds),
        ratioText(readOurs.seconds, readTheirs.seconds));
    row("  peak resident growth", memText(readOurs.growthKb), memText(readTheirs.growthKb), "");
    row("  readCompound into the held compound", timeText(readOurs.seconds2), "",
        ratioText(readOurs.seconds2, readTheirs.seconds));
    if (readOurs.count != readTheirs.count || readOurs.count2 != readTheirs.count2) {
        std::printf("COUNTS DIFFER: skyvane %ld messages %ld values, ecCodes %ld, %ld\n",
                    readOurs.count, readOurs.count2, readTheirs.count, readTheirs.count2);
        ok = false;
    }

    // Isolines of that compound, with the viewer's default levels.
    struct Levels {
        const char* name;
        unsigned gct;
        float min, max, step;
    };
    const Levels sets[] = {
        {"isobars 95000..105000 Pa step 200", GribKey::pressureMsl, 95000.0f, 105000.0f, 200.0f},
        {"isotherms 223..323 K step 5", GribKey::temperature2m, 223.0f, 323.0f, 5.0f},
    };
    for (const Levels& l : sets) {
        Figures f;
        ok = inChild([&](Figures& out, std::vector<long>&) {
            isolines(path, o.reps, n, l.gct, l.min, l.max, l.step, out);
        }, f) && ok;
        if (f.count < 0) {
            row(l.name, "no field", "", "");
            continue;
        }
        row(l.name, timeText(f.seconds), "", "");
        std::snprintf(a, sizeof a, "%ld / %ld", f.count, f.count2);
        row("  segments / levels", a, "", "");
        row("  peak resident growth", memText(f.growthKb), "", "");
    }

    Figures steps;
    ok = inChild([&](Figures& f, std::vector<long>&) { helperSteps(path, o.reps, n, f); },
                 steps) && ok;
    ok = ok && steps.ok;
    row("GribFileHelper::openGribFile", timeText(steps.seconds), "", "");
    row("  peak resident growth", memText(steps.growthKb), "", "");
    std::snprintf(label, sizeof label, "GribFileHelper::goCompound(%d)", n);
    row(label, timeText(steps.seconds2), "", "");
    row("  segments, both sets", std::to_string(steps.count), "", "");

    Figures check;
    ok = inChild([&](Figures& f, std::vector<long>&) { compareCompound(path, n, f); }, check) &&
         ok;
    // Our values are single precision, ecCodes' double.
    const bool agree = sameOffsets && check.ok && check.count == inCompound &&
                       check.maxRel <= 1e-6;
    std::printf("\ncheck: %zu message offsets %s; compound %d: %ld messages, keys %s, "
                "max |skyvane - ecCodes| = %.3g of the field's range\n",
                ourOffsets.size(), sameOffsets ? "equal" : "DIFFER", n, check.count,
                check.ok ? "equal" : "DIFFER", check.maxRel);
    std::printf("%s\n", agree ? "both sides agree" : "THE SIDES DISAGREE");

    cleanUp();
    return ok && agree ? 0 : 1;
}
