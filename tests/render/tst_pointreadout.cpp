// The read-out under the pointer: texts and values at grid points, the colour layer's values between
// them (those its frame computed, in its value cache), "-" off a
// grid or at a missing point, grids round the globe, the kinds listed and the position text.
#include "renderfixtures.h"
#include "ColourLayer.h"
#include "FieldMessages.h"
#include "GribKeys.h"
#include "PointReadout.h"
#include <cmath>
#include <cstring>
#include <map>

using namespace renderfixtures;
using namespace modelfixtures;

namespace {

const PointReadout::Row* rowOf(const PointReadout::Reading& reading, int kind)
{
    for (const PointReadout::Row& row : reading.rows)
        if (row.kind == kind)
            return &row;
    return nullptr;
}

bool sameValue(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

// The colour layer's value of the kind at a position, from the messages the map colours it from.
float layerValue(const GribFileHelper& helper, int kind, int lat, long long lon)
{
    const CompoundMsg& c = helper.getCurrentCompound();
    const GribMsg* v = kind == mtWind ? FieldMessages::messageWithKey(c, GribKey::windV) : nullptr;
    const ColourLayer::PointValue p = ColourLayer::valueAt(*ColourLayer::fieldMessage(c, kind), v, lat, lon);
    return p.onGrid ? p.value : NAN;
}

// The fields of a kind with the mean and amplitude of their values.
struct Field { GRIB_WRITE_PARAMS params; double mean, amplitude; };
std::vector<Field> fieldsOf(int kind)
{
    switch (kind) {
    case mtWind: return {{windU(), 0, 15}, {windV(), 2, 12}};
    case mtSST: return {{seaTemperature(), 285, 5}};
    case mtTemperature: return {{temperature(), 285, 15}};
    default: return {{pressure(), 101000, 3000}};
    }
}

enum State { Fresh, GaussianRows, Blended };
// The kind's fields on ni × nj points from (lat1, lon1) (millidegrees), in two steps, with points
// missing under a bitmap or not; the view and what happens after its first frame.
struct Scenario { int kind, lat1, lon1, ni, nj, step; bool gaps; int projection, zoom, lat, lon, state; };

}  // namespace

Q_DECLARE_METATYPE(Scenario)

class TestPointReadout : public QObject {
    Q_OBJECT
    ScratchHome home;  // before the first projector

private slots:
    void gridPoints_data()
    {
        // At 59°N 2°E the first field holds `first`, the second (v, tidal direction) `second`.
        QTest::addColumn<int>("kind");
        QTest::addColumn<float>("first");
        QTest::addColumn<float>("second");
        QTest::addColumn<QString>("text");
        QTest::newRow("wind from the north-east") << int(mtWind) << -6.0f << -8.0f << "19 kn 37°";
        QTest::newRow("pressure") << int(mtPressure) << 101349.0f << 0.0f << "1013 hPa";
        QTest::newRow("temperature") << int(mtTemperature) << 288.6f << 0.0f << "16 °C";
        QTest::newRow("precipitation") << int(mtPrecipitation) << 2.7f << 0.0f << "3 mm";
        QTest::newRow("waves") << int(mtWave) << 1.4f << 0.0f << "1 m";
        QTest::newRow("sea temperature below 0 °C") << int(mtSST) << 271.2f << 0.0f << "-2 °C";
        QTest::newRow("tidal stream towards the north-east") << int(mtTidal) << 0.8f << 44.6f << "1.6 kn 45°";
        QTest::newRow("precipitation rate") << int(mtPrecipRate) << 0.37f << 0.0f << "0.4 mm/h";
    }

