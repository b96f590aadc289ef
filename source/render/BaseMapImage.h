// The base map under the weather: for every pixel of the frame whether it
// shows sea, land or coast, traced from the land masks row by row with the
// latitudes the projection gives, and kept until the view changes.  Rows
// beyond 80° are not drawn and stay sea.
#ifndef SKYVANE_BASEMAPIMAGE_H
#define SKYVANE_BASEMAPIMAGE_H

#include "RenderMath.h"

#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <vector>

class SharedData;

class BaseMapImage {
public:
    static constexpr QRgb kSeaColour = 0xFF5497D8;
    static constexpr QRgb kLandColour = 0xFFF2EFE9;
    static constexpr QRgb kCoastColour = 0xFF000000;
    // Rows farther from the equator are not drawn.
    static constexpr int kMaxLatMicro = 79999999;

    // Pixel classes.  kLateCoast: a sea pixel that the land east of it
    // turns into coast.  It was still sea when its weather was looked up,
    // so its value is kept.
    enum Pixel : uint8_t { kSea = 0, kLand = 1, kCoast = 2, kLateCoast = 3 };

    static bool drawnLatitude(int latMicro) { return latMicro >= -kMaxLatMicro && latMicro <= kMaxLatMicro; }

    // Traces the map of data's masks for a frame of width x height whose
    // rows lie at rowLatMicro (height entries), unless it was traced for
    // the same view already.  diameter and centerLatMicro only tell views
    // apart; columns places the columns.
    void update(const SharedData* data, int width, int height, int diameter, int centerLatMicro,
                const RenderMath::ColumnScale& columns, const std::vector<int>& rowLatMicro);

    // The pixel classes of row y, width entries.
    const uint8_t* row(int y) const { return &pixels[size_t(y) * size_t(key.width)]; }

private:
    // What the image was traced for.
    struct Key {
        const SharedData* data = nullptr;
        int width = -1;
        int height = -1;
        int diameter = 0;
        int centerLatMicro = 0;
        int centerLonMicro = 0;
        std::vector<int> rowLatMicro;
        bool operator==(const Key& other) const;
    };
    // Where a screen column falls in the land masks.
    struct MaskColumn {
        int mask;    // 0 western, 1 eastern, -1 none
        int column;
    };

    void traceCoastStrip(int x0, int x1, const std::vector<int>& rowLatMicro);

    std::vector<uint8_t> pixels;
    Key key;
    std::vector<MaskColumn> maskColumns;
};

#endif
