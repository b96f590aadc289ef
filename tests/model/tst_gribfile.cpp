// GribFile, GribMsg and CompoundMsg on files made with the writer: how
// messages group into compounds, compound navigation, valid times, value
// lookup on odd grids, the value table, and files that are damaged or
// change after they were indexed.
#include "GribFile.h"
#include "GribKeys.h"
#include "modelfixtures.h"

#include <QRandomGenerator>
#include <QTest>

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

// A grid of ni columns from lon1 with di, one row per latitude step, whose
// values are their column numbers.
GribMsg columnGrid(int lon1, int lon2, int ni, int di, int nj = 2)
{
    GRIB_WRITE_PARAMS p = fixtures::smallGrid(ni, nj);
    p.lon1 = lon1;
    p.lon2 = lon2;
    p.di = di;
    std::vector<float> values;
    for (int row = 0; row < nj; ++row)
        for (int col = 0; col < ni; ++col)
            values.push_back(float(col));
    p.bits_per_value = 12;
    return decodeOne(p, values);
}

}  // namespace

class TestGribFile : public QObject {
    Q_OBJECT

private slots:
    void compoundsOfRegularFile();
    void incompleteLastCompound();
    void singleStepFile();
    void compoundNavigation();
    void compoundNavigationWithShortFirst();
    void readCompoundOverwritesInPlace();
    void messageNavigation();

    void validTime_data();
    void validTime();

    void valueLookup_data();
    void valueLookup();
    void lookupNeverPassesTheValues();
    void lastGridPoint();

    void valueTable();
    void copyIsDeep();

    void fileWithoutMessages();
    void fileChangedAfterIndexing();
    void corruptMessageAmongGoodOnes();
    void damagedFilesNeverCrash();
};

// ---------------------------------------------------------------------------
// Compounds

void TestGribFile::compoundsOfRegularFile()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 5).constData());
    QCOMPARE(grib.messageCount(), 20);
    QCOMPARE(grib.getCompoundSize(), 4);
    QCOMPARE(grib.getCompoundNum(), 5);
    QVERIFY(!grib.isShortFirstCompound());
    QVERIFY(!grib.isOurGribFile());  // the writer's centre, not the stand-in server's
    QCOMPARE(grib.getTimeStep(), 3);
    // Keys of the first compound after its first message, then the repeat.
    const std::vector<unsigned> keys = {GribKey::windV, GribKey::pressureMsl,
                                        GribKey::precipitation, GribKey::windU};
    QCOMPARE(grib.getGcts(), keys);
    QVERIFY(grib.containsGct(GribKey::pressureMsl));
    QVERIFY(!grib.containsGct(GribKey::temperature2m));
    // The writer's 4 x 3 grid from 60N 0E in 1-degree steps.
    // Degrees are millidegrees times 0.001 in single precision.
    QCOMPARE(grib.getArea(), QRectF(0.0, double(60000 * 0.001f), double(3000 * 0.001f),
                                    double(-2000 * 0.001f)));
    QCOMPARE(grib.getGridStep(), 1.0f);
    QCOMPARE(grib.getLat1(), 60000);
    QCOMPARE(grib.getDi(), 1000);
}

void TestGribFile::incompleteLastCompound()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 5, false, 1).constData());
    QCOMPARE(grib.messageCount(), 21);
    QCOMPARE(grib.getCompoundNum(), 5);
    CompoundMsg last;
    grib.lastCompound(last);
    QCOMPARE(tagsOf(last), range(16, 4));
    // Reading into the incomplete step fails, and stepping back afterwards
    // still finds whole compounds.
    CompoundMsg partial;
    QVERIFY(!grib.nextCompound(partial));
    QCOMPARE(tagsOf(partial), range(20, 1));
    QVERIFY(grib.prevCompound(last));
    QCOMPARE(tagsOf(last), range(12, 4));
}

