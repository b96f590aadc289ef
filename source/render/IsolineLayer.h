// Isolines over the map: the segments of each level drawn in one colour
// and the levels labelled in boxes, spread so that labels neither crowd
// each other nor the frame's edges.
#ifndef SKYVANE_ISOLINELAYER_H
#define SKYVANE_ISOLINELAYER_H

#include "ContourSet.h"

class GeoProjector;
class QColor;
class QPainter;

namespace IsolineLayer {

// The segments of isolines (pairs of points in degrees, longitude first)
// and their labels: kind 2 (mtPressure) labels pressures in hPa, kind 8
// (mtTemperature) temperatures in degrees Celsius.
void paint(QPainter* painter, GeoProjector& projector, const ContourSet::Map* isolines, const QColor& lineColour,
           const QColor& textColour, int kind);

}  // namespace IsolineLayer

#endif
