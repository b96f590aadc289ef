#include "RequestArea.h"

#include "ForecastDataSets.h"
#include "ToviForecastParameters.h"

// Integer division truncates toward zero, hence the sign cases.  The
// products are formed in 64 bits: an edge near the integer limit must not
// wrap to the opposite side.
int geoCeil(int value, int step)
{
    const long long steps = value >= 0 ? value / step + 1LL : value / step;
    const long long result = steps * step;
    return result > 2147483647LL ? value : int(result);
}

int geoFloor(int value, int step)
{
    const long long steps = value >= 0 ? value / step : value / step - 1LL;
    const long long result = steps * step;
    return result < -2147483648LL ? value : int(result);
}

void reallignRequestRect(ToviForecastParameters* parameters)
{
    if (!parameters)
        return;
    const int step = gridStepMilli(parameters->resolution);
    if (step <= 0)
        return;
    parameters->top = geoCeil(parameters->top, step);
    parameters->left = geoFloor(parameters->left, step);
    parameters->right = geoCeil(parameters->right, step);
    parameters->bottom = geoFloor(parameters->bottom, step);
}
