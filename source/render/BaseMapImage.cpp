// The base map's tracing: each screen column placed in the western or
// eastern land mask once per view, then the pixels classed as sea, land or
// coast strip by strip on all cores.
#include "BaseMapImage.h"

#include "LandMaskImage.h"
#include "ParallelRanges.h"
#include "SharedData.h"

#include <QImage>

using RenderMath::kHalfTurnMicro;
using RenderMath::kTurnMicro;

namespace {

// Land-test results; kUntested for pixels the masks do not cover.
enum LandTest { kUntested = -1, kTestedSea = 0, kTestedLand = 1 };

bool usableMask(const QImage& mask)
{
    return !mask.isNull() && mask.format() == QImage::Format_Mono &&
           mask.width() >= LandMaskImage::kWidth && mask.height() >= LandMaskImage::kHeight;
}

}  // namespace

bool BaseMapImage::Key::operator==(const Key& other) const
{
    return data == other.data && width == other.width && height == other.height &&
           diameter == other.diameter && centerLatMicro == other.centerLatMicro &&
           centerLonMicro == other.centerLonMicro && rowLatMicro == other.rowLatMicro;
}

void BaseMapImage::update(const SharedData* data, int width, int height, int diameter, int centerLatMicro,
                          const RenderMath::ColumnScale& columns, const std::vector<int>& rowLatMicro)
{
    Key wanted;
    wanted.data = data;
    wanted.width = width;
    wanted.height = height;
    wanted.diameter = diameter;
    wanted.centerLatMicro = centerLatMicro;
    wanted.centerLonMicro = columns.centerLonMicro;
    wanted.rowLatMicro = rowLatMicro;
    if (wanted == key && pixels.size() == size_t(width) * size_t(height))
        return;
    key = std::move(wanted);
    pixels.assign(size_t(width) * size_t(height), kSea);
    const bool west = data && usableMask(data->westernMask);
    const bool east = data && usableMask(data->easternMask);
    if (!west && !east)
        return;
    maskColumns.resize(size_t(width));
    for (int x = 0; x < width; ++x) {
        long long folded = columns.longitude(x) % kTurnMicro;
        if (folded > kHalfTurnMicro)
            folded -= kTurnMicro;
        else if (folded < -kHalfTurnMicro)
            folded += kTurnMicro;
        MaskColumn& column = maskColumns[size_t(x)];
        if (folded < 0 && west) {
            // Just west of 0° the arithmetic gives 18000: the last column.
            column = {0, std::min(int(folded / 10000) + 18000, LandMaskImage::kWidth - 1)};
        } else if (folded >= 0 && folded < kHalfTurnMicro && east) {
            column = {1, int(folded / 10000)};
        } else {
            column = {-1, 0};
        }
    }
    forEachRange(width, 64, [this, &rowLatMicro](int x0, int x1) { traceCoastStrip(x0, x1, rowLatMicro); });
}

// The coastline tracing, column strip by column strip: a pixel depends on
// its row's land tests and on the finished pixel above, which lies in the
// same strip, so the strips can be traced at once and give what one pass
// over the whole frame in raster order gives.
void BaseMapImage::traceCoastStrip(int x0, int x1, const std::vector<int>& rowLatMicro)
{
    const SharedData* data = key.data;
    const int width = key.width;
    const int height = key.height;
    const std::vector<MaskColumn>& columns = maskColumns;
    auto drawnRow = [&rowLatMicro](int y) { return drawnLatitude(rowLatMicro[size_t(y)]); };
    auto landTest = [&](int x, int y) -> int {
        const MaskColumn& column = columns[size_t(x)];
        if (column.mask < 0)
            return kUntested;
        const int maskRow = (80000000 - rowLatMicro[size_t(y)]) / 10000;
        const QImage& mask = column.mask == 0 ? data->westernMask : data->easternMask;
        return LandMaskImage::isSet(mask, column.column, maskRow) ? kTestedLand : kTestedSea;
    };
    // The "previous pixel was land" flag on reaching (x, y): the last land
    // test before it in raster order, across rows.
    auto flagBefore = [&](int x, int y) {
        for (int yy = y; yy >= 0; --yy) {
            if (!drawnRow(yy))
                continue;
            for (int xx = (yy == y ? x : width) - 1; xx >= 0; --xx) {
                const int test = landTest(xx, yy);
                if (test != kUntested)
                    return test == kTestedLand;
            }
        }
        return false;
    };

    for (int y = 0; y < height; ++y) {
        if (!drawnRow(y))
            continue;
        uint8_t* out = &pixels[size_t(y) * width];
        const uint8_t* above = y > 0 ? out - width : nullptr;
        bool previousLand = flagBefore(x0, y);
        int next = landTest(x0, y);
        for (int x = x0; x < x1; ++x) {
            const int test = next;
            next = x + 1 < width ? landTest(x + 1, y) : kUntested;
            uint8_t pixel = kSea;
            if (test == kTestedLand) {
                pixel = above && above[x] == kSea ? kCoast : kLand;
                previousLand = true;
            } else if (test == kTestedSea) {
                if ((previousLand && x >= 1) || (above && above[x] == kLand))
                    pixel = kCoast;
                previousLand = false;
            }
            // Land to the right, coming from sea, marks this pixel.
            if (next == kTestedLand && !previousLand && pixel == kSea)
                pixel = kLateCoast;
            out[x] = pixel;
        }
    }
}
