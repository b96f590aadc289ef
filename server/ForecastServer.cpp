#include "ForecastServer.h"

#include <chrono>
#include <system_error>
#include <thread>

#include <netinet/in.h>
#include <unistd.h>
#include <sys/socket.h>

#include "AttachmentSender.h"
#include "ForecastService.h"
#include "RequestReader.h"
#include "soapH.h"

// One accepted connection: its context, which the runtime reads through
// the request reader, and whether an answer to the current request has
// begun to go out.
struct ServedConnection {
    ServedConnection(ForecastServer& server, struct soap* soap, int receiveSeconds)
        : server(server), soap(soap), reader(soap->socket, receiveSeconds), runtimeSend(soap->fsend)
    {
    }

    void beginRequest()
    {
        reader.beginRequest();
        answering = false;
    }

    ForecastServer& server;
    struct soap* soap;
    RequestReader reader;
    int (*runtimeSend)(struct soap*, const char*, size_t);
    bool answering = false;
};

namespace {

ServedConnection& connectionOf(struct soap* soap)
{
    return *static_cast<ServedConnection*>(soap->user);
}

// After every answer on a connection, so that a connection kept alive for
// many calls does not pile up the memory of earlier ones.
void freeCallMemory(struct soap* soap)
{
    soap_destroy(soap);
    soap_end(soap);
}

int closeTrackedSocket(struct soap* soap, SOAP_SOCKET socket)
{
    connectionOf(soap).server.closeSocket(socket);
    return SOAP_OK;
}

size_t readRequest(struct soap* soap, char* buffer, size_t size)
{
    return connectionOf(soap).reader.read(buffer, size);
}

int sendAnswer(struct soap* soap, const char* data, size_t size)
{
    ServedConnection& connection = connectionOf(soap);
    connection.answering = true;
    return connection.runtimeSend(soap, data, size);
}

// The runtime's start of serving a request, up to the operation's element.
int readRequestStart(struct soap* soap)
{
    soap_begin(soap);
    return soap_begin_recv(soap) || soap_envelope_begin_in(soap) || soap_recv_header(soap) ||
           soap_body_begin_in(soap);
}

// Ends the connection after a failed request.  The runtime answers most
// failures with a fault, but leaves two kinds of request unanswered: one
// that ran out of input and one whose body is no envelope (which it takes
// for a request meant for another handler).  Such a request that arrived
// whole is no complete call and gets a fault too; one that did not arrive
// (the client stopped, or its time ran out) gets nothing.
void endAfterFailure(ServedConnection& connection)
{
    struct soap* soap = connection.soap;
    if (soap->error == SOAP_EOF || soap->error >= SOAP_STOP) {
        if (!connection.reader.owesAnswer() || connection.answering) {
            soap->keep_alive = 0;
            soap_closesock(soap);
            return;
        }
        const char* refusal = connection.reader.refusal();
        soap_sender_fault(soap, refusal ? refusal : "The request is not a complete SOAP call", nullptr);
    }
    soap_send_fault(soap);
}

// Serves one request; false when the connection is to end.
bool serveRequest(ServedConnection& connection)
{
    struct soap* soap = connection.soap;
    if (readRequestStart(soap)) {
        endAfterFailure(connection);
        return false;
    }
    if (soap_serve_request(soap) == SOAP_OK)
        return true;
    if (soap->error >= SOAP_STOP) {  // the operation wrote its answer itself
        soap_closesock(soap);
        return soap->keep_alive != 0;
    }
    endAfterFailure(connection);
    return false;
}

// The runtime's serving loop, with each request read through the
// connection's reader.
void serveRequests(ServedConnection& connection)
{
    struct soap* soap = connection.soap;
    soap->keep_alive = soap->max_keep_alive + 1;
    do {
        if (soap->keep_alive > 0 && soap->max_keep_alive > 0)
            soap->keep_alive--;
        connection.beginRequest();
        if (!serveRequest(connection))
            return;
        freeCallMemory(soap);
    } while (soap->keep_alive);
}

int boundPort(int socket)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

}  // namespace

