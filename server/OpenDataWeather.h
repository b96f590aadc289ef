// The synthetic atmosphere's values of one quantity on a grid, in the
// units the services publish (Pa, K, m/s, kg/m² of rain, m, s, degrees),
// and the sea state the wave services add to it: total height, the swell
// period and the mean period and direction of the combined sea.
#ifndef SKYVANE_OPENDATAWEATHER_H
#define SKYVANE_OPENDATAWEATHER_H

#include "ForecastGrid.h"
#include "OpenDataCatalogue.h"
#include "SyntheticAtmosphere.h"

#include <map>
#include <vector>

class LandMask;

class OpenDataWeather {
public:
    OpenDataWeather(const ForecastGrid& grid, const LandMask& landMask);

    const std::vector<unsigned char>& land() const { return landFlags; }

    // The quantity at hour t (hours since 2000-01-01 00 UTC); precipitation
    // is what falls from t0 to t.
    std::vector<float> values(Quantity quantity, double t0, double t);
    // The rate rain falls at, at hour t (mm/h).
    std::vector<float> rainRate(double t) const;

private:
    struct Moment {
        std::vector<float> pressure, u, v;
        std::vector<float> windWaveHeight, windWaveDirection, period, swellHeight, swellDirection;
    };
    Moment& airAt(double t);
    Moment& seaAt(double t);
    std::vector<float> seaQuantity(Quantity quantity, const Moment& m) const;

    ForecastGrid grid;
    std::vector<unsigned char> landFlags;
    SyntheticAtmosphere atmosphere;
    std::map<double, Moment> moments;
};

#endif
