// The colour layer: the patch table built on all cores, the bicubic sum of
// a pixel's patch (or, beside points missing under a bitmap, a value kept
// to the cell's present corners), the choice of colour slot per kind of
// field, and the rows of the frame painted from the value cache or
// computed afresh.
#include "ColourLayer.h"

#include "BaseMapImage.h"
#include "FieldMessages.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "MeteoType.h"
#include "ParallelRanges.h"

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

using RenderMath::clampToInt;
using RenderMath::kTurnMicro;

namespace {

// Patch tables beyond this many cells (1 GiB) are not attempted.
constexpr long long kMaxCells = 16LL * 1024 * 1024;

// The Catmull-Rom basis, W[k][a].
constexpr float kBasis[4][4] = {
    {0.0f, 1.0f, 0.0f, 0.0f},
    {-0.5f, 0.0f, 0.5f, 0.0f},
    {1.0f, -2.5f, 2.0f, -0.5f},
    {-0.5f, 1.5f, -1.5f, 0.5f},
};

using Float4 = float __attribute__((vector_size(16)));

Float4 load4(const float* at)
{
    Float4 v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// A missing point, or a pixel whose nearest point is missing, holds no
// value: not a number.
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

inline bool isMissing(float value)
{
    return value != value;
}

// The colour slot of a shown value for one kind of field: wind is looked
// up in knots, temperatures in degrees Celsius, precipitation from 0.4 mm;
// no value (a missing point nearest) has no colour.
template <int Type>
inline int slotFor(const ColourLookup& lookup, float shown)
{
    if (!(shown > 0.025f)) {
        if (isMissing(shown))
            return 0;
        shown = 0.0f;
    }
    if constexpr (Type == mtWind)
        return lookup.bandSlot(float(double(shown) * 1.9440124));
    else if constexpr (Type == mtTemperature || Type == mtSST)
        return shown > 173.0f ? lookup.bandSlot(float(double(shown) - 273.0)) : 0;
    else if constexpr (Type == mtPrecipitation)
        return double(shown) >= 0.4 ? lookup.bandSlot(shown) : 0;
    else
        return shown > 0.0f ? lookup.bandSlot(shown) : 0;
}

// The Catmull-Rom patch of the 4 x 4 points whose rows start pw apart
// at p: c[k + 4m] = sum over a, b of W[k][a] W[m][b] P[a][b], summed over
// b first.
void catmullRomPatch(const float* p, int pw, float* c)
{
    float across[4][4];
    for (int a = 0; a < 4; ++a, p += pw)
        for (int m = 0; m < 4; ++m)
            across[a][m] = kBasis[m][0] * p[0] + kBasis[m][1] * p[1] + kBasis[m][2] * p[2] + kBasis[m][3] * p[3];
    for (int k = 0; k < 4; ++k)
        for (int m = 0; m < 4; ++m)
            c[k + 4 * m] = kBasis[k][0] * across[0][m] + kBasis[k][1] * across[1][m] + kBasis[k][2] * across[2][m] +
                           kBasis[k][3] * across[3][m];
}

// The v whose points pair with msg's into a wind speed: on the same grid,
// else none (the speed of u alone).
const GribMsg* pairedV(const GribMsg& msg, const GribMsg* windV)
{
    return windV && windV->values && windV->ni == msg.ni && windV->nj == msg.nj ? windV : nullptr;
}

// The value of point index of the message, not a number where missing
// (under a bitmap); with v, the speed of u and v, missing where either is.
inline float fieldPoint(const GribMsg& msg, const GribMsg* v, size_t index)
{
    auto valueOf = [](float value) { return FieldMessages::isPresent(value) ? value : kNoValue; };
    const float value = valueOf(msg.values[index]);
    if (!v)
        return value;
    const float other = valueOf(v->values[index]);
    return std::sqrt(value * value + other * other);
}

std::vector<float> fieldValues(const GribMsg& msg, const GribMsg* windV)
{
    const GribMsg* v = pairedV(msg, windV);
    std::vector<float> field(size_t(msg.ni) * size_t(msg.nj));
    for (size_t i = 0; i < field.size(); ++i)
        field[i] = fieldPoint(msg, v, i);
    return field;
}

// The grid has one more row and column on every side than the field,
// copied from the edge, or from the other side where the grid goes round
// the earth: the field's point that padded (row, col) holds.  Rows and
// columns beyond the padding repeat it.
inline size_t paddedSource(const ColourLayer::Grid& grid, int row, int col)
{
    const int ni = grid.columns;
    const int fieldRow = std::clamp(row - 1, 0, grid.rows - 1);
    const int fieldColumn = grid.wrapsAround ? (col - 1 + ni) % ni : std::clamp(col - 1, 0, ni - 1);
    return size_t(fieldRow) * size_t(ni) + size_t(fieldColumn);
}

std::vector<float> paddedGrid(const std::vector<float>& field, const ColourLayer::Grid& grid)
{
    const int pw = grid.paddedColumns;
    std::vector<float> padded(size_t(pw) * size_t(grid.paddedRows));
    for (int row = 0; row < grid.paddedRows; ++row)
        for (int col = 0; col < pw; ++col)
            padded[size_t(row) * pw + col] = field[paddedSource(grid, row, col)];
    return padded;
}

// A missing point (not a number) takes the mean of its present neighbours
// among eight in a width x height grid read through at(row, col), so that
// the derivatives of a cell beside a coast come from the sea alone.  With
// no present neighbour it stays missing.
template <class At>
float gapFill(const At& at, int row, int col, int width, int height)
{
    float sum = 0.0f;
    int present = 0;
    for (int r = std::max(row - 1, 0); r <= std::min(row + 1, height - 1); ++r)
        for (int c = std::max(col - 1, 0); c <= std::min(col + 1, width - 1); ++c) {
            const float value = at(r, c);
            if (!isMissing(value))
                sum += value, ++present;
        }
    return present > 0 ? sum / float(present) : kNoValue;
}

std::vector<float> withGapsFilled(const std::vector<float>& grid, int width, int height)
{
    std::vector<float> filled(grid);
    auto at = [&grid, width](int row, int col) { return grid[size_t(row) * width + col]; };
    forEachRange(height, 64, [&](int begin, int end) {
        for (int row = begin; row < end; ++row)
            for (int col = 0; col < width; ++col)
                if (isMissing(at(row, col)))
                    filled[size_t(row) * width + col] = gapFill(at, row, col, width, height);
    });
    return filled;
}

}  // namespace

ColourLayer::ColourLayer()
{
    lookup.clear();
}

// ---------------------------------------------------------------------------
// The field and its colours

const GribMsg* ColourLayer::fieldMessage(const CompoundMsg& compound, int type)
{
    auto first = [&compound](std::initializer_list<unsigned> keys) -> const GribMsg* {
        for (const GribMsg& msg : compound)
            for (unsigned key : keys)
                if (msg.gct == key)
                    return &msg;
        return nullptr;
    };
    switch (type) {
    case mtWind: return first({GribKey::windU, GribKey::windSpeed});
    case mtWave: return first({GribKey::swellHeight, GribKey::windWaveHeight, GribKey::waveCombined});
    case mtPressure: return first({GribKey::pressureMsl});
    case mtPrecipitation: return first({GribKey::precipitation});
    case mtTemperature: return first({GribKey::temperature2m});
    case mtSST: return first({GribKey::seaTemperature});
    case mtTidal: return first({GribKey::tidalSpeed});
    case mtPrecipRate: return first({GribKey::precipRate});
    default: return nullptr;
    }
}

QRgb ColourLayer::colourOf(const GribFileHelper& helper, unsigned type, float value)
{
    QColor colour(0, 0, 0, 0);
    try {
        const ColourScale& scale = helper.getColorScale(type);
        switch (type) {
        case mtWind:
            scale.getColour(float(double(value) * 1.9440124), colour);
            break;
        case mtTemperature:
        case mtSST:
            if (value > 173.0f)
                scale.getColour(float(double(value) - 273.0), colour);
            break;
        case mtPrecipitation:
            if (double(value) >= 0.4)
                scale.getColour(value, colour);
            break;
        default:
            if (value > 0.0f)
                scale.getColour(value, colour);
            break;
        }
    } catch (int) {
        return 0;
    }
    return colour.rgba();
}

void ColourLayer::buildLookup(const GribFileHelper& helper, int type)
{
    try {
        lookup.build(helper.getColorScale(unsigned(type)), BaseMapImage::kSeaColour, BaseMapImage::kLandColour);
    } catch (int) {
        lookup.clear();
    }
}

// ---------------------------------------------------------------------------
// The patches

bool ColourLayer::describeGrid(const GribMsg& msg, Grid& grid)
{
    grid = Grid();
    if (!FieldMessages::hasUsableGrid(&msg))
        return false;
    const int ni = msg.ni;
    const int nj = msg.nj;
    // The extent must be a place on the earth in microdegrees.
    const long long west = (long long)msg.lon1 * 1000;
    const long long north = (long long)msg.lat1 * 1000;
    const long long columnStep = (long long)msg.di * 1000;
    const long long rowStep = (long long)msg.dj * 1000;
    const long long span = columnStep * (ni - 1);
    const long long south = north - rowStep * (nj - 1);
    if (std::llabs(west) > 2 * kTurnMicro || span > 2 * kTurnMicro || std::llabs(north) > kTurnMicro ||
        std::llabs(south) > kTurnMicro)
        return false;
    const bool wraps = (long long)msg.di * ni == 360000 && ni > 1;
    grid.columns = ni;
    grid.rows = nj;
    grid.paddedColumns = wraps ? ni + 3 : ni + 2;
    grid.paddedRows = nj + 2;
    grid.cellRows = nj - 1;
    grid.cellColumns = wraps ? ni : ni - 1;
    grid.westMicro = int(west);
    grid.northMicro = int(north);
    grid.columnStepMicro = int(columnStep);
    grid.rowStepMicro = int(rowStep);
    grid.eastMicro = clampToInt(wraps ? west + kTurnMicro : west + span);
    grid.southMicro = int(south);
    grid.wrapsAround = wraps;
    if (msg.rowLats.size() == size_t(nj)) {
        for (int lat : msg.rowLats)
            grid.rowLatsMicro.push_back(lat * 1000);
        grid.northMicro = grid.rowLatsMicro.front();
        grid.southMicro = grid.rowLatsMicro.back();
    }
    return true;
}

bool ColourLayer::buildPatches(const GribMsg& msg, const GribMsg* windV)
{
    patches.clear();
    gapCells.clear();
    gridShape = Grid();
    Grid described;
    if (!describeGrid(msg, described))
        return false;
    const long long cells = (long long)described.cellRows * described.cellColumns;
    if (cells > kMaxCells)
        return false;
    gridShape = std::move(described);
    const Grid& grid = gridShape;

    const int pw = grid.paddedColumns;
    std::vector<float> padded;
    try {
        const std::vector<float> field = fieldValues(msg, windV);
        padded = paddedGrid(field, grid);
        patches.assign(size_t(cells) * 16, 0.0f);
        if (std::any_of(field.begin(), field.end(), isMissing)) {
            gapCells.assign(size_t(cells), GapCell());
            const std::vector<float> filled = withGapsFilled(padded, pw, grid.paddedRows);
            forEachRange(grid.cellRows, 16, [&](int begin, int end) {
                for (int i = begin; i < end; ++i)
                    for (int j = 0; j < grid.cellColumns; ++j) {
                        const size_t corner = size_t(i) * pw + j;
                        const size_t cell = size_t(i) * grid.cellColumns + j;
                        gapCells[cell] = gapCell(&padded[corner], pw, &filled[corner], pw, &patches[cell * 16]);
                    }
            });
            return true;
        }
    } catch (const std::bad_alloc&) {
        patches.clear();
        gapCells.clear();
        return false;
    }
    forEachRange(grid.cellRows, 16, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            for (int j = 0; j < grid.cellColumns; ++j)
                catmullRomPatch(&padded[size_t(i) * pw + j], pw, &patches[(size_t(i) * grid.cellColumns + j) * 16]);
    });
    return true;
}

