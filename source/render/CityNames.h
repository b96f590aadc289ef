// The cities on the map: a red ball for each city above the zoom's
// population threshold, sized by how far above it the city is, and its
// name above the ball unless a named city is too close.  Where each city
// went is recorded, so that a click can find the city under it.
#ifndef SKYVANE_CITYNAMES_H
#define SKYVANE_CITYNAMES_H

#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

class GeoProjector;
class QPainter;
class SharedData;

// A city as one frame drew it, in screen pixels.
struct DrawnCity {
    // The ball, grown so that it is easy to click.
    QRect dotTarget;
    // The name's text box; empty when the name was left out for a
    // neighbour's.
    QRect nameBox;
    QString name;
    int latMicro = 0;
    int lonMicro = 0;
};

namespace CityNames {

// data's cities of at least threshold people that fall in the frame, the
// largest first; nothing without data.  drawn is refilled with them in
// drawing order.
void paint(QPainter& painter, GeoProjector& projector, const SharedData* data, int threshold,
           std::vector<DrawnCity>& drawn);

// The city of drawn whose ball or name holds the point, the last drawn
// (the one on top) where they overlap; null when none does.
const DrawnCity* cityAt(const std::vector<DrawnCity>& drawn, const QPoint& point);

}  // namespace CityNames

#endif
