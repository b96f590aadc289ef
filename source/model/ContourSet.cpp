#include "ContourSet.h"

#include "GribFile.h"

#include <algorithm>

namespace {

// Levels are shifted slightly upwards so that a field lying exactly on a
// round level (a constant 273 K, say) does not produce a line on every cell
// side.  The shift is lost in float rounding for pressures in pascals.
constexpr float kLevelOffset = 0.0001f;

// CONREC segment case of a triangle, indexed by the signs (+1) of the
// vertices m1, centre, m3.
constexpr int kCaseTable[3][3][3] = {
    {{0, 0, 8}, {0, 2, 5}, {7, 6, 9}},
    {{0, 3, 4}, {1, 3, 1}, {4, 3, 0}},
    {{9, 6, 7}, {5, 2, 0}, {8, 0, 0}},
};

// A triangle vertex: height above the level, position (x along the rows,
// y along the columns) and the sign of the height.
struct Vertex {
    float h;
    float x;
    float y;
    int sign;
};

struct Point {
    float x;
    float y;
};

struct Segment {
    Point from;
    Point to;
};

struct ValueRange {
    float min;
    float max;
};

int signOf(float h)
{
    if (h > 0.0f)
        return 1;
    if (h < 0.0f)
        return -1;
    return 0;
}

Vertex makeVertex(float value, float level, float x, float y)
{
    const float h = value - level;
    return {h, x, y, signOf(h)};
}

std::vector<float> levelsBetween(float min, float max, float step)
{
    std::vector<float> levels;
    float v = min;
    while (v <= max) {
        levels.push_back(v + kLevelOffset);
        const float next = v + step;
        // A step that does not move v forward (zero, negative, or absorbed by
        // the rounding of a large v) would never reach max.
        if (!(next > v))
            break;
        v = next;
    }
    return levels;
}

// Wide: a damaged grid's last row or column may lie past the int range.
float millidegreesToDegrees(long long millidegrees)
{
    return static_cast<float>(millidegrees) * 0.001f;
}

std::vector<float> rowLatitudes(const GribMsg& msg)
{
    std::vector<float> lat(static_cast<size_t>(std::max(msg.nj, 0)));
    for (int i = 0; i < msg.nj; ++i)
        lat[size_t(i)] = millidegreesToDegrees(msg.lat1 - (long long)i * msg.dj);
    return lat;
}

std::vector<float> columnLongitudes(const GribMsg& msg)
{
    std::vector<float> lon(static_cast<size_t>(std::max(msg.ni, 0)));
    for (int j = 0; j < msg.ni; ++j)
        lon[size_t(j)] = millidegreesToDegrees(msg.lon1 + (long long)j * msg.di);
    return lon;
}

// A zero corner does not lower the minimum: it is taken for a point
// without data rather than for a value.
ValueRange cellRange(const float (&corners)[4])
{
    float dmax = corners[0];
    float dmin = 0.0f;
    bool haveNonZero = false;
    for (float v : corners) {
        dmax = std::max(dmax, v);
        if (v == 0.0f)
            continue;
        dmin = haveNonZero ? std::min(dmin, v) : v;
        haveNonZero = true;
    }
    return {dmin, dmax};
}

Point crossing(const Vertex& p, const Vertex& q)
{
    const float dh = q.h - p.h;
    return {(q.h * p.x - p.h * q.x) / dh, (q.h * p.y - p.h * q.y) / dh};
}

Point at(const Vertex& v)
{
    return {v.x, v.y};
}

// The segment the level draws across triangle (m1, m2, m3), m2 being the
// cell centre; false when the level does not cross it.
bool triangleSegment(const Vertex& m1, const Vertex& m2, const Vertex& m3, Segment& s)
{
    switch (kCaseTable[m1.sign + 1][m2.sign + 1][m3.sign + 1]) {
    case 1: s = {at(m1), at(m2)}; return true;
    case 2: s = {at(m2), at(m3)}; return true;
    case 3: s = {at(m3), at(m1)}; return true;
    case 4: s = {at(m1), crossing(m2, m3)}; return true;
    case 5: s = {at(m2), crossing(m3, m1)}; return true;
    case 6: s = {at(m3), crossing(m1, m2)}; return true;
    case 7: s = {crossing(m1, m2), crossing(m2, m3)}; return true;
    case 8: s = {crossing(m2, m3), crossing(m3, m1)}; return true;
    case 9: s = {crossing(m3, m1), crossing(m1, m2)}; return true;
    default: return false;
    }
}

// One grid cell, its corners numbered 1 to 4 in turn round the cell as
// (i, j), (i+1, j), (i+1, j+1), (i, j+1), and its centre.
struct Cell {
    float values[4];
    float x[4];
    float y[4];
    float centreX;
    float centreY;
};

Cell cellAt(const float* d, int rowLength, int i, int j, const float* x, const float* y)
{
    const auto value = [&](int row, int col) { return d[row * rowLength + col]; };
    return {{value(i, j), value(i + 1, j), value(i + 1, j + 1), value(i, j + 1)},
            {x[i], x[i + 1], x[i + 1], x[i]},
            {y[j], y[j], y[j + 1], y[j + 1]},
            0.5f * (x[i] + x[i + 1]),
            0.5f * (y[j] + y[j + 1])};
}

// The segments of one level in the four triangles around the cell centre;
// returns their number.
int cellSegments(const Cell& cell, float level, Segment (&segments)[4])
{
    Vertex v[5];
    float hSum = 0.0f;
    for (int m = 1; m <= 4; ++m) {
        v[m] = makeVertex(cell.values[m - 1], level, cell.x[m - 1], cell.y[m - 1]);
        hSum += v[m].h;
    }
    const float h0 = 0.25f * hSum;
    v[0] = {h0, cell.centreX, cell.centreY, signOf(h0)};

    int count = 0;
    for (int m = 1; m <= 4; ++m) {
        if (triangleSegment(v[m], v[0], v[m == 4 ? 1 : m + 1], segments[count]))
            ++count;
    }
    return count;
}

// What addVertex does with a segment: the ends widened to double, each
// stored as (longitude, latitude).
void appendSegment(std::vector<QPointF>& points, const Segment& s)
{
    points.emplace_back(double(s.from.y), double(s.from.x));
    points.emplace_back(double(s.to.y), double(s.to.x));
}

}  // namespace