ColourLayer::GapCell ColourLayer::gapCell(const float* padded, size_t stride, const float* filled,
                                          size_t filledStride, float* patch)
{
    GapCell gap;
    for (int k = 0; k < 4; ++k) {
        gap.corners[k] = padded[(1 + k / 2) * stride + 1 + k % 2];
        if (isMissing(gap.corners[k]))
            gap.missingCorners |= uint8_t(1 << k);
    }
    // A cell with missing corners is weighed from its present ones; the
    // others are patches of the present and guessed values.
    if (gap.missingCorners)
        return gap;
    catmullRomPatch(filled, int(filledStride), patch);
    for (size_t n = 0; n < 16 && !gap.bounded; ++n)
        gap.bounded = isMissing(padded[(n / 4) * stride + n % 4]);
    return gap;
}

ColourLayer::PointValue ColourLayer::valueAt(const GribMsg& msg, const GribMsg* windV, int latMicro,
                                             long long lonMicro)
{
    Grid grid;
    if (!describeGrid(msg, grid))
        return {};
    Place row = placeLatitude(grid, latMicro);
    Place column = placeLongitude(grid, lonMicro);
    if (!row.inBounds || !column.inBounds)
        return {};
    // On the southern or eastern edge (or a grid of one row or column):
    // the cell that would start there, at its first point.
    if (!row.inCell)
        row = placeAt(grid.cellRows, 0.0f);
    if (!column.inCell)
        column = placeAt(grid.cellColumns, 0.0f);
    const GribMsg* v = pairedV(msg, windV);
    auto at = [&](int r, int c) { return fieldPoint(msg, v, paddedSource(grid, r, c)); };
    // The cell's 4 x 4 points of the padded grid, as the patch table reads them.
    float points[16];
    bool gaps = false;
    for (int n = 0; n < 16; ++n) {
        points[n] = at(row.cell + n / 4, column.cell + n % 4);
        gaps = gaps || isMissing(points[n]);
    }
    float patch[16];
    if (!gaps) {
        catmullRomPatch(points, 4, patch);
        return {true, patchValue(patch, row, column)};
    }
    float filled[16];
    for (int n = 0; n < 16; ++n) {
        const int r = row.cell + n / 4;
        const int c = column.cell + n % 4;
        filled[n] = isMissing(points[n]) ? gapFill(at, r, c, grid.paddedColumns, grid.paddedRows) : points[n];
    }
    const GapCell gap = gapCell(points, 4, filled, 4, patch);
    return {true, valueBesideGaps(gap, patch, row, column)};
}

