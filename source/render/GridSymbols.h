// Where the symbols drawn at a field's grid points go: how many grid
// points to step over so that symbols keep their spacing on screen, and
// the screen position of a grid point on the copy of the world in view.
#ifndef SKYVANE_GRIDSYMBOLS_H
#define SKYVANE_GRIDSYMBOLS_H

class GeoProjector;
class GribMsg;

namespace GridSymbols {

// Symbol spacing in pixels for a grid step in microdegrees: the finer the
// grid, the closer the symbols.
int spacing(long long stepMicro, long long fine, long long medium, long long coarse);

// The screen position of a grid point (its copy nearest the centre);
// false when it lies too far outside the frame to draw a symbol.
bool pointOnScreen(GeoProjector& projector, const GribMsg& msg, int row, int column, int& x, int& y);

}  // namespace GridSymbols

#endif
