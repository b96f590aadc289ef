// The stand-in server's command line.
#ifndef SKYVANE_SERVEROPTIONS_H
#define SKYVANE_SERVEROPTIONS_H

#include <QString>
#include <QStringList>

#include "AttachmentSender.h"
#include "ForecastServer.h"

struct ServerOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 30080;           // 0: any free port (printed at start)
    QString accountsFile;       // empty: the demo account only
    QString recordFile;
    QString stateFile;
    QString dataDirectory;      // real GRIB1 files to cut forecasts from
    QString landMaskDirectory;  // Skyvane.00 and Skyvane.01
    AttachmentOptions attachment;
    ConnectionLimits limits;

    // Parses the arguments (without the program name).  False with a
    // message in error for anything it does not understand; help is set
    // for --help.
    bool parse(const QStringList& arguments, QString& error, bool& help);
    static QString usage();

private:
    // The limit an option sets, or null.
    int* connectionLimit(const QString& option);
};

#endif
