#include "SyntheticAtmosphere.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadian = kPi / 180.0;
constexpr double kKmPerDegree = 111.195;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kEarthRotation = 7.2921e-5;  // rad/s
constexpr double kAirDensity = 1.2;           // kg/m³
constexpr double kYearDays = 365.2422;
constexpr double kM2Hours = 12.4206;          // principal lunar semi-diurnal tide
constexpr double kMaxWind = 28.0;             // m/s, where the speed saturates

// A travelling pressure system: position at t = 0, eastward speed (m/s),
// central anomaly (Pa, negative for a low), radius (km), life cycle (h) and
// phase (rad).
struct SystemTrack {
    double lat, lon, speed, amplitude, radius, period, phase;
};

const SystemTrack kTracks[] = {
    // Northern lows
    {57, -35, 13, -3200, 900, 130, 0.0},
    {50, -160, 12, -3000, 1000, 150, 1.3},
    {62, 60, 11, -2300, 900, 170, 2.1},
    {46, -85, 14, -2600, 800, 110, 3.7},
    {48, 140, 13, -2800, 900, 140, 4.4},
    {55, 10, 12, -2500, 800, 120, 5.2},
    {42, -30, 12, -1800, 700, 100, 0.9},
    {60, -100, 11, -2000, 800, 150, 2.7},
    {40, 170, 14, -2400, 800, 115, 3.1},
    // Northern highs
    {35, -40, 8, 1800, 1400, 200, 0.7},
    {33, -140, 7, 1700, 1500, 230, 2.9},
    {45, 90, 6, 2000, 1500, 260, 1.8},
    // Southern lows
    {-55, 0, 14, -3200, 1000, 120, 0.4},
    {-58, 120, 13, -3000, 1000, 135, 2.5},
    {-52, -120, 14, -2800, 900, 125, 4.1},
    {-45, 60, 13, -2200, 800, 110, 1.7},
    {-62, -60, 12, -2800, 1000, 140, 5.8},
    // Southern highs
    {-32, -20, 8, 1700, 1400, 210, 3.3},
    {-33, 90, 7, 1700, 1500, 220, 5.0},
    {-32, -100, 7, 1600, 1500, 240, 0.9},
};

// Slow planetary waves of the westerlies: amplitude (Pa), wave number,
// central latitude and width (degrees), eastward drift (degrees a day) and
// phase (rad).
struct PlanetaryWave {
    double amplitude, number, lat, width, drift, phase;
};

const PlanetaryWave kWaves[] = {{600, 4, 50, 14, 4, 0.3}, {450, 3, -50, 14, 5, 1.9}};

double gauss(double x, double width)
{
    return std::exp(-(x * x) / (width * width));
}

double smoothstep(double edge0, double edge1, double x)
{
    const double s = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return s * s * (3.0 - 2.0 * s);
}

double foldDegrees(double degrees)
{
    double d = std::fmod(degrees + 180.0, 360.0);
    if (d < 0)
        d += 360.0;
    return d - 180.0;
}

// Compass bearing (0 to 360, clockwise from north) of a vector.
double bearingOf(double east, double north)
{
    double b = std::atan2(east, north) / kRadian;
    if (b < 0)
        b += 360.0;
    return b >= 360.0 ? 0.0 : b;
}

// A number in [0, 1) fixed by its arguments (splitmix64 finaliser).
double unitHash(std::uint64_t a, std::uint64_t b, std::uint64_t c)
{
    std::uint64_t z = a * 0x9E3779B97F4A7C15ULL ^ (b + 0x632BE59BD9B4E019ULL) * 0xBF58476D1CE4E5B9ULL ^
                      (c + 0x85EBCA77C2B2AE63ULL) * 0x94D049BB133111EBULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return double(z >> 11) * (1.0 / 9007199254740992.0);
}

double dayOfYear(double t)
{
    double d = std::fmod(t / 24.0, kYearDays);
    return d < 0 ? d + kYearDays : d;
}

double utcHour(double t)
{
    double h = std::fmod(t, 24.0);
    return h < 0 ? h + 24.0 : h;
}

