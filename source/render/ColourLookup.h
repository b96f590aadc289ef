// A colour scale flattened for per-pixel use: the band keys in a small
// array searched without branches, each band's colour already composed over
// the two base-map colours.  Gives exactly the colours ColourScale gives.
#ifndef SKYVANE_COLOURLOOKUP_H
#define SKYVANE_COLOURLOOKUP_H

#include <QRgb>

#include <cstdint>

class ColourScale;

class ColourLookup {
public:
    // Slot 0 is transparent; slot k + 1 is the k-th band in key order.
    static constexpr int kMaxBands = 32;
    static constexpr int kSlots = kMaxBands + 1;

    // The bands of scale; a scale with more bands than kMaxBands keeps its
    // first kMaxBands.  An empty scale gives only the transparent slot.
    void build(const ColourScale& scale, QRgb seaColour, QRgb landColour);
    void clear();

    // The slot of the greatest key not above value, as ColourScale picks
    // it: a value below every key, or not a number, takes the first band.
    int bandSlot(float value) const
    {
        if (count == 0)
            return 0;
        // Four keys per comparison; the padding never compares true.
        const Float4 v = {value, value, value, value};
        Int4 below = {0, 0, 0, 0};
        for (int i = 0; i < vectorCount; ++i)
            below += keys[i] <= v;
        const int above = -(below[0] + below[1] + below[2] + below[3]);
        return above == 0 ? 1 : above;
    }

    QRgb colour(int slot) const { return colours[slot]; }
    // The slot's colour drawn over the sea or over land, opaque.
    QRgb overSea(int slot) const { return onSea[slot]; }
    QRgb overLand(int slot) const { return onLand[slot]; }
    int bandCount() const { return count; }

    // src (not premultiplied) drawn over the opaque dst the way the raster
    // painter composes an ARGB32 image.
    static QRgb composeOver(QRgb src, QRgb dst);

private:
    using Float4 = float __attribute__((vector_size(16)));
    using Int4 = int __attribute__((vector_size(16)));

    Float4 keys[kMaxBands / 4];
    int vectorCount = 0;
    QRgb colours[kSlots] = {};
    QRgb onSea[kSlots] = {};
    QRgb onLand[kSlots] = {};
    int count = 0;
};

#endif
