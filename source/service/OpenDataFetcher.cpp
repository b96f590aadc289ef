#include "OpenDataFetcher.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <set>

namespace {

// The version the window's title shows.
const char kUserAgent[] = "Skyvane/3.2";
// Qt holds no more than this of a body it has not handed over yet.
constexpr qint64 kReadBufferBytes = qint64(1) << 20;
constexpr int kMarkBytes = 4;

// How a request ended, as far as retrying is concerned.
struct Verdict {
    bool ok = false;
    bool retry = false;
    QString error;
};

Verdict failed(QString error, bool retry)
{
    return {false, retry, std::move(error)};
}

// What a message names the thing asked for by: the filter's file, or the
// last piece of the path.
QString targetOf(const QUrl& url)
{
    const QString file = QUrlQuery(url).queryItemValue(QStringLiteral("file"));
    return file.isEmpty() ? url.fileName() : file;
}

int statusOf(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

}  // namespace

// One request with its retries: the reply of the try under way, the body
// received so far and what it is checked by.
class OpenDataFetcher::Transfer : public QObject {
public:
    Transfer(OpenDataFetch request, Done done, QObject* parent)
        : QObject(parent), request(std::move(request)), done(std::move(done))
    {
        connectTimer.setSingleShot(true);
        retryTimer.setSingleShot(true);
    }

    void resetTry()
    {
        received = 0;
        announced = -1;
        head.clear();
        tail.clear();
        memory.clear();
        refusal.clear();
        refusalRetried = false;
        connectExpired = false;
    }

    // Ends the try under way from here: the reply is aborted and settles
    // with this reason.
    void refuse(const QString& reason, bool retried)
    {
        refusal = reason;
        refusalRetried = retried;
        reply->abort();
    }

    // Ends everything without an answer.
    void abandon()
    {
        connectTimer.stop();
        retryTimer.stop();
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
            reply = nullptr;
        }
        closeBody(false);
        deleteLater();
    }

    bool openBody()
    {
        if (request.body != OpenDataFetch::Body::File)
            return true;
        file.setFileName(request.bodyFile);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }

    void closeBody(bool keep)
    {
        if (file.isOpen())
            file.close();
        if (!keep && request.body == OpenDataFetch::Body::File)
            QFile::remove(request.bodyFile);
    }

    // Keeps bytes of the body; false once it must not be kept.
    bool take(const QByteArray& data)
    {
        if (received + data.size() > request.maxBytes) {
            refuse(QStringLiteral("%1 sent more than %2 bytes for %3, past the limit")
                       .arg(request.service)
                       .arg(request.maxBytes)
                       .arg(targetOf(request.url)),
                   false);
            return false;
        }
        if (head.size() < kMarkBytes)
            head += data.left(kMarkBytes - head.size());
        tail = (tail + data.right(kMarkBytes)).right(kMarkBytes);
        received += data.size();
        if (request.body == OpenDataFetch::Body::Memory)
            memory += data;
        else if (request.body == OpenDataFetch::Body::File && file.write(data) != data.size()) {
            refuse(QStringLiteral("Cannot write %1: %2").arg(request.bodyFile, file.errorString()), false);
            return false;
        }
        return true;
    }

    OpenDataFetch request;
    Done done;
    int tries = 0;
    QNetworkReply* reply = nullptr;
    QFile file;
    QByteArray memory;
    qint64 received = 0;
    qint64 announced = -1;
    QByteArray head;
    QByteArray tail;
    QString refusal;
    bool refusalRetried = false;
    bool connectExpired = false;
    QTimer connectTimer;
    QTimer retryTimer;
};

struct OpenDataFetcher::Host {
    QList<Transfer*> waiting;
    int inFlight = 0;
    QElapsedTimer lastStart;
    QTimer pacing;
};

namespace {

// The length the answer announces, -1 when it announces none or the body
// comes encoded (Qt hands it over decoded).
qint64 announcedLength(QNetworkReply* reply)
{
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid() || (!encoding.isEmpty() && encoding != "identity"))
        return -1;
    return length.toLongLong();
}

bool rangeAnswered(QNetworkReply* reply, const OpenDataFetch& request)
{
    const QByteArray expected = "bytes " + QByteArray::number(request.rangeFirst) + '-' +
                                QByteArray::number(request.rangeLast) + '/';
    return statusOf(reply) == 206 && reply->rawHeader("Content-Range").trimmed().startsWith(expected);
}

Verdict judgeAnswer(QNetworkReply* reply, const OpenDataFetch& request)
{
    const int status = statusOf(reply);
    const QString reason = QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    if (status >= 500)
        return failed(QStringLiteral("%1 answered %2 %3").arg(request.service).arg(status).arg(reason), true);
    if (status >= 300)
        return failed(
            QStringLiteral("%1 answered %2 %3 for %4").arg(request.service).arg(status).arg(reason, targetOf(request.url)),
            false);
    if (request.rangeFirst >= 0 && !rangeAnswered(reply, request))
        return failed(QStringLiteral("%1 did not send the part of %2 asked for").arg(request.service, targetOf(request.url)),
                      false);
    return {true, false, {}};
}

}  // namespace