    void gridPoints()
    {
        QFETCH(int, kind); QFETCH(float, first); QFETCH(float, second); QFETCH(QString, text);
        const std::map<int, std::vector<GRIB_WRITE_PARAMS>> params = {
            {mtWind, {windU(), windV()}}, {mtPressure, {pressure()}}, {mtTemperature, {temperature()}},
            {mtPrecipitation, {precipitation()}}, {mtWave, {swellHeight()}}, {mtSST, {seaTemperature()}},
            {mtTidal, {tidalSpeed(), tidalDirection()}}, {mtPrecipRate, {field(59, 1, 0)}}};
        GribTestFile file;
        for (size_t k = 0; k < params.at(kind).size(); ++k) {  // 5 × 4 points at 1° from 60°N 0°E, 59°N 2°E the 8th
            const float value = k ? second : first, d = std::abs(value) * 1e-5f;
            file.add(onGrid(params.at(kind)[k], 60000, 0, 5, 4, 1000), fixtures::ramp(20, value - 7 * d, d));
        }
        auto helper = openHelper(file, false);
        QVERIFY(helper);
        const CompoundMsg& c = helper->getCurrentCompound();
        QCOMPARE(PointReadout::atPosition(*helper, 59000000, 2000000).rows.at(0).text, text);
        for (auto [lat, lon] : {std::pair(59, 2), std::pair(60, 0), std::pair(57, 4), std::pair(57, 0)}) {
            float value = 0, v = 0;  // as the point dialog reads them
            QVERIFY(c.front().getValueAt(lat * 1000, lon * 1000, value));
            if (kind == mtWind && c.at(1).getValueAt(lat * 1000, lon * 1000, v))
                value = std::sqrt(value * value + v * v);
            const PointReadout::Reading reading = PointReadout::atPosition(*helper, lat * 1000000, lon * 1000000);
            QCOMPARE(reading.rows.size(), size_t(1));
            QCOMPARE(reading.rows[0].value, value);
        }
    }

    void valueCache_data()
    {
        QTest::addColumn<Scenario>("s");
        auto row = [](const char* name, const Scenario& s) { QTest::newRow(name) << s; };
        row("regional grid, its edges in view", {mtPressure, 60000, -20000, 41, 31, 1000, false, Equirect, 2, 32000000, -18000000, Fresh});
        row("global, across 0° and beyond 80°N, mercator", {mtTemperature, 90000, 0, 144, 73, 2500, false, Mercator, 1, 78000000, 0, Fresh});
        row("missing points, sea only", {mtSST, 60000, -20000, 41, 31, 1000, true, Equirect, 2, 45000000, 0, Fresh});
        row("gaussian rows", {mtPressure, 60000, -20000, 41, 31, 1000, false, Mercator, 2, 45000000, 0, GaussianRows});
        row("wind, blending into the next step", {mtWind, 60000, -20000, 41, 31, 1000, true, Equirect, 2, 45000000, 0, Blended});
    }

