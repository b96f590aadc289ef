// Placing grid-point symbols: the spacing steps and the grid point's screen
// position, kept only when a symbol there can reach into the frame.
#include "GridSymbols.h"

#include "GeoProjector.h"
#include "GribFile.h"
#include "RenderMath.h"

namespace {

// How far a barb or arrow reaches from its grid point, in pixels: points
// farther off the frame draw nothing in it.
constexpr int kSymbolReach = 24;

// Whether a symbol at (x, y) can reach into a frame of width x height.
bool nearFrame(int x, int y, int width, int height)
{
    return x > -kSymbolReach && x < width + kSymbolReach && y > -kSymbolReach && y < height + kSymbolReach;
}

}  // namespace

int GridSymbols::spacing(long long stepMicro, long long fine, long long medium, long long coarse)
{
    if (stepMicro <= fine)
        return 12;
    if (stepMicro <= medium)
        return 22;
    if (stepMicro <= coarse)
        return 32;
    return 42;
}

bool GridSymbols::pointOnScreen(GeoProjector& projector, const GribMsg& msg, int row, int column, int& x, int& y)
{
    const long long lat = msg.rowLats.size() == size_t(msg.nj) && row >= 0 && row < msg.nj
                              ? (long long)msg.rowLats[size_t(row)] * 1000
                              : (long long)msg.lat1 * 1000 - (long long)row * msg.dj * 1000;
    const long long lon = RenderMath::nearestCopy((long long)msg.lon1 * 1000 + (long long)column * msg.di * 1000,
                                                  projector.getCenterLon());
    projector.geo2Screen(RenderMath::clampToInt(lat), RenderMath::clampToInt(lon), x, y);
    return nearFrame(x, y, projector.frameWidth(), projector.frameHeight());
}
