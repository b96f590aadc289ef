// Shared by the rendering tests: the scale and colours of the map, both
// projections, a private settings home, files of the data model's fixtures
// opened through the view helper, and frames drawn into images.
#pragma once

#include "modelfixtures.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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
