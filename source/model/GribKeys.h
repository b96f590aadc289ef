// Parameter keys (gct): level value * 65536 + level type * 256 + GRIB
// parameter number, for the fields the program recognises.
#ifndef SKYVANE_GRIBKEYS_H
#define SKYVANE_GRIBKEYS_H

namespace GribKey {
constexpr unsigned windSpeed = 682272;        // 0xA6920, 10 m
constexpr unsigned windU = 682273;            // 0xA6921, 10 m, v follows
constexpr unsigned windV = 682274;            // 0xA6922
constexpr unsigned pressureMsl = 26114;       // 0x6602, Pa
constexpr unsigned precipitation = 317;       // 0x13D, total
constexpr unsigned precipRate = 315;          // 0x13B
constexpr unsigned temperature2m = 157963;    // 0x2690B, K
constexpr unsigned seaTemperature = 267;      // 0x10B, K
constexpr unsigned waveCombined = 356;        // 0x164, wind waves and swell
constexpr unsigned windWaveHeight = 358;      // 0x166
constexpr unsigned windWaveDirection = 357;   // 0x165
constexpr unsigned swellHeight = 65892;       // 0x10164
constexpr unsigned swellDirection = 65893;    // 0x10165
constexpr unsigned wavePeriod = 364;          // 0x16C, mean period of the primary waves, s
constexpr unsigned tidalSpeed = 304;          // 0x130, m/s
constexpr unsigned tidalDirection = 303;      // 0x12F
// Components of the surface current, m/s: the stream's speed and direction
// are made of them when a file carries no others.
constexpr unsigned currentU = 305;            // 0x131
constexpr unsigned currentV = 306;            // 0x132
}  // namespace GribKey

#endif
