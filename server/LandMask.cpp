#include "LandMask.h"

#include "ForecastGrid.h"
#include "LandOutlines.h"
#include "LandMaskImage.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The built-in coastline, rasterised once at 0.05° (7200 x 3600 bits,
// 3.2 MB), row 0 at 90° N, column 0 at 180° W.
class OutlineRaster {
public:
    static constexpr int kColumns = 7200;
    static constexpr int kRows = 3600;
    static constexpr double kStep = 0.05;

    OutlineRaster() : bits(size_t(kColumns / 8) * kRows, 0)
    {
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < kLandOutlineCount; ++k) {
                const LandOutline& outline = kLandOutlines[k];
                if (outline.water == (pass == 1))
                    fillOutline(outline);
            }
        }
    }

    bool land(double lat, double lon) const
    {
        const int row = std::clamp(int(std::floor((90.0 - lat) / kStep)), 0, kRows - 1);
        int column = int(std::floor((lon + 180.0) / kStep)) % kColumns;
        if (column < 0)
            column += kColumns;
        return bits[size_t(row) * (kColumns / 8) + size_t(column / 8)] & (0x80 >> (column % 8));
    }

private:
    // Even-odd scanline fill at each row's central latitude; spans beyond
    // ±180° wrap round.
    void fillOutline(const LandOutline& outline)
    {
        std::vector<double> crossings;
        for (int row = 0; row < kRows; ++row) {
            const double lat = 90.0 - (row + 0.5) * kStep;
            crossings.clear();
            for (int k = 0; k < outline.pointCount; ++k) {
                const double* a = outline.points[k];
                const double* b = outline.points[(k + 1) % outline.pointCount];
                if ((a[0] <= lat) == (b[0] <= lat))
                    continue;
                crossings.push_back(a[1] + (lat - a[0]) * (b[1] - a[1]) / (b[0] - a[0]));
            }
            std::sort(crossings.begin(), crossings.end());
            for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
                const int first = int(std::ceil((crossings[k] + 180.0) / kStep - 0.5));
                const int last = int(std::floor((crossings[k + 1] + 180.0) / kStep - 0.5));
                for (int c = first; c <= last; ++c) {
                    const int column = ((c % kColumns) + kColumns) % kColumns;
                    unsigned char& byte = bits[size_t(row) * (kColumns / 8) + size_t(column / 8)];
                    const unsigned char bit = static_cast<unsigned char>(0x80 >> (column % 8));
                    if (outline.water)
                        byte = static_cast<unsigned char>(byte & ~bit);
                    else
                        byte |= bit;
                }
            }
        }
    }

    std::vector<unsigned char> bits;
};

const OutlineRaster& outlines()
{
    static const OutlineRaster raster;
    return raster;
}

}  // namespace

bool LandMask::loadImages(const QString& dir, QString* error)
{
    const QDir d(dir);
    QImage w, e;
    if (!LandMaskImage::read(d.filePath(QLatin1String(LandMaskImage::kWesternFile)), w, error) ||
        !LandMaskImage::read(d.filePath(QLatin1String(LandMaskImage::kEasternFile)), e, error))
        return false;
    west = w;
    east = e;
    return true;
}

bool LandMask::imageLand(long long latMicro, long long lonMicro, bool& land) const
{
    if (west.isNull() || latMicro > 80000000LL)
        return false;
    const long long row = (80000000LL - latMicro) / 10000;
    if (row >= kImageHeight)
        return false;
    // Longitude folded into [-180°, 180°); floor division, so that a point
    // just west of Greenwich lands in the last western column.
    long long lon = (lonMicro + 180000000LL) % 360000000LL;
    if (lon < 0)
        lon += 360000000LL;
    lon -= 180000000LL;
    long long column = lon >= 0 ? lon / 10000 : -((-lon + 9999) / 10000) + kImageWidth;
    column = std::clamp<long long>(column, 0, kImageWidth - 1);
    const QImage& image = lon >= 0 ? east : west;
    const uchar* line = image.constScanLine(int(row));
    land = line[column / 8] & (0x80 >> (column % 8));
    return true;
}

bool LandMask::isLand(int latMilli, int lonMilli) const
{
    bool land = false;
    if (imageLand(latMilli * 1000LL, lonMilli * 1000LL, land))
        return land;
    return outlines().land(latMilli * 0.001, lonMilli * 0.001);
}

void LandMask::fill(const ForecastGrid& grid, std::vector<unsigned char>& land) const
{
    land.assign(size_t(grid.pointCount()), 0);
    for (int row = 0; row < grid.nj; ++row) {
        const int lat = grid.lat1 - row * grid.dj;
        unsigned char* out = land.data() + size_t(row) * size_t(grid.ni);
        for (int column = 0; column < grid.ni; ++column)
            out[column] = isLand(lat, grid.lon1 + column * grid.di) ? 1 : 0;
    }
}
