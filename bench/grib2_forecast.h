// The synthetic forecast in GRIB edition 2, laid out as GFS publishes it:
// one field per message, time step after time step, complex packing with
// spatial differencing, written with ecCodes.
#pragma once

#include "bench_common.h"
#include "synthetic_forecast.h"

#include <eccodes.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

struct Grib2Field {
    long discipline;
    long category;
    long number;
    long surfaceType;
    long surfaceMetres;  // height above the surface; 0 where it has none
    bool accumulated;    // since the previous step, product template 8
};

// In kFields order, so that Weather::make fills them.
constexpr Grib2Field kGrib2Fields[kFieldCount] = {
    {0, 2, 2, 103, 10, false},  // u wind, m/s
    {0, 2, 3, 103, 10, false},  // v wind, m/s
    {0, 3, 1, 101, 0, false},   // mean-sea-level pressure, Pa
    {0, 0, 0, 103, 2, false},   // temperature, K
    {0, 1, 8, 1, 0, true},      // total precipitation, kg/m2
    {0, 1, 7, 1, 0, false},     // precipitation rate, kg/m2/s
};

// A global grid from 90° N, 0° E, west to east and north to south, its
// steps in millidegrees as the edition 1 file has them.
struct GlobalGrid {
    int ni;
    int nj;
    int diMilli;
    int djMilli;
};

inline GlobalGrid globalGrid(int ni, int nj)
{
    return {ni, nj, static_cast<int>(std::lround(360000.0 / ni)),
            static_cast<int>(std::lround(180000.0 / (nj - 1)))};
}

// Sets keys one after the other; the first failure is printed with its key
// and the rest are skipped.
class KeySetter {
public:
    explicit KeySetter(codes_handle* handle) : h(handle) {}
    void set(const char* key, long value)
    {
        if (ok)
            check(key, codes_set_long(h, key, value));
    }
    void set(const char* key, const char* value)
    {
        size_t length = std::strlen(value);
        if (ok)
            check(key, codes_set_string(h, key, value, &length));
    }
    void set(const char* key, const std::vector<double>& values)
    {
        if (ok)
            check(key, codes_set_double_array(h, key, values.data(), values.size()));
    }
    bool good() const { return ok; }

private:
    void check(const char* key, int err)
    {
        if (err != 0) {
            std::fprintf(stderr, "ecCodes: setting %s: %s\n", key, codes_get_error_message(err));
            ok = false;
        }
    }
    codes_handle* h;
    bool ok = true;
};

inline void setGrid(KeySetter& keys, const GlobalGrid& g)
{
    keys.set("Ni", long(g.ni));
    keys.set("Nj", long(g.nj));
    keys.set("latitudeOfFirstGridPoint", 90000000L);
    keys.set("longitudeOfFirstGridPoint", 0L);
    keys.set("latitudeOfLastGridPoint", (90000L - long(g.nj - 1) * g.djMilli) * 1000L);
    keys.set("longitudeOfLastGridPoint", long(g.ni - 1) * g.diMilli * 1000L);
    keys.set("iDirectionIncrement", long(g.diMilli) * 1000L);
    keys.set("jDirectionIncrement", long(g.djMilli) * 1000L);
}

// The reference time of the edition 1 file, so that both hold the same days.
inline void setReferenceTime(KeySetter& keys)
{
    GRIB_WRITE_PARAMS params;
    init_grib_write_params(&params);
    keys.set("centre", long(params.centre));
    keys.set("dataDate", long(params.year) * 10000L + params.month * 100L + params.day);
    keys.set("dataTime", long(params.hour) * 100L);
    keys.set("typeOfGeneratingProcess", 2L);  // forecast
}

