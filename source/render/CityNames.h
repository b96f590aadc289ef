// The cities on the map: a red ball for each city above the zoom's
// population threshold, sized by how far above it the city is, and its
// name above the ball unless a named city is too close.
#ifndef SKYVANE_CITYNAMES_H
#define SKYVANE_CITYNAMES_H

class GeoProjector;
class QPainter;
class SharedData;

namespace CityNames {

// data's cities of at least threshold people that fall in the frame, the
// largest first; nothing without data.
void paint(QPainter& painter, GeoProjector& projector, const SharedData* data, int threshold);

}  // namespace CityNames

#endif
