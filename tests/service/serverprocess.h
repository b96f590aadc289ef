// Starting a stand-in server as a real process on a free loopback port,
// the way every fixture does it.
#ifndef SKYVANE_SERVERPROCESS_H
#define SKYVANE_SERVERPROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>

#include <sys/prctl.h>

// Starts program with arguments (which ask for port 0), its messages going
// to logPath; the port it names on its first line, or 0 when it did not
// start.
inline int startServerProcess(QProcess& process, const QString& program, const QStringList& arguments,
                              const QString& logPath)
{
    process.setProgram(program);
    process.setArguments(arguments);
    // A pipe nobody reads would fill up and stall the server.
    process.setStandardErrorFile(logPath);
    // A test that dies must not leave its server running.
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.start();
    if (!process.waitForStarted(5000))
        return 0;
    QByteArray line;
    while (!line.contains('\n') && process.waitForReadyRead(10000))
        line += process.readAllStandardOutput();
    const int colon = line.lastIndexOf(':');
    return colon > 0 ? line.mid(colon + 1).trimmed().toInt() : 0;
}

#endif
