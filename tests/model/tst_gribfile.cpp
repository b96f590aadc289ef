// GribFile, GribMsg and CompoundMsg on files made with the writer: how
// messages group into compounds, compound navigation, valid times, value
// lookup on odd grids, the value table, and files that are damaged or
// change after they were indexed.
#include "GribFile.h"
#include "GribKeys.h"
#include "modelfixtures.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace modelfixtures;

namespace {

// Every message of these files is a constant field holding its own index,
// so that a value read back tells which message was decoded.
void addTagged(GribTestFile& file, GRIB_WRITE_PARAMS p, int hours, int index)
{
    file.add(at(p, hours), float(index));
}

// steps time steps of u, v, pressure, precipitation, 3 hours apart; the
// first step without precipitation when shortFirst.
QByteArray forecastFile(GribTestFile& file, int steps, bool shortFirst = false, int extra = 0)
{
    int index = 0;
    for (int step = 0; step < steps; ++step) {
        addTagged(file, windU(), 3 * step, index++);
        addTagged(file, windV(), 3 * step, index++);
        addTagged(file, pressure(), 3 * step, index++);
        if (!(shortFirst && step == 0))
            addTagged(file, precipitation(), 3 * step, index++);
    }
    for (int k = 0; k < extra; ++k)
        addTagged(file, windU(), 3 * steps, index++);
    return file.write();
}

float tagOf(const GribMsg& msg)
{
    float value = -1.0f;
    msg.getValueAt(msg.lat1, msg.lon1, value);
    return value;
}

std::vector<float> tagsOf(const CompoundMsg& c)
{
    std::vector<float> tags;
    for (const GribMsg& msg : c)
        tags.push_back(tagOf(msg));
    return tags;
}

std::vector<float> range(int first, int count)
{
    std::vector<float> r;
    for (int k = 0; k < count; ++k)
        r.push_back(float(first + k));
    return r;
}

GribMsg decodeOne(const GRIB_WRITE_PARAMS& p, const std::vector<float>& values)
{
    GribTestFile file;
    file.add(p, values);
    GribFile grib(file.write().constData());
    GribMsg msg;
    grib.firstMsg(msg);
    return msg;
}

// A grid of ni columns from lon1 in 1-degree steps and nj rows from 60N,
// each point holding its index.
GribMsg indexGrid(int lon1, int lon2, int ni, int nj)
{
    GRIB_WRITE_PARAMS p = fixtures::smallGrid(ni, nj);
    p.lon1 = lon1;
    p.lon2 = lon2;
    p.bits_per_value = 12;
    return decodeOne(p, fixtures::ramp(size_t(ni) * size_t(nj)));
}

// A forecast file of steps x (u, v, pressure, precipitation), the first step short of precipitation or extra
// u messages after the last; starts holds the first message of every compound, gcts the keys the analysis lists.
struct Layout {
    int steps;
    bool shortFirst;
    int extra, timeStep;
    QList<int> starts;
    QList<unsigned> gcts;
};

}  // namespace

Q_DECLARE_METATYPE(Layout)

class TestGribFile : public QObject {
    Q_OBJECT

private slots:
    void compounds_data()
    {
        QTest::addColumn<Layout>("layout");
        const unsigned u = GribKey::windU, v = GribKey::windV, p = GribKey::pressureMsl, r = GribKey::precipitation;
        QTest::newRow("regular") << Layout{5, false, 0, 3, {0, 4, 8, 12, 16}, {v, p, r, u}};
        QTest::newRow("incomplete last") << Layout{5, false, 1, 3, {0, 4, 8, 12, 16}, {v, p, r, u}};
        // The first key is listed only when it comes again.
        QTest::newRow("single step") << Layout{1, false, 0, 1, {0}, {v, p, r}};
        // Precipitation is found in the second step.
        QTest::newRow("short first") << Layout{3, true, 0, 3, {0, 3, 7}, {v, p, u, r}};
    }

