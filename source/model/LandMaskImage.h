// The land-mask files Skyvane.00 (longitudes -180° to 0°) and Skyvane.01
// (0° to 180°): 1-bit PNG images of 18000 x 16000 pixels at 0.01°, row 0
// just south of 80° N.  In memory a mask is a QImage::Format_Mono, most
// significant bit first, with a set bit on land, whatever way round the
// file stores its two grey levels.
#ifndef SKYVANE_LANDMASKIMAGE_H
#define SKYVANE_LANDMASKIMAGE_H

#include <QImage>
#include <QString>

namespace LandMaskImage {

constexpr int kWidth = 18000;   // pixels, 180° of longitude
constexpr int kHeight = 16000;  // pixels, 80° N to 80° S
constexpr char kWesternFile[] = "Skyvane.00";
constexpr char kEasternFile[] = "Skyvane.01";

// Reads one mask file; false with the reason when it is missing, no 1-bit
// grey or palette PNG, or of another size.
bool read(const QString& path, QImage& mask, QString* error = nullptr);

// Writes a mask (Format_Mono, set bit = land) as a 1-bit grey PNG in which
// white is land.
bool write(const QImage& mask, const QString& path, QString* error = nullptr);

// The mask bit of a pixel; the caller keeps column and row in range.
inline bool isSet(const QImage& mask, int column, int row)
{
    return mask.constScanLine(row)[column >> 3] & (0x80 >> (column & 7));
}

}  // namespace LandMaskImage

#endif
