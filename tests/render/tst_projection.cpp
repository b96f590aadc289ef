// The two map projections: conversions, navigation, cache rules, base map.
#include "renderfixtures.h"
#include <cmath>

using namespace renderfixtures;
using namespace modelfixtures;

namespace {

struct View {  // projection, frame size, zoom, centre (µ°)
    int kind, width, height, zoom, lat, lon;
    std::unique_ptr<GeoProjector> make() const
    {
        auto p = makeProjector(kind);
        p->update(width, height, zoom * kZoom1, lat, lon);
        return p;
    }
};

// µ° latitude on the sphere of the Mercator ordinate `pixels` above the equator.
double sphereLatitude(double pixels, int d) { return std::atan(std::sinh(pixels * kPi / d)) * 180.0 / kPi * 1e6; }

// Mercator ordinate of a latitude, on the sphere (e = 0) or the ellipsoid.
double ordinate(double latMicro, double e)
{
    const double s = std::sin(latMicro * 1e-6 * kPi / 180.0);
    return 0.5 * std::log((1 + s) / (1 - s)) - e * 0.5 * std::log((1 + e * s) / (1 - e * s));
}

int centreRowOf(int latMicro, int diameter) { return int(ordinate(latMicro, 0) * diameter / kPi); }

// A helper of 300 K at 10° steps over the whole earth: 27 °C, the opaque 25 °C band.
std::unique_ptr<GribFileHelper> warmEarth(GribTestFile& file)
{
    GRIB_WRITE_PARAMS p = temperature();
    p.ni = 37, p.nj = 19, p.lat1 = 90000, p.lat2 = -90000, p.lon1 = -180000, p.lon2 = 180000;
    p.di = p.dj = 10000;
    file.add(p, 300.0f);
    return openHelper(file);
}

struct Conversion { View view; int x, y; bool ok; double lat; int lon; };

}  // namespace

Q_DECLARE_METATYPE(Conversion)

class TestProjection : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchHome> home;
    GribTestFile elsewhere;
    std::unique_ptr<GribFileHelper> elsewhereHelper;
    // A field far off every view the base-map tests look at.
    void loadFieldElsewhere(GeoProjector& p) { p.setData(elsewhereHelper.get(), mtPressure, false, 0.0f); }

