// A download from the call to the saved file: the request area aligned to
// the data set's grid, the byte counts the progress shows, the limit on
// the inflated size, the file names and their clash rule, saving through a
// temporary file, and the command-line downloader, all against the
// stand-in server on loopback; the downloader also against the open-data
// stand-in over HTTPS.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "ByteSize.h"
#include "ForecastDownload.h"
#include "ForecastServiceClient.h"
#include "GribFileHelper.h"
#include "RequestArea.h"
#include "opendatafixtures.h"
#include "servicefixtures.h"

namespace {

const QDateTime kNow(QDate(2026, 1, 31), QTime(23, 59, 59), Qt::UTC);

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestServiceDownload : public QObject {
    Q_OBJECT

    // One download of wind over Biscay with the program's code on this
    // thread (no progress is watched); the saved name, or empty on failure.
    QString fetch(const QByteArray& endpoint, const QString& folder, bool wanted = true, QString* error = nullptr)
    {
        ToviForecastParameters request{1, ToviForecastParameters::grStandardResolution, 0, 6, 3, 2,
                                       50000, -10000, 0, 40000};
        QObject worker;  // the sink's; nobody watches the progress
        ForecastServiceClient client(&worker);
        ForecastDownload download(client, folder, [] { return kNow; }, [wanted] { return wanted; });
        const ToviCredentials account = demoCredentials();
        QString name;
        const bool ok = download.toviGetForecastDataEx(endpoint.constData(), &account, &request, name);
        if (error)
            *error = download.errorText();
        return ok ? name : QString();
    }

private slots:
    void alignment_data()
    {
        QTest::addColumn<int>("resolution");
        QTest::addColumn<QList<int>>("before");  // top, left, right, bottom
        QTest::addColumn<QList<int>>("after");
        QTest::newRow("1 degree") << 1 << QList<int>{51500, -2500, 1500, 49000} << QList<int>{52000, -3000, 2000, 49000};
        QTest::newRow("a top on the grid moves up") << 1 << QList<int>{52000, -3000, 2000, -1000}
                                                   << QList<int>{53000, -4000, 3000, -2000};
        QTest::newRow("0.5 degree") << 2 << QList<int>{10250, -250, 250, -10250} << QList<int>{10500, -500, 500, -10500};
        QTest::newRow("no fixed step") << 16 << QList<int>{51500, -2500, 1500, 49000}
                                       << QList<int>{51500, -2500, 1500, 49000};
        QTest::newRow("no data set") << 99 << QList<int>{51500, -2500, 1500, 49000}
                                     << QList<int>{51500, -2500, 1500, 49000};
        QTest::newRow("edges near the limits") << 1 << QList<int>{2147483000, -2147483000, 0, -1}
                                               << QList<int>{2147483000, -2147483000, 1000, -1000};
    }

    void alignment()
    {
        QFETCH(int, resolution);
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, after);
        ToviForecastParameters p{0, ToviForecastParameters::GribResolution(resolution), 0, 0, 0, 0,
                                 before[0], before[1], before[2], before[3]};
        reallignRequestRect(&p);
        QCOMPARE((QList<int>{p.top, p.left, p.right, p.bottom}), after);
    }

    // Each unit from its first byte count; a fraction of a kb rounds to one decimal.
    void byteCounts()
    {
        QCOMPARE((QStringList{bytes2String(0), bytes2String(1023), bytes2String(1024), bytes2String(1536),
                              bytes2String(1048575), bytes2String(1048576)}),
                 (QStringList{"0 bytes", "1023 bytes", "1.0 kb", "1.5 kb", "1024.0 kb", "1.0 Mb"}));
    }

    // Saved in a folder made for it under the time-stamped name, a clash
    // adding a "0" before the extension (at the end without one); the
    // temporary files go.  A payload that is no zlib stream is saved as
    // received.
    void savedUnderTheTimeStampedName()
    {
        StandInServer server;
        StandInServer raw({"--attachment", "uncompressed"});
        QTemporaryDir dir;
        const QString folder = dir.path() + "/new/folder/";
        const QString first = fetch(server.endpoint, folder);
        QCOMPARE(first, folder + "UTC_2026-01-31_23-59-59.grb");
        QCOMPARE(fetch(raw.endpoint, folder), folder + "UTC_2026-01-31_23-59-590.grb");
        QVERIFY(readAll(first).startsWith("GRIB"));
        QCOMPARE(readAll(folder + "UTC_2026-01-31_23-59-590.grb"), readAll(first));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QCOMPARE(ForecastDownload::freeFileName(first, ".grb"), folder + "UTC_2026-01-31_23-59-5900.grb");
        QVERIFY(!writeFile(folder + "forecast", "x").isEmpty());
        QCOMPARE(ForecastDownload::freeFileName(folder + "forecast", ".grb"), folder + "forecast0");
    }

