// The two map projections: conversions both ways, the derived view fields,
// navigation, the cache rules of a view and the base map drawn from the
// real land masks.
#include "renderfixtures.h"

#include <cmath>

using namespace renderfixtures;
using namespace modelfixtures;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kZoom1 = 1125;  // pixels per 180° at zoom 1
constexpr uint kSea = GeoProjector::kSeaColour;
constexpr uint kLand = GeoProjector::kLandColour;
constexpr uint kCoast = GeoProjector::kCoastColour;

enum Kind { Equirect, Mercator };

std::unique_ptr<GeoProjector> makeProjector(int kind)
{
    if (kind == Mercator)
        return std::make_unique<MercatorProjector>();
    return std::make_unique<EquirectProjector>();
}

// A view: projection, frame size, zoom and centre (µ°).
struct View {
    int kind, width, height, zoom, lat, lon;
    std::unique_ptr<GeoProjector> make() const
    {
        auto p = makeProjector(kind);
        p->update(width, height, zoom * kZoom1, lat, lon);
        return p;
    }
};

// Latitude on the sphere of the Mercator ordinate `pixels` above the
// equator, in µ°, in double precision.
double sphereLatitude(double pixels, int diameter)
{
    return std::atan(std::sinh(pixels * kPi / diameter)) * 180.0 / kPi * 1e6;
}

// The Mercator ordinate of a latitude in radians, on the sphere or on the
// ellipsoid of e = 0.08181919.
double ordinate(double latMicro, double e)
{
    const double s = std::sin(latMicro * 1e-6 * kPi / 180.0);
    return 0.5 * std::log((1 + s) / (1 - s)) - e * 0.5 * std::log((1 + e * s) / (1 - e * s));
}

int centreRowOf(int latMicro, int diameter) { return int(ordinate(latMicro, 0) * diameter / kPi); }

// A row's latitude as the projection defines it, in µ°.
double rowLatitude(const GeoProjector& p, int kind, int y)
{
    if (kind == Equirect)
        return double(p.getCenterY() - y) * p.getScale() + p.getCenterLat();
    return sphereLatitude(p.getCenterY() + p.getCenterRow() - y, p.getDiameter());
}

// p at 10° steps over the whole earth, 90°N..90°S, 180°W..180°E.
GRIB_WRITE_PARAMS wholeEarth(GRIB_WRITE_PARAMS p)
{
    p.ni = 37;
    p.nj = 19;
    p.lat1 = 90000;
    p.lat2 = -90000;
    p.lon1 = -180000;
    p.lon2 = 180000;
    p.di = p.dj = 10000;
    return p;
}

struct Conversion {
    View view;
    int x, y;
    bool ok;
    double lat;
    int lon;
};

struct Pan {
    View view;
    int dx, dy, lat, lon;
};

}  // namespace

Q_DECLARE_METATYPE(Conversion)
Q_DECLARE_METATYPE(Pan)

class TestProjection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void derivedFields_data();
    void derivedFields();
    void screenToGeo_data();
    void screenToGeo();
    void geoToScreen_data();
    void geoToScreen();
    void mercatorRoundTripIsNotExact();
    void goToTruncates();
    void move_data();
    void move();
    void cacheRules();
    void baseMapWithoutData();
    void baseMapColours_data();
    void baseMapColours();
    void coastlinesAreBlack_data();
    void coastlinesAreBlack();
    void seaBandsBeyondEightyDegrees_data();
    void seaBandsBeyondEightyDegrees();
    void degenerateViews();
    void mercatorCentredOnThePole();

private:
    // A field far off every view that the base-map tests look at.
    void loadFieldElsewhere(GeoProjector& p) { p.setData(elsewhereHelper.get(), mtPressure, false, 0.0f); }

    std::unique_ptr<ScratchHome> home;
    GribTestFile elsewhere;
    std::unique_ptr<GribFileHelper> elsewhereHelper;
};

void TestProjection::initTestCase()
{
    home = std::make_unique<ScratchHome>();
    GRIB_WRITE_PARAMS p = pressure();  // 4 × 3 at 1° from 60°S 120°W
    p.lat1 = -60000;
    p.lat2 = -62000;
    p.lon1 = -120000;
    p.lon2 = -117000;
    elsewhere.add(p, 101000.0f);
    elsewhereHelper = openHelper(elsewhere);
    QVERIFY(elsewhereHelper);
}