bool ColourLayer::inCell(const Grid& grid, int latMicro, long long lonMicro)
{
    return placeLatitude(grid, latMicro).inCell && placeLongitude(grid, lonMicro).inCell;
}

ColourLayer::Place ColourLayer::placeLongitude(const Grid& grid, long long lonMicro)
{
    Place place;
    const long long west = grid.westMicro;
    const long long east = grid.eastMicro;
    long long lon = lonMicro;
    if (grid.wrapsAround) {
        lon = west + ((lon - west) % kTurnMicro + kTurnMicro) % kTurnMicro;
    } else if (lon < west || lon > east) {
        // The same place a turn away may be on the grid.
        if (lon + kTurnMicro >= west && lon + kTurnMicro <= east)
            lon += kTurnMicro;
        else if (lon - kTurnMicro >= west && lon - kTurnMicro <= east)
            lon -= kTurnMicro;
    }
    if (lon < west || lon > east)
        return place;
    return placeInCells(int(lon - west), grid.columnStepMicro, grid.cellColumns);
}

ColourLayer::Place ColourLayer::placeInCells(int offset, int step, int cells)
{
    Place place;
    if (step <= 0)
        return place;
    const int cell = offset / step;
    if (cell < 0 || cell >= cells) {
        place.inBounds = true;
        return place;
    }
    return placeAt(cell, float(offset) / float(step) - float(cell));
}

