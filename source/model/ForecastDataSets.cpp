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

namespace {

// The codes of the open-data sources (OpenDataSources.h, in the service
// layer above this one).
constexpr int kFirstOpenDataCode = 201;
constexpr int kLastOpenDataCode = 204;

int defaultHours(int resolution)
{
    // The open-data services are fetched step by step from their own
    // runs: five days is what a quick look at the coming days needs.
    if (resolution >= kFirstOpenDataCode && resolution <= kLastOpenDataCode)
        return 120;
    return resolution == 4 ? 48 : (resolution == 1 || resolution == 2) ? 96 : 24;
}

}  // namespace

int defaultStepsNumber(int resolution, int timeStep)
{
    if (timeStep <= 0)
        return 0;
    return defaultHours(resolution) / timeStep;
}