void ContourSet::analyze(const GribMsg& msg, float min, float max, float step)
{
    clear();
    if (msg.values == nullptr)
        return;
    const std::vector<float> levels = levelsBetween(min, max, step);
    const std::vector<float> lat = rowLatitudes(msg);
    const std::vector<float> lon = columnLongitudes(msg);
    findContours(msg.values, 0, msg.nj - 1, 0, msg.ni - 1, lat.data(), lon.data(),
                 static_cast<int>(levels.size()), levels.data());
}

void ContourSet::findContours(const float* d, int ilb, int iub, int jlb, int jub,
                              const float* x, const float* y, int nc, const float* z)
{
    if (jub - 1 < jlb || nc < 1)
        return;
    const int rowLength = jub + 1;
    // The points of each level, looked up in the map once per call rather
    // than once per segment; map nodes stay put as others are inserted.
    std::vector<std::vector<QPointF>*> pointsOfLevel(size_t(nc), nullptr);
    for (int j = jub - 1; j >= jlb; --j) {
        for (int i = ilb; i < iub; ++i) {
            const Cell cell = cellAt(d, rowLength, i, j, x, y);
            const ValueRange range = cellRange(cell.values);
            if (range.max < z[0] || range.min > z[nc - 1])
                continue;
            // The levels ascend, so those inside the range are contiguous.
            for (const float* level = std::lower_bound(z, z + nc, range.min);
                 level != z + nc && *level <= range.max; ++level) {
                Segment segments[4] = {};
                const int count = cellSegments(cell, *level, segments);
                if (count == 0)
                    continue;
                std::vector<QPointF>*& points = pointsOfLevel[size_t(level - z)];
                if (!points)
                    points = &contours[*level];
                for (int k = 0; k < count; ++k)
                    appendSegment(*points, segments[k]);
            }
        }
    }
}

void ContourSet::addVertex(double x1, double y1, double x2, double y2, double z)
{
    std::vector<QPointF>& points = contours[static_cast<float>(z)];
    points.emplace_back(y1, x1);
    points.emplace_back(y2, x2);
}
