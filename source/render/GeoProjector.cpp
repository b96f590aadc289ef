#include "GeoProjector.h"

#include "GribFileHelper.h"
#include "GribKeys.h"
#include "LandMaskImage.h"
#include "ParallelRanges.h"
#include "SettingsFactory.h"
#include "SharedData.h"

#include <QElapsedTimer>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kMaxLatMicro = 79999999;   // rows beyond are not drawn
constexpr long long kTurnMicro = 360000000;
constexpr long long kHalfTurnMicro = 180000000;
constexpr float kMicroToRadians = 1.7453294e-8f;
constexpr float kMaxCentreRadians = 89.0f * 0.017453292f;
// Patch tables beyond this many cells (1 GiB) are not attempted.
constexpr long long kMaxCells = 16LL * 1024 * 1024;

// Pixel classes of the base image.
// kLateCoast: a sea pixel that the land east of it turns into coast.  It
// was still sea when its weather was looked up, so its value is kept.
enum : uint8_t { kSea = 0, kLand = 1, kCoast = 2, kLateCoast = 3 };
// Land-test results; kUntested for pixels the masks do not cover.
enum LandTest { kUntested = -1, kTestedSea = 0, kTestedLand = 1 };

// The Catmull-Rom basis, W[k][a].
constexpr float kBasis[4][4] = {
    {0.0f, 1.0f, 0.0f, 0.0f},
    {-0.5f, 0.0f, 0.5f, 0.0f},
    {1.0f, -2.5f, 2.0f, -0.5f},
    {-0.5f, 1.5f, -1.5f, 0.5f},
};

// Truncation toward zero that never leaves int: results beyond it are
// clamped and a value that is not a number gives 0.
int truncToInt(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return int(value);
}

int clampToInt(long long value)
{
    return int(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                     std::numeric_limits<int>::max()));
}

bool isColoured(float value)
{
    return value == value && value != kGribMissingValue;
}

// The first message of the compound with the key.
const GribMsg* messageWithKey(const CompoundMsg& compound, unsigned key)
{
    for (const GribMsg& msg : compound)
        if (msg.gct == key)
            return &msg;
    return nullptr;
}

// A message whose grid can be walked: values for ni x nj points and
// positive steps.
bool hasUsableGrid(const GribMsg* msg)
{
    return msg && msg->values && msg->ni > 0 && msg->nj > 0 && msg->di > 0 && msg->dj > 0;
}

// Barb spacing in pixels for a grid step in microdegrees.
int symbolSpacing(long long stepMicro, long long fine, long long medium, long long coarse)
{
    if (stepMicro <= fine)
        return 12;
    if (stepMicro <= medium)
        return 22;
    if (stepMicro <= coarse)
        return 32;
    return 42;
}

// How far a barb or arrow reaches from its grid point, in pixels: points
// farther off the frame draw nothing in it.
constexpr int kSymbolReach = 24;

}  // namespace

// ---------------------------------------------------------------------------
// Construction and view state

GeoProjector::GeoProjector()
{
    const QPointF home = SettingsFactory::getHome();
    centerLatMicro = truncToInt(home.y() * 1e6);
    centerLonMicro = truncToInt(home.x() * 1e6);
    lookup.clear();
}

GeoProjector::~GeoProjector() = default;

bool GeoProjector::BaseKey::operator==(const BaseKey& other) const
{
    return data == other.data && width == other.width && height == other.height &&
           diameter == other.diameter && centerLatMicro == other.centerLatMicro &&
           centerLonMicro == other.centerLonMicro && rowLatMicro == other.rowLatMicro;
}

const SharedData* GeoProjector::maskData()
{
    if (!sharedData)
        sharedData = SettingsFactory::getSharedData();
    return sharedData;
}

void GeoProjector::update(int w, int h, int d)
{
    width = std::max(0, w);
    height = std::max(0, h);
    // The map widget gives multiples of 1125; nothing below one pixel per
    // 180° can be drawn.
    diameter = std::max(1, d);
    update(false);
}

void GeoProjector::update(int w, int h, int d, int latMicro, int lonMicro)
{
    centerLatMicro = latMicro;
    centerLonMicro = lonMicro;
    update(w, h, d);
}

