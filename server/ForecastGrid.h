// The regular latitude/longitude grid a forecast request is answered on:
// the request rectangle clipped to the data set's coverage and widened to
// whole grid steps.
#ifndef SKYVANE_FORECASTGRID_H
#define SKYVANE_FORECASTGRID_H

#include "ForecastRequest.h"

#include <QString>
#include <QtGlobal>

// A rectangle in millidegrees; left < right, and right may pass 180000.
struct GeoBox {
    int top = 0;
    int left = 0;
    int right = 0;
    int bottom = 0;
};

struct ForecastGrid {
    // Rows run north to south from lat1, columns east from lon1.  lon1 lies
    // in [-180000, 180000); the last column may pass 180000, which is how
    // a grid crossing the antimeridian is written.
    int ni = 0;
    int nj = 0;
    int lat1 = 0;
    int lon1 = 0;
    int di = 0;
    int dj = 0;

    int lat2() const { return lat1 - (nj - 1) * dj; }
    int lon2() const { return lon1 + (ni - 1) * di; }
    qint64 pointCount() const { return qint64(ni) * qint64(nj); }
    double latDegrees(int row) const { return (lat1 - double(row) * dj) * 0.001; }
    double lonDegrees(int column) const { return (lon1 + double(column) * di) * 0.001; }

    // The grid step of a data set in millidegrees.  The sets without a
    // fixed model step (16, 17, 18 and 26) are answered at 0.05°, about
    // the resolution of the regional models behind them.  0 for a code
    // that is no data set.
    static int stepOf(int resolution);

    // The box of a data set's coverage: the globe for 1 and 2, otherwise
    // the bounding box of the area's outline; 26 has no outline and takes
    // the North American box of 25.  False for a code that is no data set.
    static bool coverageOf(int resolution, GeoBox& box);

    // The request rectangle clipped to the coverage (shifted by whole
    // turns to meet it, at most 360° wide).  False with the reason when
    // the rectangle is malformed or misses the coverage.
    static bool clip(const ForecastRequest& request, GeoBox& clipped, QString& error);

    // The grid of whole steps that encloses a clipped box; a box a full
    // turn wide gets 360° / step columns, without the repeated one.
    static ForecastGrid enclosing(const GeoBox& box, int step);

    // Longitude folded into [-180000, 180000).
    static int foldLongitude(qint64 lonMilli);
};

#endif
