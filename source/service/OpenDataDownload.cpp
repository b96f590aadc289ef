#include "OpenDataDownload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSslCertificate>

#include <algorithm>
#include <vector>

#include "ForecastDownload.h"
#include "OpenDataCache.h"
#include "OpenDataFetcher.h"
#include "OpenDataRunFinder.h"
#include "OpenDataSources.h"
#include "OpenDataStepFetch.h"
#include "OpenDataStepPlan.h"
#include "OpenDataUrls.h"

namespace {

const char kResultEnding[] = ".grb2";

}  // namespace

// The state of the download under way and the steps from the request to
// the saved file.
class OpenDataDownload::Private {
public:
    explicit Private(OpenDataDownload& owner) : q(owner) {}

    void begin(const ToviForecastParameters& record);
    void prepareNetwork();
    void runFound(const QDateTime& runUtc, const QString& problem);
    void planSteps(const QDateTime& runUtc);
    void launchSteps();
    void stepFinished(const QString& problem);
    void reportProgress();
    void writeResult();
    QString resultPath() const;
    void fail(const QString& problem);
    void stopAll();
    void finishLater(bool ok);

    OpenDataDownload& q;
    int connectSeconds = 30;
    int stallSeconds = 60;
    int retryDelayMs = 2000;
    QList<QSslCertificate> authorities;
    // Made by start(), on the thread that runs the download.
    std::unique_ptr<OpenDataFetcher> fetcher;
    std::unique_ptr<OpenDataRunFinder> finder;
    OpenDataCache cache;
    OpenDataStepPlan plan;
    ToviForecastParameters request{};
    const OpenDataSource* source = nullptr;
    QDateTime nowUtc;
    // In the result's order; a step taken from the cache has its size in
    // cachedSizes, the others -1.
    std::vector<std::unique_ptr<OpenDataStepFetch>> steps;
    std::vector<qint64> cachedSizes;
    int stepsDone = 0;
    bool running = false;
    quint64 downloadNumber = 0;
    QElapsedTimer clock;
};

void OpenDataDownload::Private::begin(const ToviForecastParameters& record)
{
    stopAll();
    ++downloadNumber;
    running = true;
    request = record;
    q.measured = OpenDataFigures();
    q.error.clear();
    q.savedFile.clear();
    q.chosenRun = QDateTime();
    steps.clear();
    cachedSizes.clear();
    stepsDone = 0;
    clock.start();
    nowUtc = q.utcNow().toUTC();
    source = findOpenDataSource(int(record.resolution));
    if (!source) {
        fail(QStringLiteral("No open-data source serves the data set %1").arg(int(record.resolution)));
        return;
    }
    plan = OpenDataStepPlan(*source, record);
    if (!plan.errorText().isEmpty()) {
        fail(plan.errorText());
        return;
    }
    prepareNetwork();
    cache = OpenDataCache(q.cacheFolder.isEmpty() ? q.folder : q.cacheFolder);
    QDir().mkpath(cache.folder());
    cache.removeOldRuns(nowUtc);
    if (q.fixedRun.isValid()) {
        runFound(q.fixedRun.toUTC(), QString());
        return;
    }
    QVector<const OpenDataSource*> sources;
    for (const OpenDataPart& part : plan.parts())
        sources.append(part.source);
    finder = std::make_unique<OpenDataRunFinder>(*fetcher, sources, q.bases);
    finder->find(nowUtc, [this](const QDateTime& runUtc, const QString& problem) { runFound(runUtc, problem); });
}

void OpenDataDownload::Private::prepareNetwork()
{
    if (!fetcher)
        fetcher = std::make_unique<OpenDataFetcher>();
    fetcher->setTimeLimits(connectSeconds, stallSeconds, retryDelayMs);
    fetcher->setExtraAuthorities(authorities);
    fetcher->resetCounts();
}

void OpenDataDownload::Private::runFound(const QDateTime& runUtc, const QString& problem)
{
    if (!running)
        return;
    if (!problem.isEmpty()) {
        fail(problem);
        return;
    }
    q.measured.discoveryNs = clock.nsecsElapsed();
    q.chosenRun = runUtc;
    emit q.runChosen(openDataRunLabel(*source, runUtc));
    if (!running)
        return;
    if (!plan.mapTo(runUtc, nowUtc)) {
        fail(plan.errorText());
        return;
    }
    planSteps(runUtc);
    reportProgress();
    launchSteps();
}

void OpenDataDownload::Private::planSteps(const QDateTime& runUtc)
{
    struct Planned {
        int hour;
        int part;
    };
    std::vector<Planned> order;
    const QVector<OpenDataPart>& parts = plan.parts();
    for (int part = 0; part < parts.size(); ++part)
        for (int hour : parts[part].hours)
            order.push_back({hour, part});
    std::stable_sort(order.begin(), order.end(), [](const Planned& a, const Planned& b) { return a.hour < b.hour; });
    for (const Planned& planned : order) {
        const OpenDataSource& from = *parts[planned.part].source;
        OpenDataStep step{&from,
                          q.bases.value(QString::fromLatin1(from.id), QString::fromLatin1(from.defaultBase)),
                          runUtc,
                          planned.hour,
                          parts[planned.part].kinds,
                          OpenDataUrls::filterArea(request, from.gridStepMilli)};
        const qint64 cached = cache.cachedSize(OpenDataStepFetch::keyOf(step));
        steps.push_back(std::make_unique<OpenDataStepFetch>(*fetcher, cache, step));
        cachedSizes.push_back(cached);
        if (cached >= 0) {
            ++stepsDone;
            q.measured.cachedBytes += cached;
        }
    }
}

