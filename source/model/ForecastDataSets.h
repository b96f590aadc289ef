// What the client knows about each data set of the forecast service: the
// name the request dialog shows and the model grid step that request areas
// are aligned to.
#ifndef SKYVANE_FORECASTDATASETS_H
#define SKYVANE_FORECASTDATASETS_H

struct ForecastDataSet {
    int resolution;          // GribResolution code
    const char* areaName;    // as the request dialog shows it
    int gridStepMilli;       // thousandths of a degree; 0 = no fixed step
};

// The 15 data sets in code order.
extern const ForecastDataSet kForecastDataSets[15];

// The entry of a code, or null for a code that is no data set.
const ForecastDataSet* findForecastDataSet(int resolution);

// The grid step of a data set, 0 when it has none or the code is unknown.
int gridStepMilli(int resolution);

// How many steps of timeStep hours a download asks for when it names no
// count: four days on the global sets, two on the North Atlantic, one on
// the others, five on the open-data sources; 0 for a step of 0.
int defaultStepsNumber(int resolution, int timeStep);

#endif