    void valueCache()
    {
        QFETCH(Scenario, s);
        GribTestFile file;
        std::vector<unsigned char> present;
        for (int step = 0; step < 2; ++step)
            for (const Field& f : fieldsOf(s.kind)) {
                GRIB_WRITE_PARAMS g = at(onGrid(f.params, s.lat1, s.lon1, s.ni, s.nj, s.step), 6 * step);
                std::vector<float> values = sample(g, [&](double a, double o) {
                    return f.mean + f.amplitude * smooth(a + 3 * step + f.amplitude, o - 4 * step);
                });
                for (size_t n = 0; n < values.size(); ++n)
                    present.push_back(!s.gaps || (n / s.ni + 2 * (n % s.ni)) % 7 != 3);
                g.bitmap = s.gaps ? present.data() + present.size() - values.size() : nullptr;
                file.add(g, values);
            }
        auto helper = openHelper(file, false);
        QVERIFY(helper);
        for (GribMsg& m : helper->getCurrentCompound())  // rows unevenly apart, the first and last kept
            for (int i = 0; s.state == GaussianRows && i < m.nj; ++i)
                m.rowLats.push_back(m.lat1 - i * m.dj + (i % 2 && i < m.nj - 1 ? m.dj / 3 : 0));
        auto p = makeProjector(s.projection);
        p->update(300, 200, s.zoom * kZoom1, s.lat, s.lon);
        p->setData(helper.get(), s.kind, false, 0.0f);
        renderFrame(*p);
        if (s.state == Blended)
            QVERIFY(helper->nextCompound());
        if (s.state == Blended) {
            p->setData(helper.get(), s.kind, true, 0.5f);
            renderFrame(*p);
        }
        // The cache holds a pixel's value where the frame looked it up: in a cell of the grid, on a drawn
        // row, not on a coast nor, for sea fields, on land.
        int firstDrawn = 0, lat = 0, lon = 0, compared = 0;
        while (!p->screen2Geo(0, firstDrawn, lat, lon) || lat > 79999999)
            ++firstDrawn;
        for (int y = 0; y < 200; y += 3)
            for (int x = 0; x < 300; x += 3) {
                if (!p->screen2Geo(x, y, lat, lon))
                    continue;
                const long long columnLon = (long long)(x - p->getCenterX()) * p->getScale() + p->getCenterLon();
                const float expected = layerValue(*helper, s.kind, lat, columnLon);
                const PointReadout::Reading reading = PointReadout::at(*p, *helper, x, y);
                QVERIFY2(sameValue(rowOf(reading, s.kind)->value, expected), qPrintable(QString("(%1, %2): %3 vs %4")
                         .arg(x).arg(y).arg(rowOf(reading, s.kind)->value).arg(expected)));
                QCOMPARE(reading.rows.at(0).text, PointReadout::atPosition(*helper, lat, lon).rows.at(0).text);
                const QRgb pixel = p->lastFrame().pixel(x, y);
                if (std::abs(lat) > 79999999 || !ColourLayer::inCell(p->getGrid(), lat, columnLon) || pixel == kCoast ||
                    (s.kind == mtSST && pixel == kLand))
                    continue;
                const float cached = p->getValueCache().at(size_t((y - firstDrawn) * 300 + x));
                QVERIFY2(sameValue(cached, expected), qPrintable(QString("(%1, %2)").arg(x).arg(y)));
                ++compared;
            }
        QVERIFY(compared > 1000);
    }

    void dashes_data()
    {
        // Pressure on 60°N..57°N 0°E..4°E, temperature round the globe, sea temperature on the pressure's
        // grid missing at 59°N 2°E; in that order.
        QTest::addColumn<int>("lat");
        QTest::addColumn<int>("lon");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("on every grid") << 58500000 << 1500000 << QStringList{"1013 hPa", "17 °C", "7 °C"};
        QTest::newRow("south of the regional grids") << 50000000 << 1500000 << QStringList{"-", "17 °C", "-"};
        QTest::newRow("west of them") << 58500000 << -500000 << QStringList{"-", "17 °C", "-"};
        QTest::newRow("the nearest point missing") << 59200000 << 2300000 << QStringList{"1013 hPa", "17 °C", "-"};
        QTest::newRow("beside a missing point") << 58400000 << 2300000 << QStringList{"1013 hPa", "17 °C", "7 °C"};
    }

    void dashes()
    {
        QFETCH(int, lat); QFETCH(int, lon); QFETCH(QStringList, texts);
        GribTestFile file;
        file.add(onGrid(pressure(), 60000, 0, 5, 4, 1000), 101300.0f);
        file.add(onGrid(temperature(), 90000, 0, 144, 73, 2500), 290.0f);
        std::vector<unsigned char> present(20, 1);
        present[7] = 0;
        GRIB_WRITE_PARAMS sst = onGrid(seaTemperature(), 60000, 0, 5, 4, 1000);
        sst.bitmap = present.data();
        file.add(sst, 280.0f);
        auto helper = openHelper(file, false);
        QVERIFY(helper);
        QStringList got;
        for (const PointReadout::Row& row : PointReadout::atPosition(*helper, lat, lon).rows)
            got << row.text;
        QCOMPARE(got, texts);
    }

