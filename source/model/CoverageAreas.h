// Outlines of the forecast service's regional coverage areas, by area code.
// The server clips requests to them and the map draws them.
#ifndef SKYVANE_COVERAGEAREAS_H
#define SKYVANE_COVERAGEAREAS_H

struct CoverageArea {
    int area;               // the data set's GribResolution code
    int secondaryCode;      // the code the service reports for the area
    int pointCount;
    const double (*points)[2];  // (lat, lon) in degrees; longitudes are not
                                // folded, so Alaska runs below -180
    double centreLat;
    double centreLon;
};

constexpr int kCoverageAreaCount = 13;

extern const CoverageArea kCoverageAreas[kCoverageAreaCount];

// The outline of an area code, or null when the code has none.
const CoverageArea* findCoverageArea(int area);

#endif
