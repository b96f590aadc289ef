// Painting the map: one frame of wind with barbs over the base map, as the
// map widget paints it, against a plain copy of a frame of the same size.
//
//   render [--reps R] [--tiny] [FILE]
//
// Without FILE it writes two time steps of the synthetic forecast on a
// 0.5 degree global grid (720 x 361) into a temporary directory.  The
// projector is equirectangular, 1920 x 1080 pixels at zoom 2, centred on
// 40° N 10° W (the Atlantic, Europe and Africa: long coasts).
//
// Measured, each the median and best of R frames (default 20):
//   - setData: choosing the field and building its interpolation patches;
//   - first frame: the view just moved, so the base map and every pixel's
//     value are computed afresh;
//   - repeated frame: nothing changed, the value cache is read;
//   - step frame: the first frame of the next time step while animating
//     (values of the new step computed, the previous step's shown);
//   - blended frame: an animation frame between two steps, from the caches;
//   - the floor: copying 1920 x 1080 ARGB pixels (8 MB) with memcpy.
// Each is printed with its ratio to the floor.  The targets on a 2-core
// machine: repeated and blended frames at most 16 ms, a first frame at
// most 50 ms.
//
// Last, untimed, whole frames with every layer in both projections (each
// colour field, barbs, arrows, isobars and isotherms with their labels,
// the legend, the time caption, city names, blended steps, a view across
// 180°) are hashed pixel by pixel: the "pixels checksum" line changes
// with any pixel any layer paints.  Sea fields the synthetic forecast
// lacks (swell, sea temperature, tidal stream) and a storm's wind, strong
// enough for pennants on the barbs, come from a second file written
// beside it.
//
// Then an animation's export, and the read-out under the pointer in
// microseconds per pointer move (see their functions).

#include "animation_export.h"
#include "webp_animation.h"

#include "ColourLayer.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "MeteoType.h"
#include "PointReadout.h"
#include "SettingsFactory.h"

#include "bench_common.h"
#include "map_frame.h"
#include "synthetic_forecast.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using bench::Clock;
using bench::paintedFrame;
using bench::since;

struct Figure {
    double median = 0.0;  // milliseconds
    double best = 0.0;
};

Figure measure(int reps, const std::function<void()>& setUp, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        setUp();
        const auto t0 = Clock::now();
        work();
        times.push_back(since(t0) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

void print(const char* what, const Figure& figure, const Figure& floor)
{
    std::printf("%-16s median %7.2f ms  best %7.2f ms   %6.1f x floor\n", what, figure.median,
                figure.best, figure.median / floor.median);
}

// Swell height and direction, sea temperature, tidal stream speed and
// direction and a storm's u and v wind (up to some 120 knots) on the
// synthetic forecast's grid, two time steps: the colour layers, arrows and
// pennants the synthetic forecast does not have.
bool writeSeaAndStormForecast(int ni, int nj, const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) {
        std::perror(path.c_str());
        return false;
    }
    struct SeaField {
        int param;
        int levelType;
        int level;
    };
    // In file order; swell height opens every time step.
    constexpr SeaField kSeaFields[] = {
        {100, 1, 1},  // swell height, m
        {101, 1, 1},  // swell direction, degrees
        {11, 1, 0},   // sea temperature, K
        {48, 1, 0},   // tidal stream speed, m/s
        {47, 1, 0},   // tidal stream direction, degrees
        {33, 105, 10},  // u wind, m/s
        {34, 105, 10},  // v wind, m/s
    };
    constexpr int kSeaFieldCount = int(sizeof kSeaFields / sizeof kSeaFields[0]);
    const int di = static_cast<int>(std::lround(360000.0 / ni));
    const int dj = static_cast<int>(std::lround(180000.0 / (nj - 1)));
    const size_t n = size_t(ni) * size_t(nj);
    const double rad = M_PI / 180.0;
    std::vector<float> values(n);
    bool ok = true;
    for (int step = 0; step < 2 && ok; ++step) {
        for (int f = 0; f < kSeaFieldCount && ok; ++f) {
            for (int j = 0; j < nj; ++j) {
                const double lat = (90.0 - j * dj * 0.001) * rad;
                for (int i = 0; i < ni; ++i) {
                    const double lon = i * di * 0.001 * rad;
                    double value = 0.0;
                    switch (f) {
                    case 0: value = 1.6 + 1.2 * std::sin(3.0 * lon + 0.2 * step) * std::cos(2.0 * lat); break;
                    case 1: value = std::fmod(450.0 + 120.0 * std::sin(2.0 * lon) * std::cos(lat) + 15.0 * step, 360.0); break;
                    case 2: value = 271.0 + 30.0 * std::cos(lat) + std::sin(4.0 * lon) + 0.2 * step; break;
                    case 3: value = 1.5 * std::max(0.0, std::sin(5.0 * lon) * std::sin(4.0 * lat + 0.1 * step)); break;
                    case 4: value = std::fmod(560.0 + 100.0 * std::cos(3.0 * lon + step), 360.0); break;
                    case 5: value = 45.0 * std::cos(3.0 * lat) * std::sin(2.0 * lon + 0.1 * step); break;
                    default: value = 45.0 * std::sin(2.0 * lat) * std::cos(3.0 * lon); break;
                    }
                    values[size_t(j) * ni + i] = float(value);
                }
            }
            const GRIB_WRITE_PARAMS params =
                bench::globalGridParams(ni, nj, kSeaFields[f].param, kSeaFields[f].levelType, kSeaFields[f].level,
                                        16, step * bench::kStepHours);
            ok = bench::appendMessage(fp, path, params, values.data(), n,
                                      "sea step " + std::to_string(step) + " field " + std::to_string(f));
        }
    }
    if (std::fclose(fp) != 0)
        ok = false;
    return ok;
}

// FNV-1a, 64 bits, over every ARGB word of every frame, low byte first.
class PixelHash {
public:
    void add(const QImage& image)
    {
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                for (int shift = 0; shift < 32; shift += 8) {
                    value ^= (line[x] >> shift) & 0xFFu;
                    value *= 0x100000001B3ull;
                }
        }
    }
    uint64_t result() const { return value; }

private:
    uint64_t value = 0xCBF29CE484222325ull;
};

