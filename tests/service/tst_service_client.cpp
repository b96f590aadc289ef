// The client against the stand-in server over loopback: the calls, the
// attachment sink with its progress and cancel, and every way an
// attachment can fail the acceptance test.
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

#include "ForecastServiceClient.h"
#include "GribFile.h"
#include "servicefixtures.h"

namespace {

// Wind and pressure west of Europe, three hours apart from 06 UTC today.
ToviForecastParameters windAndPressure(int steps)
{
    return {1 | 2, ToviForecastParameters::grStandardResolution, 0, 6, 3, steps, 60000, -20000, 10000, 40000};
}

// One download as the download worker makes it: on a thread of its own,
// with a progress recorder as the worker's parent.
struct Download {
    int result = -1;
    DimeBuffer* payload = nullptr;
    ~Download() { freeDimeBuffer(payload); }
};

// The forecast asked for, or the buoy document when parameters is null.
void run(Download& download, ProgressRecorder& recorder, const QByteArray& endpoint,
         const ToviForecastParameters* parameters, ToviCredentials credentials = demoCredentials())
{
    CallWorker worker(&recorder, [&](QObject* self) {
        ForecastServiceClient client(self);
        download.result = parameters ? client.getForecastData(endpoint, credentials, *parameters, &download.payload)
                                     : client.getBuoyData(endpoint, &download.payload);
    });
    worker.runAndWait();
}

// Progress starts at (0, total), never goes back and never exceeds total.
bool progressIsSound(const QList<QPair<int, int>>& calls)
{
    if (calls.isEmpty() || calls.first().first != 0)
        return false;
    for (int i = 1; i < calls.size(); ++i)
        if (calls[i].first < calls[i - 1].first || calls[i].second != calls[0].second ||
            calls[i].first > calls[i].second)
            return false;
    return true;
}

QByteArray zlibCompressed(const QByteArray& data)
{
    uLongf length = compressBound(uLong(data.size()));
    QByteArray out(int(length), '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(data.constData()),
             uLong(data.size()));
    out.resize(int(length));
    return out;
}

}  // namespace

class TestServiceClient : public QObject {
    Q_OBJECT

private slots:
    void forecastDownload();
    void failedCalls_data();
    void failedCalls();
    void attachmentRefused_data();
    void attachmentRefused();
    void cancelDuringTransfer();
    void decompress_data();
    void decompress();
};

void TestServiceClient::forecastDownload()
{
    StandInServer server;
    ProgressRecorder recorder;
    Download download;
    const QDate dayBefore = QDateTime::currentDateTimeUtc().date();
    const ToviForecastParameters parameters = windAndPressure(4);
    run(download, recorder, server.endpoint, &parameters);
    QCOMPARE(download.result, 0);
    QVERIFY(download.payload && download.payload->received > 0);
    QCOMPARE(download.payload->received, download.payload->capacity);
    QVERIFY(progressIsSound(recorder.calls));
    QCOMPARE(recorder.calls.last().first, int(download.payload->capacity));

    QTemporaryDir dir;
    const QString path =
        writeFile(dir.filePath("forecast.grb"), inflatePayload(download.payload->data, download.payload->received));
    GribFile gribFile(QFile::encodeName(path).constData());
    // The layout is the builder's (its own tests check it); here the steps
    // asked for, from 06 UTC today (the day the server answered on, should
    // midnight have passed meanwhile).
    QCOMPARE((QList<int>{gribFile.getCompoundNum(), gribFile.getCompoundSize(), gribFile.getTimeStep()}),
             (QList<int>{4, 3, 3}));
    CompoundMsg compound;
    gribFile.firstCompound(compound);
    const QDateTime first = compound.at(0).validTime();
    QCOMPARE(first.time(), QTime(6, 0));
    QVERIFY(first.date() == dayBefore || first.date() == dayBefore.addDays(1));
}

// A refused or unanswered call delivers nothing and shows no progress.
void TestServiceClient::failedCalls_data()
{
    QTest::addColumn<bool>("serverRunning");
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("wrong password") << true << QByteArray("nope");
    QTest::newRow("server not running") << false << QByteArray("demo");
}

void TestServiceClient::failedCalls()
{
    QFETCH(bool, serverRunning);
    QFETCH(QByteArray, password);
    StandInServer server;
    if (!serverRunning)
        QCOMPARE(server.stop(), 0);
    ForecastServiceClient client;
    int userOptions = 0;
    QCOMPARE(client.getUserOptions(server.endpoint, "demo", password, &userOptions) == 0, serverRunning);
    QCOMPARE(userOptions, -1);
    ProgressRecorder recorder;
    Download download;
    ToviCredentials credentials = demoCredentials();
    credentials.password = password.constData();
    const ToviForecastParameters parameters = windAndPressure(2);
    run(download, recorder, server.endpoint, &parameters, credentials);
    QVERIFY(download.result != 0 && !download.payload);
    QVERIFY(recorder.calls.isEmpty());
}

void TestServiceClient::attachmentRefused_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("callSucceeds");
    QTest::addColumn<int>("declaredLength");  // -1: the whole payload
    // Declared and delivered 0 bytes: the call works, the payload does not.
    QTest::newRow("empty") << "empty" << true << 0;
    // Every byte arrives, but nothing marks it as the payload.
    QTest::newRow("no options") << "no-options" << true << -1;
    // The first chunk declares the runtime's chunk size (2 KiB); the next
    // one fails the write.
    QTest::newRow("chunked") << "chunked" << false << 2048;
    // The declared length is filled, then more follows.
    QTest::newRow("overlong") << "overlong" << false << -1;
}

