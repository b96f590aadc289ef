// skyvane-opendata-server: a stand-in for the public open-data forecast
// services (NOAA NOMADS, ECMWF open data), for testing Skyvane's downloads
// from them over real TCP without the network.
#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <cstdio>

#include "LandMask.h"
#include "OpenDataContent.h"
#include "OpenDataOptions.h"
#include "OpenDataRoutes.h"
#include "OpenDataServer.h"
#include "StopSignals.h"

namespace {

int complain(const QString& message, int code)
{
    std::fprintf(stderr, "skyvane-opendata-server: %s\n", message.toLocal8Bit().constData());
    return code;
}

// Quits the event loop once a signal asked for it; the handler itself may
// only set a flag.
void quitOnSignal(QCoreApplication& application)
{
    auto* timer = new QTimer(&application);
    QObject::connect(timer, &QTimer::timeout, &application, [] {
        if (StopSignals::requested.load())
            QCoreApplication::quit();
    });
    timer->start(100);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments();
    arguments.removeFirst();

    OpenDataOptions options;
    QString error;
    bool help = false;
    if (!options.parse(arguments, error, help))
        return complain(error + QStringLiteral("\n") + OpenDataOptions::usage(), 2);
    if (help) {
        std::fputs(OpenDataOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }

    LandMask landMask;
    // The land masks installed beside the program, when there are any.
    const QString landDirectory = options.landMaskDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                                                      : options.landMaskDirectory;
    if (!landMask.loadImages(landDirectory, &error) && !options.landMaskDirectory.isEmpty())
        complain(error + QStringLiteral("; using the built-in coarse coastline"), 0);

    const QDateTime newest = options.newestRun.isValid()
                                 ? options.newestRun
                                 : RunPublication::defaultNewestRun(QDateTime::currentDateTimeUtc());
    OpenDataContent content(landMask);
    OpenDataRoutes routes(content, RunPublication(newest, options.partialRun));
    OpenDataServer server(routes, options);
    StopSignals::install();
    if (!server.start(error))
        return complain(error, 1);
    std::printf("skyvane-opendata-server listening on %s:%d\n", options.host.toLocal8Bit().constData(),
                server.port());
    std::fflush(stdout);
    std::fprintf(stderr, "skyvane-opendata-server: newest complete run %s\n",
                 newest.toString(QStringLiteral("yyyyMMddHH")).toLocal8Bit().constData());
    quitOnSignal(application);
    const int code = application.exec();
    std::fputs("skyvane-opendata-server stopped\n", stderr);
    return code;
}
