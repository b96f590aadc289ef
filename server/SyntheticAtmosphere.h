// The stand-in server's weather: analytic functions of position and time,
// the same for every request that asks for the same place and moment.
//
// A few lows and highs travel eastwards round each hemisphere over a
// background of subtropical highs and subpolar lows; the wind follows the
// pressure gradient (counter-clockwise round lows in the north, clockwise
// in the south, turned towards low pressure, weaker over land) and fades
// into the trade winds near the equator.  Rain falls round the lows, waves
// and swell grow with the wind and run away from the lows, temperatures
// follow latitude, season, land or sea and the hour of the day, a tidal
// stream runs up and down the English Channel, and convective cells drift
// across North America.
#ifndef SKYVANE_SYNTHETICATMOSPHERE_H
#define SKYVANE_SYNTHETICATMOSPHERE_H

#include "ForecastGrid.h"

#include <QDateTime>

#include <vector>

class SyntheticAtmosphere {
public:
    // land: one flag per grid point, 1 on land (LandMask::fill).
    SyntheticAtmosphere(const ForecastGrid& grid, const std::vector<unsigned char>& land);

    // Times are hours since 2000-01-01 00:00 UTC.
    static double hoursOf(const QDateTime& utc);

    // Each output holds one value per grid point, rows north to south;
    // a null output is skipped.

    // Mean-sea-level pressure (Pa, 96000 to 104000) and the 10 m wind
    // (m/s, u eastwards, v northwards).
    void pressureAndWind(double t, float* pressure, float* u, float* v) const;
    // Precipitation accumulated from t0 to t1 (mm, 0 to 10).
    void precipitation(double t0, double t1, float* mm) const;
    // The rate precipitation falls at round the lows at t (mm/h), with no
    // threshold or cap: totals over long periods sum it themselves.
    void rainRate(double t, float* mmPerHour) const;
    // 2 m temperature (K).
    void temperature(double t, float* kelvin) const;
    // Waves from the 10 m wind of the same moment: wind-wave height (m),
    // wind-wave direction (degrees, where the waves come from, like the
    // wind), period (s), swell height (m) and swell direction (degrees,
    // where the swell comes from).
    void waves(double t, const float* u, const float* v, float* windWaveHeight,
               float* windWaveDirection, float* period, float* swellHeight,
               float* swellDirection) const;
    // Sea-surface temperature (K, 271 to 303).
    void seaTemperature(double t, float* kelvin) const;
    // Tidal stream: speed (m/s) and the direction it runs towards
    // (degrees), as currents are given.
    void tidalStream(double t, float* speed, float* direction) const;
    // Precipitation rate (mm/hr) of the convective cells, 0 outside them.
    void precipitationRate(double t, float* mmPerHour) const;

private:
    struct System;
    std::vector<System> systemsAt(double t) const;
    void lowRainRate(const std::vector<System>& systems, double weight, std::vector<double>& rate) const;

    ForecastGrid grid;
    const std::vector<unsigned char>& land;
    std::vector<double> rowLat;      // degrees
    std::vector<double> rowSin;
    std::vector<double> rowCos;
    std::vector<double> columnLon;   // degrees, folded into [-180, 180)
    static constexpr size_t kWaveCount = 2;
    std::vector<double> waveCos[kWaveCount];  // cos and sin of n lon per column
    std::vector<double> waveSin[kWaveCount];
};

#endif
