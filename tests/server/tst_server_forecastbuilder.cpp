// The forecast server's GRIB files: layout, times, grids and values read
// back with our GribFile and cross-checked with ecCodes' tools; refusals;
// the land mask; real data cut from files; and the size limit.
#include "ForecastBuilder.h"
#include "GribFile.h"
#include "GribKeys.h"
#include "LandMask.h"
#include "MeteoType.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

using Keys = std::vector<unsigned>;
Q_DECLARE_METATYPE(ForecastRequest)
Q_DECLARE_METATYPE(Keys)

namespace {

const QDate kToday(2024, 3, 10);
constexpr unsigned kWavePeriod = 364;  // wave period, 1/0/108
constexpr unsigned kAll = 255;

ForecastRequest request(unsigned meteo, int resolution, int top, int left, int right, int bottom,
                        unsigned steps = 3, int timeStep = 3, int day = 0, int hour = 0)
{
    return {meteo, resolution, day, hour, timeStep, steps, top, left, right, bottom};
}

// A built forecast written to a file and indexed.
struct Forecast {
    QTemporaryDir dir;
    QString path;
    QByteArray octets;
    std::unique_ptr<GribFile> file;
    std::vector<GribMsg> messages;

    explicit Forecast(const ForecastRequest& r, const ForecastBuilder& builder = ForecastBuilder(kToday))
        : path(dir.filePath(QStringLiteral("forecast.grb")))
    {
        QString error;
        if (!builder.build(r, octets, error))
            qFatal("build failed: %s", qPrintable(error));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(octets) != octets.size())
            qFatal("cannot write %s", qPrintable(path));
        f.close();
        file = std::make_unique<GribFile>(QFile::encodeName(path).constData());
        messages.resize(size_t(file->messageCount()));
        for (int k = 0; k < file->messageCount(); ++k)
            file->goMsg(k, messages[size_t(k)]);
    }
    float at(size_t message, double lat, double lon) const
    {
        float v = 0;
        if (!messages[message].getValueAt(int(std::lround(lat * 1000)), int(std::lround(lon * 1000)), v))
            return std::nanf("");
        return v;
    }
};

bool runTool(const QString& tool, const QStringList& args, QByteArray& out, QByteArray& err)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    out = p.readAllStandardOutput();
    err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QList<QStringList> toolLines(const QByteArray& out)
{
    QList<QStringList> lines;
    for (const QByteArray& line : out.split('\n'))
        if (!line.trimmed().isEmpty())
            lines.append(QString::fromLatin1(line).simplified().split(' '));
    return lines;
}

// Plausible ranges of every kind; sea-only kinds may be missing on land.
struct Range { unsigned key; float lo, hi; bool seaOnly; };

const Range kRanges[] = {
    {GribKey::windU, -40, 40, false},          {GribKey::windV, -40, 40, false},
    {GribKey::pressureMsl, 95000, 105000, false}, {GribKey::precipitation, 0, 10, false},
    {GribKey::temperature2m, 200, 330, false}, {GribKey::windWaveHeight, 0.2f, 8, true},
    {GribKey::windWaveDirection, 0, 360, true}, {kWavePeriod, 3, 14, true},
    {GribKey::swellHeight, 0.2f, 8, true},     {GribKey::swellDirection, 0, 360, true},
    {GribKey::seaTemperature, 271, 303, true}, {GribKey::tidalSpeed, 0, 2.6f, true},
    {GribKey::tidalDirection, 0, 360, true},   {GribKey::precipRate, 0, 200, false},
};

// Every kind, in the order a step holds them.
const Keys kAllKeys = [] {
    Keys keys;
    for (const Range& r : kRanges)
        keys.push_back(r.key);
    return keys;
}();

// Pixel rectangles [x0, x1) x [y0, y1).
struct Block { int x0, x1, y0, y1; };