void TestGribFile::singleStepFile()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 1).constData());
    QCOMPARE(grib.getCompoundSize(), 4);
    QCOMPARE(grib.getCompoundNum(), 1);
    QCOMPARE(grib.getTimeStep(), 1);
    QVERIFY(!grib.containsGct(GribKey::windU));  // the first key is not listed
    QVERIFY(grib.containsGct(GribKey::windV));
}

void TestGribFile::compoundNavigation()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 3).constData());
    CompoundMsg c;
    grib.firstCompound(c);
    QCOMPARE(tagsOf(c), range(0, 4));
    QVERIFY(!grib.prevCompound(c));
    QVERIFY(grib.nextCompound(c));
    QCOMPARE(tagsOf(c), range(4, 4));
    QVERIFY(grib.nextCompound(c));
    QCOMPARE(tagsOf(c), range(8, 4));
    QVERIFY(!grib.nextCompound(c));
    QVERIFY(c.empty());
    QVERIFY(grib.goCompound(2, c));
    QVERIFY(grib.prevCompound(c));
    QCOMPARE(tagsOf(c), range(4, 4));
    QVERIFY(grib.prevCompound(c));
    QCOMPARE(tagsOf(c), range(0, 4));
    QVERIFY(!grib.goCompound(3, c));
    QVERIFY(!grib.goCompound(-1, c));
    grib.lastCompound(c);
    QCOMPARE(tagsOf(c), range(8, 4));
    // Valid times of the compounds' first messages.
    QVERIFY(grib.goCompound(1, c));
    QCOMPARE(c.front().validTime(), QDateTime(QDate(2009, 1, 31), QTime(21, 0), Qt::UTC));
}

void TestGribFile::compoundNavigationWithShortFirst()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 3, true).constData());
    QVERIFY(grib.isShortFirstCompound());
    QCOMPARE(grib.getCompoundSize(), 4);
    QCOMPARE(grib.getCompoundNum(), 3);  // (11 + 1) / 4
    QVERIFY(grib.containsGct(GribKey::precipitation));  // found in the second step
    CompoundMsg c;
    grib.firstCompound(c);
    QCOMPARE(tagsOf(c), range(0, 3));
    QVERIFY(grib.nextCompound(c));
    QCOMPARE(tagsOf(c), range(3, 4));
    QVERIFY(grib.prevCompound(c));
    QCOMPARE(tagsOf(c), range(0, 3));
    QVERIFY(grib.goCompound(2, c));
    QCOMPARE(tagsOf(c), range(7, 4));
    QVERIFY(grib.prevCompound(c));
    QCOMPARE(tagsOf(c), range(3, 4));
    grib.lastCompound(c);
    QCOMPARE(tagsOf(c), range(7, 4));
}

void TestGribFile::readCompoundOverwritesInPlace()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 3).constData());
    CompoundMsg c(2);  // only as many messages as the compound already has
    grib.readCompound(2, c);
    QCOMPARE(tagsOf(c), range(8, 2));
}

void TestGribFile::messageNavigation()
{
    GribTestFile file;
    GribFile grib(forecastFile(file, 2).constData());
    GribMsg msg;
    grib.firstMsg(msg);
    QCOMPARE(tagOf(msg), 0.0f);
    QVERIFY(!grib.prevMsg(msg));
    QVERIFY(grib.nextMsg(msg));
    QCOMPARE(tagOf(msg), 1.0f);
    grib.lastMsg(msg);
    QCOMPARE(tagOf(msg), 7.0f);
    QVERIFY(!grib.nextMsg(msg));
    QVERIFY(grib.prevMsg(msg));
    QCOMPARE(tagOf(msg), 6.0f);
    QVERIFY(!grib.goMsg(8, msg));
    QCOMPARE(grib.currentIndex(), 6);
    QVERIFY(grib.goMsg(2, msg));
    QCOMPARE(msg.gct, GribKey::pressureMsl);
}

