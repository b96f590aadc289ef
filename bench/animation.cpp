// Playing a forecast in the main window as a user sees it: a 0.5 degree
// global wind forecast of 24 steps, the map at 1280 x 800 pixels on the
// offscreen platform, zoom 2 centred on 40° N 10° W (as the render
// benchmark), played for ten seconds of real time and started again from
// the first step whenever it reaches the last.
//
//   animation [--seconds S] [--hours H] [--tiny]
//
// H is the forecast's step in hours (default 3: a step plays in 3 s).  The
// window logs in at start-up against the stand-in server on 127.0.0.6.
//
// Printed: map frames painted per second; the share of frames that came
// more than 1/30 s after the one before (the animation paces frames about
// 30 ms apart); the median and 95th percentile of those gaps; and the
// median time the projector took to draw a frame.  --tiny: a 1 degree
// forecast of three steps, the window at its smallest, for one second, only
// to see that it runs.

#include "guifixtures.h"
#include "servicefixtures.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "PlayPanel.h"
#include "SettingsFactory.h"
#include "Skyvane.h"
#include "SkyvaneApplication.h"
#include "WeatherMap.h"

#include "bench_common.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A global wind forecast of the stand-in server's synthetic atmosphere on
// the data set resolution (1: 1 degree, 2: 0.5 degree), written to path.
bool writeGlobalWind(const QString& path, int steps, int stepHours, int resolution)
{
    const ForecastRequest request{mtWind, resolution, 0, 0, stepHours, unsigned(steps),
                                  90000, -180000, 180000, -90000};
    QByteArray grib;
    QString error;
    if (!ForecastBuilder(QDate(2024, 3, 10)).build(request, grib, error)) {
        std::fprintf(stderr, "animation: %s\n", qPrintable(error));
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(grib) == grib.size();
}

using bench::Clock;

// Stamps every paint of the map and the projector's drawing time for it;
// when playing has stopped at the last step, plays again from the first.
class FrameRecorder : public QObject {
public:
    explicit FrameRecorder(Skyvane* mainWindow)
        : window(mainWindow)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || !recording)
            return false;
        paints.push_back(Clock::now());
        // Painted here, so that the drawing time read is this frame's.
        watched->event(event);
        renderMs.push_back(window->getMap()->getProjector()->getRenderTime());
        if (!window->getPlayPanel()->isPlaying() && !restartPending) {
            restartPending = true;
            ++restarts;
            QTimer::singleShot(0, window, [this] {
                restartPending = false;
                window->rewind();
            });
        }
        return true;
    }

    Skyvane* window;
    bool recording = false;
    bool restartPending = false;
    std::vector<Clock::time_point> paints;
    std::vector<int> renderMs;
    int restarts = 0;
};

template <typename T>
T percentile(std::vector<T> values, double share)
{
    if (values.empty())
        return T();
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(share * double(values.size())));
    return values[at];
}