void TestProjection::derivedFields_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("cityThreshold");
    // scale = 180000000 / (zoom × 1125); threshold = 2000000 / zoom.
    QTest::newRow("zoom 1") << 1 << 160000 << 2000000;
    QTest::newRow("zoom 2") << 2 << 80000 << 1000000;
    QTest::newRow("zoom 3") << 3 << 53333 << 666666;
    QTest::newRow("zoom 8") << 8 << 20000 << 250000;
    QTest::newRow("zoom 64") << 64 << 2500 << 31250;
}

void TestProjection::derivedFields()
{
    QFETCH(int, zoom);
    QFETCH(int, scale);
    QFETCH(int, cityThreshold);
    for (int kind : {Equirect, Mercator}) {
        auto p = makeProjector(kind);
        // A fresh projector is centred on the home position, 53°N 3°W.
        QCOMPARE(p->getCenterLat(), 53000000);
        QCOMPARE(p->getCenterLon(), -3000000);
        p->update(801, 599, zoom * kZoom1, -12340000, 45000000);
        QCOMPARE(p->getCenterX(), 400);
        QCOMPARE(p->getCenterY(), 299);
        QCOMPARE(p->getScale(), scale);
        QCOMPARE(p->getCityThreshold(), cityThreshold);
        const double rpp = kPi / (zoom * kZoom1);
        QVERIFY(std::abs(p->getRadiansPerPixel() - rpp) < 1e-6 * rpp);
        QVERIFY(std::abs(p->getCenterLatRad() - (-12.34 * kPi / 180.0)) < 1e-6);
    }
}

void TestProjection::screenToGeo_data()
{
    QTest::addColumn<Conversion>("c");
    // 1000 × 800, zoom 2 (80000 µ°/px), centre 80°N 10°E at (500, 400):
    // centre row 80e6 / 80000 = 1000, map top 1000 + ((800 − 2250) >> 1) =
    // 275, map bottom 2525.
    const View polar{Equirect, 1000, 800, 2, 80000000, 10000000};
    QTest::newRow("centre") << Conversion{polar, 500, 400, true, 80000000, 10000000};
    QTest::newRow("top map row") << Conversion{polar, 0, 275, true, 90000000, -30000000};
    QTest::newRow("above the pole") << Conversion{polar, 0, 274, false, 0, 0};
    QTest::newRow("bottom corner") << Conversion{polar, 999, 799, true, 48080000, 49920000};
    QTest::newRow("last map row") << Conversion{polar, 0, 2524, true, -89920000, -30000000};
    QTest::newRow("below the south pole") << Conversion{polar, 0, 2525, false, 0, 0};
    // Longitudes fold once into [−180°, 180°].
    const View east{Equirect, 1000, 800, 2, 0, 170000000};
    const View west{Equirect, 1000, 800, 2, 0, -170000000};
    QTest::newRow("186° folds") << Conversion{east, 700, 400, true, 0, -174000000};
    QTest::newRow("180° stays") << Conversion{east, 625, 400, true, 0, 180000000};
    QTest::newRow("−180° stays") << Conversion{west, 375, 400, true, 0, -180000000};
    QTest::newRow("−210° folds") << Conversion{west, 0, 400, true, 0, 150000000};
    // Mercator: the row's latitude is atan(sinh((centre y + centre row − y)
    // × π / d)) on the sphere; it never fails.
    const View equator{Mercator, 800, 600, 1, 0, 0};
    QTest::newRow("mercator centre") << Conversion{equator, 400, 300, true, 0, 0};
    QTest::newRow("mercator top left") << Conversion{equator, 0, 0, true, sphereLatitude(300, kZoom1), -64000000};
    QTest::newRow("mercator far above")
        << Conversion{equator, 799, -1000, true, sphereLatitude(1300, kZoom1), 63840000};
    const View home{Mercator, 800, 600, 8, 53000000, -3000000};
    const int row = centreRowOf(53000000, 8 * kZoom1);  // asinh(tan 53°) in pixels
    QTest::newRow("mercator 53N centre")
        << Conversion{home, 400, 300, true, sphereLatitude(row, 8 * kZoom1), -3000000};
    QTest::newRow("mercator 53N top") << Conversion{home, 0, 0, true, sphereLatitude(row + 300, 8 * kZoom1), -11000000};
}

