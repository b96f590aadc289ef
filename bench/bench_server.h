// The stand-in forecast server as a process on a free loopback port, for
// the benchmarks that talk to it, and its builder's view of a request.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include "ForecastRequest.h"
#include "ToviForecastParameters.h"

namespace bench {

// What the server's builder is asked for a client's request.
inline ForecastRequest forecastRequestOf(const ToviForecastParameters& p)
{
    ForecastRequest request;
    request.meteoType = unsigned(p.meteoType);
    request.resolution = p.resolution;
    request.forecastDay = p.forecastDay;
    request.forecastTime = p.forecastTime;
    request.timeStep = p.timeStep;
    request.stepsNumber = unsigned(p.stepsNumber);
    request.topMilli = p.top;
    request.leftMilli = p.left;
    request.rightMilli = p.right;
    request.bottomMilli = p.bottom;
    return request;
}

struct StandInServer {
    QProcess process;
    QByteArray endpoint;
    bool start(const QString& program = QStringLiteral(SKYVANE_SERVER_PATH), const QStringList& options = {})
    {
        process.setProgram(program);
        process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0")} + options);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start();
        QByteArray line;
        while (!line.contains('\n') && process.waitForReadyRead(10000))
            line += process.readAllStandardOutput();
        endpoint = "http://127.0.0.1:" + line.mid(line.lastIndexOf(':') + 1).trimmed();
        return line.contains("listening");
    }
    ~StandInServer()
    {
        process.terminate();
        process.waitForFinished(10000);
    }
};

}  // namespace bench
