#include "ForecastGrid.h"

#include "CoverageAreas.h"
#include "ForecastDataSets.h"

#include <algorithm>

namespace {

constexpr int kTurn = 360000;
constexpr int kFineStep = 50;

qint64 floorTo(qint64 value, qint64 step)
{
    qint64 q = value / step;
    if (value % step != 0 && value < 0)
        --q;
    return q * step;
}

qint64 ceilTo(qint64 value, qint64 step)
{
    return -floorTo(-value, step);
}

}  // namespace

int ForecastGrid::stepOf(int resolution)
{
    if (!findForecastDataSet(resolution))
        return 0;
    const int step = gridStepMilli(resolution);
    return step > 0 ? step : kFineStep;
}

bool ForecastGrid::coverageOf(int resolution, GeoBox& box)
{
    if (!findForecastDataSet(resolution))
        return false;
    if (resolution == 1 || resolution == 2) {
        box = {90000, -180000, 180000, -90000};
        return true;
    }
    const CoverageArea* area = findCoverageArea(resolution == 26 ? 25 : resolution);
    if (!area || area->pointCount < 1)
        return false;
    double top = -90, bottom = 90, left = 1e9, right = -1e9;
    for (int k = 0; k < area->pointCount; ++k) {
        top = std::max(top, area->points[k][0]);
        bottom = std::min(bottom, area->points[k][0]);
        left = std::min(left, area->points[k][1]);
        right = std::max(right, area->points[k][1]);
    }
    auto milli = [](double degrees) { return int(degrees * 1000.0 + (degrees < 0 ? -0.5 : 0.5)); };
    box = {milli(top), milli(left), milli(right), milli(bottom)};
    return true;
}

int ForecastGrid::foldLongitude(qint64 lonMilli)
{
    qint64 folded = (lonMilli + 180000) % kTurn;
    if (folded < 0)
        folded += kTurn;
    return int(folded - 180000);
}

bool ForecastGrid::clip(const ForecastRequest& request, GeoBox& clipped, QString& error)
{
    if (request.topMilli <= request.bottomMilli) {
        error = QStringLiteral("the area's top (%1) must lie north of its bottom (%2)")
                    .arg(request.topMilli)
                    .arg(request.bottomMilli);
        return false;
    }
    if (request.leftMilli >= request.rightMilli) {
        error = QStringLiteral("the area's left edge (%1) must lie west of its right edge (%2)")
                    .arg(request.leftMilli)
                    .arg(request.rightMilli);
        return false;
    }
    GeoBox cover;
    if (!coverageOf(request.resolution, cover)) {
        error = QStringLiteral("resolution %1 is not a forecast data set").arg(request.resolution);
        return false;
    }
    const qint64 top = std::min<qint64>(request.topMilli, cover.top);
    const qint64 bottom = std::max<qint64>(request.bottomMilli, cover.bottom);
    const qint64 left = request.leftMilli;
    const qint64 right = std::min<qint64>(request.rightMilli, left + kTurn);
    qint64 bestLeft = 0, bestRight = 0, bestOverlap = 0;
    if (cover.right - cover.left >= kTurn) {
        bestLeft = left;
        bestRight = right;
        bestOverlap = right - left;
    } else {
        // The coverage and the request may write the same longitudes a
        // turn apart (Alaska runs below -180°): try the nearby turns.
        const qint64 turns = floorTo(qint64(cover.left) - left, kTurn) / kTurn;
        for (qint64 k = turns - 1; k <= turns + 2; ++k) {
            const qint64 l = std::max(left + k * kTurn, qint64(cover.left));
            const qint64 r = std::min(right + k * kTurn, qint64(cover.right));
            if (r - l > bestOverlap) {
                bestOverlap = r - l;
                bestLeft = l;
                bestRight = r;
            }
        }
    }
    if (top <= bottom || bestOverlap <= 0) {
        error = QStringLiteral("the area lies outside the coverage of data set %1")
                    .arg(request.resolution);
        return false;
    }
    const qint64 shift = qint64(foldLongitude(bestLeft)) - bestLeft;
    clipped.top = int(top);
    clipped.bottom = int(bottom);
    clipped.left = int(bestLeft + shift);
    clipped.right = int(bestRight + shift);
    return true;
}

ForecastGrid ForecastGrid::enclosing(const GeoBox& box, int step)
{
    ForecastGrid grid;
    const qint64 top = std::min<qint64>(ceilTo(box.top, step), 90000);
    const qint64 bottom = std::max<qint64>(floorTo(box.bottom, step), -90000);
    const qint64 left = floorTo(box.left, step);
    const qint64 right = ceilTo(box.right, step);
    grid.di = grid.dj = step;
    grid.lat1 = int(top);
    grid.nj = int((top - bottom) / step) + 1;
    grid.lon1 = foldLongitude(left);
    grid.ni = right - left >= kTurn ? kTurn / step : int((right - left) / step) + 1;
    return grid;
}
