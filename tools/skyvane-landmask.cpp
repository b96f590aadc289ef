// Makes the viewer's land masks Skyvane.00 and Skyvane.01 from a TopoJSON
// land topology (Natural Earth's land-10m.json from world-atlas).
//
//   skyvane-landmask --topojson FILE [--object NAME] --out DIR
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <thread>

#include "LandMaskImage.h"
#include "LandRasteriser.h"
#include "TopoJsonLand.h"

namespace {

int usage(const char* message)
{
    if (message)
        std::fprintf(stderr, "skyvane-landmask: %s\n", message);
    std::fprintf(stderr, "usage: skyvane-landmask --topojson FILE [--object NAME] --out DIR\n");
    return 2;
}

// Written aside and renamed, so that an interrupted run leaves no half
// file for the build to take as done.
bool writeMask(const QImage& mask, const QString& path, QString* error)
{
    const QString partial = path + QStringLiteral(".partial");
    if (!LandMaskImage::write(mask, partial, error))
        return false;
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        *error = path + QStringLiteral(": cannot be replaced");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QString topoJson, objectName = QStringLiteral("land"), outDir;
    const QStringList arguments = application.arguments().mid(1);
    for (int i = 0; i < arguments.size(); i += 2) {
        if (i + 1 >= arguments.size())
            return usage("every option needs a value");
        const QString& option = arguments[i];
        if (option == QLatin1String("--topojson"))
            topoJson = arguments[i + 1];
        else if (option == QLatin1String("--object"))
            objectName = arguments[i + 1];
        else if (option == QLatin1String("--out"))
            outDir = arguments[i + 1];
        else
            return usage("unknown option");
    }
    if (topoJson.isEmpty() || outDir.isEmpty())
        return usage("--topojson and --out are required");

    QElapsedTimer clock;
    clock.start();
    std::vector<LandPolygon> polygons;
    QString error;
    if (!readTopoJsonLand(topoJson, objectName, polygons, &error)) {
        std::fprintf(stderr, "skyvane-landmask: %s\n", qPrintable(error));
        return 1;
    }
    QImage western, eastern;
    LandRasteriser::rasterise(polygons, western, eastern);
    const qint64 filled = clock.elapsed();
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "skyvane-landmask: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    const QDir dir(outDir);
    QString easternError;
    bool easternWritten = false;
    std::thread easternWriter([&] {
        easternWritten = writeMask(eastern, dir.filePath(QLatin1String(LandMaskImage::kEasternFile)), &easternError);
    });
    const bool westernWritten = writeMask(western, dir.filePath(QLatin1String(LandMaskImage::kWesternFile)), &error);
    easternWriter.join();
    if (!westernWritten || !easternWritten) {
        std::fprintf(stderr, "skyvane-landmask: %s\n", qPrintable(westernWritten ? easternError : error));
        return 1;
    }
    std::printf("%s: %zu polygons filled in %lld ms, written in %lld ms\n", qPrintable(outDir), polygons.size(),
                static_cast<long long>(filled), static_cast<long long>(clock.elapsed() - filled));
    return 0;
}