struct View {
    int latMicro;
    int lonMicro;
    int zoom;
};

// Every layer in every view of one projection, hashed into hash.
void hashEveryLayer(GeoProjector& projector, int width, int height, GribFileHelper& forecast,
                    GribFileHelper& sea, PixelHash& hash)
{
    // The Atlantic and Europe; the Pacific across 180°; the North Sea close
    // up, where smaller towns are named.
    const View views[] = {{40000000, -10000000, 2}, {20000000, 180000000, 1}, {52000000, 3000000, 8}};
    // 7: isobars and barbs over precipitation, as the main window asks.
    const int forecastTypes[] = {mtWind, mtPressure, mtPrecipitation, mtTemperature, mtPrecipRate, 7};
    const int seaTypes[] = {mtWave, mtSST, mtTidal, mtWind};
    auto frame = [&] { hash.add(paintedFrame(projector, width, height)); };
    // The first step, then the second as it enters and half-way there.
    auto blended = [&](GribFileHelper& helper, int type) {
        helper.goCompound(0);
        projector.setData(&helper, type, false, 0.0f);
        frame();
        helper.goCompound(1);
        projector.setData(&helper, type, true, 0.0f);
        frame();
        projector.setData(&helper, type, true, 0.5f);
        frame();
    };
    for (const View& view : views) {
        projector.update(width, height, view.zoom * 1125);
        projector.goTo(view.latMicro, view.lonMicro);
        projector.setData(nullptr, 0, false, 0.0f);
        frame();  // the base map and city names alone
        forecast.goCompound(0);
        for (int type : forecastTypes) {
            projector.setData(&forecast, type, false, 0.0f);
            frame();
        }
        // Isotherms with their labels, over the temperatures.
        projector.setData(&forecast, mtTemperature, false, 0.0f);
        QImage isotherms = paintedFrame(projector, width, height);
        {
            QPainter painter(&isotherms);
            projector.renderIsoLines(&painter, &forecast.getIsotherms().getContours(),
                                     QColor(255, 128, 0, 255), QColor(0, 0, 0, 255), mtTemperature);
        }
        hash.add(isotherms);
        sea.goCompound(0);
        for (int type : seaTypes) {
            projector.setData(&sea, type, false, 0.0f);
            frame();
        }
        blended(forecast, mtWind);
        blended(forecast, 7);
        blended(sea, mtWave);
        blended(sea, mtTidal);
    }
    projector.setData(nullptr, 0, false, 0.0f);
}

