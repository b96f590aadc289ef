// Files as other producers write them: their parameter codes and units,
// grids stored in any scanning order, accumulations over rolling periods,
// and messages laid out parameter by parameter.
#include "GribFile.h"
#include "GribKeys.h"
#include "GribParameters.h"
#include "MeteoKinds.h"
#include "StoredGrid.h"
#include "modelfixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace modelfixtures;

namespace {

// A message of the writer's 3 x 2 grid at 60N 0E, 1 degree steps.
GRIB_WRITE_PARAMS tiny(GRIB_WRITE_PARAMS p)
{
    p.ni = 3, p.nj = 2, p.lon2 = 2000, p.lat2 = 59000;
    return p;
}

// An accumulation over hours [from, to] of the writer's reference time.
GRIB_WRITE_PARAMS window(GRIB_WRITE_PARAMS p, int from, int to)
{
    p.time_range = 4, p.time_unit = 1, p.p1 = from, p.p2 = to;
    return p;
}

GRIB_WRITE_PARAMS ecmwf(int parameter)
{
    GRIB_WRITE_PARAMS p = field(parameter, 1, 0);
    p.centre = 98, p.table_version = 128;
    return p;
}

std::vector<float> valuesOf(const GribMsg& msg)
{
    return msg.values ? std::vector<float>(msg.values, msg.values + msg.ni * msg.nj) : std::vector<float>();
}

float firstValue(GribFile& grib, int n)
{
    GribMsg msg;
    grib.goMsg(n, msg);
    return msg.values ? msg.values[0] : NAN;
}

}  // namespace

class TestProducers : public QObject {
    Q_OBJECT

private slots:
    // The table's rules: raw WMO keys, ECMWF's local tables by parameter
    // alone, edition 2 codes only on their surface, unit changes.  Entries
    // met in real files are checked against ecCodes' short names in the
    // cross-checks.
    void edition1Codes_data()
    {
        QTest::addColumn<QList<unsigned>>("codes");  // centre, table, parameter, level type, level
        QTest::addColumn<unsigned>("gct");
        QTest::addColumn<float>("scale");
        using C = QList<unsigned>;
        QTest::newRow("WMO u at 10 m") << C{7, 2, 33, 105, 10} << GribKey::windU << 1.0f;
        QTest::newRow("WMO unknown stays raw") << C{7, 2, 7, 100, 500} << (500u * 65536 + 100 * 256 + 7) << 1.0f;
        QTest::newRow("ECMWF on the WMO table") << C{98, 1, 11, 105, 2} << GribKey::temperature2m << 1.0f;
        QTest::newRow("ECMWF 2t") << C{98, 128, 167, 1, 0} << GribKey::temperature2m << 1.0f;
        QTest::newRow("ECMWF tp in metres") << C{98, 128, 228, 1, 0} << GribKey::precipitation << 1000.0f;
        QTest::newRow("ECMWF swh") << C{98, 140, 229, 1, 0} << GribKey::waveCombined << 1.0f;
        QTest::newRow("ECMWF local table 129") << C{98, 129, 167, 1, 0} << 0u << 1.0f;
    }

    void edition1Codes()
    {
        QFETCH(QList<unsigned>, codes);
        QFETCH(unsigned, gct);
        QFETCH(float, scale);
        const ModelParameter p = modelParameterOf(Grib1Codes{codes[0], codes[1], codes[2], codes[3], codes[4]});
        QCOMPARE(p.gct, gct);
        QCOMPARE(p.scale, scale);
    }

