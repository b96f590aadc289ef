// The equirectangular (plate carrée) projection: latitude and longitude
// both linear in pixels, the same number of microdegrees per pixel across
// and down.
#include "GeoProjector.h"

#include "RenderMath.h"

#include <algorithm>
#include <vector>

using RenderMath::clampToInt;

EquirectProjector::EquirectProjector()
{
    screen2GeoSlot = static_cast<Screen2GeoSlot>(&EquirectProjector::screen2Geo);
    geo2ScreenSlot = static_cast<Geo2ScreenSlot>(&EquirectProjector::geo2Screen);
}

void EquirectProjector::prepareProjector()
{
    centerRow = centerLatMicro / scaleMicro;
    mapTop = centerRow + ((height - diameter) >> 1);
    mapBottom = mapTop + diameter;
}

bool EquirectProjector::screen2Geo(int x, int y, int& latMicro, int& lonMicro)
{
    if (y < mapTop || y >= mapBottom)
        return false;
    latMicro = clampToInt((long long)(centerY - y) * scaleMicro + centerLatMicro);
    lonMicro = wrapLongitude(columnLongitude(x));
    return true;
}

bool EquirectProjector::geo2Screen(int latMicro, int lonMicro, int& x, int& y)
{
    x = clampToInt(((long long)lonMicro - centerLonMicro) / scaleMicro + centerX);
    y = clampToInt(centerY - ((long long)latMicro - centerLatMicro) / scaleMicro);
    return true;
}

void EquirectProjector::render(QPainter& painter)
{
    std::vector<int> rowLat(size_t(std::max(0, height)));
    for (int y = 0; y < height; ++y)
        rowLat[size_t(y)] = clampToInt((long long)(centerY - y) * scaleMicro + centerLatMicro);
    renderFrame(painter, rowLat);
}
