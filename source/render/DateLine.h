// The date line: the valid time of the field shown, in local time, centred
// at the foot of the frame; while blending two steps, the time between
// them.
#ifndef SKYVANE_DATELINE_H
#define SKYVANE_DATELINE_H

class GribFileHelper;
class GribMsg;
class QPainter;

namespace DateLine {

// The time of message, moved back by the part of the helper's time step
// not yet blended in when interpolating, in a frame of width x height.
// Nothing for a message without a valid time.
void paint(QPainter& painter, const GribMsg& message, const GribFileHelper& helper, bool interpolate,
           float blendFactor, int width, int height);

}  // namespace DateLine

#endif
