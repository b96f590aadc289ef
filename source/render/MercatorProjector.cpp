// The Mercator projection: longitude linear in pixels, screen rows to
// latitudes on the sphere and latitudes to rows on the ellipsoid, with a
// centre near a pole taken at 89°.
#include "GeoProjector.h"

#include "RenderMath.h"

#include <algorithm>
#include <cmath>
#include <vector>

using RenderMath::clampToInt;
using RenderMath::kMicroToRadians;
using RenderMath::truncToInt;

namespace {

constexpr float kMaxCentreRadians = 89.0f * 0.017453292f;

// The Mercator ordinate of sin(latitude) on the ellipsoid, in radians.
float mercatorOrdinate(float s)
{
    const float e = 0.08181919f;
    const float es = e * s;
    return float(0.5f * float(std::log(double((1.0f + s) * (1.0f / (1.0f - s))))) -
                 e * 0.5f * float(std::log(double((1.0f + es) * (1.0f / (1.0f - es))))));
}

}  // namespace

MercatorProjector::MercatorProjector()
{
    screen2GeoSlot = static_cast<Screen2GeoSlot>(&MercatorProjector::screen2Geo);
    geo2ScreenSlot = static_cast<Geo2ScreenSlot>(&MercatorProjector::geo2Screen);
}

void MercatorProjector::prepareProjector()
{
    // At a pole the ordinate is infinite: a centre there is taken at 89°,
    // which shows the same map (nothing beyond 80° is drawn).
    const float latitude = std::clamp(centerLatRad, -kMaxCentreRadians, kMaxCentreRadians);
    const float t = std::tan(latitude);
    centerRow = truncToInt(std::log(t + std::sqrt(t * t + 1.0f)) * (1.0f / radiansPerPixel));
}

int MercatorProjector::rowLatitude(int y) const
{
    const float angle = float((long long)centerY + centerRow - y) * radiansPerPixel;
    return truncToInt(std::atan(std::sinh(double(angle))) * 57295776.3671875);
}

bool MercatorProjector::screen2Geo(int x, int y, int& latMicro, int& lonMicro)
{
    latMicro = rowLatitude(y);
    lonMicro = wrapLongitude(columnLongitude(x));
    return true;
}

bool MercatorProjector::geo2Screen(int latMicro, int lonMicro, int& x, int& y)
{
    x = clampToInt(((long long)lonMicro - centerLonMicro) / scaleMicro + centerX);
    const float s0 = std::sin(std::clamp(centerLatRad, -kMaxCentreRadians, kMaxCentreRadians));
    const float s = std::sin(float(latMicro) * kMicroToRadians);
    y = truncToInt(float(centerY) + (1.0f / radiansPerPixel) * (mercatorOrdinate(s0) - mercatorOrdinate(s)));
    return true;
}

void MercatorProjector::render(QPainter& painter)
{
    std::vector<int> rowLat(size_t(std::max(0, height)));
    for (int y = 0; y < height; ++y)
        rowLat[size_t(y)] = rowLatitude(y);
    renderFrame(painter, rowLat);
}
