// The wind barbs: one barb drawn at the painter's origin from u and v, and
// the layer of barbs at the wind grid's points, thinned so that they keep
// their spacing at every zoom.
#ifndef SKYVANE_WINDBARBS_H
#define SKYVANE_WINDBARBS_H

class CompoundMsg;
class GeoProjector;
class QPainter;

namespace WindBarbs {

// A barb for the wind (u, v) of the given speed, all in m/s, turned to
// the wind's direction: a staff with feathers of 10 and 5 knots and
// pennants of 50.  Nothing below one knot.
void paintBarb(QPainter* painter, double u, double v, double speed);

// Black barbs at the grid points of the compound's u and v wind.
void paintLayer(QPainter* painter, GeoProjector& projector, const CompoundMsg& compound);

}  // namespace WindBarbs

#endif
