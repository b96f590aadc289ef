#include "ServerOptions.h"

QString ServerOptions::usage()
{
    return QStringLiteral(
        "Usage: skyvane-forecast-server [options]\n"
        "A stand-in for the Skyvane forecast service: answers forecasts of a\n"
        "synthetic atmosphere (demo data, not a real forecast), buoy\n"
        "observations and presets over SOAP.\n"
        "\n"
        "  --host HOST          address to listen on (default 127.0.0.1)\n"
        "  --port PORT          port (default 30080; 0 picks a free one)\n"
        "  --accounts FILE      accounts, one login:password per line\n"
        "                       (default: the account demo/demo)\n"
        "  --record FILE        append every decoded request as a JSON line\n"
        "  --state FILE         keep registered presets in FILE\n"
        "  --data DIR           cut forecasts from the GRIB1 files in DIR\n"
        "  --land DIR           land masks Skyvane.00/Skyvane.01 in DIR\n"
        "  --throttle BYTES     send attachments at BYTES per second\n"
        "  --attachment MODE    for testing clients: normal, empty, no-options,\n"
        "                       chunked, overlong or uncompressed attachments,\n"
        "                       or bomb: over 1 GiB of zeros deflated\n"
        "  --receive-limit SECONDS\n"
        "                       close a connection whose request has not arrived\n"
        "                       in full SECONDS after the server began waiting\n"
        "                       for it, an idle one too (default 60)\n"
        "  --send-limit SECONDS cut off a client that takes no bytes of an answer\n"
        "                       for SECONDS (default 60)\n"
        "  --max-connections N  serve at most N connections at once; further\n"
        "                       clients wait to be accepted (default 256)\n"
        "  --help               this text\n");
}

namespace {

bool takeValue(const QStringList& arguments, int& i, QString& value, QString& error)
{
    if (i + 1 >= arguments.size()) {
        error = QStringLiteral("%1 needs a value").arg(arguments.at(i));
        return false;
    }
    value = arguments.at(++i);
    return true;
}

bool toNumber(const QString& text, long minimum, long maximum, long& number)
{
    bool ok = false;
    number = text.toLong(&ok);
    return ok && number >= minimum && number <= maximum;
}

}  // namespace

int* ServerOptions::connectionLimit(const QString& option)
{
    if (option == QLatin1String("--receive-limit"))
        return &limits.receiveSeconds;
    if (option == QLatin1String("--send-limit"))
        return &limits.sendSeconds;
    if (option == QLatin1String("--max-connections"))
        return &limits.maxConnections;
    return nullptr;
}

bool ServerOptions::parse(const QStringList& arguments, QString& error, bool& help)
{
    help = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments.at(i);
        QString value;
        if (option == QLatin1String("--help")) {
            help = true;
            return true;
        }
        if (!option.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unexpected argument %1").arg(option);
            return false;
        }
        if (!takeValue(arguments, i, value, error))
            return false;
        long number = 0;
        if (option == QLatin1String("--host")) {
            host = value;
        } else if (option == QLatin1String("--port")) {
            if (!toNumber(value, 0, 65535, number)) {
                error = QStringLiteral("bad port %1").arg(value);
                return false;
            }
            port = int(number);
        } else if (option == QLatin1String("--accounts")) {
            accountsFile = value;
        } else if (option == QLatin1String("--record")) {
            recordFile = value;
        } else if (option == QLatin1String("--state")) {
            stateFile = value;
        } else if (option == QLatin1String("--data")) {
            dataDirectory = value;
        } else if (option == QLatin1String("--land")) {
            landMaskDirectory = value;
        } else if (option == QLatin1String("--throttle")) {
            if (!toNumber(value, 1, 1L << 30, number)) {
                error = QStringLiteral("bad throttle %1").arg(value);
                return false;
            }
            attachment.bytesPerSecond = number;
        } else if (option == QLatin1String("--attachment")) {
            if (!parseAttachmentMode(value, attachment.mode)) {
                error = QStringLiteral("bad attachment mode %1").arg(value);
                return false;
            }
        } else if (int* limit = connectionLimit(option)) {
            if (!toNumber(value, 1, option == QLatin1String("--max-connections") ? 4096 : 86400, number)) {
                error = QStringLiteral("bad %1 %2").arg(option.mid(2).replace('-', ' '), value);
                return false;
            }
            *limit = int(number);
        } else {
            error = QStringLiteral("unknown option %1").arg(option);
            return false;
        }
    }
    return true;
}