void TestProjection::screenToGeo()
{
    QFETCH(Conversion, c);
    auto p = c.view.make();
    if (c.view.kind == Mercator)
        QCOMPARE(p->getCenterRow(), centreRowOf(c.view.lat, c.view.zoom * kZoom1));
    int lat = 12345;
    int lon = -6789;
    QCOMPARE(p->screen2Geo(c.x, c.y, lat, lon), c.ok);
    if (!c.ok) {
        // A failed conversion leaves the outputs alone.
        QCOMPARE(lat, 12345);
        QCOMPARE(lon, -6789);
        return;
    }
    // The sphere in single precision lands a few µ° off the double one.
    if (c.view.kind == Equirect)
        QCOMPARE(lat, int(c.lat));
    else
        QVERIFY2(std::abs(lat - c.lat) <= 5, qPrintable(QString::number(lat - c.lat)));
    QCOMPARE(lon, c.lon);
}

void TestProjection::geoToScreen_data()
{
    QTest::addColumn<Conversion>("c");  // x, y are the expected results
    // 800 × 600, centre (400, 300), 160000 µ°/px: divisions truncate toward
    // zero and nothing wraps.
    const View v{Equirect, 800, 600, 1, 0, 0};
    QTest::newRow("centre") << Conversion{v, 400, 300, true, 0, 0};
    QTest::newRow("just west truncates") << Conversion{v, 400, 300, true, -159999, -159999};
    QTest::newRow("one pixel west") << Conversion{v, 399, 300, true, 0, -160000};
    QTest::newRow("no wrap east") << Conversion{v, 1650, 238, true, 10000000, 200000000};  // 62.5 → 62
    QTest::newRow("beyond the pole") << Conversion{v, 400, -293, true, 95000000, 0};      // 593.75 → 593
    QTest::newRow("off centre") << Conversion{{Equirect, 800, 600, 8, 53000000, -3000000}, 600, 450, true,
                                              50000000, 1000000};  // 200 px east, 150 px south
    // Mercator: y = trunc(300 + (d / π)(M(φ₀) − M(φ))) on the ellipsoid,
    // computed in geoToScreen().
    QTest::newRow("mercator 60N zoom 1") << Conversion{{Mercator, 800, 600, 1, 0, 0}, 400, 0, true, 60000000, 0};
    QTest::newRow("mercator 60N zoom 8")
        << Conversion{{Mercator, 800, 600, 8, 53000000, 0}, 450, 0, true, 60000000, 1000000};
    QTest::newRow("mercator 40S zoom 8")
        << Conversion{{Mercator, 800, 600, 8, -45000000, 0}, 300, 0, true, -40000000, -2000000};
}

void TestProjection::geoToScreen()
{
    QFETCH(Conversion, c);
    auto p = c.view.make();
    int x = 0;
    int y = 0;
    QVERIFY(p->geo2Screen(int(c.lat), c.lon, x, y));
    QCOMPARE(x, c.x);
    if (c.view.kind == Equirect) {
        QCOMPARE(y, c.y);
        return;
    }
    // Single precision may land a pixel off the double computation; the
    // sphere would be 2 (zoom 1) to 16 (zoom 8) pixels away at 60°N.
    const double scale = c.view.zoom * kZoom1 / kPi;
    const double exact = 300 + scale * (ordinate(c.view.lat, 0.08181919) - ordinate(c.lat, 0.08181919));
    const double sphere = 300 + scale * (ordinate(c.view.lat, 0) - ordinate(c.lat, 0));
    QVERIFY2(std::abs(y - std::trunc(exact)) <= 1, qPrintable(QString("%1 vs %2").arg(y).arg(exact)));
    if (std::abs(sphere - exact) > 2.5)
        QVERIFY(std::abs(y - sphere) > 1.5);
}