ColourLayer::Place ColourLayer::placeAt(int cell, float fraction)
{
    Place place;
    place.inBounds = true;
    place.inCell = true;
    place.cell = cell;
    place.powers[1] = fraction;
    place.powers[2] = fraction * fraction;
    place.powers[3] = fraction * fraction * fraction;
    return place;
}

ColourLayer::Place ColourLayer::placeLatitude(const Grid& grid, int latMicro)
{
    if (latMicro < grid.southMicro || latMicro > grid.northMicro)
        return Place();
    if (!grid.rowLatsMicro.empty())
        return placeBetweenRows(grid, latMicro);
    return placeInCells(grid.northMicro - latMicro, grid.rowStepMicro, grid.cellRows);
}

// The cell between the two rows around latMicro, which lies on the grid.
ColourLayer::Place ColourLayer::placeBetweenRows(const Grid& grid, int latMicro)
{
    const std::vector<int>& rows = grid.rowLatsMicro;
    if (grid.cellRows < 1)
        return placeInCells(0, 1, 0);
    const auto south = std::upper_bound(rows.begin(), rows.end(), latMicro, std::greater<int>());
    const int cell = std::min(std::max(int(south - rows.begin()) - 1, 0), grid.cellRows - 1);
    const int north = rows[size_t(cell)];
    const int gap = north - rows[size_t(cell) + 1];
    return placeAt(cell, gap > 0 ? float(north - latMicro) / float(gap) : 0.0f);
}

