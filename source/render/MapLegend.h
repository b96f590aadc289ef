// The legend of the colour layer: a box of each band of the field's colour
// scale with the value it starts at, and the unit below, at the lower right
// of the frame.
#ifndef SKYVANE_MAPLEGEND_H
#define SKYVANE_MAPLEGEND_H

class GribFileHelper;
class QPainter;

namespace MapLegend {

// The legend of the helper's scale for meteoType in a frame of width x
// height; nothing for a type without a scale or a scale of one key.
void paint(QPainter& painter, const GribFileHelper& helper, int meteoType, int width, int height);

}  // namespace MapLegend

#endif