// A 1-bit grey PNG whose set samples are the blocks' pixels, written by
// hand so that the file's own bits are known.
void writeMaskPng(const QString& path, const std::vector<Block>& land)
{
    const int w = LandMask::kImageWidth, h = LandMask::kImageHeight, row = 1 + w / 8;
    QByteArray raw(qsizetype(row) * h, '\0');
    for (const Block& b : land)
        for (int y = b.y0; y < b.y1; ++y)
            for (int x = b.x0; x < b.x1; ++x)
                raw[qsizetype(y) * row + 1 + x / 8] = char(raw[qsizetype(y) * row + 1 + x / 8] | (0x80 >> (x % 8)));
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray z(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.constData()),
              uLong(raw.size()), 1);
    z.resize(qsizetype(size));
    auto be = [](quint32 v) {
        const char octets[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(octets, 4);
    };
    auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type) + data;
        return be(quint32(data.size())) + body +
               be(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
    };
    const QByteArray header = be(quint32(w)) + be(quint32(h)) + QByteArray("\x01\x00\x00\x00\x00", 5);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", z) + chunk("IEND", {}));
}

}  // namespace

class TestForecastBuilder : public QObject {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void refusals_data();
    void refusals();
    void landMask_data();
    void landMask();
    void landMaskImages();
    void realData();
    void concurrentBuildsAgree();
    void globalWindAndPressureFitsTheLimit();
};

// ---------------------------------------------------------------------------
// Layout, times, grids and values, against ecCodes

void TestForecastBuilder::layout_data()
{
    QTest::addColumn<ForecastRequest>("req");
    QTest::addColumn<Keys>("keys");      // of a full step
    QTest::addColumn<bool>("shortFirst");
    QTest::addColumn<QList<int>>("grid"); // ni, nj, lat1, lon1, di
    QTest::addColumn<int>("stepMinutes");
    QTest::addColumn<QPointF>("probe");  // (lat, lon) of a grid point

    using GribKey::windU, GribKey::windV, GribKey::pressureMsl, GribKey::precipitation;
    QTest::newRow("wind, global 1°") << request(mtWind, 1, 90000, -180000, 180000, -90000, 5, 3, 1, 12)
                                     << Keys{windU, windV} << false << QList<int>{360, 181, 90000, -180000, 1000}
                                     << 180 << QPointF(45, -30);
    QTest::newRow("all kinds, English Channel 0.02°")
        << request(kAll, 8, 51500, -6000, 2000, 48500, 3, 1, 2, 6) << kAllKeys << true
        << QList<int>{401, 151, 51500, -6000, 20} << 60 << QPointF(50.2, -1.0);
    QTest::newRow("ten-minute steps") << request(mtWind | mtPressure, 24, 50000, -5000, -1000, 47000, 6, 10, 0, 23)
                                      << Keys{windU, windV, pressureMsl} << false
                                      << QList<int>{101, 76, 50000, -5000, 40} << 10 << QPointF(48.0, -3.0);
    // The open ocean's weak tidal stream, away from the Channel's.
    QTest::newRow("across 180°, 0.5°")
        << request(mtPressure | mtSST | mtTidal, 2, 10000, 170000, 190000, -10000, 2, 6)
        << Keys{pressureMsl, GribKey::seaTemperature, GribKey::tidalSpeed, GribKey::tidalDirection} << false
        << QList<int>{41, 41, 10000, 170000, 500} << 360 << QPointF(0, -175);
    QTest::newRow("across 180°, written west of it")
        << request(mtPressure, 2, 10000, -190000, -170000, -10000, 2, 6) << Keys{pressureMsl} << false
        << QList<int>{41, 41, 10000, 170000, 500} << 360 << QPointF(-5, 185);
    QTest::newRow("North Atlantic, clipped to the coverage")
        << request(mtWind | mtPrecipitation, 4, 80000, -60050, -40000, 59990, 3, 6)
        << Keys{windU, windV, precipitation} << true << QList<int>{202, 152, 75000, -60100, 100} << 360
        << QPointF(60, -50);
    // Rain cells live over North America.
    QTest::newRow("North Atlantic, clipped in longitude")
        << request(mtTemperature | mtPrecipRate, 4, 30000, -120000, -90000, 20000, 2, 3)
        << Keys{GribKey::temperature2m, GribKey::precipRate} << false << QList<int>{101, 101, 30000, -100000, 100}
        << 180 << QPointF(25, -95);
    QTest::newRow("Alaska across 180°, fine step")
        << request(mtWave, 18, 70000, 170000, 200000, 60000, 2, 3)
        << Keys{GribKey::windWaveHeight, GribKey::windWaveDirection, kWavePeriod, GribKey::swellHeight,
                GribKey::swellDirection}
        << false << QList<int>{601, 201, 70000, 170000, 50} << 180 << QPointF(62, -178);
    QTest::newRow("many hourly steps: 16-bit P1, accumulations restated")
        << request(mtWind | mtPrecipitation, 1, 10000, 0, 10000, 0, 300, 1, 5, 23)
        << Keys{windU, windV, precipitation} << true << QList<int>{11, 11, 10000, 0, 1000} << 60 << QPointF(5, 5);
    QTest::newRow("precipitation alone has it in the first step")
        << request(mtPrecipitation, 1, 60000, -20000, 10000, 40000, 4, 6) << Keys{precipitation} << false
        << QList<int>{31, 21, 60000, -20000, 1000} << 360 << QPointF(50, 0);
}