void TestProjection::mercatorRoundTripIsNotExact()
{
    MercatorProjector p;
    p.update(800, 600, 8 * kZoom1, 0, 0);
    int x = 0, y = 0, lat = 0, lon = 0;
    p.geo2Screen(70000000, 1000000, x, y);
    QVERIFY(p.screen2Geo(x, y, lat, lon));
    QCOMPARE(lon, 1000000);
    // Ellipsoid forward, sphere back: about 18 rows of 0.0068° apart at
    // 70°N, well beyond the one row truncation could explain.
    QVERIFY2(std::abs(lat - 70000000) > 50000, qPrintable(QString::number(lat)));
    QVERIFY(std::abs(lat - 70000000) < 500000);
    QVERIFY(std::abs(lat - sphereLatitude(300 - y, 8 * kZoom1)) <= 5);
}

void TestProjection::goToTruncates()
{
    for (int kind : {Equirect, Mercator}) {
        auto p = View{kind, 400, 300, 8, 0, 0}.make();
        p->goTo(51123456, -1239999);
        QCOMPARE(p->getCenterLat(), 51120000);
        QCOMPARE(p->getCenterLon(), -1230000);
        p->goTo(-51129999, 1239999);
        QCOMPARE(p->getCenterLat(), -51120000);
        QCOMPARE(p->getCenterLon(), 1230000);
        QVERIFY(std::abs(p->getCenterLatRad() - (-51.12 * kPi / 180)) < 1e-6);
        p->goTo(9999, -9999);
        QCOMPARE(p->getCenterLat(), 0);
        QCOMPARE(p->getCenterLon(), 0);
    }
}

void TestProjection::move_data()
{
    QTest::addColumn<Pan>("pan");
    // 800 × 600: the target is screen point (400 − dx, 300 − dy).
    auto at = [](int kind, int zoom, int lat, int lon) { return View{kind, 800, 600, zoom, lat, lon}; };
    QTest::newRow("plain") << Pan{at(Equirect, 1, 0, 0), 10, 20, 3200000, -1600000};
    // zoom 3: 53333 µ°/px, truncated toward zero to 0.01°.
    QTest::newRow("truncated") << Pan{at(Equirect, 3, 0, 0), 1, 1, 50000, -50000};
    QTest::newRow("truncated negative") << Pan{at(Equirect, 3, 0, 0), -1, -1, -50000, 50000};
    QTest::newRow("clamped north") << Pan{at(Equirect, 1, 79000000, 0), 0, 20, 80000000, 0};
    QTest::newRow("clamped south") << Pan{at(Equirect, 1, -79000000, 0), 0, -20, -80000000, 0};
    // Centre row 500, map top 500 − 263 = 237: row 200 is above the pole.
    QTest::newRow("above the pole ignored") << Pan{at(Equirect, 1, 80000000, 5000000), 0, 100, 80000000, 5000000};
    QTest::newRow("longitude folds") << Pan{at(Equirect, 1, 0, 170000000), -100, 0, 0, -174000000};
    const int north = int(sphereLatitude(300, kZoom1));  // row 0 on the equator-centred map
    QTest::newRow("mercator") << Pan{at(Mercator, 1, 0, 0), 0, 300, north - north % 10000, 0};
    QTest::newRow("mercator clamped") << Pan{at(Mercator, 1, 0, 0), 0, 1000, 80000000, 0};
    QTest::newRow("mercator clamped south") << Pan{at(Mercator, 1, 0, 0), 0, -1000, -80000000, 0};
}

void TestProjection::move()
{
    QFETCH(Pan, pan);
    auto p = pan.view.make();
    p->move(pan.dx, pan.dy);
    QCOMPARE(p->getCenterLat(), pan.lat);
    QCOMPARE(p->getCenterLon(), pan.lon);
}

