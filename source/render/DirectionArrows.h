// The direction arrows of swell and tidal streams: small open arrows at
// the direction grid's points where the magnitude is not zero, thinned so
// that they keep their spacing at every zoom.
#ifndef SKYVANE_DIRECTIONARROWS_H
#define SKYVANE_DIRECTIONARROWS_H

class CompoundMsg;
class GeoProjector;
class GribMsg;
class QPainter;

namespace DirectionArrows {

// Arrows in the painter's pen along direction's bearings (degrees from
// north); reverse turns them round, for bearings that say where a flow
// comes from.
void paint(QPainter* painter, GeoProjector& projector, const GribMsg* magnitude, const GribMsg* direction,
           bool reverse);

// White arrows of the compound's messages with the two keys, when it has
// both.
void paintLayer(QPainter& painter, GeoProjector& projector, const CompoundMsg& compound, unsigned magnitudeKey,
                unsigned directionKey, bool reverse);

}  // namespace DirectionArrows

#endif