// Our reading and ecCodes' (grib_get, quiet on every message) agree with
// the request on keys, valid times, grids and missing points, and with
// each other on ranges and a point's values; the values are plausible.
void TestForecastBuilder::layout()
{
    QFETCH(ForecastRequest, req);
    QFETCH(Keys, keys);
    QFETCH(bool, shortFirst);
    QFETCH(QList<int>, grid);
    QFETCH(int, stepMinutes);
    QFETCH(QPointF, probe);

    Forecast f(req);
    const int steps = int(req.stepsNumber);
    QCOMPARE(f.file->messageCount(), steps * int(keys.size()) - (shortFirst ? 1 : 0));
    QCOMPARE((QList<int>{f.file->getCompoundSize(), f.file->getCompoundNum()}), (QList<int>{int(keys.size()), steps}));
    QCOMPARE(f.file->isShortFirstCompound(), shortFirst);
    QVERIFY(f.file->isOurGribFile());
    // Grids across 180° end past it, so the viewer's area has a width.
    QVERIFY(f.file->getArea().width() > 0);
    QByteArray again, out, err;
    QString error;
    QVERIFY(ForecastBuilder(kToday).build(req, again, error) && again == f.octets);

    // ecCodes states steps in hours unless told otherwise.
    const QStringList units = stepMinutes % 60 ? QStringList{"-s", "stepUnits=m"} : QStringList();
    QVERIFY2(runTool("grib_get",
                     units + QStringList{"-p",
                                         "indicatorOfParameter,indicatorOfTypeOfLevel:i,level,validityDate,"
                                         "validityTime,Ni,Nj,longitudeOfLastGridPoint,numberOfMissing,min,max",
                                         f.path},
                     out, err) && err.isEmpty(),
             err.constData());
    const QList<QStringList> lines = toolLines(out);
    QCOMPARE(lines.size(), int(f.messages.size()));
    const QDateTime first(kToday.addDays(req.forecastDay), QTime(req.forecastTime, 0), Qt::UTC);
    const int ni = grid[0], nj = grid[1], lat1 = grid[2], lon1 = grid[3], step = grid[4];
    const int lon2 = lon1 + (ni - 1) * step;
    size_t m = 0;
    for (int n = 0; n < steps; ++n) {
        for (unsigned key : keys) {
            if (shortFirst && n == 0 && key == GribKey::precipitation)
                continue;
            const GribMsg& msg = f.messages[m];
            const QStringList& theirs = lines[int(m++)];
            const QDateTime valid = first.addSecs(qint64(n) * stepMinutes * 60);
            QCOMPARE(msg.gct, key);
            QCOMPARE(msg.validTime(), valid);
            QCOMPARE((QList<int>{msg.ni, msg.nj, msg.lat1, msg.lon1, msg.lat2, msg.lon2, msg.di, msg.dj}),
                     (QList<int>{ni, nj, lat1, lon1, lat1 - (nj - 1) * step, lon2, step, step}));
            int missing = 0;
            float lo = 1e30f, hi = -1e30f;
            for (int k = 0; k < ni * nj; ++k) {
                missing += msg.values[k] == kGribMissingValue;
                if (msg.values[k] != kGribMissingValue)
                    lo = std::min(lo, msg.values[k]), hi = std::max(hi, msg.values[k]);
            }
            const Range& range = *std::find_if(std::begin(kRanges), std::end(kRanges),
                                               [&](const Range& r) { return r.key == key; });
            const QString where = QStringLiteral("step %1 key %2: %3 to %4, %5 missing; ecCodes %6")
                                      .arg(n).arg(key).arg(lo).arg(hi).arg(missing).arg(theirs.join(' '));
            QVERIFY2(lo >= range.lo && hi <= range.hi && missing < ni * nj && (missing == 0 || range.seaOnly),
                     qPrintable(where));
            QCOMPARE(theirs.mid(0, 9),
                     (QStringList{QString::number(key % 256), QString::number(key / 256 % 256),
                                  QString::number(key / 65536), valid.toString("yyyyMMdd"),
                                  QString::number(valid.time().hour() * 100 + valid.time().minute()),
                                  QString::number(ni), QString::number(nj), QString::number(lon2),
                                  QString::number(missing)}));
            const double tolerance = 1e-4 * std::max(1.0, double(std::fabs(hi)));
            QVERIFY2(theirs.size() == 11 && std::fabs(theirs[9].toDouble() - lo) < tolerance &&
                         std::fabs(theirs[10].toDouble() - hi) < tolerance,
                     qPrintable(where));
        }
    }
    // The nearest point's value in every message; ecCodes writes missing as 9999.
    const QString point = QStringLiteral("%1,%2,1").arg(probe.x()).arg(probe.y());
    QVERIFY2(runTool("grib_get", units + QStringList{"-l", point, "-p", "count", f.path}, out, err) && err.isEmpty(),
             err.constData());
    const QList<QStringList> values = toolLines(out);
    QCOMPARE(values.size(), int(f.messages.size()));
    for (int k = 0; k < values.size(); ++k) {
        const QStringList& w = values[k];
        const float ours = f.at(size_t(k), probe.x(), probe.y());
        const double theirs = w.value(1) == "9999" ? double(kGribMissingValue) : w.value(1).toDouble();
        QVERIFY2(w.size() == 2 && w[0].toInt() == k + 1 &&
                     std::fabs(ours - theirs) < 1e-3 * std::max(1.0, std::fabs(theirs)),
                 qPrintable(QStringLiteral("message %1: ours %2, ecCodes %3").arg(k).arg(ours).arg(w.join(' '))));
    }
}

