// A coarse hand-drawn world coastline, good to a degree or two: the land
// mask's fallback when the fine land-mask images are not installed.
#ifndef SKYVANE_LANDOUTLINES_H
#define SKYVANE_LANDOUTLINES_H

struct LandOutline {
    const double (*points)[2];  // (lat, lon) in degrees, closed implicitly;
                                // longitudes may pass 180 to stay contiguous
    int pointCount;
    bool water;                 // an inland sea cut out of the land around it
};

extern const LandOutline kLandOutlines[];
extern const int kLandOutlineCount;

#endif
