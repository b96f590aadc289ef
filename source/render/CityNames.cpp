// The city layer: balls shaded by a radial gradient, names in a small
// font, placed on the copy of the world in view.  The places are recorded
// as they are drawn, so a hit test sees exactly what the frame shows.
#include "CityNames.h"

#include "GeoProjector.h"
#include "RenderMath.h"
#include "SharedData.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// A ball smaller than this square is hard to hit with a mouse.
constexpr int kMinTargetHalfPx = 5;
// Around the ball, so that a click just beside it still counts.
constexpr int kTargetMarginPx = 2;

QRect dotTarget(int x, int y, int radius)
{
    const int half = std::max(radius + kTargetMarginPx, kMinTargetHalfPx);
    return QRect(x - half, y - half, 2 * half + 1, 2 * half + 1);
}

}  // namespace

void CityNames::paint(QPainter& painter, GeoProjector& projector, const SharedData* data, int threshold,
                      std::vector<DrawnCity>& drawn)
{
    drawn.clear();
    if (!data)
        return;
    const int width = projector.frameWidth();
    const int height = projector.frameHeight();
    painter.save();
    const QFont font("Helvetica", 9);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int half = metrics.height() >> 1;
    QPen pen = painter.pen();
    pen.setWidthF(0.5);
    pen.setColor(QColor::fromRgba(0xFF000000));
    painter.setPen(pen);
    QRadialGradient gradient(QPointF(0.5, 0.5), 0.5, QPointF(0.3, 0.4));
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0.0, QColor::fromRgba(0xFFFFACAC));
    gradient.setColorAt(0.5, QColor::fromRgba(0xFFFF1B1B));
    gradient.setColorAt(1.0, QColor::fromRgba(0xFFB00000));
    painter.setBrush(gradient);
    painter.setRenderHint(QPainter::Antialiasing, true);
    std::vector<QPoint> named;
    const int centerLonMicro = projector.getCenterLon();
    for (const CityData* city = data->cities; city && city->population >= threshold; city = city->next) {
        int x = 0;
        int y = 0;
        const long long lonMicro = RenderMath::nearestCopy(city->lonMicro, centerLonMicro);
        projector.geo2Screen(city->latMicro, RenderMath::clampToInt(lonMicro), x, y);
        if (x < 0 || x >= width || y < 0 || y >= height)
            continue;
        int radius = 0;
        for (unsigned ratio = unsigned(city->population / std::max(1, threshold)); ratio; ratio >>= 1)
            ++radius;
        painter.drawEllipse(QRect(x - radius, y - radius, 2 * radius, 2 * radius));
        DrawnCity& record = drawn.emplace_back();
        record.dotTarget = dotTarget(x, y, radius);
        record.name = QString::fromUtf8(city->name);
        record.latMicro = city->latMicro;
        record.lonMicro = city->lonMicro;
        bool crowded = false;
        for (const QPoint& other : named)
            if (std::abs(other.x() - x) < 25 && std::abs(other.y() - y) < half) {
                crowded = true;
                break;
            }
        if (crowded)
            continue;
        named.emplace_back(x, y);
        const int nameWidth = metrics.horizontalAdvance(record.name);
        const QPoint baseline(x - nameWidth / 2, y - radius - 3);
        painter.drawText(baseline, record.name);
        record.nameBox = QRect(baseline.x(), baseline.y() - metrics.ascent(), nameWidth, metrics.height());
    }
    painter.restore();
}

const DrawnCity* CityNames::cityAt(const std::vector<DrawnCity>& drawn, const QPoint& point)
{
    const auto onTop = std::find_if(drawn.rbegin(), drawn.rend(), [&point](const DrawnCity& city) {
        return city.dotTarget.contains(point) || city.nameBox.contains(point);
    });
    return onTop == drawn.rend() ? nullptr : &*onTop;
}