// ---------------------------------------------------------------------------
// Refusals

void TestForecastBuilder::refusals_data()
{
    QTest::addColumn<ForecastRequest>("req");
    QTest::addColumn<QString>("mentions");

    const ForecastRequest good = request(mtWind, 1, 60000, -20000, 20000, 30000);
    auto with = [&](auto change) {
        ForecastRequest r = good;
        change(r);
        return r;
    };
    QTest::newRow("no meteo bit") << with([](ForecastRequest& r) { r.meteoType = 0; }) << "meteo";
    QTest::newRow("only the end marker") << with([](ForecastRequest& r) { r.meteoType = mtEnd; }) << "meteo";
    for (int code : {0, 3, 5, 27, 127, 128})
        QTest::newRow(qPrintable(QStringLiteral("resolution %1").arg(code)))
            << with([code](ForecastRequest& r) { r.resolution = code; }) << "resolution";
    for (int day : {-1, 6})
        QTest::newRow(qPrintable(QStringLiteral("day %1").arg(day)))
            << with([day](ForecastRequest& r) { r.forecastDay = day; }) << "day";
    for (int hour : {-1, 24, 255})
        QTest::newRow(qPrintable(QStringLiteral("hour %1").arg(hour)))
            << with([hour](ForecastRequest& r) { r.forecastTime = hour; }) << "time";
    for (int step : {0, 2, 12})
        QTest::newRow(qPrintable(QStringLiteral("time step %1").arg(step)))
            << with([step](ForecastRequest& r) { r.timeStep = step; }) << "step";
    for (unsigned steps : {0u, 401u})
        QTest::newRow(qPrintable(QStringLiteral("%1 steps").arg(steps)))
            << with([steps](ForecastRequest& r) { r.stepsNumber = steps; }) << "steps";
    QTest::newRow("top at bottom") << with([](ForecastRequest& r) { r.bottomMilli = r.topMilli; }) << "top";
    QTest::newRow("top south of bottom")
        << with([](ForecastRequest& r) { std::swap(r.topMilli, r.bottomMilli); }) << "top";
    QTest::newRow("left at right") << with([](ForecastRequest& r) { r.rightMilli = r.leftMilli; }) << "left";
    QTest::newRow("Channel set over the Pacific")
        << request(mtWind, 8, 10000, -150000, -140000, 0) << "coverage";
    QTest::newRow("touching the coverage only")
        << request(mtWind, 8, 48500, -5000, -4000, 47000) << "coverage";
    QTest::newRow("too large: everything at 0.5° for 400 steps")
        << request(kAll, 2, 90000, -180000, 180000, -90000, 400, 1) << "size";
    QTest::newRow("too large: wind and pressure at 0.5° for 41 steps")
        << request(mtWind | mtPressure, 2, 90000, -180000, 180000, -90000, 41) << "size";
}