inline float ColourLayer::patchValue(const float* c, const Place& row, const Place& column)
{
    // Sum over m of c[k + 4m] v^m for the four k at once, then over k.
    const Float4 across = load4(c) * column.powers[0] + load4(c + 4) * column.powers[1] +
                          load4(c + 8) * column.powers[2] + load4(c + 12) * column.powers[3];
    return across[0] * row.powers[0] + across[1] * row.powers[1] + across[2] * row.powers[2] +
           across[3] * row.powers[3];
}

inline float ColourLayer::cellValue(const Place& row, const Place& column) const
{
    const size_t cell = size_t(row.cell) * gridShape.cellColumns + column.cell;
    const float* patch = &patches[cell * 16];
    return gapCells.empty() ? patchValue(patch, row, column) : valueBesideGaps(gapCells[cell], patch, row, column);
}

float ColourLayer::valueBesideGaps(const GapCell& gap, const float* patch, const Place& row, const Place& column)
{
    const float* corner = gap.corners;
    if (!gap.missingCorners) {
        const float value = patchValue(patch, row, column);
        if (!gap.bounded)
            return value;
        return std::clamp(value, std::min({corner[0], corner[1], corner[2], corner[3]}),
                          std::max({corner[0], corner[1], corner[2], corner[3]}));
    }
    const float u = row.powers[1];
    const float v = column.powers[1];
    const int nearest = (u >= 0.5f ? 2 : 0) + (v >= 0.5f ? 1 : 0);
    if ((gap.missingCorners >> nearest) & 1)
        return kNoValue;
    // Bilinear weights of the present corners, which share out the missing
    // ones' (the nearest, present, weighs at least a quarter): the value
    // stays between them and is the same on both sides of a cell's edge.
    const float weight[4] = {(1.0f - u) * (1.0f - v), (1.0f - u) * v, u * (1.0f - v), u * v};
    float sum = 0.0f;
    float total = 0.0f;
    for (int k = 0; k < 4; ++k)
        if (!((gap.missingCorners >> k) & 1))
            sum += weight[k] * corner[k], total += weight[k];
    return sum / total;
}

// ---------------------------------------------------------------------------
// The value caches

void ColourLayer::resetValues(size_t pixels, bool keepPrevious)
{
    values.assign(pixels, 0.0f);
    if (keepPrevious)
        previousValues.assign(pixels, 0.0f);
    else
        std::vector<float>().swap(previousValues);
}

void ColourLayer::dropPrevious()
{
    std::vector<float>().swap(previousValues);
}

