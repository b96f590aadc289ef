// Test fixtures for the forecast service: the stand-in server as a real
// process on a free loopback port, a raw loopback listener that records
// what a client sends and answers with given bytes, a progress receiver,
// and a worker thread that makes a call the way the program's workers do.
#ifndef SKYVANE_SERVICEFIXTURES_H
#define SKYVANE_SERVICEFIXTURES_H

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "AttachmentSink.h"
#include "DecompressData.h"
#include "Provider.h"
#include "ToviForecastParameters.h"
#include "serverprocess.h"

// The stand-in server, started with --port 0 and the given options.
class StandInServer {
public:
    explicit StandInServer(const QStringList& options = {})
    {
        logFile.open();
        port = startServerProcess(process, QStringLiteral(SKYVANE_SERVER_PATH), QStringList{"--port", "0"} + options,
                                  logFile.fileName());
        endpoint = QByteArray("http://127.0.0.1:") + QByteArray::number(port);
    }
    ~StandInServer() { stop(); }

    bool running() const { return port > 0 && process.state() == QProcess::Running; }

    // SIGTERM and the exit code (-1 when it had to be killed).
    int stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000)) {
                process.kill();
                process.waitForFinished(5000);
                return -1;
            }
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QByteArray log()
    {
        QFile file(logFile.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Resident memory in kB, from /proc.
    long residentKb() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        return -1;
    }

    QTemporaryFile logFile;
    QProcess process;
    int port = 0;
    QByteArray endpoint;
};

// Reads one HTTP request from a connection: the headers and a
// Content-Length body.
inline QByteArray readHttpRequest(int connection)
{
    QByteArray data;
    char buffer[4096];
    qsizetype bodyStart = -1;
    qsizetype total = -1;
    while (total < 0 || data.size() < total) {
        const ssize_t n = ::recv(connection, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        data.append(buffer, n);
        if (bodyStart < 0 && (bodyStart = data.indexOf("\r\n\r\n")) >= 0) {
            bodyStart += 4;
            const QByteArray head = data.left(bodyStart).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype end = head.indexOf("\r\n", at);
            total = bodyStart + (at < 0 ? 0 : head.mid(at + 15, end - at - 15).trimmed().toLongLong());
        }
    }
    return data;
}

// Sends all of data, or as much as the peer takes.
inline void sendAll(int connection, const QByteArray& data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(connection, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
}

// Accepts connections on a free loopback port, reads one HTTP request from
// each (headers and a Content-Length body), records it and sends the
// canned answer, then closes the connection.
class CaptureListener {
public:
    explicit CaptureListener(QByteArray answer) : answer_(std::move(answer))
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int yes = 1;
        setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(socket_, 4) != 0)
            return;
        socklen_t length = sizeof(address);
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        endpoint = QByteArray("http://127.0.0.1:") + QByteArray::number(port);
        thread_ = std::thread([this] { serve(); });
    }
    ~CaptureListener()
    {
        stopping_ = true;
        ::shutdown(socket_, SHUT_RDWR);
        ::close(socket_);
        if (thread_.joinable())
            thread_.join();
    }

    QList<QByteArray> requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    int port = 0;
    QByteArray endpoint;

private:
    void serve()
    {
        while (!stopping_) {
            const int connection = ::accept(socket_, nullptr, nullptr);
            if (connection < 0)
                return;
            const QByteArray request = readHttpRequest(connection);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.append(request);
            }
            sendAll(connection, answer_);
            ::shutdown(connection, SHUT_WR);
            char drain[256];
            while (::recv(connection, drain, sizeof(drain), 0) > 0) {
            }
            ::close(connection);
        }
    }

    QByteArray answer_;
    int socket_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    QList<QByteArray> requests_;
};

// Collects setProgress calls, as the download dialog receives them, and
// says whether the transfer should go on.
class ProgressRecorder : public QObject, public TransferControl {
    Q_OBJECT
public:
    bool transferRunning() const override { return running.load(); }

    QList<QPair<int, int>> calls;
    std::atomic<bool> running{true};
    // After this many calls running becomes false, as a Cancel press would.
    int cancelAfter = -1;

public slots:
    void setProgress(int received, int total)
    {
        calls.append({received, total});
        if (cancelAfter >= 0 && calls.size() >= cancelAfter)
            running = false;
    }
};

// Runs one call on its own thread with a recorder as its parent, spinning
// the event loop so that the queued progress calls arrive meanwhile.
class CallWorker : public QThread {
public:
    CallWorker(QObject* parent, std::function<void(QObject* worker)> call)
        : QThread(parent), call_(std::move(call))
    {
    }
    void runAndWait(int timeoutMs = 60000)
    {
        QEventLoop loop;
        connect(this, &QThread::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        start();
        loop.exec();
        wait();
        QCoreApplication::processEvents();  // the last queued calls
    }

protected:
    void run() override { call_(this); }

private:
    std::function<void(QObject*)> call_;
};

// The demo account as the download worker sends it.
inline ToviCredentials demoCredentials() { return {"", "demo", "demo"}; }

// A SOAP envelope round body, declaring the service's namespace as toviSoap.
inline QByteArray soapEnvelope(const QByteArray& body,
                               const QByteArray& envelopeNs = "http://schemas.xmlsoap.org/soap/envelope/")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + envelopeNs +
           "\" xmlns:toviSoap=\"" + QByteArray(Provider::serviceNamespace) + "\"><SOAP-ENV:Body>" + body +
           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// Writes content to a file; the path, or empty when it cannot be written.
inline QString writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

// The payload inflated by the program's own routine; empty on failure.
inline QByteArray inflatePayload(const unsigned char* data, size_t size)
{
    auto* copy = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    std::memcpy(copy, data, size);
    unsigned inflatedSize = unsigned(size);
    QByteArray out;
    if (inflateInPlace(&copy, &inflatedSize) == Inflation::Inflated)
        out = QByteArray(reinterpret_cast<const char*>(copy), int(inflatedSize));
    std::free(copy);
    return out;
}

#endif