// Background pressure by latitude (Pa) and its northward gradient (Pa/km):
// a weak equatorial trough, subtropical highs, subpolar lows, polar highs.
void backgroundPressure(double lat, double& p, double& gradient)
{
    const double a = std::fabs(lat), sign = lat < 0 ? -1.0 : 1.0;
    struct Term {
        double amplitude, centre, width;
        bool symmetric;
    };
    static const Term kTerms[] = {
        {-300, 0, 8, false}, {700, 32, 11, true}, {-1100, 62, 11, true}, {400, 88, 10, true}};
    p = 101300;
    gradient = 0;
    for (const Term& term : kTerms) {
        const double x = (term.symmetric ? a : lat) - term.centre;
        const double g = term.amplitude * gauss(x, term.width);
        p += g;
        gradient += g * (-2.0 * x / (term.width * term.width)) * (term.symmetric ? sign : 1.0);
    }
    gradient /= kKmPerDegree;
}

// Pressure held within 96000 to 104000 Pa, bending smoothly into the
// limits over their last 800 Pa.
double softLimit(double p)
{
    constexpr double kLow = 96000, kHigh = 104000, kBend = 800;
    if (p < kLow + kBend)
        return kLow + kBend - kBend * std::tanh((kLow + kBend - p) / kBend);
    if (p > kHigh - kBend)
        return kHigh - kBend + kBend * std::tanh((p - kHigh + kBend) / kBend);
    return p;
}

}  // namespace

struct SyntheticAtmosphere::System {
    double lat, lon, amplitude, radius;
};

SyntheticAtmosphere::SyntheticAtmosphere(const ForecastGrid& g, const std::vector<unsigned char>& l)
    : grid(g), land(l)
{
    rowLat.resize(size_t(grid.nj));
    rowSin.resize(size_t(grid.nj));
    rowCos.resize(size_t(grid.nj));
    for (int row = 0; row < grid.nj; ++row) {
        rowLat[size_t(row)] = grid.latDegrees(row);
        rowSin[size_t(row)] = std::sin(rowLat[size_t(row)] * kRadian);
        rowCos[size_t(row)] = std::max(0.0, std::cos(rowLat[size_t(row)] * kRadian));
    }
    columnLon.resize(size_t(grid.ni));
    for (int column = 0; column < grid.ni; ++column)
        columnLon[size_t(column)] = foldDegrees(grid.lonDegrees(column));
    static_assert(sizeof kWaves / sizeof kWaves[0] == kWaveCount, "one column table per wave");
    for (size_t w = 0; w < kWaveCount; ++w) {
        waveCos[w].resize(size_t(grid.ni));
        waveSin[w].resize(size_t(grid.ni));
        for (size_t column = 0; column < size_t(grid.ni); ++column) {
            const double x = kWaves[w].number * columnLon[column] * kRadian;
            waveCos[w][column] = std::cos(x);
            waveSin[w][column] = std::sin(x);
        }
    }
}

