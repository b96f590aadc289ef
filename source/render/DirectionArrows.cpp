// The direction arrows: one nine-point outline turned to each bearing at
// its grid point.
#include "DirectionArrows.h"

#include "FieldMessages.h"
#include "GeoProjector.h"
#include "GridSymbols.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

void DirectionArrows::paint(QPainter* painter, GeoProjector& projector, const GribMsg* magnitude,
                            const GribMsg* direction, bool reverse)
{
    using FieldMessages::isPresent;
    const int width = projector.frameWidth();
    if (!FieldMessages::hasUsableGrid(direction) || !magnitude || !magnitude->values || width <= 0)
        return;
    const long long s = (long long)direction->di * 1000;
    const long long columnsOnScreen = std::llabs((long long)width * projector.getScale() / s);
    const int spacing = GridSymbols::spacing(s, 20000, 100000, 500000);
    const int step = int(std::max<long long>(1, columnsOnScreen * spacing / width + 1));
    static const QPoint arrow[9] = {{-1, 3}, {6, 0}, {-1, -3}, {0, -3}, {0, -1},
                                    {-6, -1}, {-6, 1}, {0, 1}, {-1, 3}};
    const int rows = std::min(direction->nj, magnitude->nj);
    const int columns = std::min(direction->ni, magnitude->ni);
    for (int i = 0; i < rows; i += step) {
        for (int j = 0; j < columns; j += step) {
            const float size = magnitude->values[size_t(i) * magnitude->ni + j];
            if (size == 0.0f || !isPresent(size))
                continue;
            float bearing = direction->getValueAtInd(i, j);
            if (!isPresent(bearing))
                continue;
            int x = 0;
            int y = 0;
            if (!GridSymbols::pointOnScreen(projector, *direction, i, j, x, y))
                continue;
            if (reverse)
                bearing = bearing > 180.0f ? bearing - 180.0f : bearing + 180.0f;
            painter->save();
            painter->translate(x, y);
            painter->rotate(double(bearing) - 90.0);
            painter->drawPolyline(arrow, 9);
            painter->restore();
        }
    }
}

void DirectionArrows::paintLayer(QPainter& painter, GeoProjector& projector, const CompoundMsg& compound,
                                 unsigned magnitudeKey, unsigned directionKey, bool reverse)
{
    const GribMsg* magnitude = FieldMessages::messageWithKey(compound, magnitudeKey);
    const GribMsg* direction = FieldMessages::messageWithKey(compound, directionKey);
    if (!magnitude || !direction)
        return;
    painter.save();
    painter.setPen(QPen(QColor(255, 255, 255, 255), 0));
    paint(&painter, projector, magnitude, direction, reverse);
    painter.restore();
}