void OpenDataDownload::Private::launchSteps()
{
    for (size_t i = 0; i < steps.size() && running; ++i)
        if (cachedSizes[i] < 0)
            steps[i]->start([this](const QString& problem) { stepFinished(problem); }, [this] { reportProgress(); });
    if (running && stepsDone == int(steps.size()))
        writeResult();
}

void OpenDataDownload::Private::stepFinished(const QString& problem)
{
    if (!running)
        return;
    if (!problem.isEmpty()) {
        fail(problem);
        return;
    }
    ++stepsDone;
    reportProgress();
    if (running && stepsDone == int(steps.size()))
        writeResult();
}

// The total is known once every step's size is; until then it is
// reckoned from the steps whose size is known.
void OpenDataDownload::Private::reportProgress()
{
    qint64 done = 0;
    qint64 known = 0;
    int knownSteps = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        const qint64 expected = cachedSizes[i] >= 0 ? cachedSizes[i] : steps[i]->expectedBytes();
        done += cachedSizes[i] >= 0 ? cachedSizes[i] : steps[i]->receivedBytes();
        if (expected >= 0) {
            known += expected;
            ++knownSteps;
        }
    }
    const int unknownSteps = int(steps.size()) - knownSteps;
    qint64 total = knownSteps == 0 ? 0 : known + known / knownSteps * unknownSteps;
    if (total > 0)
        total = std::max(total, done);
    emit q.progress(done, total, stepsDone, int(steps.size()));
}

QString OpenDataDownload::Private::resultPath() const
{
    if (!q.targetFile.isEmpty())
        return q.targetFile;
    int firstHour = -1;
    for (const OpenDataPart& part : plan.parts())
        if (!part.hours.isEmpty() && (firstHour < 0 || part.hours.first() < firstHour))
            firstHour = part.hours.first();
    const QString name = QStringLiteral("%1_%2_%3")
                             .arg(QString::fromLatin1(source->id), OpenDataCache::runText(q.chosenRun),
                                  OpenDataCache::runText(q.chosenRun.addSecs(qint64(3600) * firstHour)));
    return ForecastDownload::freeFileName(q.folder + name + QLatin1String(kResultEnding),
                                          QLatin1String(kResultEnding));
}

void OpenDataDownload::Private::writeResult()
{
    const qint64 transferEnd = clock.nsecsElapsed();
    q.measured.transferNs = transferEnd - q.measured.discoveryNs;
    const QString path = resultPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    for (size_t i = 0; i < steps.size() && written; ++i)
        written = appendFileTo(file, steps[i]->path());
    if (!written || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(QStringLiteral("Cannot save %1: %2").arg(path, reason));
        return;
    }
    q.measured.writeNs = clock.nsecsElapsed() - transferEnd;
    q.savedFile = path;
    running = false;
    finishLater(true);
}

void OpenDataDownload::Private::fail(const QString& problem)
{
    if (!running)
        return;
    running = false;
    stopAll();
    q.error = problem;
    finishLater(false);
}

void OpenDataDownload::Private::stopAll()
{
    if (fetcher)
        fetcher->abortAll();
    for (const std::unique_ptr<OpenDataStepFetch>& step : steps)
        step->discard();
}

// finished() comes from the event loop, never from inside a call of the
// caller's (cancel()) or of a network answer still being handled.
void OpenDataDownload::Private::finishLater(bool ok)
{
    if (fetcher) {
        const OpenDataFetchCounts& counts = fetcher->counts();
        q.measured.fetchedBytes = counts.bytes;
        q.measured.requests = counts.requests;
        q.measured.retries = counts.retries;
        q.measured.maxParallel = counts.maxParallel;
    }
    const quint64 number = downloadNumber;
    QMetaObject::invokeMethod(
        &q,
        [this, number, ok] {
            if (number == downloadNumber && !running)
                emit q.finished(ok);
        },
        Qt::QueuedConnection);
}

OpenDataDownload::OpenDataDownload(QString folder, QString cacheFolder, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(*this)), folder(std::move(folder)),
      cacheFolder(std::move(cacheFolder)), utcNow([] { return QDateTime::currentDateTimeUtc(); })
{
}

OpenDataDownload::~OpenDataDownload()
{
    d->running = false;
    d->stopAll();
    d->steps.clear();
    d->finder.reset();
    d->fetcher.reset();
}

void OpenDataDownload::setBase(const QString& sourceId, const QString& baseUrl)
{
    bases.insert(sourceId, baseUrl);
}

bool OpenDataDownload::addCaCertificates(const QString& pemPath)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(pemPath, QSsl::Pem);
    d->authorities += certificates;
    return !certificates.isEmpty();
}

void OpenDataDownload::setTimeLimits(int connectSeconds, int stallSeconds, int retryDelayMs)
{
    d->connectSeconds = connectSeconds;
    d->stallSeconds = stallSeconds;
    d->retryDelayMs = retryDelayMs;
}

void OpenDataDownload::start(const ToviForecastParameters& request)
{
    d->begin(request);
}

void OpenDataDownload::cancel()
{
    d->fail(QStringLiteral("Cancelled"));
}