void ColourLayer::keepAsPrevious()
{
    previousValues = values;
}

// ---------------------------------------------------------------------------
// Pixels

void ColourLayer::placeFrame(const RenderMath::ColumnScale& columns, int width,
                             const std::vector<int>& rowLatMicro)
{
    columnPlaces.resize(size_t(width));
    for (int x = 0; x < width; ++x)
        columnPlaces[size_t(x)] = placeLongitude(gridShape, columns.longitude(x));
    columnInBounds.resize(size_t(width));
    for (int x = 0; x < width; ++x)
        columnInBounds[size_t(x)] = columnPlaces[size_t(x)].inBounds;
    rowPlaces.resize(rowLatMicro.size());
    for (size_t y = 0; y < rowLatMicro.size(); ++y)
        rowPlaces[y] = placeLatitude(gridShape, rowLatMicro[y]);
}

int ColourLayer::slotOfValue(int type, float shown) const
{
    switch (type) {
    case mtWind: return slotFor<mtWind>(lookup, shown);
    case mtTemperature: return slotFor<mtTemperature>(lookup, shown);
    case mtSST: return slotFor<mtSST>(lookup, shown);
    case mtPrecipitation: return slotFor<mtPrecipitation>(lookup, shown);
    default: return slotFor<0>(lookup, shown);
    }
}

inline bool ColourLayer::shownValue(const Place& row, const Place& column, int index, const FrameState& state,
                                    float& shown)
{
    if (!row.inBounds || !column.inBounds)
        return false;
    const bool inValues = index >= 0 && size_t(index) < values.size();
    const bool hasPrevious = state.interpolate && inValues && size_t(index) < previousValues.size();
    float value = 0.0f;
    if (state.recompute) {
        if (!row.inCell || !column.inCell) {
            if (inValues)
                values[size_t(index)] = 0.0f;
            return false;
        }
        value = cellValue(row, column);
        if (inValues)
            values[size_t(index)] = value;
    } else {
        if (!inValues)
            return false;
        value = values[size_t(index)];
    }
    shown = value;
    if (hasPrevious) {
        const float previous = previousValues[size_t(index)];
        shown = previous + (value - previous) * state.blendFactor;
    }
    return true;
}

QRgb ColourLayer::weatherColour(int latMicro, int lonMicro, int index, const FrameState& state)
{
    const Place row = placeLatitude(gridShape, latMicro);
    const Place column = placeLongitude(gridShape, lonMicro);
    float shown = 0.0f;
    if (!state.shown || !shownValue(row, column, index, state, shown))
        return lookup.colour(0);
    return lookup.colour(slotOfValue(state.type, shown));
}

ColourLayer::FramePixels ColourLayer::pixelsOf(QImage& image)
{
    return {image.bits(), image.bytesPerLine(), image.width(), image.height()};
}

void ColourLayer::paintRows(const FramePixels& frame, const BaseMapImage& base, const std::vector<int>& rowLatMicro,
                            int y0, int y1, const FrameState& state)
{
    switch (state.type) {
    case mtWind: paintRowsOf<mtWind>(frame, base, rowLatMicro, y0, y1, state); break;
    case mtTemperature: paintRowsOf<mtTemperature>(frame, base, rowLatMicro, y0, y1, state); break;
    case mtSST: paintRowsOf<mtSST>(frame, base, rowLatMicro, y0, y1, state); break;
    case mtPrecipitation: paintRowsOf<mtPrecipitation>(frame, base, rowLatMicro, y0, y1, state); break;
    case mtWave: paintRowsOf<mtWave>(frame, base, rowLatMicro, y0, y1, state); break;
    default: paintRowsOf<0>(frame, base, rowLatMicro, y0, y1, state); break;
    }
}

