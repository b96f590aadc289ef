// Land or sea at any position.  The fine mask is a pair of 1-bit images at
// 0.01° per pixel, Skyvane.00 (longitudes -180 to 0) and Skyvane.01 (0 to
// 180), covering 80° N to 80° S; without them, and beyond 80°, a coarse
// built-in coastline answers.
#ifndef SKYVANE_LANDMASK_H
#define SKYVANE_LANDMASK_H

#include <QImage>
#include "LandMaskImage.h"
#include <QString>

#include <vector>

struct ForecastGrid;

class LandMask {
public:
    static constexpr int kImageWidth = LandMaskImage::kWidth;
    static constexpr int kImageHeight = LandMaskImage::kHeight;

    // Loads both images from dir.  False with the reason, keeping the
    // built-in coastline, when either is missing, unreadable or of another
    // size.
    bool loadImages(const QString& dir, QString* error = nullptr);
    bool hasImages() const { return !west.isNull(); }

    bool isLand(int latMilli, int lonMilli) const;

    // One flag per grid point, rows north to south: 1 on land.
    void fill(const ForecastGrid& grid, std::vector<unsigned char>& land) const;

private:
    // The image pixel of a position; false outside the images' latitudes.
    bool imageLand(long long latMicro, long long lonMicro, bool& land) const;

    QImage west;  // set bit = land, one bit per pixel, most significant first
    QImage east;
};

#endif
