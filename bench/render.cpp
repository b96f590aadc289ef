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

#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "SettingsFactory.h"

#include "bench_common.h"
#include "synthetic_forecast.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using bench::Clock;
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

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The projector reads the home view from the settings store: keep the
    // user's own file out of it.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
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
    const int zoom = 2;
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
    projector.update(width, height, zoom * 1125);
    projector.goTo(40000000, -10000000);
    QImage target(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    auto frame = [&] { projector.render(painter); };
    auto nothing = [] {};

    std::printf("%d x %d, zoom %d, wind with barbs, %s\n", width, height, zoom,
                o.file.c_str());

    // Every other time step, so that the patches are built each time.
    int compound = 0;
    const Figure setData = measure(o.reps, [&] { helper.goCompound(compound++ % 2); },
                                   [&] { projector.setData(&helper, mtWind, false, 0.0f); });
    // The view moves by 0.1° between frames, so everything is rebuilt.
    bool east = false;
    const Figure first = measure(o.reps, [&] {
        east = !east;
        projector.goTo(40000000, east ? -9900000 : -10000000);
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
    SettingsFactory::destroy();
    return 0;
}
