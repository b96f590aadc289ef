// Fills land polygons into the two halves of the viewer's land mask: a
// pixel is land when its centre lies inside a polygon (even-odd within a
// polygon, so holes stay water; polygons are united).
//
// Pixel centres follow the viewer's lookup, which truncates toward zero:
// row r is latitude 80 - (r + 0.5) x 0.01°; column c of the eastern mask
// is longitude (c + 0.5) x 0.01°, and column c of the western mask, which
// a longitude reaches by lon / 0.01° + 18000 truncated, is
// (c - 18000.5) x 0.01°.
#ifndef SKYVANE_LANDRASTERISER_H
#define SKYVANE_LANDRASTERISER_H

#include <QImage>

#include <vector>

#include "TopoJsonLand.h"

namespace LandRasteriser {

// Two Format_Mono images of 18000 x 16000 pixels, set bit = land.  Rows
// are shared out over the processor's cores; the result does not depend
// on their number.
void rasterise(const std::vector<LandPolygon>& polygons, QImage& western, QImage& eastern);

}  // namespace LandRasteriser

#endif
