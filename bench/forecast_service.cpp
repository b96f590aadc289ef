// Forecast service over loopback against the stand-in server: login calls
// per second on one kept-alive connection, one large forecast built and
// compressed alone and then downloaded whole (build, compression, transfer
// into the sink, inflation), and many clients at once.
// forecast_service [--tiny]
#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "DecompressData.h"
#include "ForecastBuilder.h"
#include "ForecastServiceClient.h"
#include "bench_common.h"
#include "bench_server.h"

namespace {

ToviCredentials demo()
{
    ToviCredentials c;
    c.key = "";
    c.login = "demo";
    c.password = "demo";
    return c;
}

ToviForecastParameters globalWindPressure(bool tiny)
{
    ToviForecastParameters p;
    p.meteoType = 1 | 2;
    p.resolution = tiny ? ToviForecastParameters::grStandardResolution : ToviForecastParameters::grMediumResolution;
    p.timeStep = 3;
    p.stepsNumber = tiny ? 2 : 32;
    p.top = 90000;
    p.left = -180000;
    p.right = 180000;
    p.bottom = -90000;
    return p;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const bool tiny = argc > 1 && std::strcmp(argv[1], "--tiny") == 0;
    bench::StandInServer server;
    if (!server.start()) {
        std::fprintf(stderr, "forecast_service: the stand-in server did not start\n");
        return 1;
    }

    {
        ForecastServiceClient client;
        const int calls = tiny ? 5 : 500;
        int accepted = 0;
        const auto t0 = bench::Clock::now();
        for (int i = 0; i < calls; ++i) {
            int options = -1;
            accepted += client.getUserOptions(server.endpoint, "demo", "demo", &options) == 0 && options >= 0;
        }
        const double s = bench::since(t0);
        std::printf("login, one connection:        %8.0f calls/s (%d of %d accepted)\n", calls / s, accepted, calls);
        if (accepted != calls)
            return 1;
    }

    {
        const ToviForecastParameters p = globalWindPressure(tiny);
        const ForecastRequest request = bench::forecastRequestOf(p);
        QByteArray grib;
        QString error;
        const auto t0 = bench::Clock::now();
        if (!ForecastBuilder(QDate::currentDate()).build(request, grib, error)) {
            std::fprintf(stderr, "forecast_service: %s\n", qPrintable(error));
            return 1;
        }
        const double build = bench::since(t0);
        const auto t1 = bench::Clock::now();
        const QByteArray compressed = compressPayload(grib);
        std::printf("global %s wind+pressure, %d steps, built in the server's code: %.2f s (%.1f MB GRIB), "
                    "compressed in %.2f s (%.1f MB)\n",
                    tiny ? "1.0" : "0.5", p.stepsNumber, build, grib.size() / 1e6, bench::since(t1),
                    compressed.size() / 1e6);
    }

    {
        QObject worker;
        ForecastServiceClient client(&worker);
        DimeBuffer* payload = nullptr;
        const auto t0 = bench::Clock::now();
        client.getForecastData(server.endpoint, demo(), globalWindPressure(tiny), &payload);
        const double call = bench::since(t0);
        if (!payload) {
            std::fprintf(stderr, "forecast_service: the forecast did not arrive\n");
            return 1;
        }
        const auto t1 = bench::Clock::now();
        const double compressed = payload->received;
        unsigned grib = payload->received;
        if (inflateInPlace(&payload->data, &grib) != Inflation::Inflated)
            grib = 0;
        const double inflate = bench::since(t1);
        std::printf("the same, downloaded: %.1f MB compressed (%.1f MB GRIB) in %.2f s in all, inflated in %.2f s\n",
                    compressed / 1e6, grib / 1e6,
                    call, inflate);
        freeDimeBuffer(payload);
        if (!grib)
            return 1;
    }

    {
        const int clients = tiny ? 2 : 16;
        const int calls = tiny ? 2 : 20;
        std::vector<int> delivered(size_t(clients), 0);
        std::vector<std::thread> threads;
        const auto t0 = bench::Clock::now();
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                QObject worker;
                ForecastServiceClient client(&worker);
                ToviForecastParameters p = globalWindPressure(true);
                p.top = 60000;
                p.bottom = 30000;
                p.left = -40000;
                p.right = 10000;
                p.stepsNumber = 8;
                for (int i = 0; i < calls; ++i) {
                    DimeBuffer* payload = nullptr;
                    client.getForecastData(server.endpoint, demo(), p, &payload);
                    delivered[size_t(c)] += payload != nullptr;
                    freeDimeBuffer(payload);
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        const double s = bench::since(t0);
        int total = 0;
        for (int d : delivered)
            total += d;
        std::printf("%d clients at once:            %8.0f regional forecasts/s (%d of %d delivered)\n", clients,
                    total / s, total, clients * calls);
        if (total != clients * calls)
            return 1;
    }
    return 0;
}
