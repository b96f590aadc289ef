// The stand-in open-data services over HTTP/1.1 (or HTTPS): keep-alive,
// HEAD, single byte ranges, a log line per request, and the configured
// fault on the first data answers.
#ifndef SKYVANE_OPENDATASERVER_H
#define SKYVANE_OPENDATASERVER_H

#include "OpenDataHttp.h"
#include "OpenDataOptions.h"
#include "OpenDataRoutes.h"

#include <QFile>
#include <QString>

#include <memory>

class QTcpServer;
class QTcpSocket;

class OpenDataServer {
public:
    static constexpr int kMaxConnections = 512;
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    OpenDataServer(OpenDataRoutes& routes, const OpenDataOptions& options);
    ~OpenDataServer();

    // Opens the log and starts listening; false with the reason.
    bool start(QString& error);
    int port() const;

private:
    struct Connection;
    void accept();
    void readRequests(QTcpSocket* socket, Connection& connection);
    void takeRequests(QTcpSocket* socket, Connection& connection, const HttpRequestReader& reader);
    void respond(QTcpSocket* socket, Connection& connection, const HttpRequest& request);
    void send(QTcpSocket* socket, Connection& connection, const HttpRequest& request, const Answer& answer);
    bool sendFault(QTcpSocket* socket, Connection& connection, const QByteArray& head, const QByteArray& body,
                   bool keepAlive);
    void closeAfterAnswer(QTcpSocket* socket, Connection& connection);
    void refuse(QTcpSocket* socket, Connection& connection, int status);
    void log(const HttpRequest& request);
    bool listenTls(QString& error);

    OpenDataRoutes& routes;
    OpenDataOptions options;
    std::unique_ptr<QTcpServer> server;
    QFile logFile;
    int faultsLeft = 0;
    int openConnections = 0;
};

#endif