    // The grid's area and step are compared with ecCodes in the model cross-check.
    void compounds()
    {
        QFETCH(Layout, layout);
        const auto& [steps, shortFirst, extra, timeStep, starts, gcts] = layout;
        GribTestFile file;
        GribFile grib(forecastFile(file, steps, shortFirst, extra).constData());
        const int messages = 4 * steps - int(shortFirst) + extra, num = int(starts.size());
        QCOMPARE(grib.messageCount(), messages);
        QCOMPARE(grib.getCompoundSize(), 4);
        QCOMPARE(grib.getCompoundNum(), num);
        QCOMPARE(grib.isShortFirstCompound(), shortFirst);
        QCOMPARE(grib.getTimeStep(), timeStep);
        QCOMPARE(QList<unsigned>(grib.getGcts().begin(), grib.getGcts().end()), gcts);
        for (unsigned key : gcts)
            QVERIFY(grib.containsGct(key));
        QVERIFY(!grib.containsGct(GribKey::temperature2m));
        QVERIFY(!grib.isOurGribFile());  // the writer's centre, not the stand-in server's
        QCOMPARE(QPoint(grib.getLat1(), grib.getDi()), QPoint(60000, 1000));  // the writer's grid: 60N, 1° steps

        const auto tags = [&](int n) { return range(starts[n], n == 0 && shortFirst ? 3 : 4); };
        CompoundMsg c;
        grib.firstCompound(c);
        QCOMPARE(tagsOf(c), tags(0));
        QVERIFY(!grib.prevCompound(c));
        for (int n = 1; n < num; ++n) {
            QVERIFY(grib.nextCompound(c));
            QCOMPARE(tagsOf(c), tags(n));
        }
        // Reading past the last whole step fails with what there is, and
        // stepping back afterwards still finds whole compounds.
        QVERIFY(!grib.nextCompound(c));
        QCOMPARE(tagsOf(c), range(messages - extra, extra));
        for (int n = num - 2; n >= 0; --n) {
            QVERIFY(grib.prevCompound(c));
            QCOMPARE(tagsOf(c), tags(n));
        }
        QVERIFY(!grib.prevCompound(c));
        for (int n = num - 1; n >= 0; --n) {
            QVERIFY(grib.goCompound(n, c));
            QCOMPARE(tagsOf(c), tags(n));
        }
        QVERIFY(!grib.goCompound(num, c));
        QVERIFY(!grib.goCompound(-1, c));
        grib.lastCompound(c);
        QCOMPARE(tagsOf(c), tags(num - 1));
    }

    void readCompoundOverwritesInPlace()
    {
        GribTestFile file;
        GribFile grib(forecastFile(file, 3).constData());
        CompoundMsg c(2);  // only as many messages as the compound already has
        grib.readCompound(2, c);
        QCOMPARE(tagsOf(c), range(8, 2));
    }

    void messageNavigation()
    {
        GribTestFile file;
        GribFile grib(forecastFile(file, 2).constData());
        GribMsg msg;
        grib.firstMsg(msg);
        QVERIFY(tagOf(msg) == 0 && !grib.prevMsg(msg));
        QVERIFY(grib.nextMsg(msg) && tagOf(msg) == 1);
        grib.lastMsg(msg);
        QVERIFY(tagOf(msg) == 7 && !grib.nextMsg(msg));
        QVERIFY(grib.prevMsg(msg) && tagOf(msg) == 6);
        QVERIFY(!grib.goMsg(8, msg) && grib.currentIndex() == 6);  // out of range: stays
        QVERIFY(grib.goMsg(2, msg) && msg.gct == GribKey::pressureMsl);
    }

    void validTime_data()
    {
        QTest::addColumn<QDateTime>("reference");
        QTest::addColumn<QList<int>>("timing");  // time range, unit, P1, P2
        QTest::addColumn<QDateTime>("valid");
        auto t = [](int y, int mo, int d, int h, int mi = 0) { return QDateTime({y, mo, d}, {h, mi}, Qt::UTC); };
        using T = QList<int>;
        // Calendar carries and the rules ecCodes has no valid time for; every other time range and unit is
        // compared with ecCodes in the model cross-check.
        QTest::newRow("10: across a month") << t(2009, 1, 31, 18) << T{10, 1, 12, 0} << t(2009, 2, 1, 6);
        QTest::newRow("10: to a leap day") << t(2008, 2, 28, 12) << T{10, 1, 24, 0} << t(2008, 2, 29, 12);
        QTest::newRow("10: no leap day") << t(2009, 2, 28, 12) << T{10, 1, 24, 0} << t(2009, 3, 1, 12);
        QTest::newRow("10: 60 days, two carries") << t(2009, 1, 31, 18) << T{10, 1, 1440, 0} << t(2009, 4, 1, 18);
        QTest::newRow("10: 16-bit P1 over a year end") << t(2009, 11, 15, 0) << T{10, 1, 1200, 0} << t(2010, 1, 4, 0);
        QTest::newRow("0: across a year end") << t(2009, 12, 31, 18) << T{0, 1, 6, 0} << t(2010, 1, 1, 0);
        QTest::newRow("4: end of accumulation") << t(2009, 1, 31, 18) << T{4, 1, 6, 12} << t(2009, 2, 1, 6);
        QTest::newRow("113: no offset") << t(2009, 1, 31, 18) << T{113, 1, 6, 6} << t(2009, 1, 31, 18);
        QTest::newRow("unit 15 minutes") << t(2009, 1, 31, 23, 30) << T{0, 13, 3, 0} << t(2009, 2, 1, 0, 15);
        QTest::newRow("unit month: no offset") << t(2009, 1, 31, 18) << T{0, 3, 1, 0} << t(2009, 1, 31, 18);
    }

