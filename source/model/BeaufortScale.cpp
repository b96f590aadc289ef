#include "BeaufortScale.h"

#include <cmath>

void BeaufortScale::add(float force, const BeaufortData& data)
{
    rows[force] = data;
}

bool BeaufortScale::getBeaufort(float value, BeaufortData& data) const
{
    auto row = rows.lower_bound(value);
    if (row == rows.end())
        return false;
    data = row->second;
    return true;
}

float metric2Beaufort(float speed)
{
    return std::pow(speed * 0.61536413f, 2.0f / 3.0f) + 0.5f;
}

float beaufort2Metric(float force)
{
    return std::pow(force, 1.5f) * 1.625054f;
}