// Exporting an animation as skyvane-render --animate does, each frame
// drawn, blended and encoded into an animated WebP: frames per second and
// bytes per frame, lossless and at lossy quality 75.  Four time steps of
// the synthetic forecast, wind with barbs at 1280 x 800, the window's pace
// of 3 s a step at 10 frames a second (91 frames).
bool measureAnimationExport(bench::Options o, const QTemporaryDir& home, bool tiny)
{
    o.count = 4;
    const std::string file = home.filePath("animation.grb").toStdString();
    GribFileHelper helper;
    if (!bench::writeSyntheticForecast(o, file) || !helper.openGribFile(QString::fromStdString(file), true)) {
        std::fprintf(stderr, "render: cannot write or open %s\n", file.c_str());
        return false;
    }
    const int width = tiny ? 320 : 1280;
    const int height = tiny ? 200 : 800;
    const AnimationFrames frames(0, helper.getCompoundNum() - 1, 3000, tiny ? 1 : 10);
    const int qualities[] = {WebpAnimation::kLossless, 75};
    for (int quality : qualities) {
        EquirectProjector projector;
        bench::showAtlantic(projector, width, height);
        ForecastPictures pictures(projector, helper, mtWind);
        AnimationExport out;
        out.path = home.filePath("animation.webp");
        out.width = width;
        out.height = height;
        out.quality = quality;
        const auto t0 = Clock::now();
        const QString error = exportAnimation(pictures, frames, out);
        const double seconds = since(t0);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "render: animation export: %s\n", qPrintable(error));
            return false;
        }
        const double kilobytes = double(QFileInfo(out.path).size()) / 1024.0;
        std::printf("animation export %-8s %lld frames %d x %d in %6.2f s: %5.1f frames/s, %6.1f KB per frame\n",
                    quality == WebpAnimation::kLossless ? "lossless" : "q75", (long long)frames.count(), width,
                    height, seconds, double(frames.count()) / seconds, kilobytes / double(frames.count()));
    }
    return true;
}

