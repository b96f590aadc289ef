// The stand-in server's network side: listens, serves each connection on a
// thread of its own with keep-alive, at most a given number at once, and
// on stop closes every connection and waits for its thread.
#ifndef SKYVANE_FORECASTSERVER_H
#define SKYVANE_FORECASTSERVER_H

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

struct soap;
class ForecastService;
struct ServedConnection;

// What one client may take of the server.
struct ConnectionLimits {
    // A request must arrive in full within this time of the server starting
    // to wait for it; a connection idle that long is closed too.
    int receiveSeconds = 60;
    // An answer that the client takes no bytes of for this long ends the
    // connection.
    int sendSeconds = 60;
    // Connections served at once; further clients wait to be accepted.
    int maxConnections = 256;
};

class ForecastServer {
public:
    explicit ForecastServer(ForecastService& service, const ConnectionLimits& limits = {});
    ~ForecastServer();
    ForecastServer(const ForecastServer&) = delete;
    ForecastServer& operator=(const ForecastServer&) = delete;

    ForecastService& service() { return service_; }
    // The server a connection's context belongs to.
    static ForecastServer& of(struct soap* connection);

    bool listen(const QString& host, int port, QString& error);
    int port() const { return port_; }

    // Accepts connections until stop becomes true, then ends them all.
    void run(const std::atomic<bool>& stop);

    // Forgets a connection's socket as it is closed, so that a socket
    // number reused by a later connection is never shut down by mistake.
    void closeSocket(int socket);

private:
    bool waitForFreeSlot(const std::atomic<bool>& stop);
    void startConnection();
    void serveConnection(ServedConnection* connection);
    void closeAllConnections();

    ForecastService& service_;
    ConnectionLimits limits_;
    struct soap* master_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable connectionEnded_;
    std::set<int> openSockets_;
    int connectionThreads_ = 0;
};

#endif
