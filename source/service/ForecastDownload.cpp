#include "ForecastDownload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

#include "AttachmentSink.h"
#include "ForecastServiceClient.h"
#include "RequestArea.h"

namespace {

const char kForecastPattern[] = "'UTC_'yyyy-MM-dd_hh-mm-ss";

// The folder part of a path, up to the last "/" or else the last "\".
QString folderOf(const QString& path)
{
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = path.lastIndexOf(QLatin1Char('\\'));
    return cut < 0 ? QString() : path.left(cut);
}

}  // namespace

ForecastDownload::ForecastDownload(ForecastServiceClient& client, QString folder,
                                   std::function<QDateTime()> utcNow, std::function<bool()> wanted)
    : client(client), folder(std::move(folder)), utcNow(std::move(utcNow)), wanted(std::move(wanted))
{
}

bool ForecastDownload::toviGetForecastDataEx(const char* endpoint, const ToviCredentials* credentials,
                                             ToviForecastParameters* parameters, QString& fileName)
{
    measured = DownloadFigures();
    if (!endpoint || !credentials || !parameters) {
        error = QStringLiteral("no server, account or request");
        return false;
    }
    reallignRequestRect(parameters);
    DimeBuffer* payload = nullptr;
    QElapsedTimer clock;
    clock.start();
    const int result = client.getForecastData(endpoint, *credentials, *parameters, &payload);
    measured.callNs = clock.nsecsElapsed();
    if (!acceptCall(result, payload))
        return false;
    fileName = forecastFileName();
    return save(payload, fileName);
}

bool ForecastDownload::toviGetBuoyData(const char* endpoint, QString& fileName)
{
    measured = DownloadFigures();
    if (!endpoint) {
        error = QStringLiteral("no server");
        return false;
    }
    DimeBuffer* payload = nullptr;
    QElapsedTimer clock;
    clock.start();
    const int result = client.getBuoyData(endpoint, &payload);
    measured.callNs = clock.nsecsElapsed();
    if (!acceptCall(result, payload))
        return false;
    fileName = buoyFileName();
    return save(payload, fileName);
}

bool ForecastDownload::acceptCall(int callResult, DimeBuffer* payload)
{
    if (payload) {
        measured.receivedBytes = payload->received;
        return true;
    }
    if (!wanted())
        error = QStringLiteral("cancelled");
    else if (callResult != 0)
        error = QStringLiteral("the server did not deliver the data (error %1)").arg(callResult);
    else
        error = QStringLiteral("the server sent no data");
    return false;
}

QString ForecastDownload::forecastFileName() const
{
    if (!targetFile.isEmpty())
        return targetFile;
    const QString name = folder + utcNow().toUTC().toString(QLatin1String(kForecastPattern)) + QStringLiteral(".grb");
    return freeFileName(name, QStringLiteral(".grb"));
}

QString ForecastDownload::buoyFileName() const
{
    if (!targetFile.isEmpty())
        return targetFile;
    const QString name = folder + QStringLiteral("buoy.kml");
    // The old document goes; one that cannot be removed stays beside the
    // new one.
    if (QFile::exists(name))
        QFile::remove(name);
    return freeFileName(name, QStringLiteral(".kml"));
}

QString ForecastDownload::freeFileName(QString path, const QString& extension)
{
    while (QFile::exists(path)) {
        const qsizetype cut = path.lastIndexOf(extension);
        if (cut >= 0)
            path = path.left(cut) + QLatin1Char('0') + extension;
        else
            path += QLatin1Char('0');
    }
    return path;
}

bool ForecastDownload::acceptInflation(Inflation outcome)
{
    if (outcome == Inflation::TooLarge)
        error = QStringLiteral("the server's data inflates to more than %1 bytes, past the limit; "
                               "nothing was saved")
                    .arg(inflatedLimitBytes);
    else if (outcome == Inflation::OutOfMemory)
        error = QStringLiteral("not enough memory to inflate the server's data; nothing was saved");
    // A payload that is not a zlib stream is kept as it came.
    return outcome == Inflation::Inflated || outcome == Inflation::NotZlib;
}

bool ForecastDownload::save(DimeBuffer* payload, const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    const Inflation inflation = inflateInPlace(&payload->data, &payload->received, inflatedLimitBytes);
    measured.inflateNs = clock.nsecsElapsed();
    if (!acceptInflation(inflation)) {
        freeDimeBuffer(payload);
        return false;
    }
    measured.savedBytes = payload->received;
    clock.restart();
    const bool written = writeFile(path, payload->data, payload->received);
    measured.writeNs = clock.nsecsElapsed();
    freeDimeBuffer(payload);
    return written;
}

bool ForecastDownload::writeFile(const QString& path, const unsigned char* bytes, unsigned size)
{
    const QString directory = folderOf(path);
    if (!directory.isEmpty())
        QDir().mkpath(directory);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.write(reinterpret_cast<const char*>(bytes), qint64(size)) != qint64(size)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!wanted()) {
        error = QStringLiteral("cancelled");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = QStringLiteral("cannot save %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
