#include "ColourLookup.h"

#include "ColourScale.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// x * a / 255 per channel, rounded as the raster painter's byte multiply.
uint32_t byteMul(uint32_t x, uint32_t a)
{
    uint32_t t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080);
    x &= 0xff00ff00;
    return x | t;
}

}  // namespace

QRgb ColourLookup::composeOver(QRgb src, QRgb dst)
{
    const QRgb premultiplied = qPremultiply(src);
    return premultiplied + byteMul(dst, 255 - qAlpha(premultiplied));
}

void ColourLookup::clear()
{
    count = 0;
    vectorCount = 0;
}

void ColourLookup::build(const ColourScale& scale, QRgb seaColour, QRgb landColour)
{
    clear();
    colours[0] = 0;
    float flat[kMaxBands];
    // The search counts keys not above the value: the padding must never
    // count, which +inf would for an infinite value.
    std::fill(flat, flat + kMaxBands, std::numeric_limits<float>::quiet_NaN());
    for (const auto& band : scale.getMap()) {
        if (count == kMaxBands)
            break;
        flat[count] = band.first;
        colours[count + 1] = band.second.rgba();
        ++count;
    }
    vectorCount = (count + 3) / 4;
    std::memcpy(keys, flat, sizeof keys);
    for (int slot = 0; slot <= count; ++slot) {
        onSea[slot] = composeOver(colours[slot], seaColour);
        onLand[slot] = composeOver(colours[slot], landColour);
    }
}