private slots:
    void initTestCase()
    {
        home = std::make_unique<ScratchHome>();
        GRIB_WRITE_PARAMS p = pressure();  // 4 × 3 at 1° from 60°S 120°W
        p.lat1 = -60000, p.lat2 = -62000, p.lon1 = -120000, p.lon2 = -117000;
        elsewhere.add(p, 101000.0f);
        elsewhereHelper = openHelper(elsewhere);
        QVERIFY(elsewhereHelper);
    }

    void derivedFieldsAndGoTo()
    {
        // scale = 180000000 / (zoom × 1125) and threshold = 2000000 / zoom, truncated.
        const struct { int zoom, scale, threshold; } rows[] = {
            {1, 160000, 2000000}, {3, 53333, 666666}, {64, 2500, 31250}};
        // goTo truncates toward zero to 0.01°.
        const int goTos[][4] = {{51123456, -1239999, 51120000, -1230000}, {-51129999, 1239999, -51120000, 1230000},
                                {9999, -9999, 0, 0}};
        for (int kind : {Equirect, Mercator}) {
            for (const auto& r : rows) {
                auto p = makeProjector(kind);
                QCOMPARE(QPoint(p->getCenterLat(), p->getCenterLon()), QPoint(53000000, -3000000));  // home
                p->update(801, 599, r.zoom * kZoom1, -12340000, 45000000);
                QCOMPARE(QPoint(p->getCenterX(), p->getCenterY()), QPoint(400, 299));
                QCOMPARE(QPoint(p->getScale(), p->getCityThreshold()), QPoint(r.scale, r.threshold));
                QVERIFY(std::abs(p->getCenterLatRad() + 12.34 * kPi / 180) < 1e-6);
                for (const auto& g : goTos) {
                    p->goTo(g[0], g[1]);
                    QCOMPARE(QPoint(p->getCenterLat(), p->getCenterLon()), QPoint(g[2], g[3]));
                }
            }
        }
    }

    void screenToGeo_data()
    {
        QTest::addColumn<Conversion>("c");
        // 1000 × 800, zoom 2 (80000 µ°/px), 80°N 10°E: map rows 275..2524.
        const View polar{Equirect, 1000, 800, 2, 80000000, 10000000};
        QTest::newRow("centre") << Conversion{polar, 500, 400, true, 80000000, 10000000};
        QTest::newRow("top map row") << Conversion{polar, 0, 275, true, 90000000, -30000000};
        QTest::newRow("above the pole") << Conversion{polar, 0, 274, false, 0, 0};
        QTest::newRow("last map row") << Conversion{polar, 0, 2524, true, -89920000, -30000000};
        QTest::newRow("below the south pole") << Conversion{polar, 0, 2525, false, 0, 0};
        // Longitudes fold once into [−180°, 180°].
        const View east{Equirect, 1000, 800, 2, 0, 170000000};
        const View west{Equirect, 1000, 800, 2, 0, -170000000};
        QTest::newRow("186° folds") << Conversion{east, 700, 400, true, 0, -174000000};
        QTest::newRow("180° stays") << Conversion{east, 625, 400, true, 0, 180000000};
        QTest::newRow("−210° folds") << Conversion{west, 0, 400, true, 0, 150000000};
        // Mercator: atan(sinh((centre y + centre row − y) π / d)); never fails.
        const View equator{Mercator, 800, 600, 1, 0, 0};
        QTest::newRow("mercator centre") << Conversion{equator, 400, 300, true, 0, 0};
        QTest::newRow("mercator top left") << Conversion{equator, 0, 0, true, sphereLatitude(300, kZoom1), -64000000};
        const int row = centreRowOf(53000000, 8 * kZoom1);
        QTest::newRow("mercator 53N top") << Conversion{{Mercator, 800, 600, 8, 53000000, -3000000}, 0, 0, true,
                                                        sphereLatitude(row + 300, 8 * kZoom1), -11000000};
    }

    void screenToGeo()
    {
        QFETCH(Conversion, c);
        auto p = c.view.make();
        if (c.view.kind == Mercator)
            QCOMPARE(p->getCenterRow(), centreRowOf(c.view.lat, c.view.zoom * kZoom1));
        int lat = 12345, lon = -6789;
        QCOMPARE(p->screen2Geo(c.x, c.y, lat, lon), c.ok);
        if (!c.ok) {  // the outputs left alone
            QCOMPARE(lat, 12345);
            QCOMPARE(lon, -6789);
            return;
        }
        if (c.view.kind == Equirect)
            QCOMPARE(lat, int(c.lat));
        else
            QVERIFY2(std::abs(lat - c.lat) <= 5, qPrintable(QString::number(lat - c.lat)));
        QCOMPARE(lon, c.lon);
    }

    void geoToScreen_data()
    {
        QTest::addColumn<Conversion>("c");  // x, y are the expected results
        // 160000 µ°/px: divisions truncate toward zero, nothing wraps.
        const View v{Equirect, 800, 600, 1, 0, 0};
        QTest::newRow("just west truncates") << Conversion{v, 400, 300, true, -159999, -159999};
        QTest::newRow("no wrap east") << Conversion{v, 1650, 238, true, 10000000, 200000000};  // 62.5 → 62
        QTest::newRow("beyond the pole") << Conversion{v, 400, -293, true, 95000000, 0};      // 593.75 → 593
        QTest::newRow("off centre") << Conversion{{Equirect, 800, 600, 8, 53000000, -3000000}, 600, 450, true,
                                                  50000000, 1000000};  // 200 px east, 150 px south
        // Mercator: y = trunc(300 + (d / π)(M(φ₀) − M(φ))) on the ellipsoid.
        QTest::newRow("mercator 60N zoom 1") << Conversion{{Mercator, 800, 600, 1, 0, 0}, 400, 0, true, 60000000, 0};
        QTest::newRow("mercator 40S zoom 8")
            << Conversion{{Mercator, 800, 600, 8, -45000000, 0}, 300, 0, true, -40000000, -2000000};
    }

    void geoToScreen()
    {
        QFETCH(Conversion, c);
        auto p = c.view.make();
        int x = 0, y = 0;
        QVERIFY(p->geo2Screen(int(c.lat), c.lon, x, y));
        QCOMPARE(x, c.x);
        if (c.view.kind == Equirect) {
            QCOMPARE(y, c.y);
            return;
        }
        // Within a pixel of the ellipsoid, clearly off the sphere.
        const double scale = c.view.zoom * kZoom1 / kPi;
        const double exact = 300 + scale * (ordinate(c.view.lat, 0.08181919) - ordinate(c.lat, 0.08181919));
        const double sphere = 300 + scale * (ordinate(c.view.lat, 0) - ordinate(c.lat, 0));
        QVERIFY2(std::abs(y - std::trunc(exact)) <= 1, qPrintable(QString("%1 vs %2").arg(y).arg(exact)));
        if (std::abs(sphere - exact) > 2.5)
            QVERIFY(std::abs(y - sphere) > 1.5);
    }

    void move()
    {
        // target: screen point (400 − dx, 300 − dy) of an 800 × 600 view.
        const int north = int(sphereLatitude(300, kZoom1));
        const struct { const char* name; int kind, zoom, lat0, lon0, dx, dy, lat, lon; } pans[] = {
            // zoom 3: 53333 µ°/px, truncated toward zero to 0.01°
            {"truncated", Equirect, 3, 0, 0, 1, 1, 50000, -50000},
            {"truncated negative", Equirect, 3, 0, 0, -1, -1, -50000, 50000},
            {"clamped north", Equirect, 1, 79000000, 0, 0, 20, 80000000, 0},
            {"clamped south", Equirect, 1, -79000000, 0, 0, -20, -80000000, 0},
            // map top 500 − 263 = 237: row 200 is above the pole
            {"above the pole ignored", Equirect, 1, 80000000, 5000000, 0, 100, 80000000, 5000000},
            {"longitude folds", Equirect, 1, 0, 170000000, -100, 0, 0, -174000000},
            {"mercator", Mercator, 1, 0, 0, 0, 300, north - north % 10000, 0},
            {"mercator clamped", Mercator, 1, 0, 0, 0, 1000, 80000000, 0}};
        for (const auto& pan : pans) {
            auto p = View{pan.kind, 800, 600, pan.zoom, pan.lat0, pan.lon0}.make();
            p->move(pan.dx, pan.dy);
            QVERIFY2(p->getCenterLat() == pan.lat && p->getCenterLon() == pan.lon,
                     qPrintable(QString("%1: %2, %3").arg(pan.name).arg(p->getCenterLat()).arg(p->getCenterLon())));
        }
    }

    void cacheRules()
    {
        // Three steps of uniform pressure (99000, 100000, 101000) and temperature.
        GribTestFile file;
        for (int step = 0; step < 3; ++step) {
            file.add(at(pressure(), 6 * step), 99000.0f + 1000.0f * step);
            file.add(at(temperature(), 6 * step), 280.0f + step);
        }
        auto helper = openHelper(file), other = openHelper(file);
        QVERIFY(helper && other);
        EquirectProjector p;
        p.update(64, 48, 8 * kZoom1, 59000000, 1500000);
        auto show = [&](int type, bool blend, float t) { p.setData(helper.get(), type, blend, t), renderFrame(p); };
        p.setData(helper.get(), mtPressure, false, 0.0f);
        QVERIFY(p.needsRecompute() && p.getPreviousCache().empty());
        renderFrame(p);
        p.update(64, 48, 8 * kZoom1);
        QVERIFY(!p.needsRecompute());  // same key: the values stay valid
        // Forward with interpolate: the values become the previous step's.
        const std::vector<float> step0 = p.getValueCache();
        QCOMPARE(step0[0], 99000.0f);
        QVERIFY(helper->nextCompound());
        p.setData(helper.get(), mtPressure, true, 0.25f);
        QCOMPARE(p.getBlendFactor(), 0.0f);  // a new step starts from the previous one
        show(mtPressure, true, 0.25f);
        QCOMPARE(p.getBlendFactor(), 0.25f);
        QCOMPARE(p.getValueCache()[0], 100000.0f);
        QCOMPARE(p.getPreviousCache(), step0);
        // Back: left alone.  Forward without interpolate: freed.
        QVERIFY(helper->prevCompound());
        show(mtPressure, true, 0.5f);
        QCOMPARE(p.getPreviousCache(), step0);
        QVERIFY(helper->nextCompound());
        show(mtPressure, false, 0.0f);
        QVERIFY(p.getPreviousCache().empty());
        // Another helper: kept with the same parameter; another parameter frees it.
        QVERIFY(helper->nextCompound());
        show(mtPressure, true, 0.0f);
        const std::vector<float> kept = p.getPreviousCache();
        QCOMPARE(kept.size(), size_t(64 * 48));
        QCOMPARE(kept[0], 100000.0f);  // compound 1's values
        QVERIFY(other->goCompound(2));
        p.setData(other.get(), mtPressure, true, 0.0f);
        QVERIFY(p.needsRecompute());
        QCOMPARE(p.getPreviousCache(), kept);
        renderFrame(p);
        p.setData(helper.get(), mtTemperature, true, 0.0f);
        QVERIFY(p.getPreviousCache().empty());
        // A new size resizes the value cache, the previous one only with interpolate.
        p.update(80, 60, 8 * kZoom1);
        QVERIFY(p.needsRecompute());
        QCOMPARE(p.getValueCache().size(), size_t(80 * 60));
        QCOMPARE(p.getPreviousCache().size(), size_t(80 * 60));
        p.setData(helper.get(), mtTemperature, false, 0.0f);
        p.update(70, 50, 8 * kZoom1);
        QCOMPARE(p.getValueCache().size(), size_t(70 * 50));
        QVERIFY(p.getPreviousCache().empty());
    }

    void baseMap()
    {
        // Places off the coasts (the mask follows a turn away), then coasts from seaSide to landSide µ°.
        struct Place { const char* name; int lat, lon; uint colour; bool alongRow = 0; int seaSide = 0, landSide = 0; };
        const Place places[] = {
            {"mid-Atlantic", 30000000, -40000000, kSea},
            {"Australia a turn west", -25000000, 134000000 - 360000000, kLand},
            {"Sahara two turns east", 23000000, 10000000 + 720000000, kLand},
            {"Portugal", 40000000, -8000000, 0, true, -2000000, 1000000},
            {"north coast of Spain", 43500000, -5000000, 0, false, 1000000, -1000000}};
        for (int kind : {Equirect, Mercator}) {
            for (const auto& c : places) {
                auto p = View{kind, 400, 300, 8, c.lat, c.lon}.make();  // 20000 µ°/px
                renderFrame(*p);  // before any file is open: base colours not from an unfilled lookup
                const uint before = p->lastFrame().pixel(200, 150);
                loadFieldElsewhere(*p);
                renderFrame(*p);
                const QImage& frame = p->lastFrame();
                QVERIFY2(uint(frame.pixel(200, 150)) == before, c.name);
                auto at = [&](int offset) {  // north is up
                    return uint(c.alongRow ? frame.pixel(200 + offset / 20000, 150)
                                           : frame.pixel(200, 150 - offset / 20000));
                };
                for (int offset : {0, 100000, -100000})
                    QVERIFY2(!c.colour || at(offset) == c.colour, c.name);
                int black = 0;
                for (int offset = c.seaSide; offset != c.landSide; offset += c.seaSide < c.landSide ? 20000 : -20000) {
                    QVERIFY(at(offset) == kSea || at(offset) == kLand || at(offset) == kCoast);
                    black += at(offset) == kCoast;
                }
                QVERIFY2(c.colour || (at(c.seaSide) == kSea && at(c.landSide) == kLand && black >= 1), c.name);
                // A coastline lies between sea and land: no sea pixel touches land.
                for (int y = 1; y + 1 < 300; ++y)
                    for (int x = 1; x + 1 < 400; ++x)
                        if (frame.pixel(x, y) == kSea)
                            for (const QPoint& n : {QPoint(x - 1, y), QPoint(x + 1, y), QPoint(x, y - 1),
                                                    QPoint(x, y + 1)})
                                QVERIFY(frame.pixel(n) != kLand);
            }
        }
    }

    void degenerateViews()
    {
        // Sizes and diameters the map widget never gives must not crash.
        GribTestFile file;
        auto helper = warmEarth(file);
        QVERIFY(helper);
        for (int kind : {Equirect, Mercator}) {
            auto p = makeProjector(kind);
            p->setData(helper.get(), mtTemperature, false, 0.0f);
            for (const QSize& size : {QSize(0, 0), QSize(1, 1), QSize(-5, 10), QSize(3000, 20)})
                for (int d : {0, 1, 7, kZoom1}) {
                    p->update(size.width(), size.height(), d, 89990000, 179990000);
                    p->update(true);
                    QVERIFY(p->getDiameter() >= 1);
                    if (!size.isEmpty())
                        renderFrame(*p);
                    p->move(size.width(), -size.height());
                }
        }
    }

    void mercatorCentredOnThePole()
    {
        // goTo does not clamp: latitude must still fall from top to bottom row.
        for (int pole : {90000000, -90000000}) {
            MercatorProjector p;
            p.update(300, 200, kZoom1);
            p.goTo(pole, 0);
            int top = 0, bottom = 0, centre = 0, lon = 0;
            p.screen2Geo(10, 0, top, lon);
            p.screen2Geo(10, 100, centre, lon);
            p.screen2Geo(10, 199, bottom, lon);
            QVERIFY2(top > bottom, qPrintable(QString("%1 above %2").arg(top).arg(bottom)));
            QVERIFY(pole > 0 ? centre > 80000000 : centre < -80000000);
        }
    }
};

QTEST_MAIN(TestProjection)
#include "tst_projection.moc"