    void nothingLeftBehindOnFailure()
    {
        StandInServer server;
        QTemporaryDir dir;
        QString error;
        // A folder that cannot be created (a file stands in the way).
        QVERIFY(!writeFile(dir.filePath("blocked"), "x").isEmpty());
        QVERIFY(fetch(server.endpoint, dir.filePath("blocked") + "/", true, &error).isEmpty());
        QVERIFY(error.startsWith("cannot create"));
        // Given up on: the finished file is dropped, not put in place.
        QVERIFY(fetch(server.endpoint, dir.path() + "/", false, &error).isEmpty());
        QCOMPARE(error, QStringLiteral("cancelled"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"blocked"});
    }

    void fetchTool_data()
    {
        QTest::addColumn<QStringList>("serverOptions");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("complaint");  // in the error output
        const QStringList normal;
        const QStringList forecast{"--type", "temperature,wind", "--resolution", "2", "--area", "50,-10,40,0"};
        QTest::newRow("forecast") << normal << forecast + QStringList{"--steps", "3", "--step", "6"} << 0
                                  << QByteArray();
        QTest::newRow("buoys") << normal << QStringList{"--buoys"} << 0 << QByteArray();
        QTest::newRow("wrong password") << normal << forecast + QStringList{"--password", "x"} << 1
                                        << QByteArray("download failed");
        QTest::newRow("inflates past the limit")
            << QStringList{"--attachment", "bomb"} << forecast + QStringList{"--max-bytes", "1048576"} << 1
            << QByteArray("download failed: the server's data inflates to more than 1048576 bytes");
        QTest::newRow("zero limit") << normal << forecast + QStringList{"--max-bytes", "0"} << 2
                                    << QByteArray("bad value 0 for --max-bytes");
        QTest::newRow("unknown type") << normal << QStringList{"--type", "wind,fog", "--area", "50,-10,40,0"} << 2
                                      << QByteArray("bad value wind,fog for --type");
        QTest::newRow("area of three edges") << normal << QStringList{"--type", "wind", "--area", "50,-10,40"} << 2
                                             << QByteArray("bad value 50,-10,40 for --area");
        QTest::newRow("top south of bottom") << normal << QStringList{"--type", "wind", "--area", "40,-10,50,0"} << 2
                                             << QByteArray("bad value 40,-10,50,0 for --area");
        QTest::newRow("no area") << normal << QStringList{"--type", "wind"} << 2
                                 << QByteArray("--type and --area are needed");
    }

