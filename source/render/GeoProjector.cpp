// The projector itself: the view and its derived fields, the data shown,
// when the value caches hold, and a frame put together from its layers.
#include "GeoProjector.h"

#include "CityNames.h"
#include "DateLine.h"
#include "DirectionArrows.h"
#include "FieldMessages.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "IsolineLayer.h"
#include "MapLegend.h"
#include "ParallelRanges.h"
#include "SettingsFactory.h"
#include "WindBarbs.h"

#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>

using RenderMath::clampToInt;
using RenderMath::kHalfTurnMicro;
using RenderMath::kTurnMicro;
using RenderMath::truncToInt;

// ---------------------------------------------------------------------------
// Construction and view state

GeoProjector::GeoProjector()
{
    const QPointF home = SettingsFactory::getHome();
    centerLatMicro = truncToInt(home.y() * 1e6);
    centerLonMicro = truncToInt(home.x() * 1e6);
}

GeoProjector::~GeoProjector() = default;

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
    centerLatRad = float(centerLatMicro) * RenderMath::kMicroToRadians;
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
    return columnScale().longitude(x);
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
        colourLayer.resetValues(size_t(cached.cacheSize), interpolate);
    } else if (sameData) {
        if (meteoType != cached.meteoType) {
            colourLayer.dropPrevious();
        } else if (compoundNumber > cached.compoundNumber) {
            if (interpolate)
                colourLayer.keepAsPrevious();
            else
                colourLayer.dropPrevious();
        }
    } else if (meteoType != cached.meteoType) {
        colourLayer.dropPrevious();
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
// The data shown

const GribMsg* GeoProjector::findMessage(int type) const
{
    if (!helper)
        return nullptr;
    return ColourLayer::fieldMessage(helper->getCurrentCompound(), type);
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
        meteoType = FieldMessages::messageWithKey(compound, GribKey::precipitation) ? mtPrecipitation : 0;
        break;
    }
    message = findMessage(meteoType);
    if (!message) {
        update(false);
        return;
    }
    colourLayer.buildLookup(*helper, meteoType);
    const bool patchStillValid = patchValid && helper == cached.helper &&
                                 helper->fileVersion() == patchFileVersion &&
                                 meteoType == cached.meteoType &&
                                 compoundNumber == cached.compoundNumber;
    if (!patchStillValid) {
        // u and v make the speed the wind is coloured by.
        const GribMsg* windV =
            meteoType == mtWind ? FieldMessages::messageWithKey(compound, GribKey::windV) : nullptr;
        patchValid = colourLayer.buildPatches(*message, windV);
        patchFileVersion = helper->fileVersion();
        if (!patchValid)
            message = nullptr;
    }
    update(false);
}

ColourLayer::FrameState GeoProjector::colourFrameState() const
{
    ColourLayer::FrameState state;
    state.type = meteoType;
    state.shown = message != nullptr;
    state.recompute = recompute;
    state.interpolate = interpolate;
    state.blendFactor = blendFactor;
    return state;
}

QRgb GeoProjector::getWeatherAt(int latMicro, int lonMicro)
{
    if (!message)
        return 0;
    return colourLayer.weatherColour(latMicro, lonMicro, pixelIndex, colourFrameState());
}

QRgb GeoProjector::getColour(unsigned int type, float value) const
{
    if (!helper)
        return QColor(0, 0, 0, 0).rgba();
    return ColourLayer::colourOf(*helper, type, value);
}

// ---------------------------------------------------------------------------
// The frame

void GeoProjector::renderFrame(QPainter& painter, const std::vector<int>& rowLatMicro)
{
    QElapsedTimer timer;
    timer.start();
    pixelIndex = 0;
    if (width > 0 && height > 0) {
        if (frame.width() != width || frame.height() != height)
            frame = QImage(width, height, QImage::Format_RGB32);
        const RenderMath::ColumnScale columns = columnScale();
        baseMap.update(maskData(), width, height, diameter, centerLatMicro, columns, rowLatMicro);
        if (message)
            colourLayer.placeFrame(columns, width, rowLatMicro);
        if (!frame.isNull()) {
            // Nothing changed since the last frame: the same pixels again.
            if (!frameCurrent || recompute) {
                const ColourLayer::FrameState state = colourFrameState();
                const ColourLayer::FramePixels pixels = ColourLayer::pixelsOf(frame);
                forEachRange(height, 16, [this, &rowLatMicro, &state, &pixels](int y0, int y1) {
                    colourLayer.paintRows(pixels, baseMap, rowLatMicro, y0, y1, state);
                });
                frameCurrent = true;
            }
            painter.drawImage(0, 0, frame);
        }
        int drawn = 0;
        for (int lat : rowLatMicro)
            drawn += BaseMapImage::drawnLatitude(lat);
        pixelIndex = drawn * width;
    }
    GeoProjector::render(painter);
    renderTime = int(timer.elapsed());
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
        DirectionArrows::paintLayer(painter, *this, compound, GribKey::tidalSpeed, GribKey::tidalDirection,
                                    false);
    if (isobarLayer)
        renderIsoLines(&painter, &helper->getIsobars().getContours(), QColor(128, 192, 255, 255),
                       QColor(0, 0, 0, 255), 2);
    if (message) {
        painter.save();
        MapLegend::paint(painter, *helper, meteoType, width, height);
        DateLine::paint(painter, *message, *helper, interpolate, blendFactor, width, height);
        painter.restore();
    }
    if (meteoType == mtWave)
        DirectionArrows::paintLayer(painter, *this, compound, GribKey::swellHeight, GribKey::swellDirection,
                                    true);
    recompute = false;
}

// ---------------------------------------------------------------------------
// Symbol layers, one at a time

void GeoProjector::renderCityNames(QPainter& painter)
{
    CityNames::paint(painter, *this, maskData(), cityThreshold, drawnCities);
}

bool GeoProjector::drawnCityAt(int x, int y, DrawnCity& city) const
{
    const DrawnCity* found = CityNames::cityAt(drawnCities, QPoint(x, y));
    if (found)
        city = *found;
    return found != nullptr;
}

void GeoProjector::renderWind(QPainter* painter)
{
    WindBarbs::paintLayer(painter, *this, helper->getCurrentCompound());
}

void GeoProjector::renderWindBarb(QPainter* painter, double u, double v, double speed)
{
    WindBarbs::paintBarb(painter, u, v, speed);
}

void GeoProjector::paintDirection(QPainter* painter, const GribMsg* magnitude, const GribMsg* direction,
                                  bool reverse)
{
    DirectionArrows::paint(painter, *this, magnitude, direction, reverse);
}

void GeoProjector::renderIsoLines(QPainter* painter, const ContourSet::Map* isolines, const QColor& lineColour,
                                  const QColor& textColour, int kind)
{
    IsolineLayer::paint(painter, *this, isolines, lineColour, textColour, kind);
}
