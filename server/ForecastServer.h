// The stand-in server's network side: listens, serves each connection on a
// thread of its own with keep-alive, and on stop closes every connection
// and waits for its thread.
#ifndef SKYVANE_FORECASTSERVER_H
#define SKYVANE_FORECASTSERVER_H

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

struct soap;
class ForecastService;

class ForecastServer {
public:
    explicit ForecastServer(ForecastService& service);
    ~ForecastServer();
    ForecastServer(const ForecastServer&) = delete;
    ForecastServer& operator=(const ForecastServer&) = delete;

    ForecastService& service() { return service_; }

    bool listen(const QString& host, int port, QString& error);
    int port() const { return port_; }

    // Accepts connections until stop becomes true, then ends them all.
    void run(const std::atomic<bool>& stop);

    // A connection that says nothing for this long is closed.
    static constexpr int kIdleSeconds = 60;
    static constexpr int kMaxConnections = 256;

    // Forgets a connection's socket as it is closed, so that a socket
    // number reused by a later connection is never shut down by mistake.
    void closeSocket(int socket);

private:
    void serveConnection(struct soap* connection);
    void closeAllConnections();

    ForecastService& service_;
    struct soap* master_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable allClosed_;
    std::set<int> openSockets_;
    int connectionThreads_ = 0;
};

#endif
