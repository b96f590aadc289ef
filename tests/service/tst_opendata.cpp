// Open-data downloads against the stand-in open-data server on loopback,
// over HTTP and HTTPS: the exact requests each source makes, the saved
// file read back by the data model and compared with ecCodes, the faults
// a service can have, cancelling, and the step cache.
#include <QSignalSpy>
#include <QtTest>

#include <eccodes.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "GribFile.h"
#include "GribKeys.h"
#include "MeteoKinds.h"
#include "OpenDataDownload.h"
#include "OpenDataSources.h"
#include "opendatafixtures.h"
#include "servicefixtures.h"

namespace {

// The stand-in's newest complete run is 06Z; at 11Z that is the newest
// GFS run published long enough, and ECMWF's is 00Z.
const QDateTime kNow(QDate(2026, 12, 7), QTime(11, 0), Qt::UTC);
const QStringList kRunOption{"--run", "2026120706"};

// Two 3-hourly steps from 09Z today over Biscay.
ToviForecastParameters biscay(int resolution, int kinds, int steps = 2)
{
    ToviForecastParameters r{};
    r.resolution = ToviForecastParameters::GribResolution(resolution);
    r.meteoType = kinds;
    r.forecastTime = 9;
    r.timeStep = 3;
    r.stepsNumber = steps;
    r.top = 60000;
    r.left = -10500;
    r.right = 5000;
    r.bottom = 40000;
    return r;
}

struct Outcome {
    bool ok = false;
    QString file;
    QString error;
    QDateTime run;
    OpenDataFigures figures;
    QList<QVariant> lastProgress;
};

// What ecCodes finds at the grid point nearest to (lat, lon) in the file's
// first message of this shortName; NaN when there is none.
double eccodesNearest(const QString& path, const char* shortName, double lat, double lon)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    double value = NAN;
    int error = 0;
    while (codes_handle* h = file ? codes_handle_new_from_file(nullptr, file, PRODUCT_GRIB, &error) : nullptr) {
        char name[64] = {};
        size_t length = sizeof name;
        codes_get_string(h, "shortName", name, &length);
        double foundLat, foundLon, distance;
        int index;
        const bool match = std::strcmp(name, shortName) == 0 &&
                           codes_grib_nearest_find_multiple(h, 0, &lat, &lon, 1, &foundLat, &foundLon, &value,
                                                            &distance, &index) == 0;
        codes_handle_delete(h);
        if (match)
            break;
    }
    if (file)
        std::fclose(file);
    return value;
}

}  // namespace