void TestProjection::cacheRules()
{
    // Three steps of uniform pressure (99000, 100000, 101000) and
    // temperature on a 4 × 3 grid at 60°N 0°.
    GribTestFile file;
    for (int step = 0; step < 3; ++step) {
        file.add(at(pressure(), 6 * step), 99000.0f + 1000.0f * step);
        file.add(at(temperature(), 6 * step), 280.0f + step);
    }
    auto helper = openHelper(file);
    auto other = openHelper(file);
    QVERIFY(helper && other);
    const size_t size = 64 * 48;
    EquirectProjector p;
    p.update(64, 48, 8 * kZoom1, 59000000, 1500000);
    auto show = [&](GribFileHelper* h, int type, bool interpolate, float t) {
        p.setData(h, type, interpolate, t);
        renderFrame(p);
    };
    p.setData(helper.get(), mtPressure, false, 0.0f);
    QVERIFY(p.needsRecompute());
    QCOMPARE(p.getValueCache().size(), size);
    QVERIFY(p.getPreviousCache().empty());
    renderFrame(p);
    QVERIFY(!p.needsRecompute());
    QCOMPARE(p.getValueCache()[0], 99000.0f);
    p.update(64, 48, 8 * kZoom1);
    QVERIFY(!p.needsRecompute());  // same key: the values stay valid

    // Forward with interpolate: the values become the previous step's, and
    // the blend starts again from it.
    const std::vector<float> step0 = p.getValueCache();
    QVERIFY(helper->nextCompound());
    p.setData(helper.get(), mtPressure, true, 0.25f);
    QVERIFY(p.needsRecompute());
    QCOMPARE(p.getPreviousCache(), step0);
    QCOMPARE(p.getBlendFactor(), 0.0f);
    show(helper.get(), mtPressure, true, 0.25f);
    QCOMPARE(p.getBlendFactor(), 0.25f);
    QCOMPARE(p.getValueCache()[0], 100000.0f);
    QCOMPARE(p.getPreviousCache(), step0);
    // Back: left alone.  Forward without interpolate: freed.
    QVERIFY(helper->prevCompound());
    show(helper.get(), mtPressure, true, 0.5f);
    QCOMPARE(p.getPreviousCache(), step0);
    QVERIFY(helper->nextCompound());
    show(helper.get(), mtPressure, false, 0.0f);
    QVERIFY(p.getPreviousCache().empty());
    // Forward with interpolate, then another parameter: freed.
    QVERIFY(helper->nextCompound());
    show(helper.get(), mtPressure, true, 0.0f);
    QCOMPARE(p.getPreviousCache().size(), size);
    show(helper.get(), mtTemperature, true, 0.0f);
    QVERIFY(p.getPreviousCache().empty());

    // Another helper: kept with the same parameter, freed with another.
    QVERIFY(helper->goCompound(1));
    show(helper.get(), mtPressure, true, 0.0f);
    QVERIFY(helper->goCompound(2));
    show(helper.get(), mtPressure, true, 0.0f);
    const std::vector<float> kept = p.getPreviousCache();
    QCOMPARE(kept.size(), size);
    QCOMPARE(kept[0], 100000.0f);  // compound 1's values
    QVERIFY(other->goCompound(2));
    p.setData(other.get(), mtPressure, true, 0.0f);
    QVERIFY(p.needsRecompute());
    QCOMPARE(p.getPreviousCache(), kept);
    renderFrame(p);
    p.setData(helper.get(), mtTemperature, true, 0.0f);
    QVERIFY(p.getPreviousCache().empty());

    // A new size resizes the value cache, and the previous one only with
    // interpolate.
    p.update(80, 60, 8 * kZoom1);
    QVERIFY(p.needsRecompute());
    QCOMPARE(p.getValueCache().size(), size_t(80 * 60));
    QCOMPARE(p.getPreviousCache().size(), size_t(80 * 60));
    p.setData(helper.get(), mtTemperature, false, 0.0f);
    p.update(70, 50, 8 * kZoom1);
    QCOMPARE(p.getValueCache().size(), size_t(70 * 50));
    QVERIFY(p.getPreviousCache().empty());
}

void TestProjection::baseMapWithoutData()
{
    // Before any file is open the map shows land and sea: the base colours
    // must not come from a colour lookup that was never filled.
    for (int kind : {Equirect, Mercator}) {
        auto p = View{kind, 101, 81, 8, 23000000, 10000000}.make();  // Sahara
        renderFrame(*p);
        QCOMPARE(uint(p->lastFrame().pixel(50, 40)), kLand);
        p->update(101, 81, 8 * kZoom1, 30000000, -40000000);  // mid-Atlantic
        renderFrame(*p);
        QCOMPARE(uint(p->lastFrame().pixel(50, 40)), kSea);
    }
}

