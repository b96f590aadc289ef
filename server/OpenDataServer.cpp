#include "OpenDataServer.h"

#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

struct OpenDataServer::Connection {
    QByteArray buffer;
    bool halted = false;  // refused, stalled or closing: no more requests read
};

OpenDataServer::OpenDataServer(OpenDataRoutes& r, const OpenDataOptions& o)
    : routes(r), options(o), faultsLeft(o.fault == FaultMode::None ? 0 : o.faultCount)
{
}

OpenDataServer::~OpenDataServer() = default;

bool OpenDataServer::listenTls(QString& error)
{
    QFile certFile(options.tlsCertificate), keyFile(options.tlsKey);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1 or %2").arg(options.tlsCertificate, options.tlsKey);
        return false;
    }
    const QSslCertificate certificate(certFile.readAll(), QSsl::Pem);
    QSslKey key(keyFile.readAll(), QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) {
        keyFile.seek(0);
        key = QSslKey(keyFile.readAll(), QSsl::Ec, QSsl::Pem);
    }
    if (certificate.isNull() || key.isNull()) {
        error = QStringLiteral("no PEM certificate in %1 or no PEM key in %2").arg(options.tlsCertificate, options.tlsKey);
        return false;
    }
    auto tls = std::make_unique<QSslServer>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls->setSslConfiguration(configuration);
    server = std::move(tls);
    return true;
}

bool OpenDataServer::start(QString& error)
{
    if (!options.logFile.isEmpty()) {
        logFile.setFileName(options.logFile);
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            error = QStringLiteral("cannot write %1").arg(options.logFile);
            return false;
        }
    }
    if (options.tlsCertificate.isEmpty())
        server = std::make_unique<QTcpServer>();
    else if (!listenTls(error))
        return false;
    QObject::connect(server.get(), &QTcpServer::pendingConnectionAvailable, server.get(), [this] { accept(); });
    if (!server->listen(QHostAddress(options.host), quint16(options.port))) {
        error = QStringLiteral("cannot listen on %1:%2: %3").arg(options.host).arg(options.port).arg(server->errorString());
        return false;
    }
    return true;
}

int OpenDataServer::port() const
{
    return server ? server->serverPort() : 0;
}

void OpenDataServer::accept()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (openConnections >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++openConnections;
        socket->setReadBufferSize(kReadBufferBytes);
        auto connection = std::make_shared<Connection>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [this, socket, connection] { readRequests(socket, *connection); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
            --openConnections;
            socket->deleteLater();
        });
        readRequests(socket, *connection);
    }
}

void OpenDataServer::readRequests(QTcpSocket* socket, Connection& connection)
{
    const HttpRequestReader reader;
    while (!connection.halted) {
        // Never more than one head's worth held: a longer one is bad anyway.
        const QByteArray chunk = socket->read(HttpRequestReader::kMaxHeadBytes + 1 - connection.buffer.size());
        connection.buffer += chunk;
        takeRequests(socket, connection, reader);
        if (chunk.isEmpty())
            break;
    }
    if (connection.halted)
        socket->readAll();  // dropped: nothing more is answered
}

void OpenDataServer::closeAfterAnswer(QTcpSocket* socket, Connection& connection)
{
    connection.halted = true;
    socket->disconnectFromHost();
}

void OpenDataServer::takeRequests(QTcpSocket* socket, Connection& connection, const HttpRequestReader& reader)
{
    while (!connection.halted) {
        HttpRequest request;
        const HttpRequestReader::Result result = reader.take(connection.buffer, request);
        if (result == HttpRequestReader::Result::NeedMore)
            return;
        if (result == HttpRequestReader::Result::Bad)
            refuse(socket, connection, 400);
        else
            respond(socket, connection, request);
    }
}

void OpenDataServer::refuse(QTcpSocket* socket, Connection& connection, int status)
{
    const QByteArray body = reasonPhrase(status).toLower() + '\n';
    QList<QPair<QByteArray, QByteArray>> extra;
    if (status == 405)
        extra.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
    socket->write(answerHead(status, body.size(), "text/plain", false, extra) + body);
    connection.buffer.clear();
    closeAfterAnswer(socket, connection);
}

void OpenDataServer::log(const HttpRequest& request)
{
    if (!logFile.isOpen())
        return;
    QByteArray line = request.method + ' ' + request.target;
    const QByteArray range = request.header("range");
    if (!range.isEmpty())
        line += " range=" + range;
    logFile.write(line + '\n');
    logFile.flush();
}

void OpenDataServer::respond(QTcpSocket* socket, Connection& connection, const HttpRequest& request)
{
    log(request);
    if (request.method != "GET" && request.method != "HEAD") {
        refuse(socket, connection, 405);
        return;
    }
    send(socket, connection, request, routes.answer(request.target));
}

void OpenDataServer::send(QTcpSocket* socket, Connection& connection, const HttpRequest& request,
                          const Answer& answer)
{
    const bool head = request.method == "HEAD";
    const bool keepAlive = request.keepAlive();
    int status = answer.status;
    QByteArray body = answer.body;
    QList<QPair<QByteArray, QByteArray>> extra;
    if (answer.rangeable && status == 200) {
        extra.append(qMakePair(QByteArray("Accept-Ranges"), QByteArray("bytes")));
        ByteRange range;
        const qint64 size = body.size();
        switch (rangeOf(request.header("range"), size, range)) {
        case RangeAnswer::Whole:
            break;
        case RangeAnswer::Part:
            status = 206;
            body = body.mid(range.first, range.length());
            extra.append(qMakePair(QByteArray("Content-Range"), "bytes " + QByteArray::number(range.first) + '-' +
                                                                    QByteArray::number(range.last) + '/' +
                                                                    QByteArray::number(size)));
            break;
        case RangeAnswer::Unsatisfiable:
            status = 416;
            body = "range not satisfiable\n";
            extra.append(qMakePair(QByteArray("Content-Range"), "bytes */" + QByteArray::number(size)));
            break;
        }
    }
    const QByteArray contentType = status >= 400 ? QByteArray("text/plain") : answer.contentType;
    const QByteArray headBytes = answerHead(status, body.size(), contentType, keepAlive, extra);
    if (answer.data && !head && status < 300 && faultsLeft > 0) {
        --faultsLeft;
        if (sendFault(socket, connection, headBytes, body, keepAlive))
            return;
    }
    socket->write(headBytes);
    if (!head)
        socket->write(body);
    if (!keepAlive) {
        closeAfterAnswer(socket, connection);
    }
}

bool OpenDataServer::sendFault(QTcpSocket* socket, Connection& connection, const QByteArray& head,
                               const QByteArray& body, bool keepAlive)
{
    const QByteArray half = body.left(body.size() / 2);
    switch (options.fault) {
    case FaultMode::None:
        return false;
    case FaultMode::Unavailable: {
        const QByteArray text = "service unavailable\n";
        socket->write(answerHead(503, text.size(), "text/plain", keepAlive) + text);
        if (!keepAlive)
            closeAfterAnswer(socket, connection);
        return true;
    }
    case FaultMode::Stall:
        socket->write(head + half);
        connection.halted = true;
        return true;
    case FaultMode::Truncate:
        socket->write(head + half);
        break;
    case FaultMode::WrongLength: {
        QByteArray longer = head;
        const QByteArray length = "Content-Length: " + QByteArray::number(body.size());
        longer.replace(length, "Content-Length: " + QByteArray::number(body.size() + body.size() / 2 + 1));
        socket->write(longer + body);
        break;
    }
    }
    closeAfterAnswer(socket, connection);
    return true;
}
