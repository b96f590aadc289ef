// The arithmetic the projections and the map's layers share: turns and
// radians in microdegrees, truncation and clamping that never leave int,
// the longitude of a screen column and the copy of a longitude nearest the
// view's centre.
#ifndef SKYVANE_RENDERMATH_H
#define SKYVANE_RENDERMATH_H

#include <algorithm>
#include <limits>

namespace RenderMath {

constexpr long long kTurnMicro = 360000000;
constexpr long long kHalfTurnMicro = 180000000;
constexpr float kMicroToRadians = 1.7453294e-8f;

// Truncation toward zero that never leaves int: results beyond it are
// clamped and a value that is not a number gives 0.
inline int truncToInt(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return int(value);
}

inline int clampToInt(long long value)
{
    return int(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                     std::numeric_limits<int>::max()));
}

// A longitude moved by whole turns to lie nearest the centre, so that
// symbols show on the copy of the world in view.
inline long long nearestCopy(long long lonMicro, int centerLonMicro)
{
    long long offset = (lonMicro - centerLonMicro) % kTurnMicro;
    if (offset > kHalfTurnMicro)
        offset -= kTurnMicro;
    else if (offset < -kHalfTurnMicro)
        offset += kTurnMicro;
    return centerLonMicro + offset;
}

// Screen columns to longitudes, the same in both projections.
struct ColumnScale {
    int centerX = 0;
    int scaleMicro = 0;  // microdegrees per pixel
    int centerLonMicro = 0;

    // The longitude of column x, not wrapped.
    long long longitude(int x) const { return (long long)(x - centerX) * scaleMicro + centerLonMicro; }
};

}  // namespace RenderMath

#endif