class TestOpenData : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    ThrowawayCertificate certificate;
    int downloads = 0;
    bool trustStandIn = true;

    QString newFolder(const QString& kind)
    {
        const QString path = dir.filePath(kind + QString::number(++downloads)) + "/";
        QDir().mkpath(path);
        return path;
    }

    // One download against the stand-in, waited for; prepare may watch or
    // change it before it starts.
    Outcome download(const OpenDataStandIn& server, const ToviForecastParameters& request, QString folder = {},
                     QString cache = {}, const std::function<void(OpenDataDownload&)>& prepare = {})
    {
        OpenDataDownload download(folder.isEmpty() ? newFolder("saved") : folder,
                                  cache.isEmpty() ? newFolder("cache") : cache);
        for (const OpenDataSource& source : openDataSources())
            download.setBase(source.id, source.protocol == OpenDataProtocol::NomadsFilter ? server.baseNomads()
                                                                                           : server.baseEcmwf());
        download.setUtcClock([] { return kNow; });
        download.setTimeLimits(10, 30, 10);
        if (server.scheme == "https" && trustStandIn)
            download.addCaCertificates(certificate.certificatePath);
        if (prepare)
            prepare(download);
        QSignalSpy finished(&download, &OpenDataDownload::finished);
        QSignalSpy progress(&download, &OpenDataDownload::progress);
        download.start(request);
        if (!finished.wait(120000))
            return {};
        return {finished.first().first().toBool(), download.fileName(), download.errorText(), download.run(),
                download.figures(), progress.isEmpty() ? QList<QVariant>() : progress.last()};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(certificate.valid());
    }

    void sources_data()
    {
        QTest::addColumn<int>("resolution");
        QTest::addColumn<int>("kinds");
        QTest::addColumn<bool>("https");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QList<QByteArray>>("shortNames");  // compared with ecCodes

        const QString gfsRun = "gfs.20261207%2F06%2F";
        auto nomads = [&](const QString& script, const QString& folder, const QString& file, const QString& fields) {
            return "GET /cgi-bin/" + script + ".pl?dir=%2F" + gfsRun + folder + "&file=" + file + "&" + fields +
                   "&subregion=&toplat=60&leftlon=-10.5&rightlon=5&bottomlat=40";
        };
        auto gfs = [&](const char* step, const QString& fields) {
            return nomads("filter_gfs_0p25", "atmos", QString("gfs.t06z.pgrb2.0p25.f%1").arg(step), fields);
        };
        const QString waveFields = "var_HTSGW=on&var_WVHGT=on&var_WVDIR=on&var_SWELL=on&var_SWDIR=on&var_PERPW=on"
                                   "&lev_surface=on&lev_1_in_sequence=on";
        auto wave = [&](const char* step) {
            return nomads("filter_gfswave", "wave%2Fgridded", QString("gfswave.t06z.global.0p25.f%1.grib2").arg(step),
                          waveFields);
        };
        const QString gfsProbe = "HEAD /pub/data/nccf/com/gfs/prod/gfs.20261207/06/atmos/gfs.t06z.pgrb2.0p25.f384.idx";
        const QString waveProbe = "HEAD /pub/data/nccf/com/gfs/prod/gfs.20261207/06/wave/gridded/"
                                  "gfswave.t06z.global.0p25.f384.grib2.idx";
        auto ecmwf = [](const QString& method, const QString& stream, int step, const QString& end) {
            return QString("%1 /ecmwf/20261207/00z/ifs/0p25/%2/20261207000000-%3h-%2-fc.%4")
                .arg(method, stream)
                .arg(step)
                .arg(end);
        };
        const QString windPressure = "var_UGRD=on&var_VGRD=on&var_PRMSL=on&lev_10_m_above_ground=on&lev_mean_sea_level=on";
        QTest::newRow("gfs") << 201 << (mtWind | mtPressure) << false
                             << QStringList{gfsProbe, gfs("003", windPressure), gfs("006", windPressure)}
                             << QList<QByteArray>{"10u", "prmsl"};
        const QString wind = "var_UGRD=on&var_VGRD=on&lev_10_m_above_ground=on";
        QTest::newRow("gfs and its waves, https")
            << 201 << (mtWind | mtWave) << true
            << QStringList{gfsProbe, waveProbe, gfs("003", wind), wave("003"), gfs("006", wind), wave("006")}
            << QList<QByteArray>{"10u", "swh"};
        QTest::newRow("gfs-wave") << 202 << int(mtWave) << false
                                  << QStringList{waveProbe, wave("003"), wave("006")} << QList<QByteArray>{"swh"};
        QStringList ecmwfRequests{ecmwf("HEAD", "oper", 240, "index")};
        for (int step : {9, 12})
            ecmwfRequests << ecmwf("GET", "oper", step, "index")
                          << ecmwf("GET", "oper", step, "grib2") + " range=bytes=0-6229976";
        QTest::newRow("ecmwf") << 203 << (mtWind | mtPressure) << false << ecmwfRequests
                               << QList<QByteArray>{"10u", "msl"};
        ecmwfRequests = QStringList{ecmwf("HEAD", "oper", 240, "index")};
        for (int step : {9, 12})
            ecmwfRequests << ecmwf("GET", "oper", step, "index")
                          << ecmwf("GET", "oper", step, "grib2") + " range=bytes=0-4153317"
                          << ecmwf("GET", "oper", step, "grib2") + " range=bytes=6229977-8306635";
        QTest::newRow("ecmwf, fields apart, https") << 203 << (mtWind | mtTemperature) << true << ecmwfRequests
                                                    << QList<QByteArray>{"10u", "2t"};
        ecmwfRequests = QStringList{ecmwf("HEAD", "wave", 240, "index")};
        for (int step : {9, 12})
            ecmwfRequests << ecmwf("GET", "wave", step, "index")
                          << ecmwf("GET", "wave", step, "grib2") + " range=bytes=0-4483412";
        QTest::newRow("ecmwf-wave") << 204 << int(mtWave) << false << ecmwfRequests << QList<QByteArray>{"swh"};
    }

    void sources()
    {
        QFETCH(int, resolution);
        QFETCH(int, kinds);
        QFETCH(bool, https);
        QFETCH(QStringList, requests);
        QFETCH(QList<QByteArray>, shortNames);
        OpenDataStandIn server(https ? kRunOption + certificate.serverOptions() : kRunOption);
        QVERIFY(server.running());
        const Outcome outcome = download(server, biscay(resolution, kinds));
        QVERIFY2(outcome.ok, qPrintable(outcome.error));

        QStringList log = server.requestLog();
        QVERIFY(log.first().startsWith("HEAD "));  // the run is found first
        log.sort();
        requests.sort();
        QCOMPARE(log, requests);
        QCOMPARE(outcome.figures.requests, int(requests.size()));
        QVERIFY(outcome.figures.maxParallel >= 1 && outcome.figures.maxParallel <= 4);
        const qint64 saved = QFileInfo(outcome.file).size();
        const int steps = (kinds & mtWave) && kinds != mtWave ? 4 : 2;  // the companion's steps too
        QCOMPARE(outcome.lastProgress, (QList<QVariant>{saved, saved, steps, steps}));

        GribFile file(outcome.file.toLocal8Bit().constData());
        QCOMPARE(file.getCompoundNum(), 2);
        CompoundMsg compound;
        for (int n = 0; n < 2; ++n) {
            QVERIFY(file.goCompound(n, compound));
            QCOMPARE(compound.front().validTime(), kNow.addSecs(3600 * (3 * n - 2)));
            QCOMPARE(int(MeteoKinds::kindsOfKeys(file.compoundKeys(n))), kinds);
        }
        // The first step's values where ecCodes finds them, at sea.
        QVERIFY(file.goCompound(0, compound));
        const QHash<QByteArray, unsigned> keys{{"10u", GribKey::windU},     {"prmsl", GribKey::pressureMsl},
                                                {"msl", GribKey::pressureMsl}, {"2t", GribKey::temperature2m},
                                                {"swh", GribKey::waveCombined}};
        for (const QByteArray& name : shortNames)
            for (const QPointF& point : {QPointF(-5, 45), QPointF(-10, 50), QPointF(2.5, 54)}) {
                const auto msg = std::find_if(compound.begin(), compound.end(),
                                              [&](const GribMsg& m) { return m.gct == keys.value(name); });
                QVERIFY2(msg != compound.end(), name.constData());
                float ours = 0;
                QVERIFY(msg->getValueAt(int(point.y() * 1000), int(point.x() * 1000), ours));
                const double theirs = eccodesNearest(outcome.file, name.constData(), point.y(), point.x());
                QVERIFY2(std::fabs(ours - theirs) <= 1e-3 * std::max(1.0, std::fabs(theirs)),
                         qPrintable(QString("%1 at %2,%3: %4 against %5").arg(name).arg(point.y()).arg(point.x()).arg(ours).arg(theirs)));
            }
    }

    // A certificate nobody vouched for, or one for another host, is
    // refused without retrying.
    void untrustedServer_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("host");
        QTest::newRow("no authority") << false << "127.0.0.1";
        QTest::newRow("another host") << true << "localhost";
    }

    void untrustedServer()
    {
        QFETCH(bool, trusted);
        QFETCH(QString, host);
        OpenDataStandIn server(kRunOption + certificate.serverOptions());
        trustStandIn = trusted;
        const Outcome outcome = download(server, biscay(201, mtWind), {}, {}, [&](OpenDataDownload& d) {
            d.setBase("gfs", server.baseNomads().replace("127.0.0.1", host));
        });
        trustStandIn = true;
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.error.startsWith("The connection to " + host + " is not trusted"), qPrintable(outcome.error));
        QCOMPARE(outcome.figures.retries, 0);
    }

    // Answers the stand-in does not give, from a listener that records the
    // request: NOMADS' error page comes with 200, a 4xx is not retried, a
    // body past the limit is refused, a redirect is followed, a server
    // silent in the handshake hits the connect limit.
    void otherAnswers_data()
    {
        QTest::addColumn<QByteArray>("answer");  // %1: the stand-in's filter address
        QTest::addColumn<bool>("https");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("retries");
        QTest::newRow("error page") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 26\r\n\r\n<html>No such file</html>\n")
                                    << false << "NOMADS sent something other than GRIB data for gfs.t06z.pgrb2.0p25.f003" << 0;
        QTest::newRow("not found") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n") << false
                                   << "NOMADS answered 404 Not Found for gfs.t06z.pgrb2.0p25.f003" << 0;
        QTest::newRow("too large") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 300000000000\r\n\r\nGRIB") << false
                                   << "NOMADS announced 300000000000 bytes for gfs.t06z.pgrb2.0p25.f003, past the limit" << 0;
        QTest::newRow("redirected") << QByteArray("HTTP/1.1 302 Found\r\nLocation: %1\r\nContent-Length: 0\r\n\r\n")
                                    << false << "" << 0;
        QTest::newRow("silent handshake") << QByteArray() << true
                                          << "Could not connect to 127.0.0.1 within 1 s after 4 tries" << 3;
    }

    void otherAnswers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, https);
        QFETCH(QString, error);
        QFETCH(int, retries);
        OpenDataStandIn server(kRunOption);
        const QString filter = server.baseNomads() +
                               "/cgi-bin/filter_gfs_0p25.pl?dir=%2Fgfs.20261207%2F06%2Fatmos&file=gfs.t06z.pgrb2.0p25.f003"
                               "&var_UGRD=on&var_VGRD=on&lev_10_m_above_ground=on&subregion=&toplat=60&leftlon=-10.5"
                               "&rightlon=5&bottomlat=40";
        CaptureListener listener(QByteArray(answer).replace("%1", filter.toLatin1()));
        const Outcome outcome = download(server, biscay(201, mtWind, 1), {}, {}, [&](OpenDataDownload& d) {
            d.setBase("gfs", QStringLiteral("%1://127.0.0.1:%2").arg(https ? "https" : "http").arg(listener.port));
            d.setRun(QDateTime(QDate(2026, 12, 7), QTime(6, 0), Qt::UTC));
            d.setTimeLimits(1, 30, 10);
        });
        QVERIFY2(error.isEmpty() ? outcome.ok : outcome.error.startsWith(error), qPrintable(outcome.error));
        QCOMPARE(outcome.figures.retries, retries);
        if (!https)
            QVERIFY(listener.requests().value(0).contains("\r\nUser-Agent: Skyvane/3.2\r\n"));
    }

    void faults_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("hoursLater");  // the client's clock after kNow
        QTest::addColumn<QString>("error");   // empty: the download succeeds
        QTest::addColumn<int>("runHour");
        QTest::addColumn<int>("retries");
        const QStringList always{"--fault-count", "100"};
        QTest::newRow("503 once") << QStringList{"--fault", "503"} << 0 << "" << 6 << 1;
        QTest::newRow("503 always") << QStringList{"--fault", "503"} + always << 0
                                    << "NOMADS answered 503 Service Unavailable after 4 tries" << 6 << 3;
        QTest::newRow("stall once") << QStringList{"--fault", "stall"} << 0 << "" << 6 << 1;
        QTest::newRow("stall always") << QStringList{"--fault", "stall"} + always << 0
                                      << "The transfer stalled: nothing came from NOMADS for 4 s after 4 tries" << 6 << 3;
        QTest::newRow("truncated once") << QStringList{"--fault", "truncate"} << 0 << "" << 6 << 1;
        QTest::newRow("truncated always") << QStringList{"--fault", "truncate"} + always << 0
                                          << "NOMADS sent fewer bytes than announced for gfs.t06z.pgrb2.0p25.f003" << 6 << 3;
        QTest::newRow("wrong length always") << QStringList{"--fault", "wrong-length"} + always << 0
                                             << "NOMADS sent fewer bytes than announced for gfs.t06z.pgrb2.0p25.f003" << 6 << 3;
        QTest::newRow("partial run: the one before") << QStringList{"--partial-run"} << 6 << "" << 6 << 0;
        QTest::newRow("no run at all") << QStringList{} << 24 * 13 << "No complete GFS 0.25° run found on 127.0.0.1" << 0 << 0;
    }

    void faults()
    {
        QFETCH(QStringList, options);
        QFETCH(int, hoursLater);
        QFETCH(QString, error);
        QFETCH(int, runHour);
        QFETCH(int, retries);
        OpenDataStandIn server(kRunOption + options);
        QVERIFY(server.running());
        const Outcome outcome = download(server, biscay(201, mtWind, 1), {}, {}, [&](OpenDataDownload& d) {
            d.setTimeLimits(10, 4, 10);
            d.setUtcClock([hoursLater] { return kNow.addSecs(3600 * hoursLater); });
        });
        QVERIFY2(error.isEmpty() ? outcome.ok : outcome.error.startsWith(error), qPrintable(outcome.error));
        QCOMPARE(outcome.figures.retries, retries);
        if (outcome.ok) {
            QCOMPARE(outcome.run.time().hour(), runHour);
            QVERIFY(GribFile(outcome.file.toLocal8Bit().constData()).getCompoundNum() == 1);
        }
        if (QTest::currentDataTag() == QLatin1String("partial run: the one before"))
            QVERIFY(server.requestLog().first().contains("gfs.20261207/12/atmos"));
    }

    // Cancelled as soon as started or while bytes arrive: nothing is
    // left in the folder or the cache.
    void cancel_data()
    {
        QTest::addColumn<bool>("midTransfer");
        QTest::newRow("at once") << false;
        QTest::newRow("mid-transfer") << true;
    }

    void cancel()
    {
        QFETCH(bool, midTransfer);
        OpenDataStandIn server(kRunOption + QStringList{"--fault", "stall", "--fault-count", "100"});
        const QString folder = newFolder("saved");
        const QString cache = newFolder("cache");
        const Outcome outcome = download(server, biscay(203, mtWind | mtWave), folder, cache, [&](OpenDataDownload& d) {
            connect(&d, &OpenDataDownload::progress, &d, [&d](qint64 bytes) {
                if (bytes > 0)
                    d.cancel();
            });
            if (!midTransfer)
                QTimer::singleShot(0, &d, &OpenDataDownload::cancel);
        });
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.error, QStringLiteral("Cancelled"));
        QVERIFY(outcome.file.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(cache).entryList(QDir::Files), QStringList());
        QCOMPARE(server.requestLog().filter("range=").isEmpty(), !midTransfer);
    }

    // The same request again comes from the cache: nothing but the run's
    // probe is asked for, and the file is saved under a free name.
    void cachedSteps()
    {
        OpenDataStandIn server(kRunOption);
        const QString folder = newFolder("saved");
        const QString cache = newFolder("cache");
        const Outcome first = download(server, biscay(201, mtWind | mtWave), folder, cache);
        QVERIFY2(first.ok, qPrintable(first.error));
        QCOMPARE(first.file, folder + "gfs_2026120706_2026120709.grb2");
        const int requests = server.requestLog().size();
        const Outcome second = download(server, biscay(201, mtWind | mtWave), folder, cache);
        QVERIFY2(second.ok, qPrintable(second.error));
        QCOMPARE(second.file, folder + "gfs_2026120706_20261207090.grb2");
        QCOMPARE(server.requestLog().mid(requests).filter("GET"), QStringList());
        QCOMPARE(second.figures.fetchedBytes, qint64(0));
        QCOMPARE(second.figures.cachedBytes, QFileInfo(second.file).size());
        QCOMPARE(QFileInfo(second.file).size(), QFileInfo(first.file).size());
        QCOMPARE(second.lastProgress.value(2), QVariant(4));
    }
};

QTEST_GUILESS_MAIN(TestOpenData)
#include "tst_opendata.moc"
