// Aligning a request rectangle to the grid of the data set it asks for,
// so that the server cuts whole grid cells that cover the visible area.
#ifndef SKYVANE_REQUESTAREA_H
#define SKYVANE_REQUESTAREA_H

struct ToviForecastParameters;

// Widens top and right up, left and bottom down to multiples of the data
// set's grid step; a data set without a fixed step leaves them as they are.
void reallignRequestRect(ToviForecastParameters* parameters);

// The next multiple of step above value (a multiple itself moves one step
// up when not negative), and the next one below (a negative multiple moves
// one step down).  step > 0.
int geoCeil(int value, int step);
int geoFloor(int value, int step);

#endif
