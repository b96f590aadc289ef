#include "GribParameters.h"

#include "GribKeys.h"

#include <cmath>

namespace {

constexpr unsigned kEcmwfCentre = 98;
constexpr float kMetresToMillimetres = 1000.0f;
constexpr float kPerSecondToPerHour = 3600.0f;

// ECMWF's local edition 1 tables: the parameter alone says what and where
// (165 is u at 10 m whatever the level octets hold).
struct EcmwfEntry {
    unsigned table;
    unsigned parameter;
    unsigned gct;
    float scale;
    bool fromStart;
};

const EcmwfEntry kEcmwfTable[] = {
    {128, 165, GribKey::windU, 1.0f, false},                       // 10u, m/s
    {128, 166, GribKey::windV, 1.0f, false},                       // 10v
    {128, 207, GribKey::windSpeed, 1.0f, false},                   // 10si
    {128, 151, GribKey::pressureMsl, 1.0f, false},                 // msl, Pa
    {128, 167, GribKey::temperature2m, 1.0f, false},               // 2t, K
    {128, 34, GribKey::seaTemperature, 1.0f, false},               // sst, K
    {128, 228, GribKey::precipitation, kMetresToMillimetres, true},  // tp, m since the start
    {140, 229, GribKey::waveCombined, 1.0f, false},                // swh, m
    {140, 232, GribKey::wavePeriod, 1.0f, false},                  // mwp, s
    {140, 234, GribKey::windWaveHeight, 1.0f, false},              // shww
    {140, 235, GribKey::windWaveDirection, 1.0f, false},           // mdww, degrees from
    {140, 237, GribKey::swellHeight, 1.0f, false},                 // shts
    {140, 238, GribKey::swellDirection, 1.0f, false},              // mdts
};

// Edition 2: discipline / category / number, on a surface type (-1: any)
// at a value (NaN: any); a centre's local code only from that centre.
struct Grib2Entry {
    long discipline, category, number;
    long surfaceType;
    double surfaceValue;
    unsigned gct;
    float scale;
    long centre = -1;
};

constexpr double kAnyValue = NAN;
constexpr long kGround = 1;            // ground or water surface
constexpr long kMeanSeaLevel = 101;
constexpr long kAboveGround = 103;     // metres above ground

const Grib2Entry kGrib2Table[] = {
    {0, 2, 2, kAboveGround, 10, GribKey::windU, 1.0f},
    {0, 2, 3, kAboveGround, 10, GribKey::windV, 1.0f},
    {0, 2, 1, kAboveGround, 10, GribKey::windSpeed, 1.0f},
    {0, 3, 1, kMeanSeaLevel, kAnyValue, GribKey::pressureMsl, 1.0f},  // pressure reduced to MSL
    {0, 3, 0, kMeanSeaLevel, kAnyValue, GribKey::pressureMsl, 1.0f},  // pressure at MSL (ECMWF's msl)
    {0, 0, 0, kAboveGround, 2, GribKey::temperature2m, 1.0f},
    {0, 1, 8, kGround, kAnyValue, GribKey::precipitation, 1.0f},       // kg m-2 = mm
    {0, 1, 193, kGround, kAnyValue, GribKey::precipitation, kMetresToMillimetres, long(kEcmwfCentre)},  // tp
    {0, 1, 7, kGround, kAnyValue, GribKey::precipRate, kPerSecondToPerHour},
    {0, 1, 52, kGround, kAnyValue, GribKey::precipRate, kPerSecondToPerHour},
    {10, 0, 3, -1, kAnyValue, GribKey::waveCombined, 1.0f},
    {10, 0, 4, -1, kAnyValue, GribKey::windWaveDirection, 1.0f},
    {10, 0, 5, -1, kAnyValue, GribKey::windWaveHeight, 1.0f},
    {10, 0, 7, -1, kAnyValue, GribKey::swellDirection, 1.0f},
    {10, 0, 8, -1, kAnyValue, GribKey::swellHeight, 1.0f},
    {10, 0, 11, -1, kAnyValue, GribKey::wavePeriod, 1.0f},
    {10, 0, 15, -1, kAnyValue, GribKey::wavePeriod, 1.0f},         // mean period (ECMWF's mwp)
    // The mean direction of wind waves and swell together (ECMWF's mwd), the
    // one direction its wave files give, drawn as the waves' direction.
    {10, 0, 14, -1, kAnyValue, GribKey::windWaveDirection, 1.0f},
    {10, 3, 0, -1, kAnyValue, GribKey::seaTemperature, 1.0f},
    {10, 1, 0, -1, kAnyValue, GribKey::tidalDirection, 1.0f},
    {10, 1, 1, -1, kAnyValue, GribKey::tidalSpeed, 1.0f},
    {10, 1, 2, -1, kAnyValue, GribKey::currentU, 1.0f},
    {10, 1, 3, -1, kAnyValue, GribKey::currentV, 1.0f},
};

// Edition 2 surfaces the wave fields of one producer state in a sequence
// (GFS-Wave's swell partitions on surface 241): the first one is taken.
bool surfaceMatches(const Grib2Entry& entry, const Grib2Codes& codes)
{
    if (entry.surfaceType >= 0 && entry.surfaceType != codes.surfaceType)
        return false;
    if (std::isnan(entry.surfaceValue))
        return entry.surfaceType >= 0 || codes.surfaceType != 241 || codes.surfaceValue == 1.0;
    return std::fabs(entry.surfaceValue - codes.surfaceValue) < 1e-6;
}

const unsigned kRankedKeys[] = {
    GribKey::windU, GribKey::windV, GribKey::windSpeed, GribKey::pressureMsl, GribKey::precipitation,
    GribKey::precipRate, GribKey::temperature2m, GribKey::seaTemperature, GribKey::waveCombined,
    GribKey::windWaveHeight, GribKey::windWaveDirection, GribKey::swellHeight, GribKey::swellDirection,
    GribKey::wavePeriod, GribKey::tidalSpeed, GribKey::tidalDirection, GribKey::currentU, GribKey::currentV,
};

}  // namespace

unsigned grib1RawKey(const Grib1Codes& codes)
{
    return codes.level * 65536u + codes.levelType * 256u + codes.parameter;
}

ModelParameter modelParameterOf(const Grib1Codes& codes)
{
    ModelParameter p;
    if (codes.centre != kEcmwfCentre || codes.tableVersion < 128) {
        p.gct = grib1RawKey(codes);  // WMO code table 2, as the keys are defined
        return p;
    }
    for (const EcmwfEntry& e : kEcmwfTable) {
        if (e.table == codes.tableVersion && e.parameter == codes.parameter) {
            p.gct = e.gct;
            p.scale = e.scale;
            p.accumulatedFromStart = e.fromStart;
        }
    }
    return p;
}

ModelParameter modelParameterOf(const Grib2Codes& codes)
{
    ModelParameter p;
    for (const Grib2Entry& e : kGrib2Table) {
        if (e.discipline == codes.discipline && e.category == codes.category && e.number == codes.number &&
            (e.centre < 0 || e.centre == codes.centre) && surfaceMatches(e, codes)) {
            p.gct = e.gct;
            p.scale = e.scale;
            return p;
        }
    }
    return p;
}

int keyRank(unsigned gct)
{
    int rank = 0;
    for (unsigned key : kRankedKeys) {
        if (key == gct)
            return rank;
        ++rank;
    }
    return rank;
}
