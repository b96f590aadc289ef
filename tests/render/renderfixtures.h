// Shared by the rendering tests: the scale and colours of the map, both
// projections, a private settings home, the colour layer's fields on grids
// of any size with smooth values, files of the data model's fixtures
// opened through the view helper, and frames drawn into images.
#pragma once

#include "modelfixtures.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace renderfixtures {

using modelfixtures::GribTestFile;
using modelfixtures::openHelper;

constexpr double kPi = 3.14159265358979323846;
constexpr int kZoom1 = 1125;  // pixels per 180° at zoom 1
constexpr QRgb kSea = GeoProjector::kSeaColour, kLand = GeoProjector::kLandColour, kCoast = GeoProjector::kCoastColour;
enum Kind { Equirect, Mercator };

inline std::unique_ptr<GeoProjector> makeProjector(int kind)
{
    return kind == Mercator ? std::unique_ptr<GeoProjector>(std::make_unique<MercatorProjector>())
                            : std::make_unique<EquirectProjector>();
}

// The settings store (home position, shared map data) reads the user's
// configuration folder: point it at a scratch directory before the first
// projector exists.
class ScratchHome {
public:
    ScratchHome()
    {
        QVERIFY(dir.isValid());
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(".config")));
    }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
};


// Fields the colour layer knows beyond the model fixtures' five.
inline GRIB_WRITE_PARAMS windSpeed() { return modelfixtures::field(32, 105, 10); }
inline GRIB_WRITE_PARAMS seaTemperature() { return modelfixtures::field(11, 1, 0); }
inline GRIB_WRITE_PARAMS swellHeight() { return modelfixtures::field(100, 1, 1); }
inline GRIB_WRITE_PARAMS windWaveHeight() { return modelfixtures::field(102, 1, 0); }
inline GRIB_WRITE_PARAMS combinedWaves() { return modelfixtures::field(100, 1, 0); }
inline GRIB_WRITE_PARAMS tidalSpeed() { return modelfixtures::field(48, 1, 0); }
inline GRIB_WRITE_PARAMS tidalDirection() { return modelfixtures::field(47, 1, 0); }

// p on ni × nj points from (lat1, lon1), steps in millidegrees.
inline GRIB_WRITE_PARAMS onGrid(GRIB_WRITE_PARAMS p, int lat1, int lon1, int ni, int nj, int step)
{
    p.ni = ni, p.nj = nj, p.lat1 = lat1, p.lon1 = lon1, p.lat2 = lat1 - (nj - 1) * step;
    p.lon2 = lon1 + (ni - 1) * step, p.di = p.dj = step, p.bits_per_value = 24;
    return p;
}

// f(lat°, lon°) at the grid points, rows north to south.
inline std::vector<float> sample(const GRIB_WRITE_PARAMS& p, const std::function<double(double, double)>& f)
{
    std::vector<float> v;
    for (int i = 0; i < p.nj; ++i)
        for (int j = 0; j < p.ni; ++j)
            v.push_back(float(f((p.lat1 - i * p.dj) / 1000.0, (p.lon1 + j * p.di) / 1000.0)));
    return v;
}

inline double smooth(double a, double o) { return std::sin(a * .15) * std::cos(o * .11) + .5 * std::cos(a * .4 + o * .23); }

// One frame of the projector at its current view, symbols included.
inline QImage renderFrame(GeoProjector& projector)
{
    QImage image(projector.frameWidth(), projector.frameHeight(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    projector.render(painter);
    painter.end();
    return image;
}

}  // namespace renderfixtures
