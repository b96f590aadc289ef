// How a field's values lie on its grid in the file, and their placement
// into the model's order: rows north to south, each row west to east.
#ifndef SKYVANE_STOREDGRID_H
#define SKYVANE_STOREDGRID_H

#include <vector>

class GribMsg;

struct StoredGrid {
    int ni = 0;
    int nj = 0;
    int lat1 = 0;  // first and last point as stored, millidegrees
    int lon1 = 0;
    int lat2 = 0;
    int lon2 = 0;
    int di = 0;    // increments, millidegrees, as magnitudes
    int dj = 0;
    bool iNegative = false;      // columns run east to west
    bool jPositive = false;      // rows run south to north
    bool jConsecutive = false;   // values run down columns rather than along rows
    bool alternateRows = false;  // every other row runs the opposite way
    int gaussianN = 0;           // regular Gaussian grid: parallels between pole and equator

    bool isNorthWestOrder() const { return !iNegative && !jPositive && !jConsecutive && !alternateRows; }
};

// Whether a grid of this many points can come from a message this long:
// beyond a few million points, one bit a point at least.  A constant field
// may pack any grid into nothing, but a huge one from a small message is a
// damaged message that would only exhaust memory.
bool plausiblePointCount(long long points, long long messageOctets);

// Fills msg's grid (lat1/lon1 the north-west corner, lat2/lon2 the
// south-east one, rowLats for Gaussian grids) from the stored grid.
void placeGrid(const StoredGrid& grid, GribMsg& msg);

// The stored values, ni * nj of them, reordered into the model's order.
void reorderToNorthWest(const StoredGrid& grid, const float* stored, float* placed);
void reorderToNorthWest(const StoredGrid& grid, const double* stored, float* placed);

// Latitudes, millidegrees north to south, of the Gaussian rows from
// north to south that lie between the two stored latitudes.  Empty when
// the count does not come out as nj.
std::vector<int> gaussianRowLatitudes(int gaussianN, int northMilli, int southMilli, int nj);

#endif
