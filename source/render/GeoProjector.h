// The map's projections: screen pixels to positions and back, the view
// (centre, scale, size) and the painting of one frame: the land/sea base
// image with its coastlines, the colour layer of the current weather field
// and the weather symbols on top.  Positions are in microdegrees, latitude
// first; screen positions are pixels from the top-left corner, y down.
//
// GeoProjector holds the view and the data shown and puts a frame together
// from layers that live in files of their own: BaseMapImage (land, sea and
// coast), ColourLayer (the weather field's colours), then WindBarbs,
// DirectionArrows, IsolineLayer, MapLegend, DateLine and CityNames on top.
// EquirectProjector (plate carree) and MercatorProjector supply the two
// conversions and the row-to-latitude mapping of the base map.
#ifndef SKYVANE_GEOPROJECTOR_H
#define SKYVANE_GEOPROJECTOR_H

#include "BaseMapImage.h"
#include "CityNames.h"
#include "ColourLayer.h"
#include "ContourSet.h"
#include "MeteoType.h"

#include <QColor>
#include <QImage>
#include <QRgb>

#include <vector>

class GribFileHelper;
class GribMsg;
class QPainter;
class SharedData;

class GeoProjector {
public:
    // The base map's colours.
    static constexpr QRgb kSeaColour = BaseMapImage::kSeaColour;
    static constexpr QRgb kLandColour = BaseMapImage::kLandColour;
    static constexpr QRgb kCoastColour = BaseMapImage::kCoastColour;

    // The grid of the colour layer, positions and steps in microdegrees.
    using GridDescription = ColourLayer::Grid;

    virtual ~GeoProjector();
    GeoProjector(const GeoProjector&) = delete;
    GeoProjector& operator=(const GeoProjector&) = delete;

    // Paints one frame: the concrete projectors draw the base map and the
    // colour layer and then call this, the symbol layers.
    virtual void render(QPainter& painter);
    virtual void prepareProjector() = 0;

    void update(int w, int h, int d);
    void update(int w, int h, int d, int latMicro, int lonMicro);
    // false: recompute the derived fields and validate the caches; true:
    // paint one frame into a scratch image, to fill the caches.
    void update(bool full);
    // Centres on the position truncated toward zero to 0.01°.
    void goTo(int latMicro, int lonMicro);
    // Pans by a pixel offset; the centre stays within ±80° latitude.
    void move(int dx, int dy);
    void rebuildFrameBuffer();

    bool screen2Geo(int x, int y, int& latMicro, int& lonMicro)
    {
        return (this->*screen2GeoSlot)(x, y, latMicro, lonMicro);
    }
    bool geo2Screen(int latMicro, int lonMicro, int& x, int& y)
    {
        return (this->*geo2ScreenSlot)(latMicro, lonMicro, x, y);
    }

    // The colour layer.  helper is the file's GribFileHelper or null; t is
    // the blend factor, 0 the previous step and 1 the current one.
    void setData(void* helper, int meteoType, bool interpolate, float t);
    // The colour of the pixel at the current pixel index (0 = transparent).
    QRgb getWeatherAt(int latMicro, int lonMicro);
    QRgb getColour(unsigned int meteoType, float value) const;

    // Symbol layers.
    void renderCityNames(QPainter& painter);
    void renderWind(QPainter* painter);
    static void renderWindBarb(QPainter* painter, double u, double v, double speed);
    void paintDirection(QPainter* painter, const GribMsg* magnitude, const GribMsg* direction,
                        bool reverse);
    void renderIsoLines(QPainter* painter, const ContourSet::Map* isolines, const QColor& lineColour,
                        const QColor& textColour, int kind);

    // The city whose ball or name the last frame drew at screen point
    // (x, y), the one on top where several are; false when none is there.
    bool drawnCityAt(int x, int y, DrawnCity& city) const;

    // The land masks and cities drawn; by default the settings store's.
    void setSharedData(const SharedData* data)
    {
        sharedData = data;
        frameCurrent = false;
    }

