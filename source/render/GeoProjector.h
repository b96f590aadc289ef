// The map's projections: screen pixels to positions and back, the view
// (centre, scale, size) and the painting of one frame: the land/sea base
// image with its coastlines, the colour layer of the current weather field
// and the weather symbols on top.  Positions are in microdegrees, latitude
// first; screen positions are pixels from the top-left corner, y down.
//
// GeoProjector holds all state and all drawing of the weather layers;
// EquirectProjector (plate carree) and MercatorProjector supply the two
// conversions and the row-to-latitude mapping of the base map.
#ifndef SKYVANE_GEOPROJECTOR_H
#define SKYVANE_GEOPROJECTOR_H

#include "ColourLookup.h"
#include "ContourSet.h"
#include "MeteoType.h"

#include <QColor>
#include <QImage>
#include <QRgb>

#include <cstdint>
#include <vector>

class GribFileHelper;
class CompoundMsg;
class GribMsg;
class QPainter;
class SharedData;

class GeoProjector {
public:
    // The base map's colours.
    static constexpr QRgb kSeaColour = 0xFF5497D8;
    static constexpr QRgb kLandColour = 0xFFF2EFE9;
    static constexpr QRgb kCoastColour = 0xFF000000;

    // The grid of the colour layer, positions and steps in microdegrees.
    struct GridDescription {
        int columns = 0;
        int rows = 0;
        int paddedColumns = 0;
        int paddedRows = 0;
        int cellRows = 0;
        int cellColumns = 0;
        int westMicro = 0;
        int northMicro = 0;
        int columnStepMicro = 0;
        int rowStepMicro = 0;
        int eastMicro = 0;
        int southMicro = 0;
        // The grid goes round the earth: its last column joins its first.
        bool wrapsAround = false;
    };

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
    const GridDescription& getGrid() const { return grid; }
    const std::vector<float>& getPatchTable() const { return patchTable; }
    const std::vector<float>& getValueCache() const { return valueCache; }
    const std::vector<float>& getPreviousCache() const { return previousCache; }
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
    // What the base image was built for.
    struct BaseKey {
        const SharedData* data = nullptr;
        int width = -1;
        int height = -1;
        int diameter = 0;
        int centerLatMicro = 0;
        int centerLonMicro = 0;
        std::vector<int> rowLatMicro;
        bool operator==(const BaseKey& other) const;
    };
    // Where a screen column falls in the land masks.
    struct MaskColumn {
        int mask;    // 0 western, 1 eastern, -1 none
        int column;
    };
    // Where a longitude or latitude falls in the colour layer's grid.
    struct GridPlace {
        bool inBounds = false;  // within the grid's edges
        bool inCell = false;    // and within one of its cells
        int cell = 0;
        float powers[4] = {1.0f, 0.0f, 0.0f, 0.0f};  // 1, f, f², f³
    };

    const SharedData* maskData();
    void computeDerivedFields();
    bool sameCacheKey() const;

    // The colour layer's message for the type, or null.
    const GribMsg* findMessage(int type) const;
    bool buildPatchTable(const GribMsg& msg);
    void buildColourLookup();
    GridPlace placeLongitude(long long lonMicro) const;
    GridPlace placeLatitude(int latMicro) const;
    // offset µ° from the grid's first row or column, cells of step µ°.
    static GridPlace placeInCells(int offset, int step, int cells);
    float patchValue(const GridPlace& row, const GridPlace& column) const;
    // The colour slot (see ColourLookup) of a pixel at the pixel index.
    int weatherSlot(const GridPlace& row, const GridPlace& column, int index);
    // The value a pixel shows (blended, and kept in the value cache when
    // recomputing); false where it has no colour.
    bool shownValue(const GridPlace& row, const GridPlace& column, int index, float& shown);
    int slotOfValue(float shown) const;

    // The base map: per pixel sea, land or coast, and the rows drawn.
    void buildBaseImage(const std::vector<int>& rowLatMicro);
    void traceCoastStrip(int x0, int x1, const std::vector<int>& rowLatMicro);
    void paintFrameRows(int y0, int y1, const std::vector<int>& rowLatMicro);
    template <int Type>
    void paintRowsOf(int y0, int y1, const std::vector<int>& rowLatMicro);

    // A longitude moved by whole turns to lie nearest the centre, so that
    // symbols show on the copy of the world in view.
    long long nearestCopy(long long lonMicro) const;
    // The screen position of a grid point (its copy nearest the centre);
    // false when it lies too far outside the frame to draw a symbol.
    bool gridPointOnScreen(const GribMsg& msg, int row, int column, int& x, int& y);
    // White arrows of the two messages, when the compound has both.
    void paintArrowLayer(QPainter& painter, const CompoundMsg& compound, unsigned magnitudeKey,
                         unsigned directionKey, bool reverse);
    void renderLegend(QPainter& painter);
    void renderDateLine(QPainter& painter);

    const SharedData* sharedData = nullptr;
    int meteoType = 0;
    bool windLayer = false;
    bool isobarLayer = false;
    bool recompute = true;
    std::vector<float> valueCache;
    std::vector<float> previousCache;
    int pixelIndex = 0;
    int renderTime = 0;
    int cityThreshold = 0;
    const GribMsg* message = nullptr;
    GribFileHelper* helper = nullptr;
    // The helper's file when setData was given it: view changes compare
    // this, and never reach into a helper the caller may have dropped.
    unsigned helperFileVersion = 0;
    int compoundNumber = 0;
    std::vector<float> patchTable;
    GridDescription grid;
    CacheKey cached;
    bool interpolate = false;
    float blendFactor = 0.0f;

    // What the patch table was built from, beyond the cache key.
    unsigned patchFileVersion = 0;
    bool patchValid = false;
    ColourLookup lookup;

    // Per pixel: 0 sea, 1 land, 2 coast; rows outside the drawn latitudes
    // stay sea.
    std::vector<uint8_t> baseImage;
    BaseKey baseKey;
    std::vector<MaskColumn> maskColumns;
    std::vector<GridPlace> columnPlaces;
    std::vector<GridPlace> rowPlaces;
    std::vector<uint8_t> columnInBounds;
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
