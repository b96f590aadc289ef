#include "ColourScale.h"

#include <cmath>
#include <iterator>

void ColourScale::add(float key, const QColor& colour)
{
    bands[key] = colour;
}

void ColourScale::getColour(float value, QColor& colour) const
{
    if (bands.empty())
        return;
    // A value that is not a number has no band; it gets the lowest one,
    // like a value below the scale, rather than the top colour.
    if (std::isnan(value)) {
        colour = bands.begin()->second;
        return;
    }
    auto above = bands.upper_bound(value);
    colour = above == bands.begin() ? above->second : std::prev(above)->second;
}