    void edition2Codes_data()
    {
        QTest::addColumn<QList<double>>("codes");  // discipline, category, number, surface type, value[, centre]
        QTest::addColumn<unsigned>("gct");
        QTest::addColumn<float>("scale");
        using C = QList<double>;
        QTest::newRow("u at 10 m") << C{0, 2, 2, 103, 10} << GribKey::windU << 1.0f;
        QTest::newRow("u at 100 m") << C{0, 2, 2, 103, 100} << 0u << 1.0f;
        QTest::newRow("u at 850 hPa") << C{0, 2, 2, 100, 85000} << 0u << 1.0f;
        QTest::newRow("PRMSL") << C{0, 3, 1, 101, 0} << GribKey::pressureMsl << 1.0f;
        QTest::newRow("surface pressure") << C{0, 3, 0, 1, 0} << 0u << 1.0f;
        QTest::newRow("2 m temperature") << C{0, 0, 0, 103, 2} << GribKey::temperature2m << 1.0f;
        QTest::newRow("rate per second to per hour") << C{0, 1, 7, 1, 0} << GribKey::precipRate << 3600.0f;
        QTest::newRow("significant wave height") << C{10, 0, 3, 1, 0} << GribKey::waveCombined << 1.0f;
        QTest::newRow("first swell partition") << C{10, 0, 8, 241, 1} << GribKey::swellHeight << 1.0f;
        QTest::newRow("second swell partition") << C{10, 0, 8, 241, 2} << 0u << 1.0f;
        QTest::newRow("ECMWF tp, local code, metres") << C{0, 1, 193, 1, 0, 98} << GribKey::precipitation << 1000.0f;
        QTest::newRow("local code of another centre") << C{0, 1, 193, 1, 0, 7} << 0u << 1.0f;
        QTest::newRow("ECMWF mwp") << C{10, 0, 15, 1, 0} << GribKey::wavePeriod << 1.0f;
        QTest::newRow("ECMWF mwd") << C{10, 0, 14, 1, 0} << GribKey::windWaveDirection << 1.0f;
    }

    void edition2Codes()
    {
        QFETCH(QList<double>, codes);
        QFETCH(unsigned, gct);
        QFETCH(float, scale);
        const ModelParameter p =
            modelParameterOf(Grib2Codes{long(codes[0]), long(codes[1]), long(codes[2]), long(codes[3]), codes[4],
                                        long(codes.value(5, -1))});
        QCOMPARE(p.gct, gct);
        QCOMPARE(p.scale, scale);
    }

    // Six values 0 … 5 stored in each scanning order, placed by hand.
    void scanningModes_data()
    {
        QTest::addColumn<int>("scanMode");
        QTest::addColumn<QList<float>>("placed");
        using V = QList<float>;
        QTest::newRow("north-west first") << 0x00 << V{0, 1, 2, 3, 4, 5};
        QTest::newRow("rows south to north") << 0x40 << V{3, 4, 5, 0, 1, 2};
        QTest::newRow("columns east to west") << 0x80 << V{2, 1, 0, 5, 4, 3};
        QTest::newRow("down the columns") << 0x20 << V{0, 2, 4, 1, 3, 5};
        QTest::newRow("south-east first") << 0xC0 << V{5, 4, 3, 2, 1, 0};
    }

    void scanningModes()
    {
        QFETCH(int, scanMode);
        QFETCH(QList<float>, placed);
        GRIB_WRITE_PARAMS p = tiny(temperature());
        p.scan_mode = scanMode;
        if (scanMode & 0x40)
            std::swap(p.lat1, p.lat2);
        if (scanMode & 0x80)
            std::swap(p.lon1, p.lon2);
        GribTestFile file;
        file.add(p, fixtures::ramp(6));
        GribFile grib(file.write().constData());
        GribMsg msg;
        grib.firstMsg(msg);
        const std::vector<float> values = valuesOf(msg);
        QCOMPARE(QList<float>(values.begin(), values.end()), placed);
        QCOMPARE(QList<int>({msg.lat1, msg.lon1, msg.lat2, msg.lon2}), QList<int>({60000, 0, 59000, 2000}));
        float nw = -1.0f;
        QVERIFY(msg.getValueAt(60000, 0, nw));
        QCOMPARE(nw, placed[0]);
    }

    // Amounts since the previous step from totals over longer periods.
    void accumulations_data()
    {
        QTest::addColumn<QList<QList<int>>>("periods");  // hours from, to of each message
        QTest::addColumn<QList<float>>("totals");
        QTest::addColumn<QList<float>>("perStep");
        using P = QList<QList<int>>;
        using V = QList<float>;
        QTest::newRow("per step already") << P{{0, 3}, {3, 6}, {6, 9}} << V{2, 5, 1} << V{2, 5, 1};
        QTest::newRow("rolling 6 h windows") << P{{0, 3}, {0, 6}, {6, 9}, {6, 12}} << V{2, 5, 1, 4} << V{2, 3, 1, 3};
        QTest::newRow("since the start") << P{{0, 6}, {0, 12}, {0, 18}} << V{1, 4, 4.5f} << V{1, 3, 0.5f};
        QTest::newRow("never negative") << P{{0, 3}, {0, 6}} << V{5, 4} << V{5, 0};
        QTest::newRow("out of order") << P{{0, 6}, {0, 3}} << V{5, 2} << V{3, 2};
    }