    void validTime()
    {
        QFETCH(QDateTime, reference);
        QFETCH(QList<int>, timing);
        GRIB_WRITE_PARAMS p = fixtures::smallGrid(2, 2);
        const QDate day = reference.date();
        p.year = day.year(), p.month = day.month(), p.day = day.day();
        p.hour = reference.time().hour(), p.minute = reference.time().minute();
        p.time_range = timing[0], p.time_unit = timing[1], p.p1 = timing[2], p.p2 = timing[3];
        const GribMsg msg = decodeOne(p, {1, 2, 3, 4});
        QVERIFY(msg.values);
        QTEST(msg.validTime(), "valid");
    }

    // The index of the point found on a grid of ni x nj from 60N, lon1 to lon2 (millidegrees); -1 outside.
    void valueLookup_data()
    {
        QTest::addColumn<QList<int>>("grid");  // lon1, lon2, ni, nj
        QTest::addColumn<QPoint>("position");  // lon, lat
        QTest::addColumn<int>("index");
        using G = QList<int>;
        QTest::newRow("170E to 170W at 175W") << G{170000, -170000, 21, 2} << QPoint(-175000, 59500) << 15;
        QTest::newRow("170E to 170W at 180") << G{170000, -170000, 21, 2} << QPoint(180000, 59500) << 10;
        QTest::newRow("170E to 170W at 0") << G{170000, -170000, 21, 2} << QPoint(0, 59500) << -1;
        QTest::newRow("300 to 60 at 30E") << G{300000, 60000, 121, 2} << QPoint(30000, 59500) << 90;
        QTest::newRow("300 to 60 at 60W") << G{300000, 60000, 121, 2} << QPoint(-60000, 59500) << 0;
        QTest::newRow("between points: north-west") << G{0, 10000, 11, 2} << QPoint(4999, 59001) << 4;
        QTest::newRow("0 to 359 at 10W") << G{0, 359000, 360, 2} << QPoint(-10000, 59500) << 350;
        QTest::newRow("0 to 359, the gap back to 0") << G{0, 359000, 360, 2} << QPoint(-500, 59500) << 359;
        QTest::newRow("0 to 358, short of the globe") << G{0, 358000, 359, 2} << QPoint(-500, 59500) << -1;
        QTest::newRow("east of the grid") << G{0, 10000, 11, 2} << QPoint(10001, 59500) << -1;
        QTest::newRow("west of the grid") << G{0, 10000, 11, 2} << QPoint(-1, 59500) << -1;
        QTest::newRow("last point") << G{0, 3000, 4, 3} << QPoint(3000, 58000) << 11;
        QTest::newRow("north of the grid") << G{0, 3000, 4, 3} << QPoint(0, 60001) << -1;
        QTest::newRow("south of the grid") << G{0, 3000, 4, 3} << QPoint(3000, 57999) << -1;
    }

    void valueLookup()
    {
        QFETCH(QList<int>, grid);
        QFETCH(QPoint, position);
        QFETCH(int, index);
        const GribMsg msg = indexGrid(grid[0], grid[1], grid[2], grid[3]);
        QVERIFY(msg.values);
        float value = -1.0f;
        QCOMPARE(msg.getValueAt(position.y(), position.x(), value), index >= 0);
        QCOMPARE(value, index < 0 ? 0.0f : float(index));  // 0 outside
    }

