// The command line of the stand-in open-data server.
#ifndef SKYVANE_OPENDATAOPTIONS_H
#define SKYVANE_OPENDATAOPTIONS_H

#include <QDateTime>
#include <QString>
#include <QStringList>

// How data answers (filter answers and .grib2 bodies) go wrong, for
// testing clients.
enum class FaultMode {
    None,
    Unavailable,  // 503 with a small body
    Stall,        // the head and half the body, then silence on an open socket
    Truncate,     // the full length announced, half the body sent, closed
    WrongLength   // a length longer than the body announced, the body sent, closed
};

struct OpenDataOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 30081;            // 0: any free port (printed at start)
    QString tlsCertificate;      // PEM; with the key, HTTPS instead of HTTP
    QString tlsKey;
    QString landMaskDirectory;   // Skyvane.00 and Skyvane.01
    QDateTime newestRun;         // invalid: the newest run hour 6 h before now
    bool partialRun = false;
    FaultMode fault = FaultMode::None;
    int faultCount = 1;
    QString logFile;

    // Parses the arguments (without the program name).  False with a
    // message in error for anything it does not understand; help is set
    // for --help.
    bool parse(const QStringList& arguments, QString& error, bool& help);
    static QString usage();

private:
    bool takeOption(const QString& option, const QString& value, QString& error);
};

#endif