OpenDataFetcher::OpenDataFetcher(QObject* parent) : QObject(parent), network(new QNetworkAccessManager(this))
{
}

OpenDataFetcher::~OpenDataFetcher()
{
    abortAll();
}

void OpenDataFetcher::setTimeLimits(int connectSeconds, int stallSeconds, int retryDelay)
{
    connectMs = std::max(connectSeconds, 1) * 1000;
    stallMs = std::max(stallSeconds, 1) * 1000;
    retryDelayMs = std::max(retryDelay, 0);
}

QByteArray OpenDataFetcher::userAgent()
{
    return QByteArray(kUserAgent);
}

void OpenDataFetcher::fetch(OpenDataFetch request, Done done)
{
    // A HEAD answer has no body to check.
    if (request.body == OpenDataFetch::Body::None)
        request.grib = false;
    auto* transfer = new Transfer(std::move(request), std::move(done), this);
    live.insert(transfer);
    connect(&transfer->connectTimer, &QTimer::timeout, transfer, [transfer] {
        transfer->connectExpired = true;
        transfer->reply->abort();
    });
    connect(&transfer->retryTimer, &QTimer::timeout, transfer, [this, transfer] { enqueue(transfer); });
    enqueue(transfer);
}

void OpenDataFetcher::abortAll()
{
    for (auto& entry : hosts) {
        entry.second->waiting.clear();
        entry.second->pacing.stop();
        entry.second->inFlight = 0;
    }
    inFlight = 0;
    const std::set<Transfer*> abandoned = std::move(live);
    live.clear();
    for (Transfer* transfer : abandoned) {
        transfer->done = nullptr;
        transfer->abandon();
    }
}

OpenDataFetcher::Host& OpenDataFetcher::hostOf(const QUrl& url)
{
    const QString key = url.scheme() + QStringLiteral("://") + url.host() + QLatin1Char(':') +
                        QString::number(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    std::unique_ptr<Host>& host = hosts[key];
    if (!host) {
        host = std::make_unique<Host>();
        host->pacing.setSingleShot(true);
        Host* raw = host.get();
        connect(&host->pacing, &QTimer::timeout, this, [this, raw] { pump(*raw); });
    }
    return *host;
}

void OpenDataFetcher::enqueue(Transfer* transfer)
{
    Host& host = hostOf(transfer->request.url);
    host.waiting.append(transfer);
    pump(host);
}

void OpenDataFetcher::pump(Host& host)
{
    while (host.inFlight < kMaxPerHost && !host.waiting.isEmpty()) {
        Transfer* next = host.waiting.first();
        const qint64 waitMs = host.lastStart.isValid() ? next->request.intervalMs - host.lastStart.elapsed() : 0;
        if (waitMs > 0) {
            if (!host.pacing.isActive())
                host.pacing.start(int(waitMs));
            return;
        }
        host.waiting.removeFirst();
        begin(next, host);
    }
}

void OpenDataFetcher::begin(Transfer* transfer, Host& host)
{
    transfer->resetTry();
    ++transfer->tries;
    if (!transfer->openBody()) {
        const QString error = QStringLiteral("Cannot write %1: %2").arg(transfer->request.bodyFile,
                                                                        transfer->file.errorString());
        // Answered from the event loop, as a network answer would be.
        QTimer::singleShot(0, transfer, [this, transfer, error] { conclude(transfer, {false, 0, error, {}, 0}); });
        return;
    }
    QNetworkRequest request(transfer->request.url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // Restarted by every byte that arrives: the stall limit.
    request.setTransferTimeout(stallMs);
    if (transfer->request.url.scheme() == QLatin1String("https")) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(authorities);
        request.setSslConfiguration(tls);
    }
    if (transfer->request.rangeFirst >= 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(transfer->request.rangeFirst) + '-' +
                                          QByteArray::number(transfer->request.rangeLast));
        // A range of an encoded body would be a range of something else.
        request.setRawHeader("Accept-Encoding", "identity");
    }
    QNetworkReply* reply = transfer->request.body == OpenDataFetch::Body::None ? network->head(request)
                                                                                : network->get(request);
    transfer->reply = reply;
    reply->setParent(transfer);
    reply->setReadBufferSize(kReadBufferBytes);
    // Connected once the request is out, the handshake done or anything
    // has come back, whichever the protocol in use tells first.
    const auto connected = [transfer] { transfer->connectTimer.stop(); };
    connect(reply, &QNetworkReply::requestSent, transfer, connected);
    connect(reply, &QNetworkReply::encrypted, transfer, connected);
    connect(reply, &QNetworkReply::metaDataChanged, transfer, [transfer] {
        transfer->connectTimer.stop();
        transfer->announced = announcedLength(transfer->reply);
        if (transfer->announced > transfer->request.maxBytes)
            transfer->refuse(QStringLiteral("%1 announced %2 bytes for %3, past the limit")
                                 .arg(transfer->request.service)
                                 .arg(transfer->announced)
                                 .arg(targetOf(transfer->request.url)),
                             false);
    });
    connect(reply, &QNetworkReply::readyRead, transfer, [this, transfer] {
        transfer->connectTimer.stop();
        const qint64 before = transfer->received;
        if (!transfer->take(transfer->reply->readAll()))
            return;
        counted.bytes += transfer->received - before;
        if (transfer->request.progress)
            transfer->request.progress(transfer->received, transfer->announced);
    });
    connect(reply, &QNetworkReply::finished, transfer, [this, transfer] { settle(transfer); });
    transfer->connectTimer.start(connectMs);
    ++host.inFlight;
    counted.maxParallel = std::max(counted.maxParallel, ++inFlight);
    ++counted.requests;
    host.lastStart.start();
}