void TestProjection::baseMapColours_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("lat");
    QTest::addColumn<int>("lon");
    QTest::addColumn<uint>("colour");
    for (int kind : {Equirect, Mercator}) {
        const QByteArray name = kind == Equirect ? "equirect " : "mercator ";
        QTest::newRow(name + "mid-Atlantic") << kind << 30000000 << -40000000 << kSea;
        QTest::newRow(name + "Sahara") << kind << 23000000 << 10000000 << kLand;
        QTest::newRow(name + "Siberia") << kind << 65000000 << 100000000 << kLand;
        QTest::newRow(name + "Brazil") << kind << -10000000 << -50000000 << kLand;
        QTest::newRow(name + "central Pacific") << kind << 0 << -150000000 << kSea;
        QTest::newRow(name + "Australia") << kind << -25000000 << 134000000 << kLand;
        // The same places a turn or two away: the mask column follows.
        QTest::newRow(name + "Australia a turn west") << kind << -25000000 << 134000000 - 360000000 << kLand;
        QTest::newRow(name + "Sahara two turns east") << kind << 23000000 << 10000000 + 720000000 << kLand;
    }
}

void TestProjection::baseMapColours()
{
    QFETCH(int, kind);
    QFETCH(int, lat);
    QFETCH(int, lon);
    QFETCH(uint, colour);
    auto p = makeProjector(kind);
    loadFieldElsewhere(*p);
    p->update(101, 81, 8 * kZoom1, lat, lon);
    renderFrame(*p);
    const QImage& frame = p->lastFrame();
    QCOMPARE(frame.size(), QSize(101, 81));
    QCOMPARE(frame.format(), QImage::Format_RGB32);
    // Away from the coasts the neighbourhood is all one colour.
    for (const QPoint& at : {QPoint(50, 40), QPoint(45, 35), QPoint(55, 45)})
        QCOMPARE(uint(frame.pixel(at)), colour);
}

void TestProjection::coastlinesAreBlack_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("alongRow");
    QTest::addColumn<int>("lat");
    QTest::addColumn<int>("lon");
    QTest::addColumn<int>("seaSide");  // µ° from the centre, across the coast
    QTest::addColumn<int>("landSide");
    for (int kind : {Equirect, Mercator}) {
        const QByteArray name = kind == Equirect ? "equirect " : "mercator ";
        // West coast of Portugal near 40°N (about 8.9°W), along the row.
        QTest::newRow(name + "Portugal") << kind << true << 40000000 << -8000000 << -2000000 << 1000000;
        // North coast of Spain near 5°W (about 43.4°N), down the column.
        QTest::newRow(name + "Biscay") << kind << false << 43500000 << -5000000 << 1000000 << -1000000;
        // Somalia near 5°N, land to the west of the coast.
        QTest::newRow(name + "Somalia") << kind << true << 5000000 << 48000000 << 2000000 << -2000000;
    }
}

void TestProjection::coastlinesAreBlack()
{
    QFETCH(int, kind);
    QFETCH(bool, alongRow);
    QFETCH(int, lat);
    QFETCH(int, lon);
    QFETCH(int, seaSide);
    QFETCH(int, landSide);
    auto p = makeProjector(kind);
    loadFieldElsewhere(*p);
    p->update(400, 300, 8 * kZoom1, lat, lon);  // 20000 µ°/px
    renderFrame(*p);
    const QImage& frame = p->lastFrame();
    auto at = [&](int offset) {  // north is up
        return uint(alongRow ? frame.pixel(200 + offset / 20000, 150) : frame.pixel(200, 150 - offset / 20000));
    };
    QCOMPARE(at(seaSide), kSea);
    QCOMPARE(at(landSide), kLand);
    int black = 0;
    for (int offset = seaSide; offset != landSide; offset += seaSide < landSide ? 20000 : -20000) {
        QVERIFY(at(offset) == kSea || at(offset) == kLand || at(offset) == kCoast);
        black += at(offset) == kCoast;
    }
    QVERIFY(black >= 1);
    // A coastline lies between sea and land: no sea pixel touches land.
    for (int y = 1; y + 1 < 300; ++y)
        for (int x = 1; x + 1 < 400; ++x)
            if (frame.pixel(x, y) == kSea)
                for (const QPoint& n : {QPoint(x - 1, y), QPoint(x + 1, y), QPoint(x, y - 1), QPoint(x, y + 1)})
                    QVERIFY(frame.pixel(n) != kLand);
}