inline void setProduct(KeySetter& keys, const Grib2Field& field, int step)
{
    const long hours = long(step) * kStepHours;
    keys.set("productDefinitionTemplateNumber", field.accumulated ? 8L : 0L);
    keys.set("discipline", field.discipline);
    keys.set("parameterCategory", field.category);
    keys.set("parameterNumber", field.number);
    keys.set("typeOfFirstFixedSurface", field.surfaceType);
    keys.set("scaleFactorOfFirstFixedSurface", 0L);
    keys.set("scaledValueOfFirstFixedSurface", field.surfaceMetres);
    keys.set("indicatorOfUnitOfTimeRange", 1L);  // hours
    if (field.accumulated) {
        keys.set("typeOfStatisticalProcessing", 1L);
        keys.set("typeOfTimeIncrement", 2L);
        keys.set("startStep", step > 0 ? hours - kStepHours : 0L);
        keys.set("endStep", hours);
    } else {
        keys.set("forecastTime", hours);
    }
}

inline bool allEqual(const std::vector<double>& values)
{
    return std::adjacent_find(values.begin(), values.end(), std::not_equal_to<double>()) ==
           values.end();
}

// One field as a whole message, packed after its values are set, as
// ecCodes needs; null, with the reason printed, when ecCodes fails.  A
// constant field keeps simple packing: ecCodes refuses to pack one with
// spatial differencing, and at 0 bits per value it takes no room anyway.
inline codes_handle* encodeGrib2Field(const GlobalGrid& grid, const Grib2Field& field, int step,
                                      int bits, const std::vector<double>& values)
{
    codes_handle* h = codes_grib_handle_new_from_samples(nullptr, "GRIB2");
    if (!h) {
        std::fprintf(stderr, "ecCodes: no GRIB2 sample\n");
        return nullptr;
    }
    KeySetter keys(h);
    setGrid(keys, grid);
    setReferenceTime(keys);
    setProduct(keys, field, step);
    keys.set("bitsPerValue", long(bits));
    keys.set("values", values);
    if (!allEqual(values))
        keys.set("packingType", "grid_complex_spatial_differencing");
    if (!keys.good()) {
        codes_handle_delete(h);
        return nullptr;
    }
    return h;
}

inline bool appendGrib2Field(FILE* fp, const std::string& path, const GlobalGrid& grid,
                             const Grib2Field& field, int step, int bits,
                             const std::vector<double>& values)
{
    codes_handle* h = encodeGrib2Field(grid, field, step, bits, values);
    if (!h)
        return false;
    const void* message = nullptr;
    size_t length = 0;
    bool ok = codes_get_message(h, &message, &length) == 0;
    if (ok && std::fwrite(message, 1, length, fp) != length) {
        std::perror(path.c_str());
        ok = false;
    }
    codes_handle_delete(h);
    return ok;
}

// The values of field f written for a step: accumulations since the
// previous step (nothing has fallen at the start), the rest as made.
inline void grib2Values(const std::vector<float>& made, const std::vector<float>& previous,
                        bool accumulated, int step, std::vector<double>& out)
{
    out.resize(made.size());
    for (size_t k = 0; k < made.size(); ++k) {
        if (!accumulated)
            out[k] = made[k];
        else
            out[k] = step > 0 ? double(made[k]) - double(previous[k]) : 0.0;
    }
}

// o.count time steps of the six fields on an o.ni x o.nj grid, packed from
// o.bits bits per value.
inline bool writeGrib2Forecast(const Options& o, const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) {
        std::perror(path.c_str());
        return false;
    }
    const GlobalGrid grid = globalGrid(o.ni, o.nj);
    Weather weather(o.ni, o.nj, grid.diMilli * 0.001, grid.djMilli * 0.001);
    std::vector<std::vector<float>> fields, previous;
    std::vector<double> values;
    bool ok = true;
    for (int step = 0; step < o.count && ok; ++step) {
        weather.make(step, fields);
        for (int f = 0; f < kFieldCount && ok; ++f) {
            const Grib2Field& field = kGrib2Fields[f];
            grib2Values(fields[size_t(f)], step > 0 ? previous[size_t(f)] : fields[size_t(f)],
                        field.accumulated, step, values);
            ok = appendGrib2Field(fp, path, grid, field, step, o.bits, values);
        }
        previous.swap(fields);
    }
    if (std::fclose(fp) != 0)
        ok = false;
    return ok;
}

}  // namespace bench
