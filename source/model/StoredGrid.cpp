#include "StoredGrid.h"

#include "GribFile.h"

#include <eccodes.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int kMaxGaussianN = 8000;  // beyond any model run today
// Gaussian latitudes are stated to the millidegree or finer: a row within
// this many millidegrees of a stated end is that end.
constexpr int kLatitudeSlack = 2;

}  // namespace

bool plausiblePointCount(long long points, long long messageOctets)
{
    constexpr long long kPointsWithoutQuestion = 4LL * 1024 * 1024;
    constexpr long long kPointsPerOctet = 8;
    return points <= kPointsWithoutQuestion || points / kPointsPerOctet <= messageOctets;
}

void placeGrid(const StoredGrid& grid, GribMsg& msg)
{
    msg.ni = grid.ni;
    msg.nj = grid.nj;
    msg.di = grid.di;
    msg.dj = grid.dj;
    msg.lat1 = grid.jPositive ? grid.lat2 : grid.lat1;
    msg.lat2 = grid.jPositive ? grid.lat1 : grid.lat2;
    msg.lon1 = grid.iNegative ? grid.lon2 : grid.lon1;
    msg.lon2 = grid.iNegative ? grid.lon1 : grid.lon2;
    msg.rowLats.clear();
    if (grid.gaussianN > 0) {
        msg.rowLats = gaussianRowLatitudes(grid.gaussianN, msg.lat1, msg.lat2, grid.nj);
        if (grid.nj > 1)
            msg.dj = int(std::lround(double(msg.lat1 - msg.lat2) / (grid.nj - 1)));
    }
}

namespace {

template <typename Stored>
void reorder(const StoredGrid& grid, const Stored* stored, float* placed)
{
    const ptrdiff_t ni = grid.ni;
    const ptrdiff_t nj = grid.nj;
    // Position k along the stored sequence: its line and place in the line.
    const ptrdiff_t lineLength = grid.jConsecutive ? nj : ni;
    for (ptrdiff_t k = 0; k < ni * nj; ++k) {
        const ptrdiff_t line = k / lineLength;
        ptrdiff_t along = k % lineLength;
        if (grid.alternateRows && line % 2 == 1)
            along = lineLength - 1 - along;
        ptrdiff_t i = grid.jConsecutive ? line : along;  // column as stored
        ptrdiff_t j = grid.jConsecutive ? along : line;  // row as stored
        if (grid.iNegative)
            i = ni - 1 - i;
        if (grid.jPositive)
            j = nj - 1 - j;
        placed[j * ni + i] = float(stored[k]);
    }
}

}  // namespace

void reorderToNorthWest(const StoredGrid& grid, const float* stored, float* placed)
{
    reorder(grid, stored, placed);
}

void reorderToNorthWest(const StoredGrid& grid, const double* stored, float* placed)
{
    reorder(grid, stored, placed);
}

std::vector<int> gaussianRowLatitudes(int gaussianN, int northMilli, int southMilli, int nj)
{
    std::vector<int> rows;
    if (gaussianN < 1 || gaussianN > kMaxGaussianN)
        return rows;
    std::vector<double> all(size_t(2 * gaussianN));
    if (codes_get_gaussian_latitudes(gaussianN, all.data()) != 0)
        return rows;
    for (double lat : all) {  // north to south
        const int milli = int(std::lround(lat * 1000.0));
        if (milli <= northMilli + kLatitudeSlack && milli >= southMilli - kLatitudeSlack)
            rows.push_back(milli);
    }
    if (int(rows.size()) != nj)
        rows.clear();
    return rows;
}