ForecastServer::ForecastServer(ForecastService& service, const ConnectionLimits& limits)
    : service_(service), limits_(limits), master_(soap_new1(SOAP_IO_KEEPALIVE))
{
    master_->bind_flags = SO_REUSEADDR;
    master_->accept_timeout = -200000;  // 0.2 s, to notice a stop request
    // Receiving is timed by each connection's request reader.
    master_->recv_timeout = 0;
    master_->send_timeout = limits_.sendSeconds;
    master_->max_keep_alive = 1000;
    installAttachmentStreaming(master_);
}

ForecastServer::~ForecastServer()
{
    // Accept errors leave fault records in the listening context.
    soap_destroy(master_);
    soap_end(master_);
    soap_free(master_);
}

ForecastServer& ForecastServer::of(struct soap* connection)
{
    return connectionOf(connection).server;
}

bool ForecastServer::listen(const QString& host, int port, QString& error)
{
    const QByteArray hostBytes = host.toLatin1();
    // Room for the clients that wait to be accepted, so that a burst of
    // them is not turned away by the system.
    const int listenQueue = 1024;
    if (!soap_valid_socket(soap_bind(master_, hostBytes.constData(), port, listenQueue))) {
        char message[256] = "";
        soap_sprint_fault(master_, message, sizeof(message));
        error = QStringLiteral("cannot listen on %1:%2: %3").arg(host).arg(port).arg(QString::fromLocal8Bit(message).trimmed());
        return false;
    }
    port_ = boundPort(master_->master);
    return true;
}

void ForecastServer::run(const std::atomic<bool>& stop)
{
    while (waitForFreeSlot(stop)) {
        if (soap_valid_socket(soap_accept(master_))) {
            startConnection();
            continue;
        }
        // A real failure (out of descriptors, say) returns at once; pausing
        // keeps the loop from spinning until it passes.
        if (master_->errnum != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    closeAllConnections();
}

// Clients beyond the limit wait in the listen queue until a connection
// ends.  False when stop was asked for meanwhile.
bool ForecastServer::waitForFreeSlot(const std::atomic<bool>& stop)
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop.load() && connectionThreads_ >= limits_.maxConnections)
        connectionEnded_.wait_for(lock, std::chrono::milliseconds(200));
    return !stop.load();
}

void ForecastServer::startConnection()
{
    struct soap* soap = soap_copy(master_);
    if (!soap) {
        soap_force_closesock(master_);
        return;
    }
    master_->socket = SOAP_INVALID_SOCKET;  // now the connection's
    auto* connection = new ServedConnection(*this, soap, limits_.receiveSeconds);
    soap->user = connection;
    soap->frecv = readRequest;
    soap->fsend = sendAnswer;
    soap->fclosesocket = closeTrackedSocket;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++connectionThreads_;
        openSockets_.insert(soap->socket);
    }
    try {
        std::thread(&ForecastServer::serveConnection, this, connection).detach();
    } catch (const std::system_error&) {  // no thread to be had: drop the client
        soap_free(soap);
        delete connection;
        std::lock_guard<std::mutex> lock(mutex_);
        --connectionThreads_;
    }
}

void ForecastServer::serveConnection(ServedConnection* connection)
{
    struct soap* soap = connection->soap;
    serveRequests(*connection);
    freeCallMemory(soap);
    soap_free(soap);  // closes the socket
    delete connection;
    std::lock_guard<std::mutex> lock(mutex_);
    --connectionThreads_;
    connectionEnded_.notify_all();
}

void ForecastServer::closeSocket(int socket)
{
    std::lock_guard<std::mutex> lock(mutex_);
    openSockets_.erase(socket);
    ::close(socket);
}

void ForecastServer::closeAllConnections()
{
    std::unique_lock<std::mutex> lock(mutex_);
    // Waking the threads blocked in a read; each closes its own socket.
    for (int socket : openSockets_)
        ::shutdown(socket, SHUT_RDWR);
    connectionEnded_.wait(lock, [this] { return connectionThreads_ == 0; });
}
