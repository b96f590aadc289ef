#include "ForecastServer.h"

#include <chrono>
#include <thread>

#include <netinet/in.h>
#include <unistd.h>
#include <sys/socket.h>

#include "AttachmentSender.h"
#include "ForecastService.h"
#include "soapH.h"

namespace {

// Runs after every answer on a connection, so that a connection kept
// alive for many calls does not pile up the memory of earlier ones.
int freeCallMemory(struct soap* soap)
{
    soap_destroy(soap);
    soap_end(soap);
    return SOAP_OK;
}

int closeTrackedSocket(struct soap* soap, SOAP_SOCKET socket)
{
    static_cast<ForecastServer*>(soap->user)->closeSocket(socket);
    return SOAP_OK;
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

ForecastServer::ForecastServer(ForecastService& service)
    : service_(service), master_(soap_new1(SOAP_IO_KEEPALIVE))
{
    master_->bind_flags = SO_REUSEADDR;
    master_->accept_timeout = -200000;  // 0.2 s, to notice a stop request
    master_->recv_timeout = kIdleSeconds;
    master_->send_timeout = kIdleSeconds;
    master_->max_keep_alive = 1000;
    master_->fserveloop = freeCallMemory;
    master_->user = this;
    master_->fclosesocket = closeTrackedSocket;
    installAttachmentStreaming(master_);
}

ForecastServer::~ForecastServer()
{
    // Accept errors leave fault records in the listening context.
    soap_destroy(master_);
    soap_end(master_);
    soap_free(master_);
}

bool ForecastServer::listen(const QString& host, int port, QString& error)
{
    const QByteArray hostBytes = host.toLatin1();
    if (!soap_valid_socket(soap_bind(master_, hostBytes.constData(), port, 64))) {
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
    while (!stop.load()) {
        if (!soap_valid_socket(soap_accept(master_))) {
            // A real failure (out of descriptors, say) returns at once;
            // pausing keeps the loop from spinning until it passes.
            if (master_->errnum != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;  // the periodic timeout
        }
        struct soap* connection = soap_copy(master_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!connection || connectionThreads_ >= kMaxConnections) {
                soap_force_closesock(master_);
                if (connection)
                    soap_free(connection);
                continue;
            }
            ++connectionThreads_;
            openSockets_.insert(connection->socket);
        }
        master_->socket = SOAP_INVALID_SOCKET;  // now the connection's
        std::thread(&ForecastServer::serveConnection, this, connection).detach();
    }
    closeAllConnections();
}

void ForecastServer::serveConnection(struct soap* connection)
{
    soap_serve(connection);
    soap_destroy(connection);
    soap_end(connection);
    soap_free(connection);  // closes the socket
    std::lock_guard<std::mutex> lock(mutex_);
    if (--connectionThreads_ == 0)
        allClosed_.notify_all();
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
    allClosed_.wait(lock, [this] { return connectionThreads_ == 0; });
}
