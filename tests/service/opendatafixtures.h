// Test fixtures for the open-data downloads: the stand-in open-data server
// as a real process on a free loopback port, and a throwaway self-signed
// certificate for serving it over HTTPS.
#ifndef SKYVANE_OPENDATAFIXTURES_H
#define SKYVANE_OPENDATAFIXTURES_H

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "serverprocess.h"

// A self-signed certificate and its key for 127.0.0.1 (subjectAltName
// IP:127.0.0.1), made with the openssl command; valid when made.
struct ThrowawayCertificate {
    ThrowawayCertificate()
    {
        if (!dir.isValid())
            return;
        certificatePath = dir.filePath(QStringLiteral("cert.pem"));
        keyPath = dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                       "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                       "-keyout", keyPath, "-out", certificatePath});
        made = openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
               openssl.exitCode() == 0;
    }
    bool valid() const { return made; }
    // The certificate in PEM, for a client to trust.
    QByteArray pem() const
    {
        QFile file(certificatePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The server's options that serve HTTPS with it.
    QStringList serverOptions() const { return {"--tls-cert", certificatePath, "--tls-key", keyPath}; }

    QTemporaryDir dir;
    QString certificatePath;
    QString keyPath;
    bool made = false;
};

// The stand-in open-data server, started with --port 0, a request log and
// the given options (HTTPS when they hold --tls-cert).
class OpenDataStandIn {
public:
    explicit OpenDataStandIn(const QStringList& options = {})
    {
        requestLogPath = dir.filePath(QStringLiteral("requests.log"));
        scheme = options.contains(QStringLiteral("--tls-cert")) ? QStringLiteral("https") : QStringLiteral("http");
        port = startServerProcess(process, QStringLiteral(SKYVANE_OPENDATA_SERVER_PATH),
                                  QStringList{"--port", "0", "--log", requestLogPath} + options,
                                  dir.filePath(QStringLiteral("server.log")));
    }
    ~OpenDataStandIn() { stop(); }

    bool running() const { return port > 0 && process.state() == QProcess::Running; }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // The roots a client is given: NOMADS' paths at the top, ECMWF's under
    // /ecmwf.
    QString baseNomads() const { return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port); }
    QString baseEcmwf() const { return baseNomads() + QStringLiteral("/ecmwf"); }

    // The requests so far, one "METHOD target[ range=…]" line each.
    QStringList requestLog() const
    {
        QFile file(requestLogPath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // What the server wrote to stderr.
    QByteArray messages() const
    {
        QFile file(dir.filePath(QStringLiteral("server.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString requestLogPath;
    QString scheme;
    QProcess process;
    int port = 0;
};

#endif