    // State, for the map widget, the animation and the tools.
    int frameWidth() const { return width; }
    int frameHeight() const { return height; }
    int getCenterX() const { return centerX; }
    int getCenterY() const { return centerY; }
    int getDiameter() const { return diameter; }
    int getMapTop() const { return mapTop; }
    int getMapBottom() const { return mapBottom; }
    int getCenterRow() const { return centerRow; }
    int getCenterLat() const { return centerLatMicro; }
    int getCenterLon() const { return centerLonMicro; }
    float getCenterLatRad() const { return centerLatRad; }
    int getScale() const { return scaleMicro; }
    float getRadiansPerPixel() const { return radiansPerPixel; }
    int getMeteoType() const { return meteoType; }
    bool windLayerOn() const { return windLayer; }
    bool isobarLayerOn() const { return isobarLayer; }
    bool needsRecompute() const { return recompute; }
    int getRenderTime() const { return renderTime; }
    int getCityThreshold() const { return cityThreshold; }
    const GribMsg* getMessage() const { return message; }
    GribFileHelper* getHelper() const { return helper; }
    int getCompoundNumber() const { return compoundNumber; }
    bool isInterpolating() const { return interpolate; }
    float getBlendFactor() const { return blendFactor; }
    const GridDescription& getGrid() const { return colourLayer.grid(); }
    const std::vector<float>& getPatchTable() const { return colourLayer.patchTable(); }
    const std::vector<float>& getValueCache() const { return colourLayer.valueCache(); }
    const std::vector<float>& getPreviousCache() const { return colourLayer.previousCache(); }
    int getPixelIndex() const { return pixelIndex; }
    // Per-pixel callers of getWeatherAt move the index themselves.
    void setPixelIndex(int index) { pixelIndex = index; }
    // The base map and colour layer of the last frame, without symbols.
    const QImage& lastFrame() const { return frame; }

protected:
    using Screen2GeoSlot = bool (GeoProjector::*)(int, int, int&, int&);
    using Geo2ScreenSlot = bool (GeoProjector::*)(int, int, int&, int&);

    GeoProjector();

    // Wraps a longitude once each way into [-180°, 180°].
    static int wrapLongitude(long long lonMicro);
    // The longitude of column x, not wrapped.
    long long columnLongitude(int x) const;

    // Paints the base map and colour layer for rows whose latitudes are
    // rowLatMicro (height entries), draws it, then the symbols, and
    // measures the time.
    void renderFrame(QPainter& painter, const std::vector<int>& rowLatMicro);

    Screen2GeoSlot screen2GeoSlot = nullptr;
    Geo2ScreenSlot geo2ScreenSlot = nullptr;
    int width = 0;
    int height = 0;
    int centerX = 0;
    int centerY = 0;
    int diameter = 0;
    int mapTop = 0;
    int mapBottom = 0;
    int centerRow = 0;
    int centerLatMicro = 0;
    int centerLonMicro = 0;
    float centerLatRad = 0.0f;
    int scaleMicro = 0;
    float radiansPerPixel = 0.0f;

private:
    // What the value caches were built for.
    struct CacheKey {
        GribFileHelper* helper = nullptr;
        unsigned fileVersion = 0;
        int cacheSize = 0;
        int meteoType = 0;
        int width = 0;
        int height = 0;
        int diameter = 0;
        int compoundNumber = 0;
        int centerLatMicro = 0;
        int centerLonMicro = 0;
    };

    const SharedData* maskData();
    void computeDerivedFields();
    bool sameCacheKey() const;
    RenderMath::ColumnScale columnScale() const { return {centerX, scaleMicro, centerLonMicro}; }

    // The colour layer's message for the type, or null.
    const GribMsg* findMessage(int type) const;
    // How the colour layer finds the values of this frame's pixels.
    ColourLayer::FrameState colourFrameState() const;

    const SharedData* sharedData = nullptr;
    // The cities of the last frame, in drawing order.
    std::vector<DrawnCity> drawnCities;
    int meteoType = 0;
    bool windLayer = false;
    bool isobarLayer = false;
    bool recompute = true;
    int pixelIndex = 0;
    int renderTime = 0;
    int cityThreshold = 0;
    const GribMsg* message = nullptr;
    GribFileHelper* helper = nullptr;
    // The helper's file when setData was given it: view changes compare
    // this, and never reach into a helper the caller may have dropped.
    unsigned helperFileVersion = 0;
    int compoundNumber = 0;
    CacheKey cached;
    bool interpolate = false;
    float blendFactor = 0.0f;

    // What the patch table was built from, beyond the cache key.
    unsigned patchFileVersion = 0;
    bool patchValid = false;
    ColourLayer colourLayer;

    BaseMapImage baseMap;
    QImage frame;
    // The frame holds what the current state shows.
    bool frameCurrent = false;
};

class EquirectProjector : public GeoProjector {
public:
    EquirectProjector();
    void render(QPainter& painter) override;
    void prepareProjector() override;
    bool screen2Geo(int x, int y, int& latMicro, int& lonMicro);
    bool geo2Screen(int latMicro, int lonMicro, int& x, int& y);
};

class MercatorProjector : public GeoProjector {
public:
    MercatorProjector();
    void render(QPainter& painter) override;
    void prepareProjector() override;
    bool screen2Geo(int x, int y, int& latMicro, int& lonMicro);
    bool geo2Screen(int latMicro, int lonMicro, int& x, int& y);

private:
    // The latitude of screen row y, on the sphere.
    int rowLatitude(int y) const;
};

#endif