    void aTurnAway_data()
    {
        QTest::addColumn<int>("lon1");  // of a grid at 1/2°, round the globe, or 21 points across 180° at 1°
        QTest::addColumn<int>("lon");
        QTest::addColumn<int>("sameLon");
        QTest::newRow("0°..359.5°, just west of 0°") << 0 << -200000 << 359800000;
        QTest::newRow("from 180°W, just east of 180°") << -180000 << 179900000 << -180100000;
        QTest::newRow("170°E..190°E, 175°W") << 170000 << -175000000 << 185000000;
    }

    void aTurnAway()
    {
        QFETCH(int, lon1); QFETCH(int, lon); QFETCH(int, sameLon);
        const GRIB_WRITE_PARAMS g = lon1 == 170000 ? onGrid(pressure(), 52000, lon1, 21, 5, 1000)
                                                   : onGrid(pressure(), 52000, lon1, 720, 5, 500);
        GribTestFile file;
        file.add(g, sample(g, [](double a, double o) { return 101000 + 3000 * std::cos(o * kPi / 180) + 50 * a; }));
        auto helper = openHelper(file, false);
        QVERIFY(helper);
        const PointReadout::Row row = PointReadout::atPosition(*helper, 51000000, lon).rows.at(0);
        const PointReadout::Row same = PointReadout::atPosition(*helper, 51000000, sameLon).rows.at(0);
        QVERIFY(!std::isnan(row.value));
        QVERIFY(sameValue(row.value, same.value));
        QCOMPARE(row.text, same.text);
    }

    void kindsListed()
    {
        // Wind and temperature, then the same with precipitation, as a forecast's first step lacks it.
        GribTestFile file;
        for (const GRIB_WRITE_PARAMS& g : {windU(), windV(), temperature()})
            file.add(at(g, 0), 280.0f);
        for (const GRIB_WRITE_PARAMS& g : {windU(), windV(), precipitation(), temperature()})
            file.add(at(g, 6), 280.0f);
        auto helper = openHelper(file, false);
        QVERIFY(helper);
        auto labels = [&] {
            QStringList got;
            for (const PointReadout::Row& row : PointReadout::atPosition(*helper, 59000000, 1000000).rows)
                got << row.label;
            return got;
        };
        QCOMPARE(labels(), QStringList({"Wind", "Temperature"}));
        QVERIFY(helper->nextCompound());
        QCOMPARE(labels(), QStringList({"Wind", "Temperature", "Precipitation"}));
        // Above the map's top: no position, nothing read.
        EquirectProjector p;
        p.update(200, 2000, kZoom1, 0, 0);
        const PointReadout::Reading off = PointReadout::at(p, *helper, 100, 10);
        QVERIFY(off.position.isEmpty() && off.rows.empty());
        QCOMPARE(PointReadout::at(p, *helper, 100, 1000).position, QString("0°00'N 0°00'E"));
    }

    void positionText_data()
    {
        QTest::addColumn<int>("lat");
        QTest::addColumn<int>("lon");
        QTest::addColumn<QString>("text");
        QTest::newRow("London") << 51500000 << -120000 << "51°30'N 0°07'W";
        QTest::newRow("Sydney") << -33868800 << 151209300 << "33°52'S 151°13'E";
        QTest::newRow("59.999° is 60°00'") << 59999000 << 59999999 << "60°00'N 60°00'E";
        QTest::newRow("half a minute rounds up") << 8334 << -8334 << "0°01'N 0°01'W";
        QTest::newRow("rounds to 0 from the south and west") << -8000 << -8000 << "0°00'N 0°00'E";
        QTest::newRow("beyond 180°E") << 0 << 190000000 << "0°00'N 170°00'W";
        QTest::newRow("180°W") << -89999999 << -180000000 << "90°00'S 180°00'E";
    }

    void positionText()
    {
        QFETCH(int, lat); QFETCH(int, lon); QFETCH(QString, text);
        QCOMPARE(PointReadout::positionText(lat, lon), text);
    }
};

QTEST_MAIN(TestPointReadout)
#include "tst_pointreadout.moc"
