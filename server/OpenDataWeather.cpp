#include "OpenDataWeather.h"

#include "LandMask.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRadian = 3.14159265358979323846 / 180.0;

double bearingOf(double east, double north)
{
    double b = std::atan2(east, north) / kRadian;
    if (b < 0)
        b += 360.0;
    return b >= 360.0 ? 0.0 : b;
}

std::vector<unsigned char> landOf(const ForecastGrid& grid, const LandMask& mask)
{
    std::vector<unsigned char> land;
    mask.fill(grid, land);
    return land;
}

// The direction the combined sea comes from: wind sea and swell weighted
// by their energy (height squared).
float meanDirection(float seaHeight, float seaFrom, float swellHeight, float swellFrom)
{
    const double a = double(seaHeight) * seaHeight, b = double(swellHeight) * swellHeight;
    const double east = a * std::sin(seaFrom * kRadian) + b * std::sin(swellFrom * kRadian);
    const double north = a * std::cos(seaFrom * kRadian) + b * std::cos(swellFrom * kRadian);
    return float(bearingOf(east, north));
}

}  // namespace

OpenDataWeather::OpenDataWeather(const ForecastGrid& g, const LandMask& landMask)
    : grid(g), landFlags(landOf(g, landMask)), atmosphere(g, landFlags)
{
}

OpenDataWeather::Moment& OpenDataWeather::airAt(double t)
{
    Moment& m = moments[t];
    if (m.u.empty()) {
        const size_t n = size_t(grid.pointCount());
        m.pressure.resize(n);
        m.u.resize(n);
        m.v.resize(n);
        atmosphere.pressureAndWind(t, m.pressure.data(), m.u.data(), m.v.data());
    }
    return m;
}

OpenDataWeather::Moment& OpenDataWeather::seaAt(double t)
{
    Moment& m = airAt(t);
    if (m.period.empty()) {
        const size_t n = size_t(grid.pointCount());
        for (std::vector<float>* out : {&m.windWaveHeight, &m.windWaveDirection, &m.period, &m.swellHeight,
                                        &m.swellDirection})
            out->resize(n);
        atmosphere.waves(t, m.u.data(), m.v.data(), m.windWaveHeight.data(), m.windWaveDirection.data(),
                         m.period.data(), m.swellHeight.data(), m.swellDirection.data());
    }
    return m;
}

std::vector<float> OpenDataWeather::seaQuantity(Quantity quantity, const Moment& m) const
{
    std::vector<float> out(m.period.size());
    for (size_t k = 0; k < out.size(); ++k) {
        const float sea = m.windWaveHeight[k], swell = m.swellHeight[k];
        switch (quantity) {
        case Quantity::WaveHeight:
            out[k] = std::hypot(sea, swell);
            break;
        case Quantity::WindWavePeriod:
            out[k] = float(std::clamp(1.0 + 3.6 * std::sqrt(double(sea)), 2.0, 12.0));
            break;
        case Quantity::SwellPeriod:
            out[k] = float(std::clamp(8.0 + 1.2 * swell, 8.0, 18.0));
            break;
        case Quantity::MeanWaveDirection:
            out[k] = meanDirection(sea, m.windWaveDirection[k], swell, m.swellDirection[k]);
            break;
        default:
            break;
        }
    }
    return out;
}

std::vector<float> OpenDataWeather::rainRate(double t) const
{
    std::vector<float> mmPerHour(size_t(grid.pointCount()));
    atmosphere.rainRate(t, mmPerHour.data());
    return mmPerHour;
}

std::vector<float> OpenDataWeather::values(Quantity quantity, double t0, double t)
{
    const size_t n = size_t(grid.pointCount());
    switch (quantity) {
    case Quantity::Precipitation: {
        std::vector<float> mm(n);
        atmosphere.precipitation(t0, t, mm.data());
        return mm;
    }
    case Quantity::Temperature: {
        std::vector<float> kelvin(n);
        atmosphere.temperature(t, kelvin.data());
        return kelvin;
    }
    case Quantity::Pressure:
        return airAt(t).pressure;
    case Quantity::WindU:
        return airAt(t).u;
    case Quantity::WindV:
        return airAt(t).v;
    case Quantity::WindWaveHeight:
        return seaAt(t).windWaveHeight;
    case Quantity::WindWaveDirection:
        return seaAt(t).windWaveDirection;
    case Quantity::SwellHeight:
        return seaAt(t).swellHeight;
    case Quantity::SwellDirection:
        return seaAt(t).swellDirection;
    case Quantity::MeanWavePeriod:
        return seaAt(t).period;
    default:
        return seaQuantity(quantity, seaAt(t));
    }
}