// ---------------------------------------------------------------------------
// Valid time

void TestGribFile::validTime_data()
{
    QTest::addColumn<QDateTime>("reference");
    QTest::addColumn<int>("timeRange");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("p1");
    QTest::addColumn<int>("p2");
    QTest::addColumn<QDateTime>("valid");
    auto t = [](int y, int mo, int d, int h, int mi = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
    };
    // Calendar carries and the rules ecCodes has no valid time for; every
    // other time range and unit is compared with ecCodes in the model
    // cross-check.
    QTest::newRow("10: across a month") << t(2009, 1, 31, 18) << 10 << 1 << 12 << 0 << t(2009, 2, 1, 6);
    QTest::newRow("10: to a leap day") << t(2008, 2, 28, 12) << 10 << 1 << 24 << 0 << t(2008, 2, 29, 12);
    QTest::newRow("10: no leap day") << t(2009, 2, 28, 12) << 10 << 1 << 24 << 0 << t(2009, 3, 1, 12);
    QTest::newRow("10: 60 days, two carries") << t(2009, 1, 31, 18) << 10 << 1 << 1440 << 0 << t(2009, 4, 1, 18);
    QTest::newRow("10: 16-bit P1 over a year end") << t(2009, 11, 15, 0) << 10 << 1 << 1200 << 0 << t(2010, 1, 4, 0);
    QTest::newRow("0: across a year end") << t(2009, 12, 31, 18) << 0 << 1 << 6 << 0 << t(2010, 1, 1, 0);
    QTest::newRow("4: end of accumulation") << t(2009, 1, 31, 18) << 4 << 1 << 6 << 12 << t(2009, 2, 1, 6);
    QTest::newRow("113: no offset") << t(2009, 1, 31, 18) << 113 << 1 << 6 << 6 << t(2009, 1, 31, 18);
    QTest::newRow("unit 15 minutes") << t(2009, 1, 31, 23, 30) << 0 << 13 << 3 << 0 << t(2009, 2, 1, 0, 15);
    QTest::newRow("unit month: no offset") << t(2009, 1, 31, 18) << 0 << 3 << 1 << 0 << t(2009, 1, 31, 18);
}

void TestGribFile::validTime()
{
    QFETCH(QDateTime, reference);
    QFETCH(int, timeRange);
    QFETCH(int, unit);
    QFETCH(int, p1);
    QFETCH(int, p2);
    QFETCH(QDateTime, valid);
    GRIB_WRITE_PARAMS p = fixtures::smallGrid(2, 2);
    p.year = reference.date().year();
    p.month = reference.date().month();
    p.day = reference.date().day();
    p.hour = reference.time().hour();
    p.minute = reference.time().minute();
    p.time_range = timeRange;
    p.time_unit = unit;
    p.p1 = p1;
    p.p2 = p2;
    const GribMsg msg = decodeOne(p, {1, 2, 3, 4});
    QVERIFY(msg.values);
    QCOMPARE(msg.validTime(), valid);
}

// ---------------------------------------------------------------------------
// Value lookup

void TestGribFile::valueLookup_data()
{
    QTest::addColumn<int>("lon1");
    QTest::addColumn<int>("lon2");
    QTest::addColumn<int>("ni");
    QTest::addColumn<int>("di");
    QTest::addColumn<int>("queryLon");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<int>("column");
    QTest::newRow("170E to 170W at 175W") << 170000 << -170000 << 21 << 1000 << -175000 << true << 15;
    QTest::newRow("170E to 170W at 180") << 170000 << -170000 << 21 << 1000 << 180000 << true << 10;
    QTest::newRow("170E to 170W at 0") << 170000 << -170000 << 21 << 1000 << 0 << false << 0;
    QTest::newRow("300 to 60 at 30E") << 300000 << 60000 << 121 << 1000 << 30000 << true << 90;
    QTest::newRow("300 to 60 at 60W") << 300000 << 60000 << 121 << 1000 << -60000 << true << 0;
    QTest::newRow("300 to 60 at 90E") << 300000 << 60000 << 121 << 1000 << 90000 << false << 0;
    QTest::newRow("between points takes the western") << 0 << 10000 << 11 << 1000 << 4999 << true << 4;
    QTest::newRow("0 to 359 at 10W") << 0 << 359000 << 360 << 1000 << -10000 << true << 350;
    QTest::newRow("0 to 359 in the last gap") << 0 << 359000 << 360 << 1000 << -500 << false << 0;
    QTest::newRow("east of the grid") << 0 << 10000 << 11 << 1000 << 10001 << false << 0;
    QTest::newRow("west of the grid") << 0 << 10000 << 11 << 1000 << -1 << false << 0;
}

