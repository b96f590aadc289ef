// The wind barbs: each barb worked out once as integer lines and pennant
// rectangles in its own frame, then drawn alone or, for the layer, with
// every barb's lines in one call.
#include "WindBarbs.h"

#include "FieldMessages.h"
#include "GeoProjector.h"
#include "GribKeys.h"
#include "GridSymbols.h"
#include "RenderMath.h"

#include <QLine>
#include <QPainter>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One barb in its own frame, pixels before the 1.5 scale: the staff and
// feathers as integer lines, the pennants as rectangles.
struct BarbFigure {
    double angleDegrees = 0.0;
    QLine lines[8];
    int lineCount = 0;
    QRectF pennants[8];
    int pennantCount = 0;
};

constexpr double kFeatherCos = 0.32653062267136657;
constexpr double kFeatherRise = 0.5789267967801814;
constexpr double kFeatherRun = 0.2;
constexpr double kHalfFeatherRun = 0.11428571598870411;
constexpr double kPennantSlot = 0.4;
constexpr double kPennantHeight = 0.35;
constexpr double kBarbScale = 1.5;

// False when the barb is not drawn (below one knot).
bool barbFigure(double u, double v, double speed, BarbFigure& figure)
{
    using RenderMath::truncToInt;
    const int knots = truncToInt(speed * 1.944012421496605);
    if (knots <= 0)
        return false;
    const int pennants = knots / 50;
    const int rest = knots % 50;
    const int feathers = rest / 10;
    const int halfFeathers = (rest % 10) / 5;
    figure.angleDegrees = -(std::atan2(v, u) - std::atan2(0.0, 1.0)) * 57.29582574928754;
    figure.lineCount = 0;
    figure.pennantCount = 0;
    auto addLine = [&figure](double x1, double y1, double x2, double y2) {
        if (figure.lineCount < 8)
            figure.lines[figure.lineCount++] = QLine(truncToInt(10.0 * x1), truncToInt(-10.0 * y1),
                                                     truncToInt(10.0 * x2), truncToInt(-10.0 * y2));
    };
    addLine(-0.5, 0.0, 0.5, 0.0);
    double cursor = -0.5;
    for (int i = 0; i < pennants; ++i) {
        // A solid flag over the upwind half of its slot, lower than a
        // feather: the next feather leans back over the slot, and its tip
        // must stand clear of the flag to be counted.
        if (figure.pennantCount < 8 && cursor < 0.5)
            figure.pennants[figure.pennantCount++] =
                QRectF(10.0 * cursor, -10.0 * kPennantHeight, 10.0 * kPennantSlot / 2, 10.0 * kPennantHeight);
        cursor += kPennantSlot;
    }
    for (int i = 0; i < feathers; ++i) {
        addLine(cursor, 0.0, cursor - kFeatherRun, kFeatherRise);
        cursor += kFeatherRun;
    }
    if (halfFeathers > 0)
        addLine(cursor, 0.0, cursor - kHalfFeatherRun, std::sin(std::acos(kFeatherCos)) * 0.35);
    return true;
}

QTransform barbTransform(const QPointF& at, double angleDegrees)
{
    QTransform transform;
    transform.translate(at.x(), at.y());
    transform.rotate(angleDegrees);
    transform.scale(kBarbScale, kBarbScale);
    return transform;
}

}  // namespace

void WindBarbs::paintBarb(QPainter* painter, double u, double v, double speed)
{
    BarbFigure figure;
    if (!barbFigure(u, v, speed, figure))
        return;
    painter->rotate(figure.angleDegrees);
    painter->scale(kBarbScale, kBarbScale);
    painter->drawLines(figure.lines, figure.lineCount);
    if (figure.pennantCount > 0) {
        painter->save();
        painter->setBrush(painter->pen().color());
        for (int i = 0; i < figure.pennantCount; ++i)
            painter->drawRect(figure.pennants[i]);
        painter->restore();
    }
}

void WindBarbs::paintLayer(QPainter* painter, GeoProjector& projector, const CompoundMsg& compound)
{
    using FieldMessages::isPresent;
    const int width = projector.frameWidth();
    const GribMsg* u = FieldMessages::messageWithKey(compound, GribKey::windU);
    const GribMsg* v = FieldMessages::messageWithKey(compound, GribKey::windV);
    if (!FieldMessages::hasUsableGrid(u) || !v || !v->values || v->ni != u->ni || v->nj != u->nj || width <= 0)
        return;
    painter->save();
    painter->setPen(QPen(QColor(0, 0, 0, 255), 0));
    const long long s = (long long)u->di * 1000;
    const long long columnsOnScreen =
        (long long)(float(width) * 180.0f / float(projector.getDiameter()) * 1e6f) / s;
    const int spacing = GridSymbols::spacing(s, 20009, 100099, 500099);
    const int step = int(std::max<long long>(1, columnsOnScreen * spacing / width + 1));

    // Every barb's lines in frame pixels, drawn in one call; pennants go
    // through the painter's transform as filled rectangles.
    std::vector<QLineF> lines;
    const QTransform base = painter->worldTransform();
    for (int i = 0; i < u->nj; i += step) {
        for (int j = 0; j < u->ni; j += step) {
            const float uValue = u->getValueAtInd(i, j);
            const float vValue = v->getValueAtInd(i, j);
            if (!isPresent(uValue) || !isPresent(vValue))
                continue;
            const double speed = std::sqrt(double(uValue) * uValue + double(vValue) * vValue);
            int x = 0;
            int y = 0;
            if (!GridSymbols::pointOnScreen(projector, *u, i, j, x, y))
                continue;
            BarbFigure figure;
            if (!barbFigure(uValue, vValue, speed, figure))
                continue;
            const QTransform transform = barbTransform(QPointF(x, y), figure.angleDegrees) * base;
            for (int k = 0; k < figure.lineCount; ++k)
                lines.push_back(transform.map(QLineF(figure.lines[k])));
            if (figure.pennantCount > 0) {
                painter->save();
                painter->setWorldTransform(transform);
                painter->setBrush(painter->pen().color());
                for (int k = 0; k < figure.pennantCount; ++k)
                    painter->drawRect(figure.pennants[k]);
                painter->restore();
            }
        }
    }
    painter->resetTransform();
    painter->drawLines(lines.data(), int(lines.size()));
    painter->restore();
}
