// skyvane-forecast-server: a stand-in for the forecast service, for trying
// Skyvane without an account elsewhere and for testing it over real TCP.
#include <QCoreApplication>
#include <QString>

#include <cstdio>

#include "AccountStore.h"
#include "ForecastServer.h"
#include "ForecastService.h"
#include "RequestRecorder.h"
#include "ServerOptions.h"
#include "StopSignals.h"

namespace {

int complain(const QString& message, int code)
{
    std::fprintf(stderr, "skyvane-forecast-server: %s\n", message.toLocal8Bit().constData());
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments();
    arguments.removeFirst();

    ServerOptions options;
    QString error;
    bool help = false;
    if (!options.parse(arguments, error, help))
        return complain(error + QStringLiteral("\n") + ServerOptions::usage(), 2);
    if (help) {
        std::fputs(ServerOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }

    AccountStore accounts;
    if (options.accountsFile.isEmpty())
        accounts.addAccount(QStringLiteral("demo"), QStringLiteral("demo"));
    else if (!accounts.loadAccounts(options.accountsFile, error))
        return complain(error, 2);
    if (!options.stateFile.isEmpty() && !accounts.useStateFile(options.stateFile, error))
        return complain(error, 2);
    RequestRecorder recorder;
    if (!options.recordFile.isEmpty() && !recorder.open(options.recordFile, error))
        return complain(error, 2);

    ForecastService service(accounts, recorder, options.attachment);
    // The land masks installed beside the program, when there are any.
    const QString landDirectory = options.landMaskDirectory.isEmpty() ? QCoreApplication::applicationDirPath()
                                                                      : options.landMaskDirectory;
    if (!service.setLandMaskDirectory(landDirectory, &error) && !options.landMaskDirectory.isEmpty())
        complain(error + QStringLiteral("; using the built-in coarse coastline"), 0);
    if (!options.dataDirectory.isEmpty() && service.setRealDataDirectory(options.dataDirectory) == 0)
        complain(QStringLiteral("no usable GRIB1 file in %1; serving synthetic forecasts").arg(options.dataDirectory), 0);

    StopSignals::install();
    ForecastServer server(service, options.limits);
    if (!server.listen(options.host, options.port, error))
        return complain(error, 1);
    std::printf("skyvane-forecast-server listening on %s:%d\n", options.host.toLocal8Bit().constData(),
                server.port());
    std::fflush(stdout);
    server.run(StopSignals::requested);
    std::fputs("skyvane-forecast-server stopped\n", stderr);
    return 0;
}