void TestGribFile::valueLookup()
{
    QFETCH(int, lon1);
    QFETCH(int, lon2);
    QFETCH(int, ni);
    QFETCH(int, di);
    QFETCH(int, queryLon);
    QFETCH(bool, inside);
    QFETCH(int, column);
    const GribMsg msg = columnGrid(lon1, lon2, ni, di);
    QVERIFY(msg.values);
    float value = -1.0f;
    QCOMPARE(msg.getValueAt(59500, queryLon, value), inside);
    QCOMPARE(value, float(column));
}

void TestGribFile::lookupNeverPassesTheValues()
{
    // The grid claims 11 columns of extent but holds 4: points beyond the
    // fourth column are outside rather than read from beyond the array.
    const GribMsg msg = columnGrid(0, 10000, 4, 1000, 3);
    float value = -1.0f;
    QVERIFY(msg.getValueAt(60000, 3000, value));
    QCOMPARE(value, 3.0f);
    QVERIFY(!msg.getValueAt(58000, 10000, value));
    QVERIFY(!msg.getValueAt(58000, 4000, value));
    QCOMPARE(value, 0.0f);
    // More rows claimed than held.
    GribMsg tall = columnGrid(0, 3000, 4, 1000, 3);
    tall.lat2 = 0;
    QVERIFY(!tall.getValueAt(10000, 1000, value));
    // Increments of 0 locate nothing.
    GribMsg flat = columnGrid(0, 3000, 4, 1000, 3);
    flat.di = 0;
    QVERIFY(!flat.getValueAt(60000, 0, value));
}

void TestGribFile::lastGridPoint()
{
    const GribMsg msg = decodeOne(fixtures::smallGrid(4, 3), fixtures::ramp(12));
    float value = -1.0f;
    QVERIFY(msg.getValueAt(msg.lat2, msg.lon2, value));
    QCOMPARE(value, 11.0f);
    QVERIFY(msg.getValueAt(msg.lat1, msg.lon1, value));
    QCOMPARE(value, 0.0f);
    QCOMPARE(msg.getValueAtInd(1, 2), 6.0f);
    QVERIFY(!msg.getValueAt(msg.lat2 - 1, msg.lon2, value));
    QVERIFY(!msg.getValueAt(msg.lat1 + 1, msg.lon1, value));
}

// ---------------------------------------------------------------------------
// Value table and copies

void TestGribFile::valueTable()
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
    const std::vector<CompoundMsg::Row> got(rows.begin(), rows.end());
    QCOMPARE(got.size(), size_t(5));
    QCOMPARE(got[0].first, QStringLiteral("Wind speed"));
    QCOMPARE(got[0].second, 5.0);
    QCOMPARE(got[1].first, QStringLiteral("Pressure"));
    QCOMPARE(got[1].second, 101325.0);
    QCOMPARE(got[2].first, QStringLiteral("Tidal stream speed"));
    QVERIFY(std::fabs(got[2].second - 2.0 * 1.943844) < 1e-6);
    QCOMPARE(got[3].first, QStringLiteral("Tidal stream direction"));
    QCOMPARE(got[3].second, 90.0);
    QVERIFY(got[4].first.isEmpty());
    // Outside the grid every row reads 0; a position that is not a number
    // is outside too.
    c.getValueTableAt(10.0f, 0.5f, rows);
    QCOMPARE(rows.front().second, 0.0);
    c.getValueTableAt(std::nanf(""), 0.5f, rows);
    QCOMPARE(rows.front().second, 0.0);
}