void OpenDataFetcher::settle(Transfer* transfer)
{
    transfer->connectTimer.stop();
    QNetworkReply* reply = transfer->reply;
    if (transfer->refusal.isEmpty() && reply->isOpen()) {
        const qint64 before = transfer->received;
        transfer->take(reply->readAll());
        counted.bytes += transfer->received - before;
    }
    Host& host = hostOf(transfer->request.url);
    --host.inFlight;
    --inFlight;
    const OpenDataFetch& request = transfer->request;
    const int status = statusOf(reply);
    const bool announcedMore = transfer->announced >= 0 && transfer->received < transfer->announced &&
                               request.body != OpenDataFetch::Body::None;
    Verdict verdict;
    if (transfer->connectExpired)
        verdict = failed(QStringLiteral("Could not connect to %1 within %2 s")
                             .arg(request.url.host())
                             .arg(connectMs / 1000),
                         true);
    else if (!transfer->refusal.isEmpty())
        verdict = failed(transfer->refusal, transfer->refusalRetried);
    // Nothing aborts the reply but the refusals above and the stall limit.
    else if (reply->error() == QNetworkReply::OperationCanceledError ||
             reply->error() == QNetworkReply::TimeoutError)
        verdict = failed(QStringLiteral("The transfer stalled: nothing came from %1 for %2 s")
                             .arg(request.service)
                             .arg(stallMs / 1000),
                         true);
    else if (status >= 200 && status < 300 && announcedMore)
        verdict = failed(QStringLiteral("%1 sent fewer bytes than announced for %2 (%3 of %4)")
                             .arg(request.service, targetOf(request.url))
                             .arg(transfer->received)
                             .arg(transfer->announced),
                         true);
    else if (status == 0 && reply->error() == QNetworkReply::SslHandshakeFailedError)
        verdict = failed(QStringLiteral("The connection to %1 is not trusted: %2")
                             .arg(request.url.host(), reply->errorString()),
                         false);
    else if (status == 0 || (reply->error() != QNetworkReply::NoError && status < 300))
        verdict = failed(QStringLiteral("Cannot reach %1: %2").arg(request.url.host(), reply->errorString()), true);
    else
        verdict = judgeAnswer(reply, request);
    if (verdict.ok && request.grib && (transfer->head != "GRIB" || transfer->tail != "7777"))
        verdict = failed(QStringLiteral("%1 sent something other than GRIB data for %2")
                             .arg(request.service, targetOf(request.url)),
                         false);
    transfer->reply = nullptr;
    reply->deleteLater();
    transfer->closeBody(verdict.ok);
    if (!verdict.ok && verdict.retry && transfer->tries < kMaxTries) {
        retryLater(transfer);
        pump(host);
        return;
    }
    if (!verdict.ok && verdict.retry && transfer->tries > 1)
        verdict.error += QStringLiteral(" after %1 tries").arg(transfer->tries);
    pump(host);
    conclude(transfer, {verdict.ok, status, verdict.error, transfer->memory, transfer->received});
}

void OpenDataFetcher::retryLater(Transfer* transfer)
{
    ++counted.retries;
    const qint64 delayMs = qint64(retryDelayMs) << std::min(transfer->tries - 1, 20);
    transfer->retryTimer.start(int(std::min<qint64>(delayMs, 600000)));
}

void OpenDataFetcher::conclude(Transfer* transfer, OpenDataAnswer answer)
{
    Done done = std::move(transfer->done);
    transfer->done = nullptr;
    live.erase(transfer);
    transfer->deleteLater();
    if (done)
        done(answer);
}