    // The downloader saves where it is told and prints the path; the
    // inventory tool then reads the steps asked for.  A failure leaves no
    // file at all.
    void fetchTool()
    {
        QFETCH(QStringList, serverOptions);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, complaint);
        StandInServer server(serverOptions);
        QTemporaryDir dir;
        const QString out = dir.filePath(arguments.contains("--buoys") ? "buoy.kml" : "forecast.grb");
        QProcess fetch;
        fetch.start(QStringLiteral(SKYVANE_FETCH_PATH),
                    QStringList{"--server", QString::fromLatin1(server.endpoint), "--login", "demo", "--out", out} +
                        (arguments.contains("--password") ? arguments
                                                          : arguments + QStringList{"--password", "demo"}));
        QVERIFY(fetch.waitForFinished(60000));
        QCOMPARE(fetch.exitCode(), exitCode);
        QCOMPARE(QFile::exists(out), exitCode == 0);
        if (exitCode != 0) {
            const QByteArray errors = fetch.readAllStandardError();
            QVERIFY2(errors.contains(complaint), errors.constData());
            QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
            return;
        }
        QCOMPARE(fetch.readAllStandardOutput().trimmed(), QFile::encodeName(out));
        if (arguments.contains("--buoys")) {
            QVERIFY(readAll(out).startsWith("<?xml"));
            return;
        }
        QProcess inventory;
        inventory.start(QStringLiteral(SKYVANE_GRIB_PATH), {"compounds", out});
        QVERIFY(inventory.waitForFinished(60000));
        const QByteArray listing = inventory.readAllStandardOutput();
        QVERIFY2(listing.contains("compounds           3\n") && listing.contains("timeStep            6 h\n") &&
                     listing.contains("compoundSize        3\n"),
                 listing.constData());
    }

    void fetchToolOpenData_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("requests");  // the log's lines, each a prefix
        const QString day = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd"));
        const QStringList today{"--run", day + "00", "--day", "0", "--hour", "6", "--area", "50,-10,40,0"};
        QTest::newRow("gfs, a fixed run")
            << QStringList{"--source", "gfs", "--type", "pressure", "--steps", "2", "--step", "6"} + today << 0
            << QStringList{QStringLiteral("GET /cgi-bin/filter_gfs_0p25.pl?dir=%2Fgfs.%1%2F00%2Fatmos&file=gfs.t00z."
                                          "pgrb2.0p25.f006&var_PRMSL=on&lev_mean_sea_level=on&subregion=&toplat=50&"
                                          "leftlon=-10&rightlon=0&bottomlat=40")
                               .arg(day),
                           QStringLiteral("GET /cgi-bin/filter_gfs_0p25.pl?dir=%2Fgfs.%1%2F00%2Fatmos&file=gfs.t00z."
                                          "pgrb2.0p25.f012&var_PRMSL=on")
                               .arg(day)};
        QTest::newRow("ecmwf wave, a fixed run")
            << QStringList{"--source", "ecmwf-wave", "--type", "wave", "--steps", "1"} + today << 0
            << QStringList{QStringLiteral("GET /ecmwf/%1/00z/ifs/0p25/wave/%2-6h-wave-fc.index").arg(day, day + "000000"),
                           QStringLiteral("GET /ecmwf/%1/00z/ifs/0p25/wave/%2-6h-wave-fc.grib2 range=bytes=0-")
                               .arg(day, day + "000000")};
        QTest::newRow("unknown source") << QStringList{"--source", "icon", "--type", "wind"} + today << 2
                                        << QStringList();
        QTest::newRow("a run without a source")
            << QStringList{"--type", "wind", "--resolution", "2"} + today << 2 << QStringList();
    }

    // The open-data options reach the download: the source, the run and
    // the root asked, over HTTPS with the authority given; the file opens.
    void fetchToolOpenData()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, requests);
        ThrowawayCertificate certificate;
        const QString run = arguments[arguments.indexOf("--run") + 1];
        OpenDataStandIn server(certificate.serverOptions() + QStringList{"--run", run});
        QVERIFY(server.running());
        QTemporaryDir dir;
        const QString out = dir.filePath("forecast.grb2");
        const QString base = arguments.contains("ecmwf-wave") ? server.baseEcmwf() : server.baseNomads();
        QProcess fetch;
        // A cache of its own, so that every row fetches.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CACHE_HOME", dir.filePath("cache"));
        fetch.setProcessEnvironment(environment);
        fetch.start(QStringLiteral(SKYVANE_FETCH_PATH),
                    arguments + QStringList{"--base", base, "--ca-file", certificate.certificatePath, "--out", out});
        QVERIFY(fetch.waitForFinished(60000));
        QCOMPARE(fetch.exitCode(), exitCode);
        QCOMPARE(QFile::exists(out), exitCode == 0);
        // Steps may go in any order: several are fetched at once.
        const QStringList log = server.requestLog();
        QCOMPARE(log.size(), requests.size());
        for (const QString& request : requests)
            QVERIFY2(std::any_of(log.begin(), log.end(), [&](const QString& line) { return line.startsWith(request); }),
                     qPrintable(log.join('\n')));
        if (exitCode != 0)
            return;
        GribFileHelper helper;
        QVERIFY(helper.openGribFile(out, false));
        QCOMPARE(helper.getCompoundNum(), arguments.contains("gfs") ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceDownload)
#include "tst_service_download.moc"
