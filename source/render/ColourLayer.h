// The colour layer of one weather field: the field's grid cut into bicubic
// (Catmull-Rom) patches (cells beside points missing under a bitmap kept
// to their present corners), where the frame's rows and columns fall among
// them, the value of every drawn pixel kept between frames together with
// the previous time step's for blending, and the frame's rows painted in
// the colours of the field's scale over the base map.  The same maths
// gives the value at a single position from the one 4 x 4 neighbourhood
// of points around it, without a patch table.
#ifndef SKYVANE_COLOURLAYER_H
#define SKYVANE_COLOURLAYER_H

#include "ColourLookup.h"
#include "RenderMath.h"

#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <vector>

class BaseMapImage;
class CompoundMsg;
class GribFileHelper;
class GribMsg;
class QImage;

class ColourLayer {
public:
    // The grid of the patches, positions and steps in microdegrees.
    struct Grid {
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
        // Gaussian grids: each row's latitude, north to south; empty when
        // rows are rowStepMicro apart.
        std::vector<int> rowLatsMicro;
    };

    // How a frame finds its pixels' values.
    struct FrameState {
        int type = 0;               // the field's meteo type
        bool shown = false;         // a field is shown at all
        bool recompute = true;      // values computed afresh into the cache, else read from it
        bool interpolate = false;   // blended with the previous step's values
        float blendFactor = 0.0f;   // 0 the previous step, 1 the current one
    };

    // The value at one position (see valueAt): whether it lies on the
    // grid, and the value, not a number where the nearest point is missing.
    struct PointValue {
        bool onGrid = false;
        float value = 0.0f;
    };

    ColourLayer();

    // The grid of msg's patches; false for a grid that cannot be placed on
    // the earth.
    static bool describeGrid(const GribMsg& msg, Grid& grid);
    // The value of msg's field (with windV, u and v on the same grid, the
    // wind speed) at a position, from the 4 x 4 points around it: exactly
    // the value a frame keeps in the value cache for a pixel there, and
    // exactly the point's own value at a grid point (the southern and
    // eastern edges included, where the frame has no cell).
    static PointValue valueAt(const GribMsg& msg, const GribMsg* windV, int latMicro, long long lonMicro);
    // Whether a frame computes a value at the position: it lies in one of
    // the grid's cells.
    static bool inCell(const Grid& grid, int latMicro, long long lonMicro);

    // The message a type is coloured from in the compound, or null.
    static const GribMsg* fieldMessage(const CompoundMsg& compound, int type);
    // The colour of value on the helper's scale for the type: wind in
    // knots, temperatures in degrees Celsius, precipitation from 0.4 mm.
    static QRgb colourOf(const GribFileHelper& helper, unsigned type, float value);

    // The colour slots of the helper's scale for the type; none when it
    // has no scale for it.
    void buildLookup(const GribFileHelper& helper, int type);
    // The patches of msg's grid; with windV, u and v on the same grid, of
    // the wind speed.  False, with no patches, for a grid that cannot be
    // placed on the earth or is too large.
    bool buildPatches(const GribMsg& msg, const GribMsg* windV);

    // The value caches, one value per drawn pixel: emptied to pixels
    // zeros, with the previous step's as well when it is kept.
    void resetValues(size_t pixels, bool keepPrevious);
    void dropPrevious();
    // The values become the previous step's when the next step comes.
    void keepAsPrevious();

    // Where each of width screen columns and each row at rowLatMicro falls
    // in the grid, for the frame about to be painted.
    void placeFrame(const RenderMath::ColumnScale& columns, int width, const std::vector<int>& rowLatMicro);
    // The colour of the pixel at index that shows the position.
    QRgb weatherColour(int latMicro, int lonMicro, int index, const FrameState& state);
    // The pixels of a frame, taken once on the painting thread: the rows
    // are then shared out without touching the image (QImage::bits()
    // counts its calls, which threads must not do at once).
    struct FramePixels {
        uchar* bits = nullptr;
        qsizetype bytesPerLine = 0;
        int width = 0;
        int height = 0;
    };
    static FramePixels pixelsOf(QImage& image);
    // Rows y0 to y1 of the frame, whose rows lie at rowLatMicro: the layer
    // over the base map.
    void paintRows(const FramePixels& frame, const BaseMapImage& base, const std::vector<int>& rowLatMicro, int y0,
                   int y1, const FrameState& state);

    const Grid& grid() const { return gridShape; }
    const std::vector<float>& patchTable() const { return patches; }
    const std::vector<float>& valueCache() const { return values; }
    const std::vector<float>& previousCache() const { return previousValues; }

private:
    // Where a longitude or latitude falls in the grid.
    struct Place {
        bool inBounds = false;  // within the grid's edges
        bool inCell = false;    // and within one of its cells
        int cell = 0;
        float powers[4] = {1.0f, 0.0f, 0.0f, 0.0f};  // 1, f, f², f³
    };

    // A cell of a field with missing points (under a bitmap): its corners
    // (row-major, not a number where missing), which are missing (bit 2 x
    // row + column), and whether, all present, its neighbourhood is not:
    // its values are then kept between its corners.
    struct GapCell {
        float corners[4] = {};
        uint8_t missingCorners = 0;
        bool bounded = false;
    };

    // The cell whose 4 x 4 points start at padded[0] (rows stride apart)
    // in a field with missing points (not a number), filled holding them
    // guessed from their present neighbours: its corners, and its patch
    // into patch when they are all present.
    static GapCell gapCell(const float* padded, size_t stride, const float* filled, size_t filledStride,
                           float* patch);
    static Place placeLongitude(const Grid& grid, long long lonMicro);
    static Place placeLatitude(const Grid& grid, int latMicro);
    // offset µ° from the grid's first row or column, cells of step µ°.
    static Place placeInCells(int offset, int step, int cells);
    static Place placeBetweenRows(const Grid& grid, int latMicro);
    static Place placeAt(int cell, float fraction);
    // The bicubic sum of the patch c at the place.
    static float patchValue(const float* c, const Place& row, const Place& column);
    // The value in a cell: its patch's, or, for a field with missing
    // points, valueBesideGaps.
    float cellValue(const Place& row, const Place& column) const;
    // No value (not a number) where the nearest grid point is missing;
    // else, in a cell with missing corners, the present ones weighed; else
    // the patch's value, kept between the corners if its neighbourhood has
    // missing points.
    static float valueBesideGaps(const GapCell& gap, const float* patch, const Place& row, const Place& column);
    // The value a pixel shows (blended, and kept in the value cache when
    // recomputing); false where it has no colour.
    bool shownValue(const Place& row, const Place& column, int index, const FrameState& state, float& shown);
    // The colour slot (see ColourLookup) of a shown value.
    int slotOfValue(int type, float shown) const;
    template <int Type>
    void paintRowsOf(const FramePixels& frame, const BaseMapImage& base, const std::vector<int>& rowLatMicro,
                     int y0, int y1, const FrameState& state);

    ColourLookup lookup;
    Grid gridShape;
    std::vector<float> patches;
    std::vector<GapCell> gapCells;  // one a cell, none for a field without missing points
    std::vector<float> values;
    std::vector<float> previousValues;
    std::vector<Place> columnPlaces;
    std::vector<Place> rowPlaces;
    std::vector<uint8_t> columnInBounds;
};

#endif
