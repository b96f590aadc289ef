// skyvane-fetch: downloads a forecast (or the buoy document) with the
// viewer's own download code, from the provider's service or from a public
// open-data service, for scripts and for people without a display.
// Progress goes to standard error, the saved path to standard output.
#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>
#include <QTimer>

#include <cstdio>

#include "ByteSize.h"
#include "DownloadThread.h"
#include "ForecastDataSets.h"
#include "kind_names.h"
#include "OpenDataDownload.h"
#include "OpenDataSources.h"
#include "Provider.h"
#include "SettingsFactory.h"

namespace {

const char kUsage[] =
    "Usage: skyvane-fetch --type LIST --resolution CODE --area TOP,LEFT,BOTTOM,RIGHT\n"
    "                     [--steps N] [--step H] [--day D] [--hour H] [--out FILE]\n"
    "                     [--login NAME] [--password TEXT] [--server URL]\n"
    "                     [--max-bytes N]\n"
    "       skyvane-fetch --source ID --type LIST --area TOP,LEFT,BOTTOM,RIGHT\n"
    "                     [--steps N] [--step H] [--day D] [--hour H] [--out FILE]\n"
    "                     [--run YYYYMMDDHH] [--base URL] [--ca-file PEM]\n"
    "       skyvane-fetch --buoys [--out FILE] [--server URL] [--max-bytes N]\n"
    "  --type LIST         wind,pressure,precipitation,temperature,wave,sst,\n"
    "                      tidal,preciprate\n"
    "  --resolution CODE   data set: 1 global 1.0, 2 global 0.5, 4 North Atlantic,\n"
    "                      8 English Channel, 16 to 26 regional (default 1)\n"
    "  --area T,L,B,R      the area's edges in degrees (north, west, south, east)\n"
    "  --steps N --step H  number of steps and hours between them (default: the\n"
    "                      data set's horizon in 3-hour steps)\n"
    "  --day D --hour H    first step: D days from today at H UTC (default: now)\n"
    "  --out FILE          where to save (default: the documents folder, named\n"
    "                      after the time like the viewer's downloads)\n"
    "  --login, --password the account (default: the viewer's settings)\n"
    "  --server URL        e.g. http://127.0.0.1:30080 (default: the settings')\n"
    "  --max-bytes N       refuse data that inflates to more than N bytes\n"
    "                      (default 1073741824, 1 GiB)\n"
    "  --source ID         an open-data service instead of the provider's:\n"
    "                      gfs, gfs-wave (NOAA NOMADS), ecmwf, ecmwf-wave (ECMWF)\n"
    "  --run YYYYMMDDHH    that run (default: the newest complete one)\n"
    "  --base URL          the service's root address, for a mirror (default:\n"
    "                      the settings' [OpenData] entry, else the service's own)\n"
    "  --ca-file PEM       trust these certificate authorities too\n"
    "Exit status: 0 when saved, 1 when the download failed, 2 for bad arguments.\n";

const int kBadArguments = 2;
const int kFailed = 1;

int complain(const QString& what, int code)
{
    std::fprintf(stderr, "skyvane-fetch: %s\n", what.toLocal8Bit().constData());
    return code;
}

bool parseTypes(const QString& text, int& meteoType)
{
    meteoType = 0;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const int bit = KindNames::typeOf(item.toStdString());
        if (!bit)
            return false;
        meteoType |= bit;
    }
    return true;
}

// Degrees to thousandths, rounded; the area must be a real rectangle.
bool parseArea(const QString& text, ToviForecastParameters& p)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    int milli[4] = {};
    for (int k = 0; k < 4; ++k) {
        bool ok = false;
        const double degrees = parts[k].toDouble(&ok);
        if (!ok || degrees < -720.0 || degrees > 720.0)
            return false;
        milli[k] = int(qRound(degrees * 1000.0));
    }
    p.top = milli[0];
    p.left = milli[1];
    p.bottom = milli[2];
    p.right = milli[3];
    return p.top > p.bottom && p.right > p.left && p.top <= 90000 && p.bottom >= -90000;
}

