// skyvane-fetch: downloads a forecast (or the buoy document) from the
// forecast service with the program's own client, for scripts and to try a
// server by hand.
#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

#include "DecompressData.h"
#include "ForecastServiceClient.h"
#include "MeteoType.h"
#include "Provider.h"

namespace {

const char kUsage[] =
    "Usage: skyvane-fetch [options] --out FILE\n"
    "  --server HOST       forecast server (default localhost)\n"
    "  --port PORT         its port (default 30080)\n"
    "  --login NAME        account (default demo)\n"
    "  --password TEXT     password (default demo)\n"
    "  --types LIST        wind,pressure,precipitation,temperature,wave,sst,\n"
    "                      tidal,preciprate (default wind,pressure)\n"
    "  --resolution CODE   data set (default 1, global 1 degree)\n"
    "  --area T,L,R,B      area in thousandths of a degree\n"
    "                      (default 60000,-30000,20000,30000)\n"
    "  --day N --hour H    first step: N days from today at H UTC (default 0, 0)\n"
    "  --step H --steps N  hours between steps and their number (default 3, 8)\n"
    "  --buoys             the buoy observation document instead\n"
    "Writes the inflated payload to FILE.  Exit status: 0 when written, 1 when\n"
    "the call failed or brought nothing, 2 for bad arguments.\n";

int complain(const QString& what, int code)
{
    std::fprintf(stderr, "skyvane-fetch: %s\n", what.toLocal8Bit().constData());
    return code;
}

bool parseTypes(const QString& text, int& meteoType)
{
    static const struct {
        const char* name;
        int bit;
    } names[] = {{"wind", mtWind}, {"pressure", mtPressure}, {"precipitation", mtPrecipitation},
                 {"temperature", mtTemperature}, {"wave", mtWave}, {"sst", mtSST},
                 {"tidal", mtTidal}, {"preciprate", mtPrecipRate}};
    meteoType = 0;
    for (const QString& item : text.split(QLatin1Char(','))) {
        int bit = 0;
        for (const auto& entry : names)
            if (item == QLatin1String(entry.name))
                bit = entry.bit;
        if (!bit)
            return false;
        meteoType |= bit;
    }
    return true;
}

bool parseArea(const QString& text, ToviForecastParameters& p)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool ok[4] = {};
    if (parts.size() != 4)
        return false;
    p.top = parts[0].toInt(&ok[0]);
    p.left = parts[1].toInt(&ok[1]);
    p.right = parts[2].toInt(&ok[2]);
    p.bottom = parts[3].toInt(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList args = application.arguments().mid(1);
    QString server = QString::fromLatin1(Provider::defaultServerHost);
    int port = Provider::servicePort;
    QByteArray login = "demo", password = "demo";
    QString out;
    bool buoys = false;
    ToviForecastParameters p;
    p.meteoType = mtWind | mtPressure;
    p.resolution = ToviForecastParameters::grStandardResolution;
    p.timeStep = 3;
    p.stepsNumber = 8;
    parseArea(QStringLiteral("60000,-30000,20000,30000"), p);

    for (int i = 0; i < args.size(); ++i) {
        const QString option = args[i];
        if (option == QLatin1String("--buoys")) {
            buoys = true;
            continue;
        }
        if (option == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= args.size())
            return complain(QStringLiteral("%1 needs a value\n%2").arg(option, kUsage), 2);
        const QString value = args[++i];
        bool ok = true;
        if (option == QLatin1String("--server"))
            server = value;
        else if (option == QLatin1String("--port"))
            port = value.toInt(&ok);
        else if (option == QLatin1String("--login"))
            login = value.toLocal8Bit();
        else if (option == QLatin1String("--password"))
            password = value.toLocal8Bit();
        else if (option == QLatin1String("--out"))
            out = value;
        else if (option == QLatin1String("--types"))
            ok = parseTypes(value, p.meteoType);
        else if (option == QLatin1String("--area"))
            ok = parseArea(value, p);
        else if (option == QLatin1String("--resolution"))
            p.resolution = ToviForecastParameters::GribResolution(value.toInt(&ok));
        else if (option == QLatin1String("--day"))
            p.forecastDay = value.toInt(&ok);
        else if (option == QLatin1String("--hour"))
            p.forecastTime = value.toInt(&ok);
        else if (option == QLatin1String("--step"))
            p.timeStep = value.toInt(&ok);
        else if (option == QLatin1String("--steps"))
            p.stepsNumber = value.toInt(&ok);
        else
            return complain(QStringLiteral("unknown option %1\n%2").arg(option, kUsage), 2);
        if (!ok)
            return complain(QStringLiteral("bad value %1 for %2").arg(value, option), 2);
    }
    if (out.isEmpty())
        return complain(QStringLiteral("no --out FILE\n%1").arg(kUsage), 2);

    const QByteArray endpoint =
        QStringLiteral("http://%1:%2").arg(server).arg(port).toLocal8Bit();
    QObject worker;  // the sink needs one; nobody watches its progress
    ForecastServiceClient client(&worker);
    DimeBuffer* payload = nullptr;
    int result;
    if (buoys) {
        result = client.getBuoyData(endpoint, &payload);
    } else {
        ToviCredentials credentials;
        credentials.key = "";
        credentials.login = login.constData();
        credentials.password = password.constData();
        result = client.getForecastData(endpoint, credentials, p, &payload);
    }
    if (!payload)
        return complain(result ? QStringLiteral("the call to %1 failed (code %2)").arg(QString::fromLatin1(endpoint)).arg(result)
                               : QStringLiteral("the server sent no usable payload"),
                        1);
    // A payload that is no zlib stream is written as it came.
    unsigned size = payload->received;
    decompressData(&payload->data, &size);
    const QByteArray data(reinterpret_cast<const char*>(payload->data), int(size));
    freeDimeBuffer(payload);
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size() || !file.flush())
        return complain(QStringLiteral("cannot write %1: %2").arg(out, file.errorString()), 1);
    std::printf("%s: %lld bytes\n", out.toLocal8Bit().constData(), static_cast<long long>(data.size()));
    return 0;
}
