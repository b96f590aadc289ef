// Painting map frames outside the viewer: the environment the projector
// needs, the view the benchmarks measure and one whole frame.
#pragma once

#include "GeoProjector.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

namespace bench {

// Before the QGuiApplication: the offscreen platform unless one is named,
// the settings store the projector reads its home view from in home
// instead of the user's own, and one time zone for the time caption.
inline void isolateMapEnvironment(const QTemporaryDir& home)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
    qputenv("TZ", "UTC");
}

// Equirectangular at zoom 2, centred on 40° N 10° W: the Atlantic, Europe
// and Africa, long coasts.
constexpr int kMapZoom = 2;
constexpr int kMapLatMicro = 40000000;
constexpr int kMapLonMicro = -10000000;

inline void showAtlantic(GeoProjector& projector, int width, int height)
{
    projector.update(width, height, kMapZoom * 1125);
    projector.goTo(kMapLatMicro, kMapLonMicro);
}

// One whole frame, symbols included, on a fresh image.
inline QImage paintedFrame(GeoProjector& projector, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    projector.render(painter);
    return image;
}

}  // namespace bench
