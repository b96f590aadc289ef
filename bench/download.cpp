// One forecast download as the viewer makes it, against the stand-in
// server on loopback: a 0.5-degree forecast of the North Atlantic with
// five parameters and 32 steps, from the request to the file opened, with
// the receiving, inflating, writing and opening apart, and the time the
// server spends producing the payload measured on its own.  Then the same
// from the open-data stand-in: GFS (and GFS-Wave for the waves), five
// parameters and 41 steps, with run discovery, the parallel transfers,
// writing and opening apart, and once more from the cache.
// download [--reps R] [--tiny]
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DownloadThread.h"
#include "OpenDataDownload.h"
#include "OpenDataSources.h"
#include "ForecastBuilder.h"
#include "GribFileHelper.h"
#include "SettingsFactory.h"
#include "bench_server.h"

namespace {

ToviForecastParameters northAtlantic(bool tiny)
{
    ToviForecastParameters p;
    p.meteoType = 31;  // wind, pressure, precipitation, temperature, waves
    p.resolution = ToviForecastParameters::grMediumResolution;
    p.forecastTime = 0;
    p.timeStep = 3;
    p.stepsNumber = tiny ? 2 : 32;
    p.top = 70000;
    p.left = -80000;
    p.right = tiny ? -70000 : 10000;
    p.bottom = tiny ? 60000 : 0;
    return p;
}

// Producing the payload as the server does: build and deflate.
double serverProductionMs(const ToviForecastParameters& p, qint64& builtBytes)
{
    const ForecastRequest request = bench::forecastRequestOf(p);
    QElapsedTimer clock;
    clock.start();
    QByteArray grib;
    QString error;
    if (!ForecastBuilder(QDate::currentDate()).build(request, grib, error))
        return -1.0;
    const QByteArray compressed = compressPayload(grib);
    builtBytes = grib.size();
    return double(clock.nsecsElapsed()) / 1e6;
}

struct Run {
    double totalMs = 0;
    double openMs = 0;
    // From the start to the attachment's first and last bytes.
    double firstByteMs = 0;
    double lastByteMs = 0;
    DownloadFigures figures;
    int compounds = 0;
};

bool downloadAndOpen(const QString& endpoint, const ToviForecastParameters& request, const QString& path, Run& run)
{
    QFile::remove(path);
    QElapsedTimer clock;
    clock.start();
    DownloadThread worker(nullptr);
    worker.parameters = request;
    worker.setAccount(QStringLiteral("demo"), QStringLiteral("demo"), endpoint);
    worker.setTargetFile(path);
    QObject::connect(&worker, &DownloadThread::progress, [&](int received, int total) {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        if (received == 0)
            run.firstByteMs = now;
        if (received == total)
            run.lastByteMs = now;
    });
    worker.start();
    // The progress calls arrive here, as they would at the dialog.
    while (!worker.wait(1))
        QCoreApplication::processEvents();
    if (!worker.succeeded()) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(worker.errorText()));
        return false;
    }
    QElapsedTimer openClock;
    openClock.start();
    GribFileHelper helper;
    const bool opened = helper.openGribFile(path, true);
    run.openMs = double(openClock.nsecsElapsed()) / 1e6;
    run.totalMs = double(clock.nsecsElapsed()) / 1e6;
    run.figures = worker.figures();
    run.compounds = helper.getCompoundNum();
    return opened;
}

struct OpenDataRun {
    double totalMs = 0;
    double openMs = 0;
    OpenDataFigures figures;
    int compounds = 0;
};

bool fetchOpenDataAndOpen(const QString& base, const ToviForecastParameters& request, const QString& folder,
                          OpenDataRun& run)
{
    QElapsedTimer clock;
    clock.start();
    OpenDataDownload download(folder + QStringLiteral("/"), folder + QStringLiteral("/cache/"));
    for (const OpenDataSource& source : openDataSources())
        download.setBase(QString::fromLatin1(source.id), base);
    bool ok = false;
    QEventLoop loop;
    QObject::connect(&download, &OpenDataDownload::finished, &loop, [&](bool done) {
        ok = done;
        loop.quit();
    });
    download.start(request);
    loop.exec();
    if (!ok) {
        std::fprintf(stderr, "open-data download failed: %s\n", qPrintable(download.errorText()));
        return false;
    }
    QElapsedTimer openClock;
    openClock.start();
    GribFileHelper helper;
    const bool opened = helper.openGribFile(download.fileName(), true);
    run.openMs = double(openClock.nsecsElapsed()) / 1e6;
    run.totalMs = double(clock.nsecsElapsed()) / 1e6;
    run.figures = download.figures();
    run.compounds = helper.getCompoundNum();
    QFile::remove(download.fileName());
    return opened;
}