void TestServiceClient::attachmentRefused()
{
    QFETCH(QString, mode);
    QFETCH(bool, callSucceeds);
    QFETCH(int, declaredLength);
    StandInServer server({"--attachment", mode});
    for (int kind = 0; kind < 2; ++kind) {
        ProgressRecorder recorder;
        Download download;
        const ToviForecastParameters parameters = windAndPressure(2);
        run(download, recorder, server.endpoint, kind == 0 ? &parameters : nullptr);
        QCOMPARE(download.result == 0, callSucceeds);
        QVERIFY(!download.payload);
        QVERIFY(progressIsSound(recorder.calls));
        // Whatever was declared arrived in full before the refusal.
        const QPair<int, int> last = recorder.calls.last();
        QCOMPARE(last.first, last.second);
        if (declaredLength >= 0)
            QCOMPARE(last.second, declaredLength);
        else
            QVERIFY(last.second > 1024);
    }
}

void TestServiceClient::cancelDuringTransfer()
{
    const int bytesPerSecond = 200000;
    StandInServer server({"--throttle", QString::number(bytesPerSecond)});
    ProgressRecorder recorder;
    recorder.cancelAfter = 3;
    Download download;
    // Wind and pressure over the world at 1°: a long transfer at this rate.
    ToviForecastParameters p{1 | 2, ToviForecastParameters::grStandardResolution, 0, 6, 3, 8,
                             80000, -180000, 180000, -80000};
    run(download, recorder, server.endpoint, &p);
    QVERIFY(download.result != 0 && !download.payload);
    QVERIFY(recorder.calls.size() >= 3);
    const int total = recorder.calls.first().second;
    const qint64 fullTransferMs = qint64(total) * 1000 / bytesPerSecond;
    QVERIFY2(fullTransferMs > 2000, qPrintable(QString::number(total)));
    // Stopped at the write after the cancel, long before the end.
    QVERIFY(recorder.calls.last().first < total / 2);
}

void TestServiceClient::decompress_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<unsigned>("limit");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("expected");  // when inflated
    const QByteArray text = "GRIB forecast payload";
    // 4 MiB of zeros inflate far beyond the first 256 KiB of room.
    const QByteArray zeros(4 << 20, '\0');
    QByteArray varied(700000, '\0');
    QRandomGenerator random(7);
    for (char& c : varied)
        c = char(random.bounded(256));
    const int inflated = int(Inflation::Inflated);
    const int refused = int(Inflation::NotZlib);
    const int tooLarge = int(Inflation::TooLarge);
    QTest::newRow("small") << zlibCompressed(text) << kMaxInflatedBytes << inflated << text;
    QTest::newRow("grows many times") << zlibCompressed(zeros) << kMaxInflatedBytes << inflated << zeros;
    QTest::newRow("barely compressible") << zlibCompressed(varied) << kMaxInflatedBytes << inflated << varied;
    QTest::newRow("not zlib") << QByteArray("<?xml version=\"1.0\"?><kml/>") << kMaxInflatedBytes << refused
                              << QByteArray();
    const QByteArray stream = zlibCompressed(varied);
    QTest::newRow("truncated") << stream.left(stream.size() / 2) << kMaxInflatedBytes << refused << QByteArray();
    QTest::newRow("one byte") << QByteArray("x") << kMaxInflatedBytes << refused << QByteArray();
    // The limit: exactly reached is inflated, one byte more is refused,
    // below the first output and when reached by growing.
    const unsigned mebibyte = 1u << 20;
    QTest::newRow("at a small limit") << zlibCompressed(text) << unsigned(text.size()) << inflated << text;
    QTest::newRow("one byte past it") << zlibCompressed(text) << unsigned(text.size() - 1) << tooLarge
                                      << QByteArray();
    const QByteArray oneMebibyte = zeros.left(int(mebibyte));
    QTest::newRow("at a limit reached by growing") << zlibCompressed(oneMebibyte) << mebibyte << inflated
                                                   << oneMebibyte;
    QTest::newRow("far past it") << zlibCompressed(zeros) << mebibyte << tooLarge << QByteArray();
}

// Inflated: the block replaced by the inflated bytes; otherwise it is kept
// as it was.
void TestServiceClient::decompress()
{
    QFETCH(QByteArray, input);
    QFETCH(unsigned, limit);
    QFETCH(int, outcome);
    QFETCH(QByteArray, expected);
    auto* block = static_cast<unsigned char*>(std::malloc(size_t(input.size())));
    std::memcpy(block, input.constData(), size_t(input.size()));
    unsigned char* const original = block;
    unsigned size = unsigned(input.size());
    QCOMPARE(int(inflateInPlace(&block, &size, limit)), outcome);
    if (outcome == int(Inflation::Inflated)) {
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(block), int(size)), expected);
    } else {
        QCOMPARE(block, original);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(block), int(size)), input);
    }
    std::free(block);
}

QTEST_GUILESS_MAIN(TestServiceClient)
#include "tst_service_client.moc"
