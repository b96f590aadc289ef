// The pieces of an open-data download that need no server: the addresses
// and the area NOMADS is asked for, the steps a request maps to, the
// reading of ECMWF's index, the runs worth probing and the cache's names.
#include <QTemporaryDir>
#include <QtTest>

#include "EcmwfIndex.h"
#include "MeteoType.h"
#include "OpenDataCache.h"
#include "OpenDataRunFinder.h"
#include "OpenDataSources.h"
#include "OpenDataStepPlan.h"
#include "OpenDataUrls.h"

namespace {

QDateTime utc(int day, int hour)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, 0), Qt::UTC);
}

const OpenDataSource& source(const char* id)
{
    return *findOpenDataSource(QString::fromLatin1(id));
}

ToviForecastParameters request(const char* id, int kinds, int day, int hour, int step, int count)
{
    ToviForecastParameters r{};
    r.resolution = ToviForecastParameters::GribResolution(source(id).resolution);
    r.meteoType = kinds;
    r.forecastDay = day;
    r.forecastTime = hour;
    r.timeStep = step;
    r.stepsNumber = count;
    return r;
}

}  // namespace

Q_DECLARE_METATYPE(ToviForecastParameters)

class TestOpenDataParts : public QObject {
    Q_OBJECT

private slots:
    void sourcesTable()
    {
        QCOMPARE(openDataSources().size(), 4);
        QCOMPARE(source("gfs").steps().size(), 121 + 88);
        QCOMPARE(source("ecmwf").steps().size(), 49 + 16);
        QCOMPARE(source("ecmwf-wave").lastStep(), 240);
        QCOMPARE(findOpenDataSource(202)->companionId, "gfs");
        QVERIFY(!findOpenDataSource(128) && !findOpenDataSource(QStringLiteral("noaa")));
        QCOMPARE(openDataRunLabel(source("gfs"), utc(7, 6)), QStringLiteral("GFS 0.25° 06Z"));
        QVERIFY(QByteArray(source("ecmwf").attribution).contains("European Centre for Medium-Range Weather Forecasts"));
    }

    void filterArea_data()
    {
        QTest::addColumn<QList<int>>("edges");  // top, left, right, bottom in millidegrees
        QTest::addColumn<QString>("expected");  // top_left_right_bottom in degrees
        QTest::newRow("on the grid") << QList<int>{60000, -10500, 5000, 40000} << "60_-10.5_5_40";
        QTest::newRow("widened to the grid") << QList<int>{51100, -2610, 1510, 49010} << "51.25_-2.75_1.75_49";
        QTest::newRow("across 180") << QList<int>{10000, 170000, 190000, -10000} << "10_170_190_-10";
        QTest::newRow("across 180 from the west") << QList<int>{10000, -190000, -170000, -10000} << "10_170_190_-10";
        QTest::newRow("right edge west of the left") << QList<int>{10000, 170000, -170000, -10000}
                                                     << "10_170_190_-10";
        QTest::newRow("east of 180 alone") << QList<int>{10000, 200000, 210000, -10000} << "10_-160_-150_-10";
        QTest::newRow("across 0 and 180") << QList<int>{10000, -170000, 185000, -10000} << "10_190_545_-10";
        QTest::newRow("from just west of 0") << QList<int>{10000, -250, 180250, -10000} << "10_359.75_540.25_-10";
        QTest::newRow("wider than the world") << QList<int>{80000, -200000, 200000, -80000} << "80_0_360_-80";
        QTest::newRow("beyond the poles, upside down") << QList<int>{-95000, 0, 1000, 95000} << "90_0_1_-90";
        QTest::newRow("a point") << QList<int>{50000, 5000, 5000, 50000} << "50.25_5_5.25_50";
        QTest::newRow("int limits") << QList<int>{2147483647, -2147483647, 2147483647, -2147483647} << "90_0_360_-90";
    }

    void filterArea()
    {
        QFETCH(QList<int>, edges);
        QFETCH(QString, expected);
        ToviForecastParameters r{};
        r.top = edges[0];
        r.left = edges[1];
        r.right = edges[2];
        r.bottom = edges[3];
        QCOMPARE(OpenDataUrls::filterArea(r, 250).text(), expected);
    }

