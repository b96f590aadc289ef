// The land fill: hand-made polygons checked pixel by pixel at the centres
// the viewer's arithmetic gives, rings across ±180° and round a pole, and
// the generated masks against Natural Earth's polygons they come from.
#include <QtTest>

#include <cmath>

#include "LandMaskImage.h"
#include "LandRasteriser.h"
#include "SharedData.h"
#include "TopoJsonLand.h"

namespace {

LandPolygon polygonOf(std::vector<GeoRing> rings)
{
    LandPolygon polygon;
    for (GeoRing& ring : rings)
        unwrapRing(ring);
    polygon.rings = std::move(rings);
    polygon.minLon = 1e9;
    polygon.maxLon = -1e9;
    for (const GeoRing& ring : polygon.rings) {
        for (const GeoPoint& point : ring) {
            polygon.minLon = std::min(polygon.minLon, point.lon);
            polygon.maxLon = std::max(polygon.maxLon, point.lon);
        }
    }
    return polygon;
}

GeoRing box(double west, double south, double east, double north)
{
    return {{west, south}, {east, south}, {east, north}, {west, north}};
}

// Set pixels of a mask, one row at a time.
long long countSet(const QImage& mask, int firstRow = 0, int endRow = LandMaskImage::kHeight)
{
    long long count = 0;
    for (int row = firstRow; row < endRow; ++row) {
        const uchar* line = mask.constScanLine(row);
        for (int b = 0; b < LandMaskImage::kWidth / 8; ++b)
            count += __builtin_popcount(line[b]);
    }
    return count;
}

// Area in square degrees of the part of a ring between two latitudes:
// clipped against each latitude line, then the shoelace formula.
GeoRing clipAtLatitude(const GeoRing& ring, double lat, bool keepBelow)
{
    GeoRing out;
    auto inside = [&](const GeoPoint& p) { return keepBelow ? p.lat <= lat : p.lat >= lat; };
    for (size_t k = 0; k < ring.size(); ++k) {
        const GeoPoint& a = ring[k];
        const GeoPoint& b = ring[(k + 1) % ring.size()];
        if (inside(a))
            out.push_back(a);
        if (inside(a) != inside(b)) {
            const double t = (lat - a.lat) / (b.lat - a.lat);
            out.push_back({a.lon + t * (b.lon - a.lon), lat});
        }
    }
    return out;
}

double bandArea(const GeoRing& ring, double south, double north)
{
    const GeoRing clipped = clipAtLatitude(clipAtLatitude(ring, north, true), south, false);
    double twice = 0;
    for (size_t k = 0; k < clipped.size(); ++k) {
        const GeoPoint& a = clipped[k];
        const GeoPoint& b = clipped[(k + 1) % clipped.size()];
        twice += a.lon * b.lat - b.lon * a.lat;
    }
    return std::fabs(twice) / 2;
}

}  // namespace

