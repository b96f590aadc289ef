// The synthetic forecast the benchmarks measure: travelling mid-latitude
// waves that make u and v wind, pressure, temperature and precipitation
// belong together, on a global grid north to south from 0°, written with
// our GRIB writer.
#pragma once

#include "bench_common.h"
#include "grib_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Small, fast and reproducible.
struct Noise {
    uint64_t s;
    double next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0) - 0.5;
    }
};

struct Field {
    int param;
    int levelType;
    int level;
};

// In file order; the first opens every time step.
constexpr Field kFields[] = {
    {33, 105, 10}, // u wind, m/s
    {34, 105, 10}, // v wind, m/s
    {2, 102, 0},   // mean-sea-level pressure, Pa
    {11, 105, 2},  // temperature, K
    {61, 1, 0},    // total precipitation since the start, kg/m2
    {59, 1, 0},    // precipitation rate, kg/m2/s
};
constexpr int kFieldCount = static_cast<int>(sizeof kFields / sizeof kFields[0]);
constexpr int kStepHours = 3;

// Travelling waves of the mid latitudes; every field is built from the same
// few, so that pressure, wind, temperature and rain belong together.
constexpr int kWaves = 3;
constexpr double kWaveNumber[kWaves] = {4.0, 6.0, 9.0};
constexpr double kWaveSpeed[kWaves] = {0.020, 0.035, 0.060}; // radians per hour
constexpr double kWavePhase[kWaves] = {0.3, 1.7, 4.1};
constexpr double kWaveLatitude[kWaves] = {55.0, 45.0, 35.0}; // degrees, both hemispheres

inline double bump(double x, double centre, double width)
{
    const double t = (x - centre) / width;
    return std::exp(-t * t);
}

// Fields built from terms of latitude alone and of longitude alone, so that the
// trigonometry is done per row and per column, not per point.
class Weather {
public:
    Weather(int ni, int nj, double di, double dj)
        : ni_(ni), nj_(nj), lat_(nj), sinLat_(nj), cosLat_(nj), envelope_(kWaves * nj),
          lonTerm_(ni), cosWave_(kWaves * ni), sinWave_(kWaves * ni), rainTotal_(size_t(ni) * nj)
    {
        const double rad = M_PI / 180.0;
        for (int j = 0; j < nj; ++j) {
            lat_[j] = 90.0 - j * dj;
            sinLat_[j] = std::sin(lat_[j] * rad);
            cosLat_[j] = std::cos(lat_[j] * rad);
            const double hemisphere = lat_[j] < 0.0 ? -0.8 : 1.0;
            for (int w = 0; w < kWaves; ++w)
                envelope_[size_t(w) * nj + j] =
                    hemisphere * bump(std::fabs(lat_[j]), kWaveLatitude[w], 15.0);
        }
        // Land and sea: warmer and cooler longitudes.
        for (int i = 0; i < ni; ++i)
            lonTerm_[i] = std::cos(2.0 * i * di * rad) + 0.5 * std::sin(5.0 * i * di * rad);
        di_ = di;
    }

    // The six fields of time step `step`, in kFields order.
    void make(int step, std::vector<std::vector<float>>& out)
    {
        const double rad = M_PI / 180.0;
        const double hours = double(step) * kStepHours;
        for (int w = 0; w < kWaves; ++w) {
            for (int i = 0; i < ni_; ++i) {
                const double phase =
                    kWaveNumber[w] * i * di_ * rad - kWaveSpeed[w] * hours + kWavePhase[w];
                cosWave_[size_t(w) * ni_ + i] = std::cos(phase);
                sinWave_[size_t(w) * ni_ + i] = std::sin(phase);
            }
        }
        out.resize(kFieldCount);
        for (auto& f : out)
            f.resize(size_t(ni_) * nj_);
        for (int j = 0; j < nj_; ++j) {
            const double alat = std::fabs(lat_[j]);
            const double s2 = sinLat_[j] * sinLat_[j];
            const double zonalWind = -6.0 * bump(alat, 15.0, 10.0) + 8.0 * bump(alat, 50.0, 12.0);
            const double zonalPressure =
                1200.0 * bump(alat, 30.0, 12.0) - 1800.0 * bump(alat, 62.0, 10.0);
            const double zonalTemperature = 301.0 - 48.0 * s2 - 12.0 * s2 * s2;
            for (int i = 0; i < ni_; ++i) {
                double a = 0.0, b = 0.0, c = 0.0;
                for (int w = 0; w < kWaves; ++w) {
                    const double e = envelope_[size_t(w) * nj_ + j];
                    a += e * cosWave_[size_t(w) * ni_ + i];
                    b += e * sinWave_[size_t(w) * ni_ + i];
                    c += e * kWaveNumber[w] / 6.0 * sinWave_[size_t(w) * ni_ + i];
                }
                const size_t k = size_t(j) * ni_ + i;
                const double rate = std::max(0.0, -a - 0.4) * 2.0e-4 * (0.5 + 0.5 * cosLat_[j]);
                rainTotal_[k] += rate * kStepHours * 3600.0;
                out[0][k] = float(zonalWind + 5.0 * b + 0.4 * noise_.next());
                out[1][k] = float(-7.0 * c + 0.4 * noise_.next());
                out[2][k] = float(101000.0 + zonalPressure + 1800.0 * a + 20.0 * noise_.next());
                out[3][k] = float(zonalTemperature + 4.0 * b + 3.0 * cosLat_[j] * lonTerm_[i] +
                                  0.3 * noise_.next());
                // Dry points stay exactly zero, as they do in real files.
                out[4][k] = float(rainTotal_[k]);
                out[5][k] = rate > 0.0 ? float(rate * (1.0 + 0.05 * noise_.next())) : 0.0f;
            }
        }
    }

private:
    int ni_, nj_;
    double di_ = 0.0;
    std::vector<double> lat_, sinLat_, cosLat_, envelope_, lonTerm_, cosWave_, sinWave_;
    std::vector<double> rainTotal_;
    Noise noise_{0x9E3779B97F4A7C15ull};
};

// o.count time steps of the six fields on an o.ni x o.nj grid at o.bits.
inline bool writeSyntheticForecast(const Options& o, const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) {
        std::perror(path.c_str());
        return false;
    }
    const int di = static_cast<int>(std::lround(360000.0 / o.ni));
    const int dj = static_cast<int>(std::lround(180000.0 / (o.nj - 1)));
    const unsigned long n = static_cast<unsigned long>(o.ni) * static_cast<unsigned long>(o.nj);
    // P1 has one octet with the usual time range; range 10 gives it two.
    const int timeRange = (o.count - 1) * kStepHours > 255 ? 10 : 0;
    Weather weather(o.ni, o.nj, di * 0.001, dj * 0.001);
    std::vector<std::vector<float>> fields;
    bool ok = true;
    for (int step = 0; step < o.count && ok; ++step) {
        weather.make(step, fields);
        for (int f = 0; f < kFieldCount && ok; ++f) {
            GRIB_WRITE_PARAMS params = globalGridParams(o.ni, o.nj, kFields[f].param, kFields[f].levelType,
                                                        kFields[f].level, o.bits, step * kStepHours);
            params.time_range = timeRange;
            ok = bench::appendMessage(fp, path, params, fields[size_t(f)].data(), n,
                                      "step " + std::to_string(step) + " field " +
                                          std::to_string(f));
        }
    }
    if (std::fclose(fp) != 0)
        ok = false;
    return ok;
}


}  // namespace bench