    void urls_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("expected");
        const QString gfsDir = "?dir=%2Fgfs.20261207%2F06%2F";
        const QString cut = "&subregion=&toplat=60&leftlon=-10.5&rightlon=5&bottomlat=40";
        QTest::newRow("gfs filter") << "gfs" << "filter"
                                    << "http://h/cgi-bin/filter_gfs_0p25.pl" + gfsDir +
                                           "atmos&file=gfs.t06z.pgrb2.0p25.f003&var_UGRD=on&var_VGRD=on&var_APCP=on"
                                           "&var_TMP=on&lev_10_m_above_ground=on&lev_surface=on&lev_2_m_above_ground=on" +
                                           cut;
        QTest::newRow("gfs-wave filter") << "gfs-wave" << "filter"
                                         << "http://h/cgi-bin/filter_gfswave.pl" + gfsDir +
                                                "wave%2Fgridded&file=gfswave.t06z.global.0p25.f003.grib2&var_HTSGW=on"
                                                "&var_WVHGT=on&var_WVDIR=on&var_SWELL=on&var_SWDIR=on&var_PERPW=on"
                                                "&lev_surface=on&lev_1_in_sequence=on" +
                                                cut;
        QTest::newRow("gfs probe") << "gfs" << "probe"
                                   << "http://h/pub/data/nccf/com/gfs/prod/gfs.20261207/06/atmos/gfs.t06z.pgrb2.0p25.f384.idx";
        QTest::newRow("gfs-wave probe") << "gfs-wave" << "probe"
                                        << "http://h/pub/data/nccf/com/gfs/prod/gfs.20261207/06/wave/gridded/"
                                           "gfswave.t06z.global.0p25.f384.grib2.idx";
        QTest::newRow("ecmwf step") << "ecmwf" << "grib" << "http://h/20261207/06z/ifs/0p25/oper/20261207060000-3h-oper-fc.grib2";
        QTest::newRow("ecmwf index") << "ecmwf" << "index" << "http://h/20261207/06z/ifs/0p25/oper/20261207060000-3h-oper-fc.index";
        QTest::newRow("ecmwf-wave probe") << "ecmwf-wave" << "probe"
                                          << "http://h/20261207/06z/ifs/0p25/wave/20261207060000-240h-wave-fc.index";
    }

    void urls()
    {
        QFETCH(QString, id);
        QFETCH(QString, which);
        QFETCH(QString, expected);
        const OpenDataUrls urls(*findOpenDataSource(id), QStringLiteral("http://h/"), utc(7, 6));
        const FilterArea area{60000, -10500, 5000, 40000};
        const QUrl url = which == "filter" ? urls.filter(3, mtWind | mtPrecipitation | mtTemperature | mtWave, area)
                         : which == "probe" ? urls.probe()
                         : which == "grib"  ? urls.grib(3)
                                            : urls.index(3);
        QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
    }

    void stepPlan_data()
    {
        QTest::addColumn<ToviForecastParameters>("record");
        QTest::addColumn<QDateTime>("run");
        QTest::addColumn<QList<QList<int>>>("hours");  // per part: source, companion
        QTest::addColumn<QString>("error");
        const QDateTime run06 = utc(7, 6);
        QTest::newRow("three-hourly") << request("gfs", mtWind, 0, 9, 3, 4) << run06
                                      << QList<QList<int>>{{3, 6, 9, 12}} << "";
        QTest::newRow("past 120 h: the next step") << request("gfs", mtWind, 5, 7, 1, 4) << run06
                                                   << QList<QList<int>>{{123, 126}} << "";
        QTest::newRow("before the run: its start") << request("gfs", mtWind, 0, 0, 3, 4) << run06
                                                   << QList<QList<int>>{{0, 3}} << "";
        QTest::newRow("ten minutes") << request("gfs", mtWind, 0, 6, 10, 7) << run06 << QList<QList<int>>{{0, 1}} << "";
        QTest::newRow("ecmwf past 144 h") << request("ecmwf", mtPressure, 5, 21, 3, 4) << utc(7, 0)
                                          << QList<QList<int>>{{141, 144, 150}} << "";
        QTest::newRow("the end of the run") << request("gfs", mtWind, 16, 3, 3, 9) << run06
                                            << QList<QList<int>>{{381, 384}} << "";
        QTest::newRow("beyond the run") << request("gfs", mtWind, 20, 0, 3, 9) << run06 << QList<QList<int>>{{}}
                                        << "does not reach the times asked for";
        QTest::newRow("waves from the companion") << request("gfs", mtWind | mtWave, 0, 12, 6, 2) << run06
                                                  << QList<QList<int>>{{6, 12}, {6, 12}} << "";
        QTest::newRow("companion alone") << request("ecmwf", mtWave | mtSST, 0, 0, 6, 2) << utc(7, 0)
                                         << QList<QList<int>>{{0, 6}} << "";
        QTest::newRow("precipitation has no analysis") << request("gfs", mtPrecipitation, 0, 0, 6, 3) << run06
                                                       << QList<QList<int>>{{1, 6}} << "";
        QTest::newRow("kinds neither offers") << request("ecmwf", mtSST | mtTidal, 0, 0, 3, 2) << run06
                                              << QList<QList<int>>{}
                                              << "ECMWF IFS 0.25° and ECMWF wave 0.25° offer none of the kinds";
        QTest::newRow("no time step") << request("gfs", mtWind, 0, 9, 0, 1000) << run06 << QList<QList<int>>{{3}} << "";
        QTest::newRow("the whole run") << request("gfs", mtWind, 0, 6, 1, 2147483647) << run06
                                       << QList<QList<int>>{QList<int>(source("gfs").steps())} << "";
        QTest::newRow("far past") << request("gfs", mtWind, -2147483647 - 1, 0, 3, 2147483647) << run06
                                  << QList<QList<int>>{{0}} << "";
    }

    void stepPlan()
    {
        QFETCH(ToviForecastParameters, record);
        QFETCH(QDateTime, run);
        QFETCH(QList<QList<int>>, hours);
        QFETCH(QString, error);
        OpenDataStepPlan plan(*findOpenDataSource(int(record.resolution)), record);
        const bool mapped = plan.errorText().isEmpty() && plan.mapTo(run, utc(7, 5));
        QVERIFY2(plan.errorText().contains(error) && mapped == error.isEmpty(), qPrintable(plan.errorText()));
        QList<QList<int>> found;
        for (const OpenDataPart& part : plan.parts())
            found.append(QList<int>(part.hours.begin(), part.hours.end()));
        QCOMPARE(found, hours);
    }

    void ecmwfIndex_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<qint64>>("ranges");  // first, last, first, last, …
        QTest::addColumn<QString>("error");
        auto line = [](const char* param, const char* offset, const char* length) {
            return QByteArray("{\"param\": \"") + param + "\", \"levtype\": \"sfc\", \"_offset\": " + offset +
                   ", \"_length\": " + length + "}\n";
        };
        const QByteArray good = line("10u", "0", "100") + line("10v", "100", "50") + line("msl", "150", "50") +
                                line("2t", "200", "10") + "\n";
        QTest::newRow("back to back joined") << good << QList<qint64>{0, 149, 200, 209} << "";
        QTest::newRow("any order") << line("2t", "200", "10") + line("10v", "100", "50") + line("10u", "0", "100")
                                   << QList<qint64>{0, 149, 200, 209} << "";
        QTest::newRow("empty") << QByteArray() << QList<qint64>{} << "";
        QTest::newRow("not JSON") << good + "{param: 10u}\n" << QList<qint64>{} << "Line 6 of the ECMWF index is not";
        QTest::newRow("an array") << QByteArray("[1, 2]") << QList<qint64>{} << "Line 1 of the ECMWF index is not";
        QTest::newRow("no length") << QByteArray("{\"param\": \"10u\", \"_offset\": 0}") << QList<qint64>{}
                                   << "Line 1 of the ECMWF index gives no usable";
        QTest::newRow("negative offset") << line("10u", "-1", "10") << QList<qint64>{} << "gives no usable";
        QTest::newRow("fractional length") << line("10u", "0", "10.5") << QList<qint64>{} << "gives no usable";
        QTest::newRow("zero length") << line("10u", "0", "0") << QList<qint64>{} << "gives no usable";
        QTest::newRow("absurd length") << line("10u", "0", "1e18") << QList<qint64>{} << "gives no usable";
        QTest::newRow("absurd offset") << line("10u", "9007199254740993", "10") << QList<qint64>{} << "gives no usable";
        QTest::newRow("offset as text") << line("10u", "\"0\"", "10") << QList<qint64>{} << "gives no usable";
        QTest::newRow("param not text") << QByteArray("{\"param\": 165, \"_offset\": 0, \"_length\": 5}")
                                        << QList<qint64>{} << "gives no usable";
        QTest::newRow("overlapping") << line("10u", "0", "100") + line("10v", "99", "10") << QList<qint64>{}
                                     << "fields 10u and 10v overlapping";
    }

    void ecmwfIndex()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<qint64>, ranges);
        QFETCH(QString, error);
        EcmwfIndex index;
        QCOMPARE(index.read(text), error.isEmpty());
        QVERIFY2(index.errorText().contains(error), qPrintable(index.errorText()));
        QList<qint64> found;
        for (const ByteRange& range : index.rangesOf({"10u", "10v", "2t", "tp"}))
            found << range.first << range.last;
        QCOMPARE(found, ranges);
        if (error.isEmpty() && !text.isEmpty())
            QCOMPARE(index.missing({"10u", "tp"}), QStringList{"tp"});
    }

    void runCandidates_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QList<QDateTime>>("runs");
        QTest::newRow("gfs") << QStringList{"gfs"} << utc(7, 11) << QList<QDateTime>{utc(7, 6), utc(7, 0), utc(6, 18)};
        QTest::newRow("gfs, just too early") << QStringList{"gfs", "gfs-wave"} << utc(7, 10).addSecs(-1)
                                             << QList<QDateTime>{utc(7, 0), utc(6, 18), utc(6, 12)};
        QTest::newRow("ecmwf") << QStringList{"ecmwf"} << utc(7, 7) << QList<QDateTime>{utc(6, 12), utc(6, 0), utc(5, 12)};
    }

    void runCandidates()
    {
        QFETCH(QStringList, ids);
        QFETCH(QDateTime, now);
        QFETCH(QList<QDateTime>, runs);
        QVector<const OpenDataSource*> sources;
        for (const QString& id : ids)
            sources.append(findOpenDataSource(id));
        const QVector<QDateTime> found = OpenDataRunFinder::candidates(sources, now, OpenDataRunFinder::kRunsTried);
        QCOMPARE(found.size(), OpenDataRunFinder::kRunsTried);
        QCOMPARE(QList<QDateTime>(found.begin(), found.begin() + 3), runs);
    }

    // One name per step, fields in any order; old runs' files go, others stay.
    void cacheNames()
    {
        QTemporaryDir dir;
        const OpenDataCache cache(dir.path() + "/");
        const OpenDataStepKey key{"gfs", utc(7, 6), 3, {"UGRD", "VGRD"}, "60_-10.5_5_40"};
        OpenDataStepKey reordered = key;
        reordered.fields = QStringList{"VGRD", "UGRD"};
        QCOMPARE(cache.pathOf(reordered), cache.pathOf(key));
        OpenDataStepKey elsewhere = key;
        elsewhere.area = "60_-10.25_5_40";
        QVERIFY(cache.pathOf(elsewhere) != cache.pathOf(key));
        OpenDataStepKey old = key;
        old.runUtc = utc(5, 6);
        const QString temporary = cache.newTemporary(old);
        QVERIFY(cache.commit(cache.newTemporary(key), cache.pathOf(key)));
        QVERIFY(cache.commit(cache.newTemporary(old), cache.pathOf(old)));
        QFile notes(dir.filePath("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.close();
        cache.removeOldRuns(utc(7, 7));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{QFileInfo(cache.pathOf(key)).fileName(), "notes.txt"}));
        QVERIFY(cache.cachedSize(key) == 0 && cache.cachedSize(old) == -1 && !QFile::exists(temporary));
    }
};

QTEST_GUILESS_MAIN(TestOpenDataParts)
#include "tst_opendata_parts.moc"