class TestLandMask : public QObject {
    Q_OBJECT

private slots:
    void squareFillsItsPixels()
    {
        QImage western, eastern;
        LandRasteriser::rasterise({polygonOf({box(0, 0, 0.1, 0.1)})}, western, eastern);
        // Centres 0.005° to 0.095°: columns 0 to 9, rows 7990 to 7999.
        QCOMPARE(countSet(eastern), 100LL);
        QCOMPARE(countSet(western), 0LL);
        QVERIFY(LandMaskImage::isSet(eastern, 0, 7999) && LandMaskImage::isSet(eastern, 9, 7990));
        QVERIFY(!LandMaskImage::isSet(eastern, 10, 7995) && !LandMaskImage::isSet(eastern, 5, 7989)
                && !LandMaskImage::isSet(eastern, 5, 8000));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(eastern.constScanLine(7995)), 2), QByteArray("\xFF\xC0"));
    }

    void squareAcrossDateLine()
    {
        QImage western, eastern;
        LandRasteriser::rasterise({polygonOf({{{179.95, 10}, {-179.95, 10}, {-179.95, 10.1}, {179.95, 10.1}}})},
                                  western, eastern);
        // Eastern centres 179.955° to 179.995°: columns 17995 to 17999.
        // Western centres -180.005° (column 0) to -179.955° (column 5).
        QCOMPARE(countSet(eastern), 50LL);
        QCOMPARE(countSet(western), 60LL);
        for (int row = 6990; row < 7000; ++row) {
            QVERIFY(LandMaskImage::isSet(eastern, 17995, row) && LandMaskImage::isSet(eastern, 17999, row));
            QVERIFY(LandMaskImage::isSet(western, 0, row) && LandMaskImage::isSet(western, 5, row));
            QVERIFY(!LandMaskImage::isSet(eastern, 17994, row) && !LandMaskImage::isSet(western, 6, row));
        }
    }

    void holesAndOverlaps()
    {
        QImage western, eastern;
        LandRasteriser::rasterise({polygonOf({box(20, 20, 21, 21), box(20.2, 20.2, 20.8, 20.8)}),
                                   polygonOf({box(-11, 40, -9, 41)}), polygonOf({box(-10, 40, -8, 41)})},
                                  western, eastern);
        // 100 x 100 pixels less the 60 x 60 hole.
        QCOMPARE(countSet(eastern), 10000LL - 3600LL);
        QTemporaryDir dir;
        QVERIFY(LandMaskImage::write(western, dir.filePath("Skyvane.00")));
        QVERIFY(LandMaskImage::write(eastern, dir.filePath("Skyvane.01")));
        const SharedData data(dir.path());
        QVERIFY(data.isLand(20100000, 20100000) && !data.isLand(20500000, 20500000));  // the hole
        // Overlapping polygons unite: their common part stays land.
        QVERIFY(data.isLand(40500000, -9500000) && data.isLand(40500000, -10500000) && data.isLand(40500000, -8500000));
        QCOMPARE(countSet(western), 300LL * 100LL);
    }

    void ringRoundSouthPole()
    {
        QImage western, eastern;
        LandRasteriser::rasterise({polygonOf({{{-170, -70}, {-60, -70}, {60, -70}, {170, -70}}})}, western, eastern);
        // Everything south of 70° S down to the masks' edge at 80° S.
        const int firstRow = 15000;  // centre -70.005°
        QCOMPARE(countSet(western, 0, firstRow) + countSet(eastern, 0, firstRow), 0LL);
        QCOMPARE(countSet(western, firstRow), 1000LL * 18000);
        QCOMPARE(countSet(eastern, firstRow), 1000LL * 18000);
    }

    void malformedTopology()
    {
        QTemporaryDir dir;
        const QByteArray documents[] = {
            "not json",
            R"({"type":"FeatureCollection","features":[]})",
            R"({"type":"Topology","arcs":[[[0,0],[1]]],"objects":{"land":{"type":"Polygon","arcs":[[0]]}}})",
            R"({"type":"Topology","arcs":[[[0,0],[1,0],[1,1]]],"objects":{"land":{"type":"Polygon","arcs":[[5]]}}})",
        };
        for (const QByteArray& document : documents) {
            QFile file(dir.filePath("t.json"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(document);
            file.close();
            std::vector<LandPolygon> polygons;
            QString error;
            QVERIFY2(!readTopoJsonLand(file.fileName(), QStringLiteral("land"), polygons, &error), document);
            QVERIFY(!error.isEmpty());
        }
        std::vector<LandPolygon> polygons;
        QString error;
        QVERIFY(!readTopoJsonLand(dir.filePath("missing.json"), QString(), polygons, &error));
    }

    // Counted in pixels against the shoelace area of the same polygons between
    // 80° S and 80° N: both measure area in plain degrees.
    void landFractionMatchesPolygons()
    {
        QString error;
        std::vector<LandPolygon> source;
        QVERIFY2(readTopoJsonLand(QStringLiteral(SKYVANE_LAND_TOPOLOGY), QStringLiteral("land"), source, &error),
                 qPrintable(error));
        QVERIFY(source.size() > 4000);
        double area = 0;
        for (const LandPolygon& polygon : source) {
            double polygonArea = bandArea(polygon.rings.front(), -80, 80);
            for (size_t k = 1; k < polygon.rings.size(); ++k)
                polygonArea -= bandArea(polygon.rings[k], -80, 80);
            area += polygonArea;
        }
        const double polygonFraction = area / (360.0 * 160.0);
        const SharedData data(QStringLiteral(SKYVANE_DATA_DIR));
        QVERIFY(!data.westernMask.isNull() && !data.easternMask.isNull());
        const double pixels = double(countSet(data.westernMask) + countSet(data.easternMask));
        const double maskFraction = pixels / (2.0 * LandMaskImage::kWidth * LandMaskImage::kHeight);
        QVERIFY(polygonFraction > 0.2 && polygonFraction < 0.4);
        QVERIFY2(std::fabs(maskFraction - polygonFraction) < 0.005 * polygonFraction,
                 qPrintable(QString("mask %1, polygons %2").arg(maskFraction).arg(polygonFraction)));
    }

    void knownPlaces_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<bool>("land");
        // One open land and one open sea; polar ice near the masks' edges; small islands and the sea between
        // them; an inland sea; both sides of 0° and of 180°.
        QTest::newRow("Sahara") << 24.0 << 10.0 << true;
        QTest::newRow("Queen Maud Land") << -75.0 << 20.0 << true;
        QTest::newRow("Greenland ice") << 72.0 << -40.0 << true;
        QTest::newRow("North Atlantic") << 35.0 << -40.0 << false;
        QTest::newRow("Arctic Ocean") << 78.0 << 0.0 << false;
        QTest::newRow("Mediterranean") << 35.0 << 18.0 << false;
        QTest::newRow("Sao Miguel, Azores") << 37.78 << -25.5 << true;
        QTest::newRow("Between Azores islands") << 38.0 << -26.5 << false;
        QTest::newRow("Caspian Sea") << 42.0 << 50.5 << false;
        QTest::newRow("France west of 0") << 45.0 << -0.5 << true;
        QTest::newRow("France east of 0") << 45.0 << 0.5 << true;
        QTest::newRow("Channel west of 0") << 50.3 << -0.5 << false;
        QTest::newRow("Channel east of 0") << 50.3 << 0.5 << false;
        QTest::newRow("Chukotka west of 180") << 67.5 << 179.8 << true;
        QTest::newRow("Chukotka east of 180") << 67.5 << -179.8 << true;
        QTest::newRow("Bering Sea west of 180") << 57.0 << 179.8 << false;
        QTest::newRow("Bering Sea east of 180") << 57.0 << -179.8 << false;
        QTest::newRow("Ghana on 0") << 7.0 << 0.005 << true;
        QTest::newRow("Gulf of Guinea on 0") << 2.0 << 0.005 << false;
    }

    void knownPlaces()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(bool, land);
        static const SharedData data(QStringLiteral(SKYVANE_DATA_DIR));
        QCOMPARE(data.isLand(int(lat * 1e6), int(lon * 1e6)), land);
    }

};

QTEST_GUILESS_MAIN(TestLandMask)
#include "tst_landmask.moc"