void TestForecastBuilder::refusals()
{
    QFETCH(ForecastRequest, req);
    QFETCH(QString, mentions);
    QByteArray grib("left over");
    QString error;
    QVERIFY(!ForecastBuilder(kToday).build(req, grib, error));
    QVERIFY(grib.isEmpty());
    QVERIFY2(error.contains(mentions) && !error.contains('\n'), qPrintable(error));
}

// ---------------------------------------------------------------------------
// Land and sea

void TestForecastBuilder::landMask_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<bool>("land");
    const struct {
        const char* name;
        double lat, lon;
        bool land;
    } points[] = {
        // Open land and sea, a narrow strait between two outlines, the seas
        // drawn as water outlines, islands, both polar caps and 180°.
        {"Sahara", 23, 10, true},           {"mid-Atlantic", 30, -40, false},
        {"English Channel", 50.2, -1.0, false}, {"Paris", 48.85, 2.35, true},
        {"Mediterranean", 38, 5, false},    {"Hudson Bay", 60, -85, false},
        {"Black Sea", 43, 34, false},       {"Caspian Sea", 42, 50.5, false},
        {"Madagascar", -19, 46.5, true},    {"Japan", 36, 138.5, true},
        {"Antarctica", -80, 0, true},       {"Greenland", 72, -40, true},
        {"Chukotka", 66, -172, true},       {"Bering Sea", 58, -175, false},
    };
    for (const auto& p : points)
        QTest::newRow(p.name) << p.lat << p.lon << p.land;
}

void TestForecastBuilder::landMask()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(bool, land);
    QCOMPARE(LandMask().isLand(int(lat * 1000), int(lon * 1000)), land);
}

// With the images installed they decide, between 80° N and 80° S; the
// built-in coastline answers beyond.
void TestForecastBuilder::landMaskImages()
{
    QTemporaryDir dir;
    // West: a block from 10° to 20° N, 50° to 40° W, and the last column
    // (just west of Greenwich) from 45° to 46° N.  East: a block from 10° S
    // to the equator, 100° to 110° E.
    writeMaskPng(dir.filePath("Skyvane.00"), {{13000, 14000, 6000, 7000}, {17999, 18000, 3400, 3500}});
    writeMaskPng(dir.filePath("Skyvane.01"), {{10000, 11000, 8000, 9000}});
    LandMask mask;
    QString error;
    QVERIFY2(mask.loadImages(dir.path(), &error), qPrintable(error));
    const struct {
        int latMilli, lonMilli;
        bool land;
    } points[] = {{15000, -45000, true}, {19995, -49995, true}, {20005, -45000, false}, {15000, -39995, false},
                  {-5000, 105000, true}, {-5000, 95000, false}, {45500, -5, true},      {45500, 5, false},
                  {23000, 10000, false},  // the images say the Sahara is sea
                  {82000, -40000, true},  // north of the images: Greenland
                  {-85000, 0, true}};     // south of them: Antarctica
    for (const auto& p : points)
        QVERIFY2(mask.isLand(p.latMilli, p.lonMilli) == p.land,
                 qPrintable(QStringLiteral("%1 %2").arg(p.latMilli).arg(p.lonMilli)));

    // The builder's sea-only fields follow the images.
    ForecastBuilder builder(kToday);
    QVERIFY(builder.setLandMaskDirectory(dir.path(), &error));
    Forecast f(request(mtSST, 1, 25000, -50000, 15000, 10000, 1), builder);
    QVERIFY(f.at(0, 23, 10) != kGribMissingValue);
    QCOMPARE(f.at(0, 15, -45), kGribMissingValue);

    QVERIFY(!ForecastBuilder(kToday).setLandMaskDirectory(dir.filePath("none"), &error) && !error.isEmpty());
}