void GeoProjector::update(bool full)
{
    if (!full) {
        computeDerivedFields();
        prepareProjector();
        rebuildFrameBuffer();
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    QImage scratch(width, height, QImage::Format_ARGB32_Premultiplied);
    if (scratch.isNull())
        return;
    QPainter painter(&scratch);
    render(painter);
}

void GeoProjector::computeDerivedFields()
{
    if (diameter < 1)
        diameter = 1;
    centerX = width >> 1;
    centerY = height >> 1;
    centerLatRad = float(centerLatMicro) * kMicroToRadians;
    radiansPerPixel = (1.0f / float(diameter)) * 3.1415927f;
    scaleMicro = 180000000 / diameter;
    // Below 1125 pixels per 180° the map widget never goes; count it as
    // zoom 1 rather than divide by zero.
    cityThreshold = 2000000 / std::max(1, diameter / 1125);
}

void GeoProjector::goTo(int latMicro, int lonMicro)
{
    centerLatMicro = latMicro - latMicro % 10000;
    centerLonMicro = lonMicro - lonMicro % 10000;
    update(false);
}

void GeoProjector::move(int dx, int dy)
{
    int lat = 0;
    int lon = 0;
    if (!screen2Geo(width / 2 - dx, height / 2 - dy, lat, lon))
        return;
    lat = std::clamp(lat, -80000000, 80000000);
    centerLatMicro = lat - lat % 10000;
    centerLonMicro = lon - lon % 10000;
    update(false);
}

int GeoProjector::wrapLongitude(long long lonMicro)
{
    if (lonMicro > kHalfTurnMicro)
        lonMicro -= kTurnMicro;
    if (lonMicro < -kHalfTurnMicro)
        lonMicro += kTurnMicro;
    return clampToInt(lonMicro);
}

long long GeoProjector::columnLongitude(int x) const
{
    return (long long)(x - centerX) * scaleMicro + centerLonMicro;
}

long long GeoProjector::nearestCopy(long long lonMicro) const
{
    long long offset = (lonMicro - centerLonMicro) % kTurnMicro;
    if (offset > kHalfTurnMicro)
        offset -= kTurnMicro;
    else if (offset < -kHalfTurnMicro)
        offset += kTurnMicro;
    return centerLonMicro + offset;
}

// ---------------------------------------------------------------------------
// Caches

bool GeoProjector::sameCacheKey() const
{
    const unsigned version = helper ? helperFileVersion : 0;
    return width == cached.width && height == cached.height &&
           centerLatMicro == cached.centerLatMicro && centerLonMicro == cached.centerLonMicro &&
           diameter == cached.diameter && helper == cached.helper &&
           version == cached.fileVersion && meteoType == cached.meteoType &&
           compoundNumber == cached.compoundNumber;
}

void GeoProjector::rebuildFrameBuffer()
{
    if (sameCacheKey())
        return;
    frameCurrent = false;
    const unsigned version = helper ? helperFileVersion : 0;
    cached.centerLatMicro = centerLatMicro;
    cached.centerLonMicro = centerLonMicro;
    cached.diameter = diameter;
    // Another file in the same helper counts as another helper.
    const bool sameData = helper == cached.helper && version == cached.fileVersion;
    if (width != cached.width || height != cached.height) {
        cached.width = width;
        cached.height = height;
        cached.cacheSize = width * height;
        valueCache.assign(size_t(cached.cacheSize), 0.0f);
        if (interpolate)
            previousCache.assign(size_t(cached.cacheSize), 0.0f);
        else
            std::vector<float>().swap(previousCache);
    } else if (sameData) {
        if (meteoType != cached.meteoType) {
            std::vector<float>().swap(previousCache);
        } else if (compoundNumber > cached.compoundNumber) {
            if (interpolate)
                previousCache = valueCache;
            else
                std::vector<float>().swap(previousCache);
        }
    } else if (meteoType != cached.meteoType) {
        std::vector<float>().swap(previousCache);
    }
    cached.compoundNumber = compoundNumber;
    cached.helper = helper;
    cached.fileVersion = version;
    cached.meteoType = meteoType;
    pixelIndex = 0;
    blendFactor = 0.0f;
    recompute = true;
}

// ---------------------------------------------------------------------------
// The colour layer

const GribMsg* GeoProjector::findMessage(int type) const
{
    if (!helper)
        return nullptr;
    const CompoundMsg& compound = helper->getCurrentCompound();
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

void GeoProjector::setData(void* helperPointer, int type, bool interpolateSteps, float t)
{
    frameCurrent = false;
    meteoType = 0;
    message = nullptr;
    helper = nullptr;
    windLayer = false;
    isobarLayer = false;
    interpolate = interpolateSteps;
    blendFactor = t;
    if (!helperPointer) {
        update(false);
        return;
    }
    helper = static_cast<GribFileHelper*>(helperPointer);
    helperFileVersion = helper->fileVersion();
    compoundNumber = helper->currentCompoundNum();
    const CompoundMsg& compound = helper->getCurrentCompound();
    if (compound.empty() || type == 0) {
        update(false);
        return;
    }
    switch (type) {
    case mtWind:
        windLayer = true;
        meteoType = mtWind;
        break;
    case mtPressure: case mtPrecipitation: case mtTemperature: case mtWave: case mtSST:
    case mtTidal: case mtPrecipRate:
        meteoType = type;
        break;
    default:
        // Several kinds at once: isobars and barbs over precipitation.
        isobarLayer = true;
        windLayer = true;
        meteoType = messageWithKey(compound, GribKey::precipitation) ? mtPrecipitation : 0;
        break;
    }
    message = findMessage(meteoType);
    if (!message) {
        update(false);
        return;
    }
    buildColourLookup();
    const bool patchStillValid = patchValid && helper == cached.helper &&
                                 helper->fileVersion() == patchFileVersion &&
                                 meteoType == cached.meteoType &&
                                 compoundNumber == cached.compoundNumber;
    if (!patchStillValid) {
        patchValid = buildPatchTable(*message);
        patchFileVersion = helper->fileVersion();
        if (!patchValid)
            message = nullptr;
    }
    update(false);
}

void GeoProjector::buildColourLookup()
{
    try {
        lookup.build(helper->getColorScale(unsigned(meteoType)), kSeaColour, kLandColour);
    } catch (int) {
        lookup.clear();
    }
}

bool GeoProjector::buildPatchTable(const GribMsg& msg)
{
    patchTable.clear();
    grid = GridDescription();
    if (!hasUsableGrid(&msg))
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
    const long long cellColumns = wraps ? ni : ni - 1;
    const long long cells = (long long)(nj - 1) * cellColumns;
    if (cells > kMaxCells)
        return false;

    // u and v make the speed; a v on another grid cannot be paired.
    std::vector<float> values(msg.values, msg.values + size_t(ni) * size_t(nj));
    if (meteoType == mtWind) {
        const GribMsg* v = messageWithKey(helper->getCurrentCompound(), GribKey::windV);
        if (v && v->values && v->ni == ni && v->nj == nj)
            for (size_t i = 0; i < values.size(); ++i)
                values[i] = std::sqrt(values[i] * values[i] + v->values[i] * v->values[i]);
    }

    grid.columns = ni;
    grid.rows = nj;
    grid.paddedColumns = wraps ? ni + 3 : ni + 2;
    grid.paddedRows = nj + 2;
    grid.cellRows = nj - 1;
    grid.cellColumns = int(cellColumns);
    grid.westMicro = int(west);
    grid.northMicro = int(north);
    grid.columnStepMicro = int(columnStep);
    grid.rowStepMicro = int(rowStep);
    grid.eastMicro = clampToInt(wraps ? west + kTurnMicro : west + span);
    grid.southMicro = int(south);
    grid.wrapsAround = wraps;

    // Padded grid: one more row and column on every side, copied from the
    // edge, or from the other side where the grid goes round the earth.
    const int pw = grid.paddedColumns;
    std::vector<float> padded(size_t(pw) * size_t(nj + 2));
    for (int row = 0; row < nj + 2; ++row) {
        const int source = std::clamp(row - 1, 0, nj - 1);
        const float* in = &values[size_t(source) * ni];
        float* out = &padded[size_t(row) * pw];
        for (int col = 0; col < pw; ++col) {
            int gridCol = col - 1;
            if (wraps)
                gridCol = (gridCol + ni) % ni;
            else
                gridCol = std::clamp(gridCol, 0, ni - 1);
            out[col] = in[gridCol];
        }
    }

    try {
        patchTable.assign(size_t(cells) * 16, 0.0f);
    } catch (const std::bad_alloc&) {
        patchTable.clear();
        return false;
    }
    const int cellRows = grid.cellRows;
    const int cellCols = grid.cellColumns;
    forEachRange(cellRows, 16, [&](int begin, int end) {
        for (int i = begin; i < end; ++i) {
            for (int j = 0; j < cellCols; ++j) {
                // c[k + 4m] = sum over a, b of W[k][a] W[m][b] P[a][b],
                // summed over b first.
                float across[4][4];
                for (int a = 0; a < 4; ++a) {
                    const float* p = &padded[size_t(i + a) * pw + j];
                    for (int m = 0; m < 4; ++m)
                        across[a][m] = kBasis[m][0] * p[0] + kBasis[m][1] * p[1] +
                                       kBasis[m][2] * p[2] + kBasis[m][3] * p[3];
                }
                float* c = &patchTable[(size_t(i) * cellCols + j) * 16];
                for (int k = 0; k < 4; ++k)
                    for (int m = 0; m < 4; ++m)
                        c[k + 4 * m] = kBasis[k][0] * across[0][m] + kBasis[k][1] * across[1][m] +
                                       kBasis[k][2] * across[2][m] + kBasis[k][3] * across[3][m];
            }
        }
    });
    return true;
}

GeoProjector::GridPlace GeoProjector::placeLongitude(long long lonMicro) const
{
    GridPlace place;
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

GeoProjector::GridPlace GeoProjector::placeInCells(int offset, int step, int cells)
{
    GridPlace place;
    if (step <= 0)
        return place;
    place.inBounds = true;
    const int cell = offset / step;
    if (cell < 0 || cell >= cells)
        return place;
    const float fraction = float(offset) / float(step) - float(cell);
    place.inCell = true;
    place.cell = cell;
    place.powers[1] = fraction;
    place.powers[2] = fraction * fraction;
    place.powers[3] = fraction * fraction * fraction;
    return place;
}

GeoProjector::GridPlace GeoProjector::placeLatitude(int latMicro) const
{
    if (latMicro < grid.southMicro || latMicro > grid.northMicro)
        return GridPlace();
    return placeInCells(grid.northMicro - latMicro, grid.rowStepMicro, grid.cellRows);
}

namespace {

using Float4 = float __attribute__((vector_size(16)));

Float4 load4(const float* at)
{
    Float4 v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// The colour slot of a shown value for one kind of field: wind is looked
// up in knots, temperatures in degrees Celsius, precipitation from 0.4 mm.
template <int Type>
inline int slotFor(const ColourLookup& lookup, float shown)
{
    if (!(shown > 0.025f))
        shown = 0.0f;
    if constexpr (Type == mtWind)
        return lookup.bandSlot(float(double(shown) * 1.9440124));
    else if constexpr (Type == mtTemperature || Type == mtSST)
        return shown > 173.0f ? lookup.bandSlot(float(double(shown) - 273.0)) : 0;
    else if constexpr (Type == mtPrecipitation)
        return double(shown) >= 0.4 ? lookup.bandSlot(shown) : 0;
    else
        return shown > 0.0f ? lookup.bandSlot(shown) : 0;
}

}  // namespace

inline float GeoProjector::patchValue(const GridPlace& row, const GridPlace& column) const
{
    // Sum over m of c[k + 4m] v^m for the four k at once, then over k.
    const float* c = &patchTable[(size_t(row.cell) * grid.cellColumns + column.cell) * 16];
    const Float4 across = load4(c) * column.powers[0] + load4(c + 4) * column.powers[1] +
                          load4(c + 8) * column.powers[2] + load4(c + 12) * column.powers[3];
    return across[0] * row.powers[0] + across[1] * row.powers[1] + across[2] * row.powers[2] +
           across[3] * row.powers[3];
}

int GeoProjector::slotOfValue(float shown) const
{
    switch (meteoType) {
    case mtWind: return slotFor<mtWind>(lookup, shown);
    case mtTemperature: return slotFor<mtTemperature>(lookup, shown);
    case mtSST: return slotFor<mtSST>(lookup, shown);
    case mtPrecipitation: return slotFor<mtPrecipitation>(lookup, shown);
    default: return slotFor<0>(lookup, shown);
    }
}

inline bool GeoProjector::shownValue(const GridPlace& row, const GridPlace& column, int index, float& shown)
{
    if (!row.inBounds || !column.inBounds)
        return false;
    const bool inValues = index >= 0 && size_t(index) < valueCache.size();
    const bool hasPrevious = interpolate && inValues && size_t(index) < previousCache.size();
    float value = 0.0f;
    if (recompute) {
        if (!row.inCell || !column.inCell) {
            if (inValues)
                valueCache[size_t(index)] = 0.0f;
            return false;
        }
        value = patchValue(row, column);
        if (inValues)
            valueCache[size_t(index)] = value;
    } else {
        if (!inValues)
            return false;
        value = valueCache[size_t(index)];
    }
    shown = value;
    if (hasPrevious) {
        const float previous = previousCache[size_t(index)];
        shown = previous + (value - previous) * blendFactor;
    }
    return true;
}

int GeoProjector::weatherSlot(const GridPlace& row, const GridPlace& column, int index)
{
    float shown = 0.0f;
    if (!message || !shownValue(row, column, index, shown))
        return 0;
    return slotOfValue(shown);
}

QRgb GeoProjector::getWeatherAt(int latMicro, int lonMicro)
{
    if (!message)
        return 0;
    return lookup.colour(weatherSlot(placeLatitude(latMicro), placeLongitude(lonMicro), pixelIndex));
}

QRgb GeoProjector::getColour(unsigned int type, float value) const
{
    QColor colour(0, 0, 0, 0);
    if (!helper)
        return colour.rgba();
    try {
        const ColourScale& scale = helper->getColorScale(type);
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

// ---------------------------------------------------------------------------
// The base image and the frame

namespace {

bool usableMask(const QImage& mask)
{
    return !mask.isNull() && mask.format() == QImage::Format_Mono &&
           mask.width() >= LandMaskImage::kWidth && mask.height() >= LandMaskImage::kHeight;
}

}  // namespace

void GeoProjector::buildBaseImage(const std::vector<int>& rowLatMicro)
{
    const SharedData* data = maskData();
    BaseKey key;
    key.data = data;
    key.width = width;
    key.height = height;
    key.diameter = diameter;
    key.centerLatMicro = centerLatMicro;
    key.centerLonMicro = centerLonMicro;
    key.rowLatMicro = rowLatMicro;
    if (key == baseKey && baseImage.size() == size_t(width) * size_t(height))
        return;
    baseKey = std::move(key);
    baseImage.assign(size_t(width) * size_t(height), kSea);
    const bool west = data && usableMask(data->westernMask);
    const bool east = data && usableMask(data->easternMask);
    if (!west && !east)
        return;
    maskColumns.resize(size_t(width));
    for (int x = 0; x < width; ++x) {
        long long folded = columnLongitude(x) % kTurnMicro;
        if (folded > kHalfTurnMicro)
            folded -= kTurnMicro;
        else if (folded < -kHalfTurnMicro)
            folded += kTurnMicro;
        MaskColumn& column = maskColumns[size_t(x)];
        if (folded < 0 && west) {
            // Just west of 0° the arithmetic gives 18000: the last column.
            column = {0, std::min(int(folded / 10000) + 18000, LandMaskImage::kWidth - 1)};
        } else if (folded >= 0 && folded < kHalfTurnMicro && east) {
            column = {1, int(folded / 10000)};
        } else {
            column = {-1, 0};
        }
    }
    forEachRange(width, 64, [this, &rowLatMicro](int x0, int x1) { traceCoastStrip(x0, x1, rowLatMicro); });
}

// The coastline tracing, column strip by column strip: a pixel depends on
// its row's land tests and on the finished pixel above, which lies in the
// same strip, so the strips can be traced at once and give what one pass
// over the whole frame in raster order gives.
void GeoProjector::traceCoastStrip(int x0, int x1, const std::vector<int>& rowLatMicro)
{
    const SharedData* data = baseKey.data;
    const std::vector<MaskColumn>& columns = maskColumns;
    auto drawnRow = [&rowLatMicro](int y) {
        return rowLatMicro[size_t(y)] >= -kMaxLatMicro && rowLatMicro[size_t(y)] <= kMaxLatMicro;
    };
    auto landTest = [&](int x, int y) -> int {
        const MaskColumn& column = columns[size_t(x)];
        if (column.mask < 0)
            return kUntested;
        const int maskRow = (80000000 - rowLatMicro[size_t(y)]) / 10000;
        const QImage& mask = column.mask == 0 ? data->westernMask : data->easternMask;
        return LandMaskImage::isSet(mask, column.column, maskRow) ? kTestedLand : kTestedSea;
    };
    // The "previous pixel was land" flag on reaching (x, y): the last land
    // test before it in raster order, across rows.
    auto flagBefore = [&](int x, int y) {
        for (int yy = y; yy >= 0; --yy) {
            if (!drawnRow(yy))
                continue;
            for (int xx = (yy == y ? x : width) - 1; xx >= 0; --xx) {
                const int test = landTest(xx, yy);
                if (test != kUntested)
                    return test == kTestedLand;
            }
        }
        return false;
    };

    for (int y = 0; y < height; ++y) {
        if (!drawnRow(y))
            continue;
        uint8_t* out = &baseImage[size_t(y) * width];
        const uint8_t* above = y > 0 ? out - width : nullptr;
        bool previousLand = flagBefore(x0, y);
        int next = landTest(x0, y);
        for (int x = x0; x < x1; ++x) {
            const int test = next;
            next = x + 1 < width ? landTest(x + 1, y) : kUntested;
            uint8_t pixel = kSea;
            if (test == kTestedLand) {
                pixel = above && above[x] == kSea ? kCoast : kLand;
                previousLand = true;
            } else if (test == kTestedSea) {
                if ((previousLand && x >= 1) || (above && above[x] == kLand))
                    pixel = kCoast;
                previousLand = false;
            }
            // Land to the right, coming from sea, marks this pixel.
            if (next == kTestedLand && !previousLand && pixel == kSea)
                pixel = kLateCoast;
            out[x] = pixel;
        }
    }
}

template <int Type>
void GeoProjector::paintRowsOf(int y0, int y1, const std::vector<int>& rowLatMicro)
{
    constexpr bool seaOnly = Type == mtWave || Type == mtSST;
    // The output colour by base pixel and colour slot.
    QRgb composed[4][ColourLookup::kSlots];
    for (int slot = 0; slot < ColourLookup::kSlots; ++slot) {
        composed[kSea][slot] = lookup.overSea(slot);
        composed[kLand][slot] = lookup.overLand(slot);
        composed[kCoast][slot] = kCoastColour;
        composed[kLateCoast][slot] = kCoastColour;
    }
    // Whether a pixel's weather is looked up: not on coast it had already
    // become, and on the sea alone for sea-only fields.
    auto looksUp = [](uint8_t pixel) {
        return pixel == kSea || pixel == kLateCoast || (pixel == kLand && !seaOnly);
    };
    // No colour: the base map itself, whatever the lookup last held.
    composed[kSea][0] = kSeaColour;
    composed[kLand][0] = kLandColour;
    const bool coloured = message != nullptr;
    // Drawn rows are consecutive: the pixel index counts from the first.
    int firstDrawn = 0;
    while (firstDrawn < height && !(rowLatMicro[size_t(firstDrawn)] >= -kMaxLatMicro &&
                                    rowLatMicro[size_t(firstDrawn)] <= kMaxLatMicro))
        ++firstDrawn;
    for (int y = y0; y < y1; ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(frame.bits() + size_t(y) * frame.bytesPerLine());
        const int lat = rowLatMicro[size_t(y)];
        const uint8_t* base = &baseImage[size_t(y) * width];
        if (lat < -kMaxLatMicro || lat > kMaxLatMicro) {
            std::fill(out, out + width, kSeaColour);
            continue;
        }
        const GridPlace row = coloured ? rowPlaces[size_t(y)] : GridPlace();
        if (!row.inBounds) {
            for (int x = 0; x < width; ++x)
                out[x] = composed[base[x]][0];
            continue;
        }
        const int index0 = (y - firstDrawn) * width;
        if (size_t(index0) + size_t(width) > valueCache.size()) {
            // No cache for this row: pixel by pixel, as getWeatherAt does.
            for (int x = 0; x < width; ++x) {
                const uint8_t pixel = base[x];
                float shown = 0.0f;
                int slot = 0;
                if (looksUp(pixel) && shownValue(row, columnPlaces[size_t(x)], index0 + x, shown))
                    slot = slotFor<Type>(lookup, shown);
                out[x] = composed[pixel][slot];
            }
            continue;
        }
        float* values = &valueCache[size_t(index0)];
        const float* previous =
            interpolate && size_t(index0) + size_t(width) <= previousCache.size() ? &previousCache[size_t(index0)]
                                                                                 : nullptr;
        const float t = blendFactor;
        if (recompute) {
            for (int x = 0; x < width; ++x) {
                const uint8_t pixel = base[x];
                const GridPlace& column = columnPlaces[size_t(x)];
                if (!looksUp(pixel) || !column.inBounds) {
                    out[x] = composed[pixel][0];
                    continue;
                }
                if (!row.inCell || !column.inCell) {
                    values[x] = 0.0f;
                    out[x] = composed[pixel][0];
                    continue;
                }
                const float value = patchValue(row, column);
                values[x] = value;
                const float shown = previous ? previous[x] + (value - previous[x]) * t : value;
                out[x] = composed[pixel][slotFor<Type>(lookup, shown)];
            }
        } else {
            const uint8_t* inBounds = columnInBounds.data();
            for (int x = 0; x < width; ++x) {
                const uint8_t pixel = base[x];
                const float value = values[x];
                const float shown = previous ? previous[x] + (value - previous[x]) * t : value;
                const int slot = slotFor<Type>(lookup, shown);
                const bool shows = inBounds[x] && (!seaOnly || pixel == kSea);
                out[x] = composed[pixel][shows ? slot : 0];
            }
        }
    }
}

void GeoProjector::paintFrameRows(int y0, int y1, const std::vector<int>& rowLatMicro)
{
    switch (meteoType) {
    case mtWind: paintRowsOf<mtWind>(y0, y1, rowLatMicro); break;
    case mtTemperature: paintRowsOf<mtTemperature>(y0, y1, rowLatMicro); break;
    case mtSST: paintRowsOf<mtSST>(y0, y1, rowLatMicro); break;
    case mtPrecipitation: paintRowsOf<mtPrecipitation>(y0, y1, rowLatMicro); break;
    case mtWave: paintRowsOf<mtWave>(y0, y1, rowLatMicro); break;
    default: paintRowsOf<0>(y0, y1, rowLatMicro); break;
    }
}

void GeoProjector::renderFrame(QPainter& painter, const std::vector<int>& rowLatMicro)
{
    QElapsedTimer timer;
    timer.start();
    pixelIndex = 0;
    if (width > 0 && height > 0) {
        if (frame.width() != width || frame.height() != height)
            frame = QImage(width, height, QImage::Format_RGB32);
        buildBaseImage(rowLatMicro);
        if (message) {
            columnPlaces.resize(size_t(width));
            for (int x = 0; x < width; ++x)
                columnPlaces[size_t(x)] = placeLongitude(columnLongitude(x));
            columnInBounds.resize(size_t(width));
            for (int x = 0; x < width; ++x)
                columnInBounds[size_t(x)] = columnPlaces[size_t(x)].inBounds;
            rowPlaces.resize(size_t(height));
            for (int y = 0; y < height; ++y)
                rowPlaces[size_t(y)] = placeLatitude(rowLatMicro[size_t(y)]);
        }
        if (!frame.isNull()) {
            // Nothing changed since the last frame: the same pixels again.
            if (!frameCurrent || recompute) {
                frame.bits();  // detach once, before the rows are shared out
                forEachRange(height, 16, [this, &rowLatMicro](int y0, int y1) {
                    paintFrameRows(y0, y1, rowLatMicro);
                });
                frameCurrent = true;
            }
            painter.drawImage(0, 0, frame);
        }
        int drawn = 0;
        for (int lat : rowLatMicro)
            drawn += lat >= -kMaxLatMicro && lat <= kMaxLatMicro;
        pixelIndex = drawn * width;
    }
    GeoProjector::render(painter);
    renderTime = int(timer.elapsed());
}

// ---------------------------------------------------------------------------
// Equirectangular

EquirectProjector::EquirectProjector()
{
    screen2GeoSlot = static_cast<Screen2GeoSlot>(&EquirectProjector::screen2Geo);
    geo2ScreenSlot = static_cast<Geo2ScreenSlot>(&EquirectProjector::geo2Screen);
}

void EquirectProjector::prepareProjector()
{
    centerRow = centerLatMicro / scaleMicro;
    mapTop = centerRow + ((height - diameter) >> 1);
    mapBottom = mapTop + diameter;
}

bool EquirectProjector::screen2Geo(int x, int y, int& latMicro, int& lonMicro)
{
    if (y < mapTop || y >= mapBottom)
        return false;
    latMicro = clampToInt((long long)(centerY - y) * scaleMicro + centerLatMicro);
    lonMicro = wrapLongitude(columnLongitude(x));
    return true;
}

bool EquirectProjector::geo2Screen(int latMicro, int lonMicro, int& x, int& y)
{
    x = clampToInt(((long long)lonMicro - centerLonMicro) / scaleMicro + centerX);
    y = clampToInt(centerY - ((long long)latMicro - centerLatMicro) / scaleMicro);
    return true;
}

void EquirectProjector::render(QPainter& painter)
{
    std::vector<int> rowLat(size_t(std::max(0, height)));
    for (int y = 0; y < height; ++y)
        rowLat[size_t(y)] = clampToInt((long long)(centerY - y) * scaleMicro + centerLatMicro);
    renderFrame(painter, rowLat);
}

// ---------------------------------------------------------------------------
// Mercator

MercatorProjector::MercatorProjector()
{
    screen2GeoSlot = static_cast<Screen2GeoSlot>(&MercatorProjector::screen2Geo);
    geo2ScreenSlot = static_cast<Geo2ScreenSlot>(&MercatorProjector::geo2Screen);
}

void MercatorProjector::prepareProjector()
{
    // At a pole the ordinate is infinite: a centre there is taken at 89°,
    // which shows the same map (nothing beyond 80° is drawn).
    const float latitude = std::clamp(centerLatRad, -kMaxCentreRadians, kMaxCentreRadians);
    const float t = std::tan(latitude);
    centerRow = truncToInt(std::log(t + std::sqrt(t * t + 1.0f)) * (1.0f / radiansPerPixel));
}

int MercatorProjector::rowLatitude(int y) const
{
    const float angle = float((long long)centerY + centerRow - y) * radiansPerPixel;
    return truncToInt(std::atan(std::sinh(double(angle))) * 57295776.3671875);
}

bool MercatorProjector::screen2Geo(int x, int y, int& latMicro, int& lonMicro)
{
    latMicro = rowLatitude(y);
    lonMicro = wrapLongitude(columnLongitude(x));
    return true;
}

namespace {

// The Mercator ordinate of sin(latitude) on the ellipsoid, in radians.
float mercatorOrdinate(float s)
{
    const float e = 0.08181919f;
    const float es = e * s;
    return float(0.5f * float(std::log(double((1.0f + s) * (1.0f / (1.0f - s))))) -
                 e * 0.5f * float(std::log(double((1.0f + es) * (1.0f / (1.0f - es))))));
}

}  // namespace

bool MercatorProjector::geo2Screen(int latMicro, int lonMicro, int& x, int& y)
{
    x = clampToInt(((long long)lonMicro - centerLonMicro) / scaleMicro + centerX);
    const float s0 = std::sin(std::clamp(centerLatRad, -kMaxCentreRadians, kMaxCentreRadians));
    const float s = std::sin(float(latMicro) * kMicroToRadians);
    y = truncToInt(float(centerY) + (1.0f / radiansPerPixel) * (mercatorOrdinate(s0) - mercatorOrdinate(s)));
    return true;
}

void MercatorProjector::render(QPainter& painter)
{
    std::vector<int> rowLat(size_t(std::max(0, height)));
    for (int y = 0; y < height; ++y)
        rowLat[size_t(y)] = rowLatitude(y);
    renderFrame(painter, rowLat);
}

// ---------------------------------------------------------------------------
// Symbol layers

namespace {

// One barb in its own frame, pixels before the 1.5 scale: the staff and
// feathers as integer lines, the pennants as rectangles.
struct BarbFigure {
    double angleDegrees = 0.0;
    QLine lines[8];
    int lineCount = 0;
    QRectF pennants[8];
    int pennantCount = 0;
};

constexpr double kFeatherCos = 0.32653062267136657;
constexpr double kFeatherRise = 0.5789267967801814;
constexpr double kFeatherRun = 0.2;
constexpr double kHalfFeatherRun = 0.11428571598870411;
constexpr double kPennantSlot = 0.4;
constexpr double kPennantHeight = 0.35;
constexpr double kBarbScale = 1.5;

// False when the barb is not drawn (below one knot).
bool barbFigure(double u, double v, double speed, BarbFigure& figure)
{
    const int knots = truncToInt(speed * 1.944012421496605);
    if (knots <= 0)
        return false;
    const int pennants = knots / 50;
    const int rest = knots % 50;
    const int feathers = rest / 10;
    const int halfFeathers = (rest % 10) / 5;
    figure.angleDegrees = -(std::atan2(v, u) - std::atan2(0.0, 1.0)) * 57.29582574928754;
    figure.lineCount = 0;
    figure.pennantCount = 0;
    auto addLine = [&figure](double x1, double y1, double x2, double y2) {
        if (figure.lineCount < 8)
            figure.lines[figure.lineCount++] = QLine(truncToInt(10.0 * x1), truncToInt(-10.0 * y1),
                                                     truncToInt(10.0 * x2), truncToInt(-10.0 * y2));
    };
    addLine(-0.5, 0.0, 0.5, 0.0);
    double cursor = -0.5;
    for (int i = 0; i < pennants; ++i) {
        // A solid flag over the upwind half of its slot, lower than a
        // feather: the next feather leans back over the slot, and its tip
        // must stand clear of the flag to be counted.
        if (figure.pennantCount < 8 && cursor < 0.5)
            figure.pennants[figure.pennantCount++] =
                QRectF(10.0 * cursor, -10.0 * kPennantHeight, 10.0 * kPennantSlot / 2, 10.0 * kPennantHeight);
        cursor += kPennantSlot;
    }
    for (int i = 0; i < feathers; ++i) {
        addLine(cursor, 0.0, cursor - kFeatherRun, kFeatherRise);
        cursor += kFeatherRun;
    }
    if (halfFeathers > 0)
        addLine(cursor, 0.0, cursor - kHalfFeatherRun, std::sin(std::acos(kFeatherCos)) * 0.35);
    return true;
}

QTransform barbTransform(const QPointF& at, double angleDegrees)
{
    QTransform transform;
    transform.translate(at.x(), at.y());
    transform.rotate(angleDegrees);
    transform.scale(kBarbScale, kBarbScale);
    return transform;
}

// Whether a symbol at (x, y) can reach into a frame of width x height.
bool nearFrame(int x, int y, int width, int height)
{
    return x > -kSymbolReach && x < width + kSymbolReach && y > -kSymbolReach && y < height + kSymbolReach;
}

}  // namespace

void GeoProjector::renderWindBarb(QPainter* painter, double u, double v, double speed)
{
    BarbFigure figure;
    if (!barbFigure(u, v, speed, figure))
        return;
    painter->rotate(figure.angleDegrees);
    painter->scale(kBarbScale, kBarbScale);
    painter->drawLines(figure.lines, figure.lineCount);
    if (figure.pennantCount > 0) {
        painter->save();
        painter->setBrush(painter->pen().color());
        for (int i = 0; i < figure.pennantCount; ++i)
            painter->drawRect(figure.pennants[i]);
        painter->restore();
    }
}

void GeoProjector::render(QPainter& painter)
{
    renderCityNames(painter);
    if (!helper) {
        recompute = false;
        return;
    }
    // The helper moved to another compound or file without a setData: the
    // message pointer may point into what it replaced, so look it up in
    // what is current.  The colour layer follows at the next setData.
    if (helper->currentCompoundNum() != compoundNumber || helper->fileVersion() != patchFileVersion)
        message = findMessage(meteoType);
    const CompoundMsg& compound = helper->getCurrentCompound();
    if (windLayer)
        renderWind(&painter);
    if (meteoType == mtTidal)
        paintArrowLayer(painter, compound, GribKey::tidalSpeed, GribKey::tidalDirection, false);
    if (isobarLayer)
        renderIsoLines(&painter, &helper->getIsobars().getContours(), QColor(128, 192, 255, 255),
                       QColor(0, 0, 0, 255), 2);
    if (message) {
        painter.save();
        renderLegend(painter);
        renderDateLine(painter);
        painter.restore();
    }
    if (meteoType == mtWave)
        paintArrowLayer(painter, compound, GribKey::swellHeight, GribKey::swellDirection, true);
    recompute = false;
}

void GeoProjector::paintArrowLayer(QPainter& painter, const CompoundMsg& compound, unsigned magnitudeKey,
                                   unsigned directionKey, bool reverse)
{
    const GribMsg* magnitude = messageWithKey(compound, magnitudeKey);
    const GribMsg* direction = messageWithKey(compound, directionKey);
    if (!magnitude || !direction)
        return;
    painter.save();
    painter.setPen(QPen(QColor(255, 255, 255, 255), 0));
    paintDirection(&painter, magnitude, direction, reverse);
    painter.restore();
}

void GeoProjector::renderWind(QPainter* painter)
{
    const CompoundMsg& compound = helper->getCurrentCompound();
    const GribMsg* u = messageWithKey(compound, GribKey::windU);
    const GribMsg* v = messageWithKey(compound, GribKey::windV);
    if (!hasUsableGrid(u) || !v || !v->values || v->ni != u->ni || v->nj != u->nj || width <= 0)
        return;
    painter->save();
    painter->setPen(QPen(QColor(0, 0, 0, 255), 0));
    const long long s = (long long)u->di * 1000;
    const long long columnsOnScreen = (long long)(float(width) * 180.0f / float(diameter) * 1e6f) / s;
    const int spacing = symbolSpacing(s, 20009, 100099, 500099);
    const int step = int(std::max<long long>(1, columnsOnScreen * spacing / width + 1));

    // Every barb's lines in frame pixels, drawn in one call; pennants go
    // through the painter's transform as filled rectangles.
    std::vector<QLineF> lines;
    const QTransform base = painter->worldTransform();
    for (int i = 0; i < u->nj; i += step) {
        for (int j = 0; j < u->ni; j += step) {
            const float uValue = u->getValueAtInd(i, j);
            const float vValue = v->getValueAtInd(i, j);
            if (!isColoured(uValue) || !isColoured(vValue))
                continue;
            const double speed = std::sqrt(double(uValue) * uValue + double(vValue) * vValue);
            int x = 0;
            int y = 0;
            if (!gridPointOnScreen(*u, i, j, x, y))
                continue;
            BarbFigure figure;
            if (!barbFigure(uValue, vValue, speed, figure))
                continue;
            const QTransform transform = barbTransform(QPointF(x, y), figure.angleDegrees) * base;
            for (int k = 0; k < figure.lineCount; ++k)
                lines.push_back(transform.map(QLineF(figure.lines[k])));
            if (figure.pennantCount > 0) {
                painter->save();
                painter->setWorldTransform(transform);
                painter->setBrush(painter->pen().color());
                for (int k = 0; k < figure.pennantCount; ++k)
                    painter->drawRect(figure.pennants[k]);
                painter->restore();
            }
        }
    }
    painter->resetTransform();
    painter->drawLines(lines.data(), int(lines.size()));
    painter->restore();
}

bool GeoProjector::gridPointOnScreen(const GribMsg& msg, int row, int column, int& x, int& y)
{
    const long long lat = (long long)msg.lat1 * 1000 - (long long)row * msg.dj * 1000;
    const long long lon = nearestCopy((long long)msg.lon1 * 1000 + (long long)column * msg.di * 1000);
    geo2Screen(clampToInt(lat), clampToInt(lon), x, y);
    return nearFrame(x, y, width, height);
}

void GeoProjector::paintDirection(QPainter* painter, const GribMsg* magnitude, const GribMsg* direction,
                                  bool reverse)
{
    if (!hasUsableGrid(direction) || !magnitude || !magnitude->values || width <= 0)
        return;
    const long long s = (long long)direction->di * 1000;
    const long long columnsOnScreen = std::llabs((long long)width * scaleMicro / s);
    const int spacing = symbolSpacing(s, 20000, 100000, 500000);
    const int step = int(std::max<long long>(1, columnsOnScreen * spacing / width + 1));
    static const QPoint arrow[9] = {{-1, 3}, {6, 0}, {-1, -3}, {0, -3}, {0, -1},
                                    {-6, -1}, {-6, 1}, {0, 1}, {-1, 3}};
    const int rows = std::min(direction->nj, magnitude->nj);
    const int columns = std::min(direction->ni, magnitude->ni);
    for (int i = 0; i < rows; i += step) {
        for (int j = 0; j < columns; j += step) {
            const float size = magnitude->values[size_t(i) * magnitude->ni + j];
            if (size == 0.0f || !isColoured(size))
                continue;
            float bearing = direction->getValueAtInd(i, j);
            if (!isColoured(bearing))
                continue;
            int x = 0;
            int y = 0;
            if (!gridPointOnScreen(*direction, i, j, x, y))
                continue;
            if (reverse)
                bearing = bearing > 180.0f ? bearing - 180.0f : bearing + 180.0f;
            painter->save();
            painter->translate(x, y);
            painter->rotate(double(bearing) - 90.0);
            painter->drawPolyline(arrow, 9);
            painter->restore();
        }
    }
}

void GeoProjector::renderIsoLines(QPainter* painter, const ContourSet::Map* isolines,
                                  const QColor& lineColour, const QColor& textColour, int kind)
{
    if (!isolines)
        return;
    painter->save();
    QPen pen = painter->pen();
    pen.setColor(lineColour);
    pen.setStyle(Qt::SolidLine);
    painter->setPen(pen);
    painter->setRenderHint(QPainter::TextAntialiasing, false);

    struct Label {
        float level;
        QPoint at;
    };
    std::vector<Label> labels;
    std::vector<QLine> lines;
    auto conflicts = [&labels](float level, const QPoint& at) {
        for (const Label& label : labels) {
            const int dx = label.at.x() - at.x();
            const int dy = label.at.y() - at.y();
            if (label.level == level ? dx * dx + dy * dy < 62500 : std::abs(dx) < 50 && std::abs(dy) < 50)
                return true;
        }
        return false;
    };
    auto toScreen = [this](const QPointF& degrees, long long shift) {
        int x = 0;
        int y = 0;
        geo2Screen(truncToInt(degrees.y() * 1e6), clampToInt(truncToInt(degrees.x() * 1e6) + shift), x, y);
        return QPoint(x, y);
    };
    for (const auto& level : *isolines) {
        bool mayLabel = true;
        QPoint lastLabel(-1, -1);
        const std::vector<QPointF>& points = level.second;
        for (size_t k = 0; k + 1 < points.size(); k += 2) {
            const long long first = truncToInt(points[k].x() * 1e6);
            const long long shift = nearestCopy(first) - first;
            const QPoint start = toScreen(points[k], shift);
            const QPoint end = toScreen(points[k + 1], shift);
            lines.emplace_back(start, end);
            if (!mayLabel) {
                const int dx = end.x() - lastLabel.x();
                const int dy = end.y() - lastLabel.y();
                if ((long long)dx * dx + (long long)dy * dy > 62500)
                    mayLabel = true;
                continue;
            }
            if (end.x() >= 51 && end.x() < width - 50 && end.y() >= 51 && end.y() < height - 50 &&
                !conflicts(level.first, end)) {
                labels.push_back({level.first, end});
                lastLabel = end;
                mayLabel = false;
            }
        }
    }
    painter->drawLines(lines.data(), int(lines.size()));

    QFont font = painter->font();
    font.setFamily("Helvetica");
    font.setPointSize(10);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::NoAntialias);
    painter->setFont(font);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(textColour);
    painter->setBrush(QBrush(lineColour, Qt::SolidPattern));
    const QFontMetrics metrics(font);
    for (const Label& label : labels) {
        QString text;
        if (kind == 2)
            text = QString::asprintf("%d", truncToInt(std::floor(0.01 * label.level)));
        else if (kind == 8)
            text = QString::asprintf("%d", truncToInt(std::floor(double(label.level) - 273.0)));
        const QRect box = metrics.tightBoundingRect(text);
        const int w = box.width();
        const int h = box.height();
        const int half = w >> 1;
        painter->drawRect(label.at.x() - half - 3, label.at.y() - h, w + 7, 2 * h - 1);
        painter->drawText(label.at.x() - half, label.at.y() + (h >> 1), text);
    }
    painter->restore();
}

void GeoProjector::renderLegend(QPainter& painter)
{
    const ColourScale::Map* bands = nullptr;
    try {
        bands = &helper->getColorScale(unsigned(meteoType)).getMap();
    } catch (int) {
        return;
    }
    const int count = int(bands->size());
    if (count < 2)
        return;
    const int right = width - 1;
    int y = height - (count * 18 + 40) - 18;
    painter.setPen(QColor(0, 0, 0, 255));
    // The largest key only closes the last band.
    for (auto band = std::next(bands->rbegin()); band != bands->rend(); ++band) {
        painter.setBrush(QBrush(band->second, Qt::SolidPattern));
        painter.drawRect(QRect(QPoint(right - 57, y), QPoint(right - 40, y + 17)));
        y += 18;
        QString text;
        if (meteoType == mtPressure)
            text = QString::asprintf("%d", truncToInt(band->first) / 100);
        else if (meteoType == mtWind)
            text = QString::asprintf("%.1f", double(band->first));
        else
            text = QString::asprintf("%.2f", double(band->first));
        painter.drawText(QPoint(right - 35, y + 3), text);
    }
    QString unit;
    switch (meteoType) {
    case mtPressure: unit = "[hPa]"; break;
    case mtPrecipitation: unit = "[mm]"; break;
    case mtPrecipRate: unit = "[mm/hr]"; break;
    case mtWind: case mtTidal: unit = "[knots]"; break;
    case mtWave: unit = "[m]"; break;
    case mtTemperature: case mtSST: unit = "[C]"; break;
    default: break;
    }
    painter.drawText(QPoint(right - 35, y + 21), unit);
}

void GeoProjector::renderDateLine(QPainter& painter)
{
    QFont font("Arial", 18, QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::darkGray);
    QDateTime time = message->validTime();
    if (!time.isValid())
        return;
    if (interpolate) {
        long long stepSeconds = (long long)helper->gribFile()->getTimeStep() * 3600;
        if (stepSeconds == 0)
            stepSeconds = 600;
        time = time.addSecs(truncToInt(double(stepSeconds) * (double(blendFactor) - 1.0) + 0.5));
    }
    const QString text = "Local time: " + time.toLocalTime().toString("dddd, dd-MM-yyyy, hh:mm");
    painter.setClipRect(0, 0, width, height);
    const int textWidth = QFontMetrics(font).horizontalAdvance(text);
    painter.drawText(width / 2 - textWidth / 2, height - 30, text);
}

void GeoProjector::renderCityNames(QPainter& painter)
{
    const SharedData* data = maskData();
    if (!data)
        return;
    painter.save();
    const QFont font("Helvetica", 9);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int half = metrics.height() >> 1;
    QPen pen = painter.pen();
    pen.setWidthF(0.5);
    pen.setColor(QColor::fromRgba(0xFF000000));
    painter.setPen(pen);
    QRadialGradient gradient(QPointF(0.5, 0.5), 0.5, QPointF(0.3, 0.4));
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0.0, QColor::fromRgba(0xFFFFACAC));
    gradient.setColorAt(0.5, QColor::fromRgba(0xFFFF1B1B));
    gradient.setColorAt(1.0, QColor::fromRgba(0xFFB00000));
    painter.setBrush(gradient);
    painter.setRenderHint(QPainter::Antialiasing, true);
    std::vector<QPoint> named;
    for (const CityData* city = data->cities; city && city->population >= cityThreshold; city = city->next) {
        int x = 0;
        int y = 0;
        geo2Screen(city->latMicro, clampToInt(nearestCopy(city->lonMicro)), x, y);
        if (x < 0 || x >= width || y < 0 || y >= height)
            continue;
        int radius = 0;
        for (unsigned ratio = unsigned(city->population / std::max(1, cityThreshold)); ratio; ratio >>= 1)
            ++radius;
        painter.drawEllipse(QRect(x - radius, y - radius, 2 * radius, 2 * radius));
        bool crowded = false;
        for (const QPoint& other : named)
            if (std::abs(other.x() - x) < 25 && std::abs(other.y() - y) < half) {
                crowded = true;
                break;
            }
        if (crowded)
            continue;
        named.emplace_back(x, y);
        const QString name = QString::fromUtf8(city->name);
        painter.drawText(x - metrics.horizontalAdvance(name) / 2, y - radius - 3, name);
    }
    painter.restore();
}
