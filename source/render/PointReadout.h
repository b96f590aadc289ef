// The read-out of the map under the pointer: the position in degrees and
// minutes, and the value there of every kind of weather the current time
// step holds, interpolated as the colour layer colours it and written as
// the point dialog writes it, so that both agree at a grid point.
//
// Each value comes from the 4 x 4 grid points around the position alone,
// so a read-out costs microseconds whatever the grid's size; reading the
// shown kind from the frame's value cache instead saves nothing measurable.
#ifndef SKYVANE_POINTREADOUT_H
#define SKYVANE_POINTREADOUT_H

#include <QString>

#include <vector>

class GeoProjector;
class GribFileHelper;

class PointReadout {
public:
    struct Row {
        int kind = 0;   // its MeteoType
        QString label;  // "Wind", "Pressure", ...
        // "12 kn 225°", "1013 hPa"; "-" where the position is off the
        // kind's grid or its value is missing.
        QString text;
        // The interpolated value in the file's unit (wind and tidal stream
        // speed in m/s, pressure in Pa, temperatures in K), not a number
        // with "-".
        float value = 0.0f;
    };
    struct Reading {
        QString position;       // "51°30'N 0°07'W"; empty off the map
        std::vector<Row> rows;  // the kinds the time step holds, in kindOrder()
    };

    // Under screen point (x, y) of the projector's view, for the helper's
    // current time step.
    static Reading at(GeoProjector& projector, const GribFileHelper& helper, int x, int y);
    // At a position, every kind computed from its grid.
    static Reading atPosition(const GribFileHelper& helper, int latMicro, int lonMicro);

    // Degrees and minutes rounded to the nearest minute: "51°30'N 0°07'W".
    static QString positionText(int latMicro, int lonMicro);
    // Wind, pressure, temperature, precipitation, waves, sea temperature,
    // tidal stream, precipitation rate.
    static const std::vector<int>& kindOrder();
};

#endif