template <int Type>
void ColourLayer::paintRowsOf(const FramePixels& frame, const BaseMapImage& base,
                              const std::vector<int>& rowLatMicro, int y0, int y1, const FrameState& state)
{
    constexpr bool seaOnly = Type == mtWave || Type == mtSST;
    constexpr auto kSea = BaseMapImage::kSea;
    constexpr auto kLand = BaseMapImage::kLand;
    constexpr auto kCoast = BaseMapImage::kCoast;
    constexpr auto kLateCoast = BaseMapImage::kLateCoast;
    const int width = frame.width;
    const int height = frame.height;
    // The output colour by base pixel and colour slot.
    QRgb composed[4][ColourLookup::kSlots];
    for (int slot = 0; slot < ColourLookup::kSlots; ++slot) {
        composed[kSea][slot] = lookup.overSea(slot);
        composed[kLand][slot] = lookup.overLand(slot);
        composed[kCoast][slot] = BaseMapImage::kCoastColour;
        composed[kLateCoast][slot] = BaseMapImage::kCoastColour;
    }
    // Whether a pixel's weather is looked up: not on coast it had already
    // become, and on the sea alone for sea-only fields.
    auto looksUp = [](uint8_t pixel) {
        return pixel == kSea || pixel == kLateCoast || (pixel == kLand && !seaOnly);
    };
    // No colour: the base map itself, whatever the lookup last held.
    composed[kSea][0] = BaseMapImage::kSeaColour;
    composed[kLand][0] = BaseMapImage::kLandColour;
    const bool coloured = state.shown;
    // Drawn rows are consecutive: the pixel index counts from the first.
    int firstDrawn = 0;
    while (firstDrawn < height && !BaseMapImage::drawnLatitude(rowLatMicro[size_t(firstDrawn)]))
        ++firstDrawn;
    for (int y = y0; y < y1; ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(frame.bits + size_t(y) * size_t(frame.bytesPerLine));
        const int lat = rowLatMicro[size_t(y)];
        const uint8_t* pixels = base.row(y);
        if (!BaseMapImage::drawnLatitude(lat)) {
            std::fill(out, out + width, BaseMapImage::kSeaColour);
            continue;
        }
        const Place row = coloured ? rowPlaces[size_t(y)] : Place();
        if (!row.inBounds) {
            for (int x = 0; x < width; ++x)
                out[x] = composed[pixels[x]][0];
            continue;
        }
        const int index0 = (y - firstDrawn) * width;
        if (size_t(index0) + size_t(width) > values.size()) {
            // No cache for this row: pixel by pixel, as weatherColour does.
            for (int x = 0; x < width; ++x) {
                const uint8_t pixel = pixels[x];
                float shown = 0.0f;
                int slot = 0;
                if (looksUp(pixel) && shownValue(row, columnPlaces[size_t(x)], index0 + x, state, shown))
                    slot = slotFor<Type>(lookup, shown);
                out[x] = composed[pixel][slot];
            }
            continue;
        }
        float* rowValues = &values[size_t(index0)];
        const float* previous = state.interpolate && size_t(index0) + size_t(width) <= previousValues.size()
                                    ? &previousValues[size_t(index0)]
                                    : nullptr;
        const float t = state.blendFactor;
        if (state.recompute) {
            for (int x = 0; x < width; ++x) {
                const uint8_t pixel = pixels[x];
                const Place& column = columnPlaces[size_t(x)];
                if (!looksUp(pixel) || !column.inBounds) {
                    out[x] = composed[pixel][0];
                    continue;
                }
                if (!row.inCell || !column.inCell) {
                    rowValues[x] = 0.0f;
                    out[x] = composed[pixel][0];
                    continue;
                }
                const float value = cellValue(row, column);
                rowValues[x] = value;
                const float shown = previous ? previous[x] + (value - previous[x]) * t : value;
                out[x] = composed[pixel][slotFor<Type>(lookup, shown)];
            }
        } else {
            const uint8_t* inBounds = columnInBounds.data();
            for (int x = 0; x < width; ++x) {
                const uint8_t pixel = pixels[x];
                const float value = rowValues[x];
                const float shown = previous ? previous[x] + (value - previous[x]) * t : value;
                const int slot = slotFor<Type>(lookup, shown);
                const bool shows = inBounds[x] && (!seaOnly || pixel == kSea);
                out[x] = composed[pixel][shows ? slot : 0];
            }
        }
    }
}
