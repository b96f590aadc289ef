// HTTP(S) requests to the open-data services on Qt Network: certificates
// verified, redirects followed when they stay as safe, a limit on
// connecting and on a transfer that receives nothing, retries with
// growing pauses on answers and failures that may pass, at most a few
// requests at once to one host and, where a service asks for it, a least
// time between the requests started.  Bodies stream to a file (or, small,
// into memory) and are checked before they are believed: the length
// announced, and GRIB data from "GRIB" to "7777".
//
// Everything runs on the thread the fetcher lives on, which runs an event
// loop; answers come as calls of the function given with each request.
#ifndef SKYVANE_OPENDATAFETCHER_H
#define SKYVANE_OPENDATAFETCHER_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <set>

class QNetworkAccessManager;

struct OpenDataFetch {
    enum class Body {
        None,    // HEAD: the status alone
        Memory,  // small bodies (indexes), at most maxBytes
        File     // streamed to bodyFile
    };
    QUrl url;
    Body body = Body::File;
    QString bodyFile;
    // One byte range, both ends included, when first >= 0.
    qint64 rangeFirst = -1;
    qint64 rangeLast = -1;
    qint64 maxBytes = qint64(256) << 20;
    bool grib = true;          // the body must be whole GRIB messages
    QString service;           // "NOMADS", as messages name it
    int intervalMs = 0;        // least time between requests to its host
    // Bytes of this request's body so far, and those announced (-1 while
    // unknown); a retry starts again from 0.
    std::function<void(qint64 received, qint64 announced)> progress;
};

struct OpenDataAnswer {
    bool ok = false;
    int status = 0;            // the HTTP status; 0 when none came
    QString error;             // one line, when not ok
    QByteArray body;           // Body::Memory
    qint64 bytes = 0;
};

struct OpenDataFetchCounts {
    int requests = 0;          // retries included
    int retries = 0;
    int maxParallel = 0;
    qint64 bytes = 0;          // bodies received
};

class OpenDataFetcher : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const OpenDataAnswer&)>;
    static constexpr int kMaxTries = 4;
    static constexpr int kMaxPerHost = 4;

    explicit OpenDataFetcher(QObject* parent = nullptr);
    ~OpenDataFetcher() override;

    // Seconds to connect (and shake hands), seconds without a byte before
    // a transfer counts as stalled; the first retry waits retryDelayMs,
    // each further one twice as long as the one before.
    void setTimeLimits(int connectSeconds, int stallSeconds, int retryDelayMs);
    // Trusted besides the system's authorities.
    void setExtraAuthorities(const QList<QSslCertificate>& certificates) { authorities = certificates; }

    // Queues a request; done is called once, unless abortAll() comes first.
    void fetch(OpenDataFetch request, Done done);
    // Ends every request without calling its done and removes their body
    // files.
    void abortAll();

    const OpenDataFetchCounts& counts() const { return counted; }
    void resetCounts() { counted = OpenDataFetchCounts(); }

    // "Skyvane/3.2"
    static QByteArray userAgent();

private:
    class Transfer;
    struct Host;

    Host& hostOf(const QUrl& url);
    void enqueue(Transfer* transfer);
    void pump(Host& host);
    void begin(Transfer* transfer, Host& host);
    void settle(Transfer* transfer);
    void retryLater(Transfer* transfer);
    void conclude(Transfer* transfer, OpenDataAnswer answer);

    QNetworkAccessManager* network;
    std::map<QString, std::unique_ptr<Host>> hosts;
    // Requests not yet answered, queued, under way or waiting to retry.
    std::set<Transfer*> live;
    QList<QSslCertificate> authorities;
    int connectMs = 30000;
    int stallMs = 60000;
    int retryDelayMs = 2000;
    int inFlight = 0;
    OpenDataFetchCounts counted;
};

#endif
