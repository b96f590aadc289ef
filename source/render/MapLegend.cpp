// The legend: bands from the top of the scale down the frame's right
// edge, values in the field's own unit (hPa for pressure, one decimal for
// wind, two for the rest).
#include "MapLegend.h"

#include "ColourScale.h"
#include "GribFileHelper.h"
#include "MeteoType.h"
#include "RenderMath.h"

#include <QPainter>

#include <iterator>

void MapLegend::paint(QPainter& painter, const GribFileHelper& helper, int meteoType, int width, int height)
{
    const ColourScale::Map* bands = nullptr;
    try {
        bands = &helper.getColorScale(unsigned(meteoType)).getMap();
    } catch (int) {
        return;
    }
    const int count = int(bands->size());
    if (count < 2)
        return;
    const int right = width - 1;
    int y = height - (count * 18 + 40) - 18;
    painter.setPen(QColor(0, 0, 0, 255));
    // The largest key only closes the last band.
    for (auto band = std::next(bands->rbegin()); band != bands->rend(); ++band) {
        painter.setBrush(QBrush(band->second, Qt::SolidPattern));
        painter.drawRect(QRect(QPoint(right - 57, y), QPoint(right - 40, y + 17)));
        y += 18;
        QString text;
        if (meteoType == mtPressure)
            text = QString::asprintf("%d", RenderMath::truncToInt(band->first) / 100);
        else if (meteoType == mtWind)
            text = QString::asprintf("%.1f", double(band->first));
        else
            text = QString::asprintf("%.2f", double(band->first));
        painter.drawText(QPoint(right - 35, y + 3), text);
    }
    QString unit;
    switch (meteoType) {
    case mtPressure: unit = "[hPa]"; break;
    case mtPrecipitation: unit = "[mm]"; break;
    case mtPrecipRate: unit = "[mm/hr]"; break;
    case mtWind: case mtTidal: unit = "[knots]"; break;
    case mtWave: unit = "[m]"; break;
    case mtTemperature: case mtSST: unit = "[C]"; break;
    default: break;
    }
    painter.drawText(QPoint(right - 35, y + 21), unit);
}