void TestProjection::seaBandsBeyondEightyDegrees_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("centreLat");
    // Equirect on the equator at zoom 1: rows 0..200 and 1200.. lie beyond
    // ±80° (500 rows of 0.16°); Mercator centred at 60°N: the top ~300.
    QTest::newRow("equirect") << int(Equirect) << 0;
    QTest::newRow("mercator") << int(Mercator) << 60000000;
}

void TestProjection::seaBandsBeyondEightyDegrees()
{
    QFETCH(int, kind);
    QFETCH(int, centreLat);
    // 300 K over the whole earth: 27 °C, the opaque band of 25 °C.
    GribTestFile file;
    file.add(wholeEarth(temperature()), 300.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    const int w = 300;
    const int h = 1400;
    auto p = View{kind, w, h, 1, centreLat, -40000000}.make();  // Greenland and Antarctica in view
    p->setData(helper.get(), mtTemperature, false, 0.0f);
    QVERIFY(p->getMessage());
    renderFrame(*p);
    const QImage& frame = p->lastFrame();
    const QRgb weather = qRgb(138, 79, 76);
    int drawn = 0, beyond = 0, index = 0;
    const std::vector<float>& cache = p->getValueCache();
    QCOMPARE(cache.size(), size_t(w * h));
    for (int y = 0; y < h; ++y) {
        const double lat = rowLatitude(*p, kind, y);
        if (kind == Mercator && std::abs(std::abs(lat) - 80e6) < 1000)
            QSKIP("a row too close to 80° to call in double precision");
        const bool band = std::abs(lat) > 79999999.0;
        (band ? beyond : drawn) += 1;
        for (int x = 0; x < w; ++x) {
            const QRgb c = frame.pixel(x, y);
            if (band) {
                QCOMPARE(uint(c), kSea);
                continue;
            }
            QVERIFY(c == weather || c == kCoast);
            // Skipped rows do not advance the pixel index: the drawn rows
            // fill the start of the value cache (coast pixels keep none).
            if (c == weather)
                QCOMPARE(cache[size_t(index)], 300.0f);
            ++index;
        }
    }
    QVERIFY(beyond > 150 && drawn > 500);
    for (size_t i = size_t(index); i < cache.size(); ++i)
        QCOMPARE(cache[i], 0.0f);
}

void TestProjection::degenerateViews()
{
    // Sizes and diameters the map widget never gives must not crash.
    GribTestFile file;
    file.add(wholeEarth(temperature()), 300.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    for (int kind : {Equirect, Mercator}) {
        auto p = makeProjector(kind);
        p->setData(helper.get(), mtTemperature, false, 0.0f);
        for (const QSize& size : {QSize(0, 0), QSize(1, 1), QSize(-5, 10), QSize(3000, 20)}) {
            for (int d : {0, 1, 7, kZoom1}) {
                p->update(size.width(), size.height(), d, 89990000, 179990000);
                p->update(true);
                QVERIFY(p->getDiameter() >= 1);
                if (size.width() > 0 && size.height() > 0)
                    renderFrame(*p);
                p->move(size.width(), -size.height());
            }
        }
    }
}

void TestProjection::mercatorCentredOnThePole()
{
    // goTo does not clamp: a view centred on a pole must still have the
    // latitude falling from the top row to the bottom one, without the
    // infinite ordinate of the pole overflowing the row arithmetic.
    for (int pole : {90000000, -90000000}) {
        MercatorProjector p;
        p.update(300, 200, kZoom1);
        p.goTo(pole, 0);
        int top = 0, bottom = 0, centre = 0, lon = 0;
        p.screen2Geo(10, 0, top, lon);
        p.screen2Geo(10, 100, centre, lon);
        p.screen2Geo(10, 199, bottom, lon);
        QVERIFY2(top > bottom, qPrintable(QString("%1 above %2").arg(top).arg(bottom)));
        // The centre stays in the pole's hemisphere.
        QVERIFY(pole > 0 ? centre > 80000000 : centre < -80000000);
    }
}

QTEST_MAIN(TestProjection)
#include "tst_projection.moc"
