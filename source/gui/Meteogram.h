// One time series of a point's forecast with the axis of its plot.
#ifndef SKYVANE_METEOGRAM_H
#define SKYVANE_METEOGRAM_H

#include <vector>

struct Meteogram {
    float hoursPerStep = 0.0f;
    float minimum = 0.0f;
    float maximum = 0.0f;
    // Spacing of ticks and grid lines; for precipitation also the smallest
    // amount drawn as a bar.
    float gridStep = 0.0f;
    float labelStep = 0.0f;
    int count = 0;
    std::vector<float> values;
    // Wind: u and v components; waves: direction (degrees) and period
    // (seconds).  Empty for the other series.
    std::vector<float> aux1;
    std::vector<float> aux2;
};

#endif