// A positive count that fits the payload's size field.
bool parseByteCount(const QString& text, unsigned& bytes)
{
    bool ok = false;
    bytes = text.toUInt(&ok);
    return ok && bytes > 0;
}

// The server as the settings store names it: a bare host gets the
// service's scheme and port.
QString endpointOf(const QString& server)
{
    if (server.contains(QLatin1String("://")))
        return server;
    return QStringLiteral("http://%1:%2").arg(server).arg(Provider::servicePort);
}

struct Options {
    ToviForecastParameters request;
    bool buoys = false;
    bool haveTypes = false;
    bool haveArea = false;
    unsigned maxBytes = kMaxInflatedBytes;
    QString out, login, password, server;
    const OpenDataSource* source = nullptr;
    QDateTime run;
    QString base, caFile;
};

QDateTime parseRun(const QString& text)
{
    QDateTime run = QDateTime::fromString(text, QStringLiteral("yyyyMMddHH"));
    run.setTimeSpec(Qt::UTC);
    return run;
}

// Fills options from the arguments; an error text, or empty.
QString parseArguments(const QStringList& args, Options& o)
{
    ToviForecastParameters& p = o.request;
    p.resolution = ToviForecastParameters::grStandardResolution;
    p.timeStep = 3;
    p.forecastTime = QDateTime::currentDateTimeUtc().time().hour();
    for (int i = 0; i < args.size(); ++i) {
        const QString option = args[i];
        if (option == QLatin1String("--buoys")) {
            o.buoys = true;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(option);
        const QString value = args[++i];
        bool ok = true;
        if (option == QLatin1String("--type") || option == QLatin1String("--types"))
            ok = o.haveTypes = parseTypes(value, p.meteoType);
        else if (option == QLatin1String("--area"))
            ok = o.haveArea = parseArea(value, p);
        else if (option == QLatin1String("--resolution"))
            p.resolution = ToviForecastParameters::GribResolution(value.toInt(&ok));
        else if (option == QLatin1String("--steps"))
            p.stepsNumber = value.toInt(&ok);
        else if (option == QLatin1String("--step"))
            p.timeStep = value.toInt(&ok);
        else if (option == QLatin1String("--day"))
            p.forecastDay = value.toInt(&ok);
        else if (option == QLatin1String("--hour"))
            p.forecastTime = value.toInt(&ok);
        else if (option == QLatin1String("--out"))
            o.out = value;
        else if (option == QLatin1String("--login"))
            o.login = value;
        else if (option == QLatin1String("--password"))
            o.password = value;
        else if (option == QLatin1String("--server"))
            o.server = value;
        else if (option == QLatin1String("--max-bytes"))
            ok = parseByteCount(value, o.maxBytes);
        else if (option == QLatin1String("--source"))
            ok = (o.source = findOpenDataSource(value)) != nullptr;
        else if (option == QLatin1String("--run"))
            ok = (o.run = parseRun(value)).isValid();
        else if (option == QLatin1String("--base"))
            o.base = value;
        else if (option == QLatin1String("--ca-file"))
            o.caFile = value;
        else
            return QStringLiteral("unknown option %1").arg(option);
        if (!ok)
            return QStringLiteral("bad value %1 for %2").arg(value, option);
    }
    if (o.buoys) {
        p.resolution = ToviForecastParameters::GribResolution(DownloadThread::kBuoyResolution);
        return QString();
    }
    if (!o.haveTypes || !o.haveArea)
        return QStringLiteral("--type and --area are needed");
    if (o.source)
        p.resolution = ToviForecastParameters::GribResolution(o.source->resolution);
    else if (o.run.isValid() || !o.base.isEmpty() || !o.caFile.isEmpty())
        return QStringLiteral("--run, --base and --ca-file go with --source");
    if (p.stepsNumber <= 0)
        p.stepsNumber = defaultStepsNumber(p.resolution, p.timeStep);
    return QString();
}

void printProgress(int received, int total)
{
    if (total <= 0)
        return;
    std::fprintf(stderr, "\rskyvane-fetch: %s of %s   ", bytes2String(received).toLocal8Bit().constData(),
                 bytes2String(total).toLocal8Bit().constData());
}

void printOpenDataProgress(qint64 bytesDone, qint64 bytesTotal, int stepsDone, int stepsTotal)
{
    std::fprintf(stderr, "\rskyvane-fetch: step %d of %d, %s", stepsDone, stepsTotal,
                 bytes2String(bytesDone).toLocal8Bit().constData());
    if (bytesTotal > 0)
        std::fprintf(stderr, " of %s", bytes2String(bytesTotal).toLocal8Bit().constData());
    std::fputs("   ", stderr);
}

// The root a source is fetched from: the option (for the source asked and
// its companion, which live on the same service), else the settings'.
QString baseOf(const OpenDataSource& source, const Options& o)
{
    const bool asked = &source == o.source || QLatin1String(source.id) == QLatin1String(o.source->companionId);
    if (asked && !o.base.isEmpty())
        return o.base;
    return SettingsFactory::getParameter("OpenData", source.settingsKey, "");
}

int fetchOpenData(QCoreApplication& application, const Options& o)
{
    OpenDataDownload download(SettingsFactory::getMyDocumentsPath(), SettingsFactory::getOpenDataCachePath());
    for (const OpenDataSource& source : openDataSources()) {
        const QString base = baseOf(source, o);
        if (!base.isEmpty())
            download.setBase(QString::fromLatin1(source.id), base);
    }
    if (!o.caFile.isEmpty() && !download.addCaCertificates(o.caFile))
        return complain(QStringLiteral("%1 holds no certificate").arg(o.caFile), kBadArguments);
    if (o.run.isValid())
        download.setRun(o.run);
    download.setTargetFile(o.out);
    QObject::connect(&download, &OpenDataDownload::progress, &printOpenDataProgress);
    QObject::connect(&download, &OpenDataDownload::runChosen, [](const QString& label) {
        std::fprintf(stderr, "\rskyvane-fetch: run %s\n", label.toLocal8Bit().constData());
    });
    bool saved = false;
    QObject::connect(&download, &OpenDataDownload::finished, &application, [&](bool ok) {
        saved = ok;
        application.quit();
    }, Qt::QueuedConnection);
    std::fprintf(stderr, "skyvane-fetch: looking for the newest %s run...\n", o.source->label);
    QTimer::singleShot(0, &download, [&] { download.start(o.request); });
    application.exec();
    std::fputc('\n', stderr);
    SettingsFactory::destroy();
    if (!saved)
        return complain(QStringLiteral("download failed: %1").arg(download.errorText()), kFailed);
    std::printf("%s\n", download.fileName().toLocal8Bit().constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    if (args.contains(QLatin1String("--help"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    const QString error = parseArguments(args, options);
    if (!error.isEmpty())
        return complain(error + QLatin1Char('\n') + QString::fromLatin1(kUsage), kBadArguments);
    if (options.source)
        return fetchOpenData(application, options);

    DownloadThread worker(nullptr);
    worker.parameters = options.request;
    worker.setAccount(options.login.isEmpty() ? SettingsFactory::login() : options.login,
                      options.password.isEmpty() ? SettingsFactory::password() : options.password,
                      options.server.isEmpty() ? SettingsFactory::server() : endpointOf(options.server));
    worker.setTargetFile(options.out);
    worker.setInflatedLimit(options.maxBytes);
    QObject::connect(&worker, &DownloadThread::progress, &printProgress);
    QObject::connect(&worker, &QThread::finished, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    std::fputs("skyvane-fetch: waiting for the server...", stderr);
    worker.start();
    application.exec();
    worker.wait();
    std::fputc('\n', stderr);
    SettingsFactory::destroy();
    if (worker.succeeded()) {
        std::printf("%s\n", worker.getFileName().toLocal8Bit().constData());
        return 0;
    }
    return complain(QStringLiteral("download failed: %1").arg(worker.errorText()), kFailed);
}
