// Command line, clock and file writing shared by the benchmarks.
#pragma once

#include "grib_writer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// [--COUNT N] [--ni N] [--nj N] [--bits B] [--reps R] [--tiny] [FILE]:
// how many messages or steps to write, on which grid, how many timed runs,
// or an existing file to measure instead.
struct Options {
    int count = 40;
    int ni = 1440;
    int nj = 721;
    int bits = 16;
    int reps = 3;
    std::string file; // empty: write a temporary one
};

[[noreturn]] inline void usage(const char* argv0, const char* countName)
{
    std::fprintf(stderr,
                 "usage: %s [--%s N] [--ni N] [--nj N] [--bits B] [--reps R] [--tiny] [FILE]\n",
                 argv0, countName);
    std::exit(2);
}

inline bool parseInt(const char* s, int lo, int hi, int* out)
{
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (!s[0] || *end || v < lo || v > hi)
        return false;
    *out = static_cast<int>(v);
    return true;
}

// --tiny: a small grid and three of countName, one run, for smoke tests.
inline Options parseOptions(int argc, char** argv, const char* countName, int countMax,
                            Options o)
{
    const std::string countFlag = std::string("--") + countName;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](int lo, int hi, int* out) {
            if (i + 1 >= argc || !parseInt(argv[++i], lo, hi, out))
                usage(argv[0], countName);
        };
        if (a == countFlag)
            value(1, countMax, &o.count);
        else if (a == "--ni")
            value(2, 65534, &o.ni);
        else if (a == "--nj")
            value(2, 65534, &o.nj);
        else if (a == "--bits")
            value(1, 32, &o.bits);
        else if (a == "--reps")
            value(1, 1000, &o.reps);
        else if (a == "--tiny") {
            o.count = 3;
            o.ni = 144;
            o.nj = 73;
            o.reps = 1;
        } else if (!a.empty() && a[0] == '-')
            usage(argv[0], countName);
        else if (o.file.empty())
            o.file = a;
        else
            usage(argv[0], countName);
    }
    return o;
}

// The writer's parameters of one field on a global ni x nj grid starting at
// 90° N, 0° E, valid p1 hours after the reference time, auto-scaled to bits.
inline GRIB_WRITE_PARAMS globalGridParams(int ni, int nj, int param, int levelType, int level, int bits, int p1)
{
    const int di = static_cast<int>(std::lround(360000.0 / ni));
    const int dj = static_cast<int>(std::lround(180000.0 / (nj - 1)));
    GRIB_WRITE_PARAMS params;
    init_grib_write_params(&params);
    params.param = param;
    params.level_type = levelType;
    params.level_value = level;
    params.ni = ni;
    params.nj = nj;
    params.lat1 = 90000;
    params.lon1 = 0;
    params.lat2 = 90000 - (nj - 1) * dj;
    params.lon2 = (ni - 1) * di;
    params.di = di;
    params.dj = dj;
    params.bits_per_value = bits;
    params.auto_scale = 1;
    params.time_unit = 1;
    params.p1 = p1;
    return params;
}

// Encodes one message and appends it to fp (open on path); false, with a
// line naming `what` on standard error, when that fails.
inline bool appendMessage(FILE* fp, const std::string& path, const GRIB_WRITE_PARAMS& params,
                          const float* values, unsigned long n, const std::string& what)
{
    octets* msg = nullptr;
    unsigned long len = 0;
    char err[GRIB_ERRMSG_LEN];
    err[0] = 0;
    bool ok = true;
    if (grib_encode(&params, values, n, &msg, &len, nullptr, err) != 0) {
        std::fprintf(stderr, "%s: %s\n", what.c_str(), err);
        ok = false;
    } else if (std::fwrite(msg, 1, len, fp) != len) {
        std::perror(path.c_str());
        ok = false;
    }
    std::free(msg);
    return ok;
}

}  // namespace bench