    void lookupNeverPassesTheValues()
    {
        // The grid claims 11 columns of extent but holds 4: points beyond the
        // fourth column are outside rather than read from beyond the array.
        const GribMsg msg = indexGrid(0, 10000, 4, 3);
        float value = -1.0f;
        QVERIFY(msg.getValueAt(60000, 3000, value));
        QCOMPARE(value, 3.0f);
        QVERIFY(!msg.getValueAt(58000, 10000, value));
        QVERIFY(!msg.getValueAt(58000, 4000, value));
        QCOMPARE(value, 0.0f);
        // More rows claimed than held.
        GribMsg tall = indexGrid(0, 3000, 4, 3);
        tall.lat2 = 0;
        QVERIFY(!tall.getValueAt(10000, 1000, value));
        // Increments of 0 locate nothing.
        GribMsg flat = indexGrid(0, 3000, 4, 3);
        flat.di = 0;
        QVERIFY(!flat.getValueAt(60000, 0, value));
    }

    void valueTable()
    {
        GribTestFile file;
        file.add(windU(2, 2), 3.0f);
        file.add(windV(2, 2), -4.0f);
        file.add(pressure(2, 2), 101325.0f);
        file.add(field(48, 1, 0, 2, 2), 2.0f);  // tidal stream speed, m/s
        file.add(field(47, 1, 0, 2, 2), 90.0f);
        file.add(field(7, 1, 0, 2, 2), 1.0f);   // a key without a label
        GribFile grib(file.write().constData());
        CompoundMsg c;
        grib.firstCompound(c);
        QCOMPARE(c.size(), size_t(6));
        QCOMPARE(c.getValueTableRowNum(), 5u);
        std::list<CompoundMsg::Row> rows = {{"stale", 1.0}};
        c.getValueTableAt(59.5f, 0.5f, rows);
        // u and v make one row of speed; tidal speed in knots; no label for
        // a key the table does not know.
        const std::list<CompoundMsg::Row> expected = {{"Wind speed", 5.0}, {"Pressure", 101325.0},
                                                      {"Tidal stream speed", 2.0 * 1.943844},
                                                      {"Tidal stream direction", 90.0}, {QString(), 1.0}};
        QCOMPARE(rows, expected);
        // Outside the grid every row reads 0; a position that is not a number
        // is outside too.
        c.getValueTableAt(10.0f, 0.5f, rows);
        QCOMPARE(rows.front().second, 0.0);
        c.getValueTableAt(std::nanf(""), 0.5f, rows);
        QCOMPARE(rows.front().second, 0.0);
    }

    void copyIsDeep()
    {
        GribMsg original = decodeOne(fixtures::smallGrid(4, 3), fixtures::ramp(12));
        GribMsg copy(original);
        QVERIFY(copy.values && copy.values != original.values);
        original.values[0] = 99.0f;
        GribMsg assigned;
        assigned = copy;
        QVERIFY(copy.getValueAtInd(0, 0) == 0 && copy.getValueAtInd(2, 3) == 11 && assigned.getValueAtInd(2, 3) == 11);
        // A copy of a message without values keeps only the first point.
        GribMsg empty = original;
        empty.releaseValues();
        GribMsg emptyCopy(empty);
        QVERIFY(!emptyCopy.values && emptyCopy.ni == 0 && emptyCopy.nj == 0);
        QVERIFY(emptyCopy.lat2 == emptyCopy.lat1 && emptyCopy.lon2 == emptyCopy.lon1);
        float value = -1.0f;
        QVERIFY(emptyCopy.getValueAt(emptyCopy.lat1, emptyCopy.lon1, value));
        QCOMPARE(value, 0.0f);
    }

    void fileWithoutMessages()
    {
        GribTestFile file;
        file.addRaw(fixtures::filler(20000, 'G'));
        GribFile grib(file.write().constData());
        QCOMPARE(grib.messageCount(), 0);
        QCOMPARE(grib.getCompoundNum(), 0);
        QVERIFY(!grib.isOurGribFile());
        CompoundMsg c;
        grib.firstCompound(c);
        grib.lastCompound(c);
        QVERIFY(c.empty());
        QVERIFY(!grib.nextCompound(c) || c.empty());
        QVERIFY(!grib.prevCompound(c));
        QVERIFY(!grib.load("/nonexistent/skyvane.grb"));
    }

