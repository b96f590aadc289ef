#include "ForecastDataSets.h"

const ForecastDataSet kForecastDataSets[15] = {
    {1, "Global 1.0", 1000},
    {2, "Global 0.5", 500},
    {4, "North Atlantic", 100},
    {8, "English Channel", 20},
    {16, "East/Centre USA", 0},
    {17, "West/Centre USA", 0},
    {18, "Alaska", 0},
    {19, "South America", 80},
    {20, "South Africa", 80},
    {21, "SE Australia/NZ", 80},
    {22, "East Australia", 80},
    {23, "West Australia", 80},
    {24, "West Europe", 40},
    {25, "North America", 100},
    {26, "", 0},
};

const ForecastDataSet* findForecastDataSet(int resolution)
{
    for (const ForecastDataSet& set : kForecastDataSets)
        if (set.resolution == resolution)
            return &set;
    return nullptr;
}

int gridStepMilli(int resolution)
{
    const ForecastDataSet* set = findForecastDataSet(resolution);
    return set ? set->gridStepMilli : 0;
}

int defaultStepsNumber(int resolution, int timeStep)
{
    if (timeStep <= 0)
        return 0;
    const int hours = resolution == 4 ? 48 : (resolution == 1 || resolution == 2) ? 96 : 24;
    return hours / timeStep;
}
