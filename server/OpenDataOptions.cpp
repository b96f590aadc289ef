#include "OpenDataOptions.h"

#include "OpenDataCatalogue.h"

QString OpenDataOptions::usage()
{
    return QStringLiteral(
        "Usage: skyvane-opendata-server [options]\n"
        "A stand-in for NOAA NOMADS (GFS 0.25°, GFS-Wave 0.25°) and ECMWF open\n"
        "data (IFS 0.25° oper and wave), serving GRIB2 of a synthetic atmosphere\n"
        "(demo data, not a real forecast).  NOMADS paths are at /cgi-bin/ and\n"
        "/pub/, ECMWF's under /ecmwf/.\n"
        "\n"
        "  --host HOST          address to listen on (default 127.0.0.1)\n"
        "  --port PORT          port (default 30081; 0 picks a free one)\n"
        "  --tls-cert PEM       serve HTTPS with this certificate ...\n"
        "  --tls-key PEM        ... and this private key\n"
        "  --land DIR           land masks Skyvane.00/Skyvane.01 in DIR\n"
        "  --run YYYYMMDDHH     the newest complete run of every source (default:\n"
        "                       the newest run hour at least 6 h before now)\n"
        "  --partial-run        the run after it is being published: its steps up\n"
        "                       to 24 h are there, its last step is not\n"
        "  --fault MODE         data answers go wrong: none, 503, stall (half the\n"
        "                       body, then silence), truncate (half the body, then\n"
        "                       closed) or wrong-length (a longer length announced)\n"
        "  --fault-count N      how many data answers the fault hits (default 1)\n"
        "  --log FILE           one line per request: method, target and range\n"
        "  --help               this text\n");
}

namespace {

bool parseFault(const QString& text, FaultMode& mode)
{
    const struct {
        const char* name;
        FaultMode mode;
    } kModes[] = {{"none", FaultMode::None},
                  {"503", FaultMode::Unavailable},
                  {"stall", FaultMode::Stall},
                  {"truncate", FaultMode::Truncate},
                  {"wrong-length", FaultMode::WrongLength}};
    for (const auto& m : kModes) {
        if (text == QLatin1String(m.name)) {
            mode = m.mode;
            return true;
        }
    }
    return false;
}

bool toNumber(const QString& text, long minimum, long maximum, int& number)
{
    bool ok = false;
    const long value = text.toLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return false;
    number = int(value);
    return true;
}

}  // namespace

bool OpenDataOptions::takeOption(const QString& option, const QString& value, QString& error)
{
    bool ok = true;
    if (option == QLatin1String("--host"))
        host = value;
    else if (option == QLatin1String("--port"))
        ok = toNumber(value, 0, 65535, port);
    else if (option == QLatin1String("--tls-cert"))
        tlsCertificate = value;
    else if (option == QLatin1String("--tls-key"))
        tlsKey = value;
    else if (option == QLatin1String("--land"))
        landMaskDirectory = value;
    else if (option == QLatin1String("--run"))
        ok = (newestRun = parseRunTime(value)).isValid() && newestRun.time().hour() % 6 == 0;
    else if (option == QLatin1String("--fault"))
        ok = parseFault(value, fault);
    else if (option == QLatin1String("--fault-count"))
        ok = toNumber(value, 0, 1000000, faultCount);
    else if (option == QLatin1String("--log"))
        logFile = value;
    else {
        error = QStringLiteral("unknown option %1").arg(option);
        return false;
    }
    if (!ok)
        error = QStringLiteral("bad %1 %2").arg(option.mid(2), value);
    return ok;
}

bool OpenDataOptions::parse(const QStringList& arguments, QString& error, bool& help)
{
    help = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments.at(i);
        if (option == QLatin1String("--help")) {
            help = true;
            return true;
        }
        if (option == QLatin1String("--partial-run")) {
            partialRun = true;
            continue;
        }
        if (!option.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unexpected argument %1").arg(option);
            return false;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1 needs a value").arg(option);
            return false;
        }
        if (!takeOption(option, arguments.at(++i), error))
            return false;
    }
    if (tlsCertificate.isEmpty() != tlsKey.isEmpty()) {
        error = QStringLiteral("--tls-cert and --tls-key go together");
        return false;
    }
    return true;
}