[[noreturn]] void usage(const char* argv0)
{
    std::fprintf(stderr, "usage: %s [--seconds S] [--hours H] [--tiny]\n", argv0);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    bool tiny = false;
    int seconds = 10;
    int hours = 3;
    for (int i = 1; i < argc; ++i) {
        auto value = [&](int lo, int hi, int* out) {
            if (i + 1 >= argc || !bench::parseInt(argv[++i], lo, hi, out))
                usage(argv[0]);
        };
        if (std::strcmp(argv[i], "--tiny") == 0)
            tiny = true;
        else if (std::strcmp(argv[i], "--seconds") == 0)
            value(1, 3600, &seconds);
        else if (std::strcmp(argv[i], "--hours") == 0)
            value(1, 24, &hours);
        else
            usage(argv[0]);
    }
    if (tiny)
        seconds = 1;
    // The tiny run keeps the map as the window opens.
    QSize mapSize(1280, 800);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user's own settings stay out of it.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    if (!guifixtures::enterScratchHome(home, false) ||
        !guifixtures::writeDemoSettings(home, QStringLiteral("127.0.0.6")))
        return 1;
    StandInServer server({QStringLiteral("--host"), QStringLiteral("127.0.0.6"), QStringLiteral("--port"),
                          QStringLiteral("30080")});
    if (!server.running()) {
        std::fprintf(stderr, "animation: the stand-in server did not start on 127.0.0.6:30080\n%s\n",
                     server.log().constData());
        return 1;
    }

    const QString path = home.filePath(QStringLiteral("forecast.grb"));
    // Resolution 2 is the 0.5 degree global data set, 1 the 1 degree one.
    if (!writeGlobalWind(path, tiny ? 3 : 24, hours, tiny ? 1 : 2)) {
        std::fprintf(stderr, "animation: the forecast could not be written\n");
        return 1;
    }

    int appArgc = 1;
    SkyvaneApplication application(appArgc, argv);
    Skyvane* window = Skyvane::instance();
    application.mainWindow = window;
    window->show();
    QElapsedTimer waited;
    waited.start();
    while (!window->isConnected() && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!window->isConnected()) {
        std::fprintf(stderr, "animation: the window did not log in\n");
        return 1;
    }
    // Only the map is sized: the toolbar takes what it takes.
    WeatherMap* map = window->getMap();
    if (tiny)
        mapSize = map->size();
    window->resize(window->size() + mapSize - map->size());
    waited.restart();
    while (map->size() != mapSize && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (map->size() != mapSize) {
        std::fprintf(stderr, "animation: the map is %d x %d, not %d x %d\n", map->width(), map->height(),
                     mapSize.width(), mapSize.height());
        return 1;
    }

    window->openGribFile(path);
    if (!window->getHelper() || window->getHelper()->getCompoundNum() != (tiny ? 3 : 24)) {
        std::fprintf(stderr, "animation: %s did not open with its steps\n", qPrintable(path));
        return 1;
    }
    window->pauseAnimation();
    map->setZoom(2);
    map->getProjector()->goTo(40000000, -10000000);

    FrameRecorder recorder(window);
    map->installEventFilter(&recorder);
    recorder.recording = true;
    const auto start = Clock::now();
    window->rewind();
    QEventLoop loop;
    // A coarse timer may end the run up to 5 % early.
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = bench::since(start);
    recorder.recording = false;
    map->removeEventFilter(&recorder);
    window->pauseAnimation();

    std::vector<double> gaps;
    for (size_t i = 1; i < recorder.paints.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(recorder.paints[i] - recorder.paints[i - 1]).count());
    const auto late = std::count_if(gaps.begin(), gaps.end(), [](double gap) { return gap > 1000.0 / 30.0; });
    std::printf("%d x %d map, zoom 2, wind with barbs, %d steps %d h apart, %.1f s played, %d restarts\n",
                mapSize.width(), mapSize.height(), window->getHelper()->getCompoundNum(), hours, elapsed,
                recorder.restarts);
    std::printf("frames painted      %zu (%.1f per second)\n", recorder.paints.size(),
                double(recorder.paints.size()) / elapsed);
    std::printf("gaps over 1/30 s    %lld of %zu (%.1f %%)\n", static_cast<long long>(late), gaps.size(),
                gaps.empty() ? 0.0 : 100.0 * double(late) / double(gaps.size()));
    std::printf("frame gap           median %.1f ms, 95th percentile %.1f ms\n", percentile(gaps, 0.5),
                percentile(gaps, 0.95));
    std::printf("projector drawing   median %d ms\n", percentile(recorder.renderMs, 0.5));

    application.mainWindow = nullptr;
    Skyvane::destroyInstance();
    SettingsFactory::destroy();
    if (recorder.paints.size() < 2) {
        std::fprintf(stderr, "animation: the map was not painted while playing\n");
        return 1;
    }
    return 0;
}