    void accumulations()
    {
        QFETCH(QList<QList<int>>, periods);
        QFETCH(QList<float>, totals);
        QFETCH(QList<float>, perStep);
        GribTestFile file;
        for (int k = 0; k < periods.size(); ++k)
            file.add(window(precipitation(), periods[k][0], periods[k][1]), totals[k]);
        GribFile grib(file.write().constData());
        for (int k = 0; k < periods.size(); ++k)
            QCOMPARE(firstValue(grib, k), perStep[k]);
    }

    // GFS's buckets in edition 2, set by ecCodes on a real message: 0-3 h,
    // 0-6 h, 6-9 h, 6-12 h holding 2, 5, 1, 4 mm fell 2, 3, 1, 3 mm a step.
    void gfsBucketsInEdition2()
    {
        const QString source = QStringLiteral("/usr/share/doc/python-grib-doc/examples/regular_latlon_surface.grib2");
        if (!QFileInfo::exists(source))
            QSKIP("python-grib-doc not installed");
        QTemporaryDir dir;
        QFile out(dir.filePath("gfs.grib2"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        for (const QList<int>& bucket : QList<QList<int>>{{0, 3, 2}, {0, 6, 5}, {6, 9, 1}, {6, 12, 4}}) {
            const QString keys = QStringLiteral("productDefinitionTemplateNumber=8,parameterCategory=1,"
                                                "parameterNumber=8,typeOfFirstFixedSurface=1,"
                                                "typeOfStatisticalProcessing=1,stepUnits=1,startStep=%1,endStep=%2")
                                     .arg(bucket[0]).arg(bucket[1]);
            QProcess set;
            set.start("grib_set", {"-s", keys, "-d", QString::number(bucket[2]), source, dir.filePath("one")});
            QVERIFY(set.waitForFinished() && set.exitCode() == 0);
            QFile one(dir.filePath("one"));
            QVERIFY(one.open(QIODevice::ReadOnly));
            out.write(one.readAll());
        }
        out.close();
        GribFile grib(QFile::encodeName(out.fileName()).constData());
        QCOMPARE(grib.getCompoundNum(), 4);
        CompoundMsg c;
        for (int n = 0; n < 4; ++n) {
            QVERIFY(grib.goCompound(n, c));
            QCOMPARE(c.size(), size_t(1));
            QCOMPARE(c[0].values[0], QList<float>({2, 3, 1, 3})[n]);
        }
    }

    // Beside the whole run's total, a step's own bucket is the one shown.
    void bucketPreferredToRunTotal()
    {
        GribTestFile file;
        for (const QList<int>& total : QList<QList<int>>{{0, 3, 3}, {0, 6, 6}, {3, 6, 2}})
            file.add(window(precipitation(), total[0], total[1]), float(total[2]));
        GribFile grib(file.write().constData());
        CompoundMsg c;
        QVERIFY(grib.goCompound(1, c));
        QCOMPARE(c.size(), size_t(1));
        QCOMPARE(c[0].values[0], 2.0f);
    }

    // ECMWF's total precipitation: metres since the forecast began.
    void ecmwfPrecipitation()
    {
        GribTestFile file;
        file.add(at(ecmwf(228), 6), 0.002f);
        file.add(at(ecmwf(228), 12), 0.005f);
        GribFile grib(file.write().constData());
        QCOMPARE(grib.fields()[1].gct, GribKey::precipitation);
        QCOMPARE(qRound(firstValue(grib, 0) * 100), 200);
        QCOMPARE(qRound(firstValue(grib, 1) * 100), 300);
    }

    // Messages grouped by valid time whatever their order; a file laid
    // out step by step keeps the compounds of the index arithmetic.
    void layouts_data()
    {
        QTest::addColumn<QList<QList<int>>>("messages");  // parameter, hours
        QTest::addColumn<bool>("byTime");
        using M = QList<QList<int>>;
        QTest::newRow("step by step") << M{{33, 0}, {34, 0}, {2, 0}, {33, 3}, {34, 3}, {2, 3}} << false;
        QTest::newRow("parameter by parameter") << M{{33, 0}, {33, 3}, {34, 0}, {34, 3}, {2, 0}, {2, 3}} << true;
        QTest::newRow("steps in varying order") << M{{2, 0}, {34, 0}, {33, 0}, {34, 3}, {2, 3}, {33, 3}} << true;
        QTest::newRow("v before u, repeated") << M{{34, 0}, {33, 0}, {2, 0}, {34, 3}, {33, 3}, {2, 3}} << false;
    }

    void layouts()
    {
        QFETCH(QList<QList<int>>, messages);
        QFETCH(bool, byTime);
        GribTestFile file;
        const auto levelOf = [](int parameter) { return parameter == 2 ? field(2, 102, 0) : field(parameter, 105, 10); };
        for (int k = 0; k < messages.size(); ++k)
            file.add(at(levelOf(messages[k][0]), messages[k][1]), float(100 * messages[k][0] + messages[k][1]));
        GribFile grib(file.write().constData());
        QCOMPARE(grib.isGroupedByTime(), byTime);
        QCOMPARE(grib.getCompoundNum(), 2);
        QCOMPARE(grib.getTimeStep(), 3);
        CompoundMsg c;
        for (int n = 0; n < 2; ++n) {
            QVERIFY(grib.goCompound(n, c));
            QCOMPARE(c.size(), size_t(3));
            for (const GribMsg& msg : c) {
                const int parameter = int(msg.gct & 0xFF);
                QVERIFY(msg.values);
                QCOMPARE(msg.values[0], float(100 * parameter + 3 * n));
            }
            // The value table pairs u with the v right after it.
            QCOMPARE(c.getValueTableRowNum(), 2u);
        }
        const std::vector<unsigned> keys = grib.compoundKeys(1);
        if (byTime)
            QCOMPARE(QList<unsigned>(keys.begin(), keys.end()),
                     QList<unsigned>({GribKey::windU, GribKey::windV, GribKey::pressureMsl}));
    }

    // The stream from the current's components (WMO parameters 49 and 50):
    // u 3, v 4 runs at 5 m/s towards 36.87°.
    void streamFromCurrentComponents()
    {
        GribTestFile file;
        file.add(at(field(49, 1, 0), 0), 3.0f);
        file.add(at(field(50, 1, 0), 0), 4.0f);
        file.add(at(field(49, 1, 0), 3), 1.0f);  // a lone component: no step
        GribFile grib(file.write().constData());
        CompoundMsg c;
        QCOMPARE(grib.getCompoundNum(), 1);
        QCOMPARE(grib.getLat1(), 60000);  // from the u component's grid
        QVERIFY(grib.goCompound(0, c));
        QCOMPARE(c.size(), size_t(2));
        QCOMPARE(QList<unsigned>({c[0].gct, c[1].gct}), QList<unsigned>({GribKey::tidalSpeed, GribKey::tidalDirection}));
        QCOMPARE(c[0].values[0], 5.0f);
        QCOMPARE(qRound(c[1].values[0] * 100), 3687);
        QCOMPARE(grib.messageCount(), 3);  // the file's own fields, as listed
    }

    void gaussianRowsAreWhereTheyLie()
    {
        // N = 2: the roots of the Legendre polynomial P4, ±0.861136 and
        // ±0.339981, are the sines of rows at ±59.444° and ±19.876°.
        const std::vector<int> rows = gaussianRowLatitudes(2, 60000, -60000, 4);
        QCOMPARE(QList<int>(rows.begin(), rows.end()), QList<int>({59444, 19876, -19876, -59444}));
        GribMsg msg;
        msg.ni = 2, msg.nj = 4, msg.di = 1000, msg.dj = 39629, msg.lon2 = 1000;
        msg.lat1 = rows[0], msg.lat2 = rows[3];
        msg.rowLats = rows;
        msg.values = static_cast<float*>(std::malloc(8 * sizeof(float)));
        for (int k = 0; k < 8; ++k)
            msg.values[k] = float(k / 2);
        float value = -1.0f;
        QVERIFY(msg.getValueAt(19876, 0, value) && value == 1.0f);  // on a row
        QVERIFY(msg.getValueAt(19875, 0, value) && value == 1.0f);  // just south of it
        QVERIFY(msg.getValueAt(19877, 0, value) && value == 0.0f);  // just north: the row before
    }
};

QTEST_APPLESS_MAIN(TestProducers)
#include "tst_producers.moc"