// ---------------------------------------------------------------------------
// Real data

void TestForecastBuilder::realData()
{
    QTemporaryDir dir;
    // A "real" global 1° forecast from another day, and a file that is none.
    Forecast source(request(mtWind | mtPressure, 1, 90000, -180000, 180000, -90000, 4, 6, 0, 12),
                    ForecastBuilder(QDate(2009, 1, 31)));
    QVERIFY(QFile::copy(source.path, dir.filePath("gfs.grb")));
    QFile junk(dir.filePath("junk.grib"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a GRIB file");
    junk.close();

    ForecastBuilder builder(kToday);
    QCOMPARE(builder.setRealDataDirectory(dir.path()), 1);
    // Wind from the file, temperature computed at the file's times.
    Forecast f(request(mtWind | mtTemperature, 4, 52550, -20500, -10000, 45000, 10, 3), builder);
    QCOMPARE(f.file->messageCount(), 4 * 3);
    QVERIFY(f.file->isOurGribFile());
    for (int step = 0; step < 4; ++step) {
        const GribMsg& u = f.messages[size_t(step) * 3];
        const GribMsg& v = f.messages[size_t(step) * 3 + 1];
        const GribMsg& t = f.messages[size_t(step) * 3 + 2];
        const GribMsg& real = source.messages[size_t(step) * 3];
        QCOMPARE((QList<unsigned>{u.gct, v.gct, t.gct}),
                 (QList<unsigned>{GribKey::windU, GribKey::windV, GribKey::temperature2m}));
        QCOMPARE((QList<QDateTime>{u.validTime(), t.validTime()}), (QList<QDateTime>(2, real.validTime())));
        // The source points enclosing the area, at the source's step.
        QCOMPARE((QList<int>{u.ni, u.nj, u.lat1, u.lon1, u.di, t.di}), (QList<int>{12, 9, 53000, -21000, 1000, 100}));
        for (int lat = 45; lat <= 53; ++lat)
            for (int lon = -21; lon <= -10; ++lon)
                QVERIFY(std::fabs(f.at(size_t(step) * 3, lat, lon) - source.at(size_t(step) * 3, lat, lon)) < 0.011f);
    }
    QCOMPARE(f.messages[0].validTime(), QDateTime(QDate(2009, 1, 31), QTime(12, 0), Qt::UTC));

    // Precipitation is in no file: computed, and absent from the first step.
    Forecast rain(request(mtWind | mtPrecipitation, 4, 52550, -20500, -10000, 45000, 3, 3), builder);
    QCOMPARE(rain.file->messageCount(), 3 * 3 - 1);
    QCOMPARE(rain.messages[4].gct, GribKey::precipitation);
    QCOMPARE(rain.messages[4].validTime(), QDateTime(QDate(2009, 1, 31), QTime(18, 0), Qt::UTC));
}

// ---------------------------------------------------------------------------
// Threads and size

void TestForecastBuilder::concurrentBuildsAgree()
{
    const ForecastBuilder builder(kToday);
    const ForecastRequest r = request(kAll, 24, 50000, -10000, 5000, 40000, 3, 3);
    QByteArray reference;
    QString error;
    QVERIFY(builder.build(r, reference, error));
    std::vector<QByteArray> results(4);
    std::vector<std::thread> threads;
    for (QByteArray& out : results)
        threads.emplace_back([&builder, &r, &out] {
            QString e;
            builder.build(r, out, e);
        });
    for (std::thread& t : threads)
        t.join();
    QVERIFY(std::all_of(results.begin(), results.end(), [&](const QByteArray& out) { return out == reference; }));
}

// What the wind button asks for on the global 0.5° set fits the limit.
void TestForecastBuilder::globalWindAndPressureFitsTheLimit()
{
    QByteArray grib;
    QString error;
    QVERIFY(ForecastBuilder(kToday).build(request(mtWind | mtPressure, 2, 90000, -180000, 180000, -90000, 32),
                                          grib, error));
    QVERIFY(grib.size() <= ForecastBuilder::kMaxGribBytes);
}

QTEST_GUILESS_MAIN(TestForecastBuilder)
#include "tst_server_forecastbuilder.moc"