// The read-out under the pointer as the map asks for it at every pointer
// move: microseconds per PointReadout::at along a pointer's path across
// the frame of the Atlantic view.  A file of every kind
// (the synthetic forecast and the sea fields in one, eight kinds) and one
// of pressure alone, on a 0.25° global grid, each kind from its 4 x 4
// neighbourhood.  Last, what one kind's value from its 4 x 4 points costs
// alone: the rest is the texts.
bool measurePointReadout(bench::Options o, const QTemporaryDir& home, bool tiny)
{
    if (!tiny)
        o.ni = 1440, o.nj = 721;
    o.count = 2;
    const std::string everyKind = home.filePath("readout.grb").toStdString();
    const std::string sea = home.filePath("readout-sea.grb").toStdString();
    const std::string pressure = home.filePath("readout-pressure.grb").toStdString();
    bench::Weather weather(o.ni, o.nj, 360.0 / o.ni, 180.0 / (o.nj - 1));
    std::vector<std::vector<float>> fields;
    weather.make(0, fields);
    FILE* fp = std::fopen(pressure.c_str(), "wb");
    bool ok = fp && bench::appendMessage(fp, pressure, bench::globalGridParams(o.ni, o.nj, 2, 102, 0, o.bits, 0),
                                         fields[2].data(), fields[2].size(), "pressure");
    ok = (fp && std::fclose(fp) == 0) && ok;
    ok = ok && bench::writeSyntheticForecast(o, everyKind) && writeSeaAndStormForecast(o.ni, o.nj, sea);
    QFile all(QString::fromStdString(everyKind));
    QFile seaFields(QString::fromStdString(sea));
    ok = ok && all.open(QIODevice::Append) && seaFields.open(QIODevice::ReadOnly) &&
         all.write(seaFields.readAll()) == seaFields.size();
    all.close();
    GribFileHelper helpers[2];
    ok = ok && helpers[0].openGribFile(QString::fromStdString(everyKind), false) &&
         helpers[1].openGribFile(QString::fromStdString(pressure), false);
    if (!ok) {
        std::fprintf(stderr, "render: cannot write or open the read-out files in %s\n", qPrintable(home.path()));
        return false;
    }
    const int width = tiny ? 320 : 1920;
    const int height = tiny ? 200 : 1080;
    const int calls = tiny ? 100 : 20000;
    const int shownKinds[2] = {mtWind, mtPressure};
    for (int file = 0; file < 2; ++file) {
        EquirectProjector projector;
        bench::showAtlantic(projector, width, height);
        projector.setData(&helpers[file], shownKinds[file], false, 0.0f);
        bench::paintedFrame(projector, width, height);
        // A pointer drifting across the frame 3 pixels an event, row after row 40 pixels apart; once to
        // warm up, once timed.
        size_t rows = 0;
        auto sweep = [&] {
            for (int i = 0; i < calls; ++i)
                rows += PointReadout::at(projector, helpers[file], i * 3 % width, (i * 3 / width * 40 + 20) % height)
                            .rows.size();
        };
        sweep();
        rows = 0;
        const auto t0 = Clock::now();
        sweep();
        const double micros = since(t0) * 1e6 / calls;
        const std::string what = std::to_string(rows / size_t(calls)) + (file ? " kind, pressure" : " kinds, wind shown");
        std::printf("point read-out   %-36s %6.2f us per call\n", what.c_str(), micros);
    }
    // Of which one kind's value, from its 4 x 4 points, at the same pointer positions.
    const GribMsg& pressureField = helpers[1].getCurrentCompound().front();
    EquirectProjector projector;
    bench::showAtlantic(projector, width, height);
    float sum = 0.0f;
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i) {
        int lat = 0, lon = 0;
        projector.screen2Geo(i * 3 % width, (i * 3 / width * 40 + 20) % height, lat, lon);
        sum += ColourLayer::valueAt(pressureField, nullptr, lat, lon).value;
    }
    std::printf("point read-out   %-36s %6.2f us per call (mean %.0f Pa)\n", "of which one value from its 4 x 4",
                since(t0) * 1e6 / calls, double(sum / float(calls)));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    bench::isolateMapEnvironment(home);
    QGuiApplication app(argc, argv);

    bench::Options defaults;
    defaults.count = 2;
    defaults.ni = 720;
    defaults.nj = 361;
    defaults.reps = 20;
    bench::Options o = bench::parseOptions(argc, argv, "steps", 2, defaults);
    const bool tiny = o.reps == 1;
    const int width = tiny ? 320 : 1920;
    const int height = tiny ? 200 : 1080;
    if (o.file.empty()) {
        o.count = 2;
        o.file = home.filePath("forecast.grb").toStdString();
        if (!bench::writeSyntheticForecast(o, o.file))
            return 1;
    }

    GribFileHelper helper;
    if (!helper.openGribFile(QString::fromStdString(o.file), true) || helper.getCompoundNum() < 2) {
        std::fprintf(stderr, "render: %s needs two time steps of wind\n", o.file.c_str());
        return 1;
    }
    EquirectProjector projector;
    bench::showAtlantic(projector, width, height);
    QImage target(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    auto frame = [&] { projector.render(painter); };
    auto nothing = [] {};

    std::printf("%d x %d, zoom %d, wind with barbs, %s\n", width, height, bench::kMapZoom,
                o.file.c_str());

    // Every other time step, so that the patches are built each time.
    int compound = 0;
    const Figure setData = measure(o.reps, [&] { helper.goCompound(compound++ % 2); },
                                   [&] { projector.setData(&helper, mtWind, false, 0.0f); });
    // The view moves by 0.1° between frames, so everything is rebuilt.
    bool east = false;
    const Figure first = measure(o.reps, [&] {
        east = !east;
        projector.goTo(bench::kMapLatMicro, bench::kMapLonMicro + (east ? 100000 : 0));
    }, frame);
    const Figure repeated = measure(o.reps, nothing, frame);
    const Figure step = measure(o.reps, [&] {
        helper.goCompound(0);
        projector.setData(&helper, mtWind, false, 0.0f);
        frame();
        helper.goCompound(1);
        projector.setData(&helper, mtWind, true, 0.0f);
    }, frame);
    int phase = 0;
    const Figure blended = measure(o.reps, [&] {
        phase = phase % 9 + 1;
        projector.setData(&helper, mtWind, true, float(phase) / 10.0f);
    }, frame);

    std::vector<uint32_t> from(size_t(width) * height, 0x12345678u);
    std::vector<uint32_t> to(from.size());
    const Figure floor = measure(std::max(o.reps, 5), [&] { from[0] ^= 1; }, [&] {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(uint32_t));
    });

    std::printf("%-16s median %7.2f ms  best %7.2f ms\n", "floor (memcpy)", floor.median, floor.best);
    std::printf("%-16s median %7.2f ms  best %7.2f ms\n", "setData", setData.median, setData.best);
    print("first frame", first, floor);
    print("repeated frame", repeated, floor);
    print("step frame", step, floor);
    print("blended frame", blended, floor);
    std::printf("checksum %u\n", unsigned(to[size_t(to.size() / 2)] ^ target.pixel(width / 2, height / 2)));
    painter.end();

    const std::string seaFile = home.filePath("sea.grb").toStdString();
    GribFileHelper sea;
    if (!writeSeaAndStormForecast(o.ni, o.nj, seaFile) || !sea.openGribFile(QString::fromStdString(seaFile), true)) {
        std::fprintf(stderr, "render: cannot write or open %s\n", seaFile.c_str());
        return 1;
    }
    PixelHash hash;
    {
        EquirectProjector equirect;
        hashEveryLayer(equirect, width, height, helper, sea, hash);
        MercatorProjector mercator;
        hashEveryLayer(mercator, width, height, helper, sea, hash);
    }
    std::printf("pixels checksum %016llx\n", (unsigned long long)hash.result());
    if (!measureAnimationExport(o, home, tiny) || !measurePointReadout(o, home, tiny))
        return 1;
    SettingsFactory::destroy();
    return 0;
}
