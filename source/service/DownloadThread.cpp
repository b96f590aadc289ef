#include "DownloadThread.h"

#include "ForecastServiceClient.h"
#include "SettingsFactory.h"

DownloadThread::DownloadThread(QObject* dialog)
    : AbandonableThread(dialog), utcNow([] { return QDateTime::currentDateTimeUtc(); })
{
    // Read here, on the thread that owns the settings store, rather than
    // while the GUI may be writing it.
    setAccount(SettingsFactory::login(), SettingsFactory::password(), SettingsFactory::server());
    folder = SettingsFactory::getMyDocumentsPath();
}

void DownloadThread::setAccount(const QString& newLogin, const QString& newPassword, const QString& endpoint)
{
    login = newLogin.toLocal8Bit();
    password = newPassword.toLocal8Bit();
    server = endpoint.toLocal8Bit();
}

void DownloadThread::setTimeLimits(int connectSeconds, int transferSeconds)
{
    connectLimitSeconds = connectSeconds;
    transferLimitSeconds = transferSeconds;
}

void DownloadThread::setProgress(int received, int total)
{
    emit progress(received, total);
}

void DownloadThread::run()
{
    ForecastServiceClient client(this);
    client.setTimeLimits(connectLimitSeconds, transferLimitSeconds);
    ForecastDownload download(client, folder, utcNow, [this] { return transferRunning(); });
    download.setTargetFile(targetFile);
    download.setInflatedLimit(inflatedLimitBytes);
    QString name;
    bool ok = false;
    if (parameters.resolution == kBuoyResolution) {
        ok = download.toviGetBuoyData(server.constData(), name);
    } else {
        ToviCredentials credentials;
        credentials.key = "";
        credentials.login = login.constData();
        credentials.password = password.constData();
        ok = download.toviGetForecastDataEx(server.constData(), &credentials, &parameters, name);
    }
    fileName = name;
    saved = ok;
    error = ok ? QString() : download.errorText();
    measured = download.figures();
    emit downloadFinished(ok ? 1 : 0, name);
}