void TestGribFile::copyIsDeep()
{
    GribMsg original = decodeOne(fixtures::smallGrid(4, 3), fixtures::ramp(12));
    GribMsg copy(original);
    QVERIFY(copy.values && copy.values != original.values);
    original.values[0] = 99.0f;
    QCOMPARE(copy.getValueAtInd(0, 0), 0.0f);
    QCOMPARE(copy.getValueAtInd(2, 3), 11.0f);
    GribMsg assigned;
    assigned = copy;
    QCOMPARE(assigned.getValueAtInd(2, 3), 11.0f);
    // A copy of a message without values keeps only the first point.
    GribMsg empty = original;
    empty.releaseValues();
    GribMsg emptyCopy(empty);
    QVERIFY(!emptyCopy.values);
    QCOMPARE(emptyCopy.ni, 0);
    QCOMPARE(emptyCopy.nj, 0);
    QCOMPARE(emptyCopy.lat2, emptyCopy.lat1);
    QCOMPARE(emptyCopy.lon2, emptyCopy.lon1);
    float value = -1.0f;
    QVERIFY(emptyCopy.getValueAt(emptyCopy.lat1, emptyCopy.lon1, value));
    QCOMPARE(value, 0.0f);
}

// ---------------------------------------------------------------------------
// Bad input

void TestGribFile::fileWithoutMessages()
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

void TestGribFile::fileChangedAfterIndexing()
{
    GribTestFile file;
    const QByteArray path = forecastFile(file, 2);
    GribFile grib(path.constData());
    QCOMPARE(grib.messageCount(), 8);
    // Truncated in the middle of the sixth message.
    const auto& offsets = grib.messageOffsets();
    QVERIFY(QFile::resize(file.path(), offsets[5] + 30));
    GribMsg msg;
    QVERIFY(grib.goMsg(4, msg));
    QVERIFY(msg.values);
    QVERIFY(grib.goMsg(5, msg));
    QVERIFY(!msg.values);
    QVERIFY(grib.goMsg(7, msg));
    QVERIFY(!msg.values);
    // Replaced by other content: the offsets no longer start messages.
    QFile f(file.path());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const Bytes shifted = fixtures::concat({fixtures::filler(7), file.octets()});
    f.write(reinterpret_cast<const char*>(shifted.data()), qint64(shifted.size()));
    f.close();
    QVERIFY(grib.goMsg(1, msg));
    QVERIFY(!msg.values);
    CompoundMsg c;
    QVERIFY(grib.goCompound(1, c));
    for (const GribMsg& m : c)
        QVERIFY(!m.values);
    // Removed altogether.
    QVERIFY(QFile::remove(file.path()));
    grib.firstMsg(msg);
    QVERIFY(!msg.values);
}

void TestGribFile::corruptMessageAmongGoodOnes()
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
void TestGribFile::damagedFilesNeverCrash()
{
    GribTestFile source;
    int index = 0;
    for (int step = 0; step < 3; ++step) {
        addTagged(source, windU(5, 4), 3 * step, index++);
        GRIB_WRITE_PARAMS v = at(windV(5, 4), 3 * step);
        source.add(v, fixtures::ramp(20, -5.0f, 0.5f));
        GRIB_WRITE_PARAMS p = at(pressure(5, 4), 3 * step);
        p.lon1 = 358000;  // across 0°
        p.lon2 = 2000;
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

QTEST_APPLESS_MAIN(TestGribFile)
#include "tst_gribfile.moc"