void printOpenDataRun(const char* title, const OpenDataRun& run)
{
    const OpenDataFigures& f = run.figures;
    std::printf("%s: %.1f ms, %d steps\n", title, run.totalMs, run.compounds);
    std::printf("  run discovery: %.1f ms\n", double(f.discoveryNs) / 1e6);
    std::printf("  transfers: %.1f ms, %d requests (%d retries), up to %d at once, %.2f MB fetched, %.2f MB "
                "from the cache\n",
                double(f.transferNs) / 1e6, f.requests, f.retries, f.maxParallel, double(f.fetchedBytes) / 1048576.0,
                double(f.cachedBytes) / 1048576.0);
    std::printf("  writing: %.1f ms; opening (index, first step, isolines): %.1f ms\n", double(f.writeNs) / 1e6,
                run.openMs);
}

// GFS with GFS-Wave for the waves, five parameters, 41 three-hour steps
// from this hour, over the North Atlantic.
int openDataCase(bool tiny, const QString& folder)
{
    bench::StandInServer server;
    if (!server.start(QStringLiteral(SKYVANE_OPENDATA_SERVER_PATH))) {
        std::fprintf(stderr, "the open-data stand-in did not start\n");
        return 1;
    }
    ToviForecastParameters request = northAtlantic(tiny);
    request.resolution = ToviForecastParameters::GribResolution(findOpenDataSource(QStringLiteral("gfs"))->resolution);
    request.forecastTime = QDateTime::currentDateTimeUtc().time().hour();
    request.stepsNumber = tiny ? 2 : 41;
    std::printf("\nopen data: GFS 0.25 degree + GFS-Wave, North Atlantic %d..%d N %d..%d E, 5 parameters, %d "
                "steps\n",
                request.bottom / 1000, request.top / 1000, request.left / 1000, request.right / 1000,
                request.stepsNumber);
    OpenDataRun first, cached;
    if (!fetchOpenDataAndOpen(QString::fromLatin1(server.endpoint), request, folder, first) ||
        !fetchOpenDataAndOpen(QString::fromLatin1(server.endpoint), request, folder, cached))
        return 1;
    printOpenDataRun("request to file opened", first);
    printOpenDataRun("the same request again, from the cache", cached);
    return 0;
}

double mbPerSecond(qint64 bytes, double ms)
{
    return ms > 0 ? double(bytes) / 1048576.0 / (ms / 1000.0) : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    // The settings store is read by the worker: a scratch one.
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/config"));
    QCoreApplication application(argc, argv);
    bool tiny = false;
    int reps = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tiny"))
            tiny = true;
        else if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--reps R] [--tiny]\n", argv[0]);
            return 2;
        }
    }
    if (tiny)
        reps = 1;
    bench::StandInServer server;
    if (!server.start()) {
        std::fprintf(stderr, "the stand-in server did not start\n");
        return 1;
    }
    const ToviForecastParameters request = northAtlantic(tiny);
    qint64 builtBytes = 0;
    // The first build also sets up the synthetic atmosphere: the second
    // one is what each request costs.
    serverProductionMs(request, builtBytes);
    const double productionMs = serverProductionMs(request, builtBytes);
    std::printf("forecast: 0.5 degree, North Atlantic %d..%d N %d..%d E, 5 parameters, %d steps\n",
                request.bottom / 1000, request.top / 1000, request.left / 1000, request.right / 1000,
                request.stepsNumber);
    std::printf("server producing the payload (build + deflate): %.1f ms for %.2f MB of GRIB\n", productionMs,
                double(builtBytes) / 1048576.0);

    std::vector<Run> runs;
    for (int r = 0; r < reps; ++r) {
        Run run;
        if (!downloadAndOpen(QString::fromLatin1(server.endpoint), request, home.filePath("forecast.grb"), run))
            return 1;
        runs.push_back(run);
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.totalMs < b.totalMs; });
    const Run& median = runs[runs.size() / 2];
    const DownloadFigures& f = median.figures;
    const double callMs = double(f.callNs) / 1e6;
    const double receiveMs = median.lastByteMs - median.firstByteMs;
    const double inflateMs = double(f.inflateNs) / 1e6;
    std::printf("request to file opened (median of %d): %.1f ms, %d steps\n", reps, median.totalMs,
                median.compounds);
    std::printf("  call (request to payload in memory): %.1f ms for %.2f MB compressed\n", callMs,
                double(f.receivedBytes) / 1048576.0);
    std::printf("  waiting for the first byte (the server producing): %.1f ms\n", median.firstByteMs);
    std::printf("  receiving the attachment: %.1f ms, %.1f MB/s\n", receiveMs, mbPerSecond(f.receivedBytes, receiveMs));
    std::printf("  inflating: %.1f ms, %.1f MB/s of output\n", inflateMs, mbPerSecond(f.savedBytes, inflateMs));
    std::printf("  writing: %.1f ms; opening (index, first step, isolines): %.1f ms\n", double(f.writeNs) / 1e6,
                median.openMs);
    const int openData = openDataCase(tiny, home.path());
    SettingsFactory::destroy();
    return openData;
}