    void fileChangedAfterIndexing()
    {
        GribTestFile file;
        const QByteArray path = forecastFile(file, 2);
        GribFile grib(path.constData());
        QCOMPARE(grib.messageCount(), 8);
        // Truncated in the middle of the sixth message.
        const auto& offsets = grib.messageOffsets();
        QVERIFY(QFile::resize(file.path(), offsets[5] + 30));
        GribMsg msg;
        QVERIFY(grib.goMsg(4, msg) && msg.values);
        QVERIFY(grib.goMsg(5, msg) && !msg.values);
        QVERIFY(grib.goMsg(7, msg) && !msg.values);
        // Replaced by other content: the offsets no longer start messages.
        QFile f(file.path());
        const Bytes shifted = fixtures::concat({fixtures::filler(7), file.octets()});
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(shifted.data()), qint64(shifted.size()));
        f.close();
        QVERIFY(grib.goMsg(1, msg) && !msg.values);
        CompoundMsg c;
        QVERIFY(grib.goCompound(1, c));
        QVERIFY(std::none_of(c.begin(), c.end(), [](const GribMsg& m) { return m.values; }));
        QVERIFY(QFile::remove(file.path()));  // removed altogether
        grib.firstMsg(msg);
        QVERIFY(!msg.values);
    }

    void corruptMessageAmongGoodOnes()
    {
        GribTestFile file;
        file.add(at(pressure(), 0), 0.0f);
        // Unsupported packing (complex) in an otherwise sound message.
        GRIB_WRITE_LAYOUT layout;
        Bytes bad = fixtures::encode(at(windU(), 0), fixtures::ramp(12), &layout);
        bad[layout.bds_offset + 3] |= 0x40;
        file.addRaw(bad);
        file.add(at(pressure(), 3), 2.0f);
        GribFile grib(file.write().constData());
        QCOMPARE(grib.messageCount(), 3);
        QCOMPARE(grib.getCompoundSize(), 2);
        QCOMPARE(grib.getTimeStep(), 3);
        CompoundMsg c;
        grib.firstCompound(c);
        QCOMPARE(c.size(), size_t(2));
        QVERIFY(c[0].values);
        QVERIFY(!c[1].values);
    }

    // Every operation on randomly damaged forecasts: run under the sanitizers,
    // any read outside a buffer fails the test.
    void damagedFilesNeverCrash()
    {
        GribTestFile source;
        for (int step = 0; step < 3; ++step) {
            GRIB_WRITE_PARAMS p = at(pressure(5, 4), 3 * step);
            p.lon1 = 358000, p.lon2 = 2000;  // across 0°
            addTagged(source, windU(5, 4), 3 * step, step);
            source.add(at(windV(5, 4), 3 * step), fixtures::ramp(20, -5.0f, 0.5f));
            source.add(p, fixtures::ramp(20, 100000.0f, 50.0f));
        }
        QRandomGenerator rng(311);
        for (int round = 0; round < 300; ++round) {
            Bytes octets = source.octets();
            const int changes = 1 + int(rng.bounded(6));
            for (int k = 0; k < changes; ++k)
                octets[rng.bounded(quint32(octets.size()))] = static_cast<unsigned char>(rng.bounded(256));
            if (round % 7 == 0)
                octets.resize(rng.bounded(quint32(octets.size())));
            GribTestFile damaged;
            damaged.addRaw(octets);
            GribFile grib(damaged.write().constData());
            QVERIFY(grib.getCompoundNum() <= grib.messageCount() + 1);
            CompoundMsg c;
            for (int n = 0; n < grib.getCompoundNum(); ++n) {
                QVERIFY(grib.goCompound(n, c));
                std::list<CompoundMsg::Row> rows;
                for (int q = 0; q < 4; ++q) {
                    const float lat = float(int(rng.bounded(200)) - 100);
                    const float lon = float(int(rng.bounded(800)) - 400);
                    c.getValueTableAt(lat, lon, rows);
                    QVERIFY(rows.size() <= c.size());
                }
            }
            grib.lastCompound(c);
            while (grib.prevCompound(c)) {
            }
            grib.isOurGribFile();
        }
    }
};

QTEST_APPLESS_MAIN(TestGribFile)
#include "tst_gribfile.moc"