double SyntheticAtmosphere::hoursOf(const QDateTime& utc)
{
    static const QDateTime kEpoch(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
    return double(kEpoch.secsTo(utc)) / 3600.0;
}

std::vector<SyntheticAtmosphere::System> SyntheticAtmosphere::systemsAt(double t) const
{
    std::vector<System> systems;
    systems.reserve(sizeof kTracks / sizeof kTracks[0]);
    for (const SystemTrack& track : kTracks) {
        const double life = 2.0 * kPi * t / track.period + track.phase;
        System s;
        s.amplitude = track.amplitude * (0.55 + 0.45 * std::sin(life));
        s.radius = track.radius * (0.85 + 0.15 * std::cos(life));
        s.lat = track.lat + 4.0 * std::sin(2.0 * kPi * t / (1.7 * track.period) + track.phase);
        const double degreesPerHour =
            track.speed * 3.6 / (kKmPerDegree * std::cos(track.lat * kRadian));
        s.lon = foldDegrees(track.lon + std::fmod(degreesPerHour * t, 360.0));
        systems.push_back(s);
    }
    return systems;
}

namespace {

// Calls visit(column, dxKm) for the columns of a row within reachKm of
// longitude centre (degrees), each column once even on a global grid.
template <typename Visit>
void forColumnsNear(const ForecastGrid& grid, double cosLat, double centre, double reachKm,
                    Visit visit)
{
    const double kmPerDegree = kKmPerDegree * std::max(cosLat, 1e-6);
    const double width = reachKm / kmPerDegree;
    const double first = grid.lon1 * 0.001, step = grid.di * 0.001;
    if (width >= 180.0) {
        for (int column = 0; column < grid.ni; ++column)
            visit(column, foldDegrees(first + column * step - centre) * kmPerDegree);
        return;
    }
    // The row spans [first, first + (ni - 1) step] with first in [-180, 180),
    // so the centre can appear in it at most at these turns.
    for (int turn = -1; turn <= 2; ++turn) {
        const double c = centre + 360.0 * turn;
        const int from = std::max(0, int(std::ceil((c - width - first) / step)));
        const int to = std::min(grid.ni - 1, int(std::floor((c + width - first) / step)));
        for (int column = from; column <= to; ++column)
            visit(column, (first + column * step - c) * kmPerDegree);
    }
}

}  // namespace

void SyntheticAtmosphere::pressureAndWind(double t, float* pressure, float* u, float* v) const
{
    const std::vector<System> systems = systemsAt(t);
    const size_t ni = size_t(grid.ni);
    std::vector<double> p(ni), gx(ni), gy(ni);
    for (int row = 0; row < grid.nj; ++row) {
        const double lat = rowLat[size_t(row)], cosLat = rowCos[size_t(row)];
        double background = 0, backgroundGradient = 0;
        backgroundPressure(lat, background, backgroundGradient);
        std::fill(p.begin(), p.end(), background);
        std::fill(gx.begin(), gx.end(), 0.0);
        std::fill(gy.begin(), gy.end(), backgroundGradient);
        for (size_t w = 0; w < kWaveCount; ++w) {
            // A cos(lat) G(lat) cos(n lon - drift t): the cos(lat) keeps the
            // east-west gradient finite at the poles.
            const PlanetaryWave& wave = kWaves[w];
            const double g = gauss(lat - wave.lat, wave.width);
            if (g < 1e-6)
                continue;
            const double shape = wave.amplitude * cosLat * g;
            const double shapeNorth = wave.amplitude * g *
                (-rowSin[size_t(row)] * kRadian - cosLat * 2.0 * (lat - wave.lat) / (wave.width * wave.width)) /
                kKmPerDegree;
            const double turn = wave.number * wave.drift * kRadian / 24.0 * t + wave.phase;
            const double ct = std::cos(turn), st = std::sin(turn);
            const double* cn = waveCos[w].data();
            const double* sn = waveSin[w].data();
            for (size_t c = 0; c < ni; ++c) {
                const double cw = cn[c] * ct + sn[c] * st;  // cos(n lon - turn)
                const double sw = sn[c] * ct - cn[c] * st;  // sin(n lon - turn)
                p[c] += shape * cw;
                gy[c] += shapeNorth * cw;
                gx[c] += -wave.amplitude * g * wave.number * sw / kEarthRadiusKm;
            }
        }
        for (const System& s : systems) {
            const double dy = (lat - s.lat) * kKmPerDegree, reach = 3.0 * s.radius;
            if (std::fabs(dy) > reach)
                continue;
            const double r2 = s.radius * s.radius;
            const double ey = s.amplitude * std::exp(-dy * dy / r2);
            forColumnsNear(grid, cosLat, s.lon, reach, [&](int column, double dx) {
                const double e = ey * std::exp(-dx * dx / r2);
                p[size_t(column)] += e;
                gx[size_t(column)] += e * (-2.0 * dx / r2);
                gy[size_t(column)] += e * (-2.0 * dy / r2);
            });
        }
        const size_t base = size_t(row) * ni;
        if (pressure)
            for (size_t c = 0; c < ni; ++c)
                pressure[base + c] = float(softLimit(p[c]));
        if (!u && !v)
            continue;
        // Geostrophic balance away from the equator, where it fades into
        // the trades; friction turns the wind towards low pressure.
        const double a = std::fabs(lat), sign = lat < 0 ? -1.0 : 1.0;
        const double balance = smoothstep(5.0, 15.0, a);
        const double f = 2.0 * kEarthRotation * rowSin[size_t(row)];
        const double turn = 20.0 * kRadian * sign;
        const double cosTurn = std::cos(turn), sinTurn = std::sin(turn);
        const double tradeU = -4.0 * (1.0 - balance);
        const double tradeV = -1.5 * sign * (1.0 - balance) * std::min(1.0, a / 3.0);
        for (size_t c = 0; c < ni; ++c) {
            double wu = tradeU, wv = tradeV;
            if (balance > 0) {
                // Pa/km to Pa/m.
                const double ug = -gy[c] / (kAirDensity * f) * 1e-3;
                const double vg = gx[c] / (kAirDensity * f) * 1e-3;
                const double friction = land[base + c] ? 0.55 : 0.8;
                double su = friction * (ug * cosTurn - vg * sinTurn);
                double sv = friction * (ug * sinTurn + vg * cosTurn);
                const double speed = std::hypot(su, sv);
                if (speed > 1e-9) {
                    const double limited = kMaxWind * std::tanh(speed / kMaxWind) / speed;
                    su *= limited;
                    sv *= limited;
                }
                wu += balance * su;
                wv += balance * sv;
            }
            if (u)
                u[base + c] = float(wu);
            if (v)
                v[base + c] = float(wv);
        }
    }
}

void SyntheticAtmosphere::lowRainRate(const std::vector<System>& systems, double weight,
                                      std::vector<double>& rate) const
{
    const size_t ni = size_t(grid.ni);
    for (const System& s : systems) {
        if (s.amplitude >= 0)
            continue;
        // Most rain falls ahead (east) of the centre and a little poleward,
        // in spiral bands.
        const double strength = -s.amplitude / 3200.0;
        const double core = 0.75 * s.radius, reach = 3.0 * core;
        const double poleward = (s.lat < 0 ? -0.1 : 0.1) * s.radius / kKmPerDegree;
        const double ahead = 0.3 * s.radius;
        for (int row = 0; row < grid.nj; ++row) {
            const double dy = (rowLat[size_t(row)] - s.lat - poleward) * kKmPerDegree;
            if (std::fabs(dy) > reach)
                continue;
            double* out = rate.data() + size_t(row) * ni;
            forColumnsNear(grid, rowCos[size_t(row)], s.lon, reach + ahead, [&](int column, double dx) {
                const double x = dx - ahead, d2 = x * x + dy * dy;
                if (d2 > reach * reach)
                    return;
                // cos(2 theta + d / 180 km), theta the bearing round the centre.
                const double spiral = std::sqrt(d2) / 180.0;
                const double cos2 = d2 > 0 ? (x * x - dy * dy) / d2 : 1.0, sin2 = d2 > 0 ? 2.0 * x * dy / d2 : 0.0;
                const double band = 0.65 + 0.35 * (cos2 * std::cos(spiral) - sin2 * std::sin(spiral));
                out[column] += weight * 1.8 * strength * std::exp(-d2 / (core * core)) * band;
            });
        }
    }
}

void SyntheticAtmosphere::precipitation(double t0, double t1, float* mm) const
{
    const size_t n = size_t(grid.pointCount());
    std::vector<double> total(n, 0.0);
    const double hours = t1 - t0;
    if (hours > 0) {
        // Trapezoidal sum at hourly samples (or finer).
        const int intervals = std::max(1, int(std::ceil(hours)));
        for (int k = 0; k <= intervals; ++k) {
            const double weight = hours / intervals * (k == 0 || k == intervals ? 0.5 : 1.0);
            lowRainRate(systemsAt(t0 + hours * k / intervals), weight, total);
        }
    }
    for (size_t k = 0; k < n; ++k)
        mm[k] = total[k] < 0.05 ? 0.0f : float(std::min(total[k], 10.0));
}

void SyntheticAtmosphere::rainRate(double t, float* mmPerHour) const
{
    std::vector<double> rate(size_t(grid.pointCount()), 0.0);
    lowRainRate(systemsAt(t), 1.0, rate);
    std::copy(rate.begin(), rate.end(), mmPerHour);
}

void SyntheticAtmosphere::temperature(double t, float* kelvin) const
{
    const double season = std::cos(2.0 * kPi * (dayOfYear(t) - 20.0) / kYearDays);
    const double hour = utcHour(t);
    for (int row = 0; row < grid.nj; ++row) {
        const double lat = rowLat[size_t(row)], s = rowSin[size_t(row)];
        const double sea = 273.15 + 27.5 - 33.0 * s * s - 7.0 * s * season;
        const double continental = -5.0 * s * season - 18.0 * std::max(0.0, std::fabs(lat) - 60.0) / 30.0;
        const double dayRange = 6.0 * (1.0 - 0.6 * std::fabs(s));
        const size_t base = size_t(row) * size_t(grid.ni);
        for (int column = 0; column < grid.ni; ++column) {
            const double solar = hour + columnLon[size_t(column)] / 15.0;
            const double daily = std::cos(2.0 * kPi * (solar - 15.0) / 24.0);
            const bool onLand = land[base + size_t(column)] != 0;
            kelvin[base + size_t(column)] =
                float(onLand ? sea + continental + dayRange * daily : sea + 0.3 * daily);
        }
    }
}

void SyntheticAtmosphere::waves(double t, const float* u, const float* v, float* windWaveHeight,
                                float* windWaveDirection, float* period, float* swellHeight,
                                float* swellDirection) const
{
    // Swell from a low peaks some 1500 km away and fades beyond 6000 km.
    constexpr double kSwellPeak = 1500.0, kSwellWidth = 2000.0, kSwellReach = 6500.0;
    struct Near {
        double lon, dy, strength;
    };
    const std::vector<System> systems = systemsAt(t);
    std::vector<Near> near;
    for (int row = 0; row < grid.nj; ++row) {
        const double lat = rowLat[size_t(row)], kmPerDegree = kKmPerDegree * rowCos[size_t(row)];
        near.clear();
        for (const System& s : systems) {
            const double dy = (lat - s.lat) * kKmPerDegree;
            if (s.amplitude < 0 && std::fabs(dy) < kSwellReach)
                near.push_back({s.lon, dy, -s.amplitude / 3200.0 * 3.2});
        }
        // Background swell, strongest in the Southern Ocean, running
        // north-east there and east-south-east in the north.
        const double background = 0.5 + 1.6 * gauss(lat + 52.0, 14.0) + 0.7 * gauss(lat - 55.0, 12.0);
        const double north = smoothstep(-10.0, 10.0, lat);
        const double bgEast = background * ((1.0 - north) * 0.7 + north * 0.9);
        const double bgNorth = background * ((1.0 - north) * 0.7 - north * 0.4);
        const size_t base = size_t(row) * size_t(grid.ni);
        for (int column = 0; column < grid.ni; ++column) {
            const size_t k = base + size_t(column);
            double height = background, east = bgEast, northward = bgNorth;
            for (const Near& s : near) {
                double dlon = columnLon[size_t(column)] - s.lon;
                dlon += dlon < -180.0 ? 360.0 : dlon >= 180.0 ? -360.0 : 0.0;
                const double dx = dlon * kmPerDegree;
                const double d2 = dx * dx + s.dy * s.dy;
                if (d2 > kSwellReach * kSwellReach)
                    continue;
                const double d = std::sqrt(d2);
                const double swell = s.strength * gauss(d - kSwellPeak, kSwellWidth);
                height += swell;
                // It runs away from the low.
                east += swell * dx / std::max(d, 1.0);
                northward += swell * s.dy / std::max(d, 1.0);
            }
            const double wind = std::hypot(double(u[k]), double(v[k]));
            const double sea = 8.0 * std::tanh((0.2 + 0.022 * wind * wind) / 8.0);
            const double swell = std::clamp(height, 0.2, 8.0);
            if (windWaveHeight)
                windWaveHeight[k] = float(sea);
            if (windWaveDirection)
                windWaveDirection[k] = float(bearingOf(-double(u[k]), -double(v[k])));
            if (period)
                period[k] = float(std::clamp(3.0 + 0.35 * wind + 1.1 * swell, 3.0, 14.0));
            if (swellHeight)
                swellHeight[k] = float(swell);
            if (swellDirection)
                swellDirection[k] = float(bearingOf(-east, -northward));
        }
    }
}

void SyntheticAtmosphere::seaTemperature(double t, float* kelvin) const
{
    // Warm western boundary currents, cold upwelling coasts: (K, lat,
    // width, lon, width).
    struct Current {
        double change, lat, latWidth, lon, lonWidth;
    };
    static const Current kCurrents[] = {{2.5, 38, 6, -65, 15},   {2.0, 35, 6, 145, 15},
                                        {-2.0, 32, 8, -125, 8},  {-2.0, -20, 8, 12, 6},
                                        {-2.0, -15, 10, -78, 6}};
    constexpr size_t kCurrentCount = sizeof kCurrents / sizeof kCurrents[0];
    std::vector<double> across(kCurrentCount * size_t(grid.ni));
    for (size_t k = 0; k < kCurrentCount; ++k)
        for (size_t column = 0; column < size_t(grid.ni); ++column)
            across[k * size_t(grid.ni) + column] =
                gauss(foldDegrees(columnLon[column] - kCurrents[k].lon), kCurrents[k].lonWidth);
    const double season = std::cos(2.0 * kPi * (dayOfYear(t) - 50.0) / kYearDays);
    for (int row = 0; row < grid.nj; ++row) {
        const double lat = rowLat[size_t(row)], s = rowSin[size_t(row)], c = rowCos[size_t(row)];
        const double zonal = 271.4 + 31.4 * c * c - 1.8 * s * season;
        double along[kCurrentCount];
        for (size_t k = 0; k < kCurrentCount; ++k)
            along[k] = kCurrents[k].change * gauss(lat - kCurrents[k].lat, kCurrents[k].latWidth);
        const size_t base = size_t(row) * size_t(grid.ni);
        for (size_t column = 0; column < size_t(grid.ni); ++column) {
            double value = zonal;
            for (size_t k = 0; k < kCurrentCount; ++k)
                value += along[k] * across[k * size_t(grid.ni) + column];
            kelvin[base + column] = float(std::clamp(value, 271.2, 303.0));
        }
    }
}

void SyntheticAtmosphere::tidalStream(double t, float* speed, float* direction) const
{
    struct Race {
        double lat, lon, radius;  // degrees
    };
    // Where the Channel's stream runs hardest: Alderney Race, Dover Strait,
    // Portland Bill, St Catherine's Point, Ushant.
    static const Race kRaces[] = {{49.72, -2.0, 0.35}, {51.0, 1.4, 0.45}, {50.5, -2.45, 0.25},
                                  {50.57, -1.3, 0.25}, {48.45, -5.0, 0.4}};
    const double tide = 2.0 * kPi * t / kM2Hours;
    // Away from the Channel a weak stream whose phase and axis vary
    // smoothly: its column factors are worked out once.
    const size_t ni = size_t(grid.ni);
    std::vector<double> lagCos(ni), lagSin(ni), axisCos(ni), axisSin(ni);
    for (size_t column = 0; column < ni; ++column) {
        const double lon = columnLon[column];
        lagCos[column] = std::cos(lon * 0.02);
        lagSin[column] = std::sin(lon * 0.02);
        const double axis = (45.0 + 30.0 * std::sin(3.0 * lon * kRadian)) * kRadian;
        axisCos[column] = std::cos(axis);
        axisSin[column] = std::sin(axis);
    }
    for (int row = 0; row < grid.nj; ++row) {
        const double lat = rowLat[size_t(row)], cosLat = rowCos[size_t(row)];
        const double inLat = smoothstep(48.2, 48.5, lat) * (1.0 - smoothstep(51.5, 51.8, lat));
        const double rowPhase = tide - lat * 0.05;
        const double rowCos = std::cos(rowPhase), rowSin = std::sin(rowPhase);
        const size_t base = size_t(row) * ni;
        for (size_t column = 0; column < ni; ++column) {
            const double lon = columnLon[column];
            const double channel = inLat > 0 ? inLat * smoothstep(-6.4, -6.0, lon) * (1.0 - smoothstep(2.0, 2.4, lon)) : 0.0;
            double along, across, axisC, axisS;
            if (channel <= 0) {
                constexpr double kWeak = 0.12;
                along = kWeak * (rowCos * lagCos[column] + rowSin * lagSin[column]);
                across = 0.18 * kWeak * (rowSin * lagCos[column] - rowCos * lagSin[column]);
                axisC = axisCos[column];
                axisS = axisSin[column];
            } else {
                double race = 0;
                for (const Race& r : kRaces)
                    race = std::max(race, std::exp(-((lat - r.lat) * (lat - r.lat) +
                                                     (lon - r.lon) * (lon - r.lon) * cosLat * cosLat) /
                                                   (r.radius * r.radius)));
                const double amplitude = 0.12 + channel * (0.7 + 1.68 * race);
                // The tide travels up-Channel, so the stream turns later to
                // the east; it runs along the Channel (ENE, NE in the
                // Strait) with a little rotation.
                const double lag = channel * (lon + 6.0) / 8.0 * 1.5 + (1.0 - channel) * (lat * 0.05 + lon * 0.02);
                const double axis = (channel * (75.0 - 30.0 * smoothstep(0.0, 1.8, lon)) +
                                     (1.0 - channel) * (45.0 + 30.0 * std::sin(3.0 * lon * kRadian))) *
                                    kRadian;
                along = amplitude * std::cos(tide - lag);
                across = 0.18 * amplitude * std::sin(tide - lag);
                axisC = std::cos(axis);
                axisS = std::sin(axis);
            }
            const double east = along * axisS + across * axisC;
            const double north = along * axisC - across * axisS;
            speed[base + column] = float(std::hypot(east, north));
            direction[base + column] = float(bearingOf(east, north));
        }
    }
}

void SyntheticAtmosphere::precipitationRate(double t, float* mmPerHour) const
{
    constexpr int kCells = 60;
    const size_t n = size_t(grid.pointCount()), ni = size_t(grid.ni);
    std::vector<double> rate(n, 0.0);
    for (int cell = 0; cell < kCells; ++cell) {
        // Each cell slot lives for a few hours, rests, and comes back
        // somewhere else.
        const double life = 2.5 + 3.5 * unitHash(std::uint64_t(cell), 1, 0);
        const double cycle = life + 1.0 + 4.0 * unitHash(std::uint64_t(cell), 2, 0);
        const double x = t + cycle * unitHash(std::uint64_t(cell), 3, 0);
        const double generation = std::floor(x / cycle);
        const double age = x - generation * cycle;
        if (age >= life)
            continue;
        const std::uint64_t g = std::uint64_t(std::int64_t(generation));
        const double lat0 = 25.0 + 25.0 * unitHash(std::uint64_t(cell), g, 4);
        const double lon0 = -122.0 + 52.0 * unitHash(std::uint64_t(cell), g, 5);
        const double peak = 15.0 + 45.0 * unitHash(std::uint64_t(cell), g, 6);
        const double radius = 35.0 + 70.0 * unitHash(std::uint64_t(cell), g, 7);
        const double eastward = 8.0 + 8.0 * unitHash(std::uint64_t(cell), g, 8);
        const double northward = 2.0 + 5.0 * unitHash(std::uint64_t(cell), g, 9);
        const double lat = lat0 + northward * 3.6 * age / kKmPerDegree;
        const double lon = lon0 + eastward * 3.6 * age / (kKmPerDegree * std::cos(lat0 * kRadian));
        const double strength = peak * std::pow(std::sin(kPi * age / life), 2);
        const double reach = 2.5 * radius;
        for (int row = 0; row < grid.nj; ++row) {
            const double dy = (rowLat[size_t(row)] - lat) * kKmPerDegree;
            if (std::fabs(dy) > reach)
                continue;
            double* out = rate.data() + size_t(row) * ni;
            forColumnsNear(grid, rowCos[size_t(row)], lon, reach, [&](int column, double dx) {
                out[column] += strength * std::exp(-(dx * dx + dy * dy) / (radius * radius));
            });
        }
    }
    for (size_t k = 0; k < n; ++k)
        mmPerHour[k] = rate[k] < 0.04 ? 0.0f : float(std::min(rate[k], 200.0));
}
