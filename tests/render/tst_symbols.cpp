// The symbol layers over the map (barbs, arrows, isolines, legend, date line, cities), mostly compared
// with pictures drawn here from hand-worked positions.
#include "renderfixtures.h"
#include "GribKeys.h"
#include "SharedData.h"
#include <QFile>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>

using namespace renderfixtures;
using modelfixtures::at;
using modelfixtures::field;

namespace {

const QColor kIsoLine(128, 192, 255, 255);
const QRgb kBlack = 0xFF000000;
double knots(int k) { return (k + 0.5) / 1.944012421496605; }  // m/s that truncate to k knots
QImage whiteImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}
template <class F>
QImage drawn(QImage image, F f)  // the picture with f(painter) drawn on it
{
    QPainter p(&image);
    f(p);
    return image;
}
void drawBarb(QPainter& p, const QPoint& at, double u, double v)
{
    p.save();
    p.translate(at);
    GeoProjector::renderWindBarb(&p, u, v, std::hypot(u, v));
    p.restore();
}
// One barb at (50, 50) of a 100 x 100 picture, black cosmetic pen.
QImage barb(double u, double v)
{
    return drawn(whiteImage(100, 100), [&](QPainter& p) {
        p.setPen(QPen(Qt::black, 0));
        drawBarb(p, {50, 50}, u, v);
    });
}

// The pixels of r where f(point) holds.
template <class F>
std::vector<QPoint> pixelsWhere(const QRect& r, F f)
{
    std::vector<QPoint> found;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (f(QPoint(x, y)))
                found.emplace_back(x, y);
    return found;
}
int countBlack(const QImage& im, const QRect& r)
{
    return int(pixelsWhere(r, [&](QPoint p) { return im.valid(p) && im.pixel(p) == kBlack; }).size());
}
QRect blackBounds(const QImage& im)
{
    QRect r;
    for (const QPoint& p : pixelsWhere(im.rect(), [&](QPoint p) { return im.pixel(p) == kBlack; }))
        r |= QRect(p, p);
    return r;
}
int differingPixels(const QImage& a, const QImage& b, const QRect& r)
{
    return int(pixelsWhere(r, [&](QPoint p) { return a.pixel(p) != b.pixel(p); }).size());
}
// Pixels that differ between two pictures of the same size; the first one is reported.
int differences(const QImage& actual, const QImage& expected)
{
    const auto found = pixelsWhere(actual.rect(), [&](QPoint p) { return actual.pixel(p) != expected.pixel(p); });
    if (!found.empty())
        qWarning("%d pixels differ, first at (%d, %d): %08x, expected %08x", int(found.size()), found[0].x(),
                 found[0].y(), actual.pixel(found[0]), expected.pixel(found[0]));
    return int(found.size());
}

// Degrees landing half a pixel inside screen pixel (x, y) of an equirect view centred on (0°, 0°)
// at 20000 µ° per pixel, away from the truncation.
QPointF degreesAt(const QPoint& screen, int cx, int cy)
{
    auto micro = [](int pixels) { return pixels * 20000 + (pixels > 0 ? 10000 : pixels < 0 ? -10000 : 0); };
    return QPointF(micro(screen.x() - cx) / 1e6, micro(cy - screen.y()) / 1e6);
}

// The label of an isoline at E, drawn the way labels are laid out.
void drawLabel(QPainter& p, const QPoint& e, const QString& text)
{
    QFont font("Helvetica", 10, QFont::Normal);
    font.setStyleStrategy(QFont::NoAntialias);
    p.save();
    p.setFont(font);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing, false);
    p.setPen(Qt::black);
    p.setBrush(QBrush(kIsoLine, Qt::SolidPattern));
    const QRect box = QFontMetrics(font).tightBoundingRect(text);
    const int half = box.width() >> 1;
    p.drawRect(e.x() - half - 3, e.y() - box.height(), box.width() + 7, 2 * box.height() - 1);
    p.drawText(e.x() - half, e.y() + (box.height() >> 1), text);
    p.restore();
}
// A direction arrow: 12 pixels, tip along the bearing (0 = north).
void drawArrow(QPainter& p, const QPoint& at, double bearing)
{
    static const QPoint arrow[9] = {{-1, 3}, {6, 0}, {-1, -3}, {0, -3}, {0, -1}, {-6, -1}, {-6, 1}, {0, 1}, {-1, 3}};
    p.save();
    p.translate(at);
    p.rotate(bearing - 90);
    p.drawPolyline(arrow, 9);
    p.restore();
}

// The map with the pressure legend (squares from 1040 hPa down to 950 hPa) and the date line.
void drawLegendAndDate(QPainter& p, int w, int h, const QString& text)
{
    static const QColor colours[] = {{240, 0, 0},   {240, 130, 41}, {230, 176, 46}, {161, 230, 51}, {0, 220, 0},
                                     {0, 209, 140}, {0, 161, 230},  {31, 61, 250},  {110, 0, 220},  {161, 0, 199}};
    int y = h - (11 * 18 + 40) - 18;
    p.save();
    p.setPen(QColor(0, 0, 0));
    for (int k = 0; k < 10; ++k, y += 18) {
        p.setBrush(colours[k]);
        p.drawRect(QRect(QPoint(w - 58, y), QPoint(w - 41, y + 17)));
        p.drawText(QPoint(w - 36, y + 21), QString::number(1040 - 10 * k));
    }
    p.drawText(QPoint(w - 36, y + 21), "[hPa]");
    const QFont font("Arial", 18, QFont::Bold);
    p.setFont(font);
    p.setPen(Qt::darkGray);
    p.drawText(w / 2 - QFontMetrics(font).horizontalAdvance(text) / 2, h - 30, text);
    p.restore();
}

// Cities from a city file of (name, population, lat, lon) lines, and no land.
std::unique_ptr<SharedData> citiesOf(std::initializer_list<std::tuple<const char*, int, double, double>> cities)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("Skyvane.02"));
    if (f.open(QIODevice::WriteOnly))
        for (const auto& [name, population, lat, lon] : cities)
            f.write(QByteArray(name) + '\t' + QByteArray::number(population) + '\t' + QByteArray::number(lat, 'f', 6) +
                    '\t' + QByteArray::number(lon, 'f', 6) + '\n');
    f.close();
    return std::make_unique<SharedData>(dir.path());
}
bool reddish(QRgb c) { return qRed(c) > 200 && qGreen(c) < 150 && qBlue(c) < 150; }

}  // namespace

class TestSymbols : public QObject {
    Q_OBJECT

    ScratchHome home;  // before the first projector
    QTemporaryDir emptyDir;
    std::unique_ptr<SharedData> noGeography;

    static QImage mapOnly(const GeoProjector& p)  // the last frame's map, before the symbols
    {
        return p.lastFrame().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    static GribMsg* message(GribFileHelper& helper, unsigned key)
    {
        auto& c = helper.getCurrentCompound();
        auto it = std::find_if(c.begin(), c.end(), [&](const GribMsg& m) { return m.gct == key; });
        return it == c.end() ? nullptr : &*it;
    }
    // A view drawing no cities and no land, showing `type` of the file (if any) opened into `helper`.
    std::unique_ptr<GribFileHelper> helper;
    void show(GribTestFile* file, GeoProjector& projector, int type, int w, int h, int d, double lat, double lon)
    {
        helper = file ? openHelper(*file) : nullptr;
        QVERIFY(helper || !file);
        projector.setSharedData(noGeography.get());
        projector.update(w, h, d, int(lat * 1e6), int(lon * 1e6));
        if (file)
            projector.setData(helper.get(), type, false, 0.0f);
    }
    static QImage wind(GeoProjector& p) { return drawn(whiteImage(400, 300), [&](QPainter& q) { p.renderWind(&q); }); }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Paris");
        tzset();
        noGeography = std::make_unique<SharedData>(emptyDir.path());
        QVERIFY(!noGeography->cities);
    }

    void windBarbFigures()
    {
        QCOMPARE(blackBounds(barb(knots(0), 0)), QRect());  // below one knot nothing
        // 3 knots blowing east: a bare staff 15 pixels long on row 50.
        const QRect staff = blackBounds(barb(knots(3), 0));
        QVERIFY(staff.top() == 50 && staff.bottom() == 50 && staff.left() >= 42 && staff.left() <= 43 &&
                staff.right() >= 56 && staff.right() <= 58);
        // 5 knots: one half feather at the upwind (west) end, up to row 45.
        const QImage five = barb(knots(5), 0);
        QVERIFY(blackBounds(five).bottom() == 50 && blackBounds(five).top() >= 45 && blackBounds(five).top() <= 46);
        QVERIFY(countBlack(five, QRect(40, 46, 4, 4)) > 0 && countBlack(five, QRect(45, 0, 55, 50)) == 0);
        // 65 knots: a solid pennant over x 42.5..45.5, 5.25 pixels high, a feather from x 48.5 up to
        // row 42.5 and a half feather from x 51.5.
        const QImage sixtyFive = barb(knots(65), 0);
        QCOMPARE(countBlack(sixtyFive, QRect(43, 45, 3, 5)), 15);
        QVERIFY(countBlack(sixtyFive, QRect(44, 42, 3, 2)) > 0 && countBlack(sixtyFive, QRect(46, 46, 3, 1)) > 0 &&
                countBlack(sixtyFive, QRect(49, 47, 4, 1)) > 0);
        QCOMPARE(countBlack(sixtyFive, QRect(54, 0, 46, 50)) + countBlack(sixtyFive, QRect(0, 51, 100, 49)), 0);
    }

    void windLattice()
    {
        // renderWind draws the barbs of the step lattice at once as they look drawn one by one; step =
        // columns on screen x K / width + 1: 64 columns, K 42 at 1°, zoom 1; 50, K 12 at 0.02°, zoom 64.
        const struct { int di, n, diameter; double lat, lon; int step; } rows[] = {
            {1000, 40, 1125, 45.0, 20.0, 7}, {20, 50, 72000, 59.65, 0.5, 2}};
        for (const auto& [di, n, diameter, lat, lon, step] : rows) {
            GRIB_WRITE_PARAMS u = modelfixtures::windU(n, n), v = modelfixtures::windV(n, n);
            std::vector<float> us, vs;
            for (int k = 0; k < n * n; ++k) {  // every direction, 1 to 37 m/s (pennants too)
                us.push_back(float((1 + (k * 7) % 37) * std::cos(k * 0.61)));
                vs.push_back(float((1 + (k * 7) % 37) * std::sin(k * 0.61)));
            }
            for (GRIB_WRITE_PARAMS* p : {&u, &v})
                p->di = p->dj = di, p->lat2 = p->lat1 - (n - 1) * di, p->lon2 = p->lon1 + (n - 1) * di;
            GribTestFile file;
            file.add(u, us);
            file.add(v, vs);
            EquirectProjector projector;
            show(&file, projector, mtWind, 400, 300, diameter, lat, lon);
            const GribMsg *mu = message(*helper, GribKey::windU), *mv = message(*helper, GribKey::windV);
            int barbs = 0;
            const QImage expected = drawn(whiteImage(400, 300), [&](QPainter& p) {
                p.setPen(QPen(Qt::black, 0));
                for (int i = 0; i < n; i += step)
                    for (int j = 0; j < n; j += step, ++barbs) {
                        int x = 0, y = 0;
                        projector.geo2Screen(60000000 - i * di * 1000, j * di * 1000, x, y);
                        drawBarb(p, {x, y}, mu->getValueAtInd(i, j), mv->getValueAtInd(i, j));
                    }
            });
            QVERIFY(barbs >= 20);
            QCOMPARE(differences(wind(projector), expected), 0);
        }
    }

    void windSkipsMissingAndWrapsLongitude()
    {
        // 355°..357° seen around 3°W: barbs at x 100, 150, 200 and y 75, 125, 175, the middle one missing.
        GRIB_WRITE_PARAMS u = modelfixtures::windU(3, 3), v = modelfixtures::windV(3, 3);
        const unsigned char present[9] = {1, 1, 1, 1, 0, 1, 1, 1, 1};
        u.lon1 = v.lon1 = 355000, u.lon2 = v.lon2 = 357000, u.bitmap = present;
        GribTestFile file;
        file.add(u, 10.0f);
        file.add(v, 0.0f);
        EquirectProjector projector;
        show(&file, projector, mtWind, 400, 300, 9000, 58.5, -3.0);
        message(*helper, GribKey::windV)->values[2] = std::numeric_limits<float>::quiet_NaN();  // no barb either
        const QImage expected = drawn(whiteImage(400, 300), [](QPainter& p) {
            p.setPen(QPen(Qt::black, 0));
            for (int k : {0, 1, 3, 5, 6, 7, 8})
                drawBarb(p, {100 + 50 * (k % 3), 75 + 50 * (k / 3)}, 10.0, 0.0);
        });
        QCOMPARE(differences(wind(projector), expected), 0);
    }

    // Arrows point along the bearing (0 = north, clockwise), tip 6 pixels from the grid point;
    // render() draws them white, swell reversed.
    void directionArrows()
    {
        GribTestFile file;
        file.add(field(48, 1, 0, 4, 2), std::vector<float>{1, 1, 0, 1, 1, 1, 1, 1});
        file.add(field(47, 1, 0, 4, 2), std::vector<float>{0, 90, 45, 270, 0, 0, 0, 0});
        EquirectProjector projector;
        show(&file, projector, 0, 400, 300, 9000, 59.5, 1.5);  // 60°N: y 125; 0..3°E: x 125..275
        const double bearings[] = {0, 90, -1, 270, 0, 0, 0, 0};  // -1: no magnitude, no arrow
        auto arrows = [](QImage image, QColor colour, const std::function<double(int)>& bearing) {
            return drawn(image, [&](QPainter& p) {
                p.setPen(QPen(colour, 0));
                for (int k = 0; k < 8; ++k)
                    if (bearing(k) >= 0)
                        drawArrow(p, QPoint(125 + 50 * (k % 4), 125 + 50 * (k / 4)), bearing(k));
            });
        };
        const QImage actual = drawn(whiteImage(400, 300), [&](QPainter& p) {
            p.setPen(QPen(Qt::black, 0));
            projector.paintDirection(&p, message(*helper, GribKey::tidalSpeed),
                                     message(*helper, GribKey::tidalDirection), false);
        });
        QCOMPARE(differences(actual, arrows(whiteImage(400, 300), Qt::black, [&](int k) { return bearings[k]; })), 0);
        // Bearing 0 has its tip up and nothing beyond.
        QVERIFY(countBlack(actual, QRect(124, 118, 3, 2)) > 0);
        QCOMPARE(countBlack(actual, QRect(115, 110, 21, 8)) + countBlack(actual, QRect(115, 132, 21, 8)), 0);
        for (int type : {int(mtTidal), int(mtWave)}) {
            GribTestFile f;
            f.add(field(type == mtTidal ? 48 : 100, 1, type == mtTidal ? 0 : 1, 4, 2), 1.0f);
            f.add(field(type == mtTidal ? 47 : 101, 1, type == mtTidal ? 0 : 1, 4, 2), 0.0f);
            show(&f, projector, type, 400, 300, 9000, 59.5, 1.5);
            const QImage frame = renderFrame(projector);
            const double tip = type == mtTidal ? 0 : 180;  // swell arrows reversed
            const QImage expected = arrows(mapOnly(projector), Qt::white, [=](int) { return tip; });
            QCOMPARE(differingPixels(frame, expected, QRect(110, 110, 180, 80)), 0);  // clear of legend and date
        }
    }

    // Label places: the first segment end inside the label area, then none until an end lies more
    // than 250 pixels from the last label, and the next end after that if no label is in its way.
    void isoLineLabelPlaces()
    {
        EquirectProjector projector;
        show(nullptr, projector, 0, 800, 400, 9000, 0.0, 0.0);
        ContourSet::Map map;
        std::vector<QLine> segments;
        auto segment = [&](float level, QPoint a, QPoint b) {
            map[level].push_back(degreesAt(a, 400, 200));
            map[level].push_back(degreesAt(b, 400, 200));
            segments.emplace_back(a, b);
        };
        segment(101299.5f, {690, 60}, {700, 60});  // 1012.995 hPa reads 1012: rounded down
        // 101325 Pa: a chain along y 100, ends at x 51, 61, … 841, then a jump.
        for (int x = 41; x < 841; x += 10)
            segment(101325, {x, 100}, {x + 10, 100});
        segment(101325, {311, 300}, {321, 300});  // far from (591, 100): may label again
        segment(101325, {321, 300}, {331, 300});  // within 250 of (321, 100)
        segment(101325, {331, 300}, {200, 340});
        segment(101525, {81, 140}, {91, 140});  // (91, 140) is within 50 × 50 of (51, 100)
        segment(101525, {91, 140}, {171, 140});
        segment(101725, {41, 150}, {51, 150});  // 50 rows below (51, 100) is clear of it
        // 101925: y 50, y 350 and x 750 lie outside the label area.
        segment(101925, {590, 40}, {600, 50});
        segment(101925, {590, 350}, {600, 350});
        segment(101925, {740, 200}, {750, 200});
        segment(101925, {739, 260}, {749, 260});
        segment(101925, {390, 349}, {400, 349});
        segment(101925, {400, 349}, {420, 349});
        map[101925].push_back(degreesAt({10, 10}, 400, 200));  // a dangling last point is no segment
        // The isolines of the map of `kind` against the segments and these labels; then empties both.
        auto differ = [&](int kind, std::initializer_list<std::pair<QPoint, const char*>> labels) {
            const QImage actual = drawn(whiteImage(800, 400), [&](QPainter& p) {
                projector.renderIsoLines(&p, &map, kIsoLine, Qt::black, kind);
            });
            const QImage expected = drawn(whiteImage(800, 400), [&](QPainter& p) {
                p.setPen(kIsoLine);
                p.drawLines(segments.data(), int(segments.size()));
                for (const auto& [at, text] : labels)
                    drawLabel(p, at, text);
            });
            map.clear();
            segments.clear();
            return differences(actual, expected);
        };
        QCOMPARE(differ(2, {{{51, 100}, "1013"}, {{321, 100}, "1013"}, {{591, 100}, "1013"}, {{200, 340}, "1013"},
                            {{171, 140}, "1015"}, {{51, 150}, "1017"}, {{749, 260}, "1019"}, {{420, 349}, "1019"},
                            {{700, 60}, "1012"}}),
                 0);
        // Kind 8 is kelvin to whole degrees Celsius, rounded down: 272.5 K reads -1, 283.15 K reads 10.
        segment(272.5f, {100, 100}, {120, 100});
        segment(283.15f, {100, 200}, {200, 200});
        QCOMPARE(differ(8, {{{120, 100}, "-1"}, {{200, 200}, "10"}}), 0);
    }

    // The combined view draws the helper's isobars as the isoline layer does, labelled in hPa, and having no
    // message of its own, no legend and no date.
    void isobarsOfCombinedView()
    {
        // 100 Pa more per degree east and north: 101325 Pa runs from 58°N 2°E to 52°N 8°E.
        std::vector<float> values;
        for (int k = 0; k < 121; ++k)
            values.push_back(101325.0f + 100.0f * (k % 11 - 5) + 100.0f * (5 - k / 11));
        GribTestFile file;
        file.add(modelfixtures::pressure(11, 11), values);
        EquirectProjector projector;
        show(&file, projector, mtWind | mtPressure | mtPrecipitation, 400, 300, 9000, 55.0, 5.0);
        QVERIFY(projector.isobarLayerOn() && helper->setIsolineOptions(mtPressure, 101325.0f, 101325.0f, 100.0f));
        helper->calcIsolines();
        const ContourSet::Map& isobars = helper->getIsobars().getContours();
        QCOMPARE(int(isobars.size()), 1);
        const QImage frame = renderFrame(projector);
        QCOMPARE(differences(frame, drawn(mapOnly(projector), [&](QPainter& p) {
                     projector.renderIsoLines(&p, &isobars, kIsoLine, Qt::black, mtPressure);
                 })), 0);
        QVERIFY(differingPixels(frame, mapOnly(projector), frame.rect()) > 0);
    }

    void legendAndDateLine_data()
    {
        QTest::addColumn<float>("blend");  // -1: the helper moved on without setData
        QTest::addColumn<QString>("text");
        // Steps 18:00 and 00:00 UTC, 19:00 and 01:00 in Paris; blend 0 shows the step before.
        QTest::newRow("blend 0") << 0.0f << "Local time: Saturday, 31-01-2009, 19:00";
        QTest::newRow("blend 0.5") << 0.5f << "Local time: Saturday, 31-01-2009, 22:00";
        QTest::newRow("no setData") << -1.0f << "Local time: Sunday, 01-02-2009, 01:00";
    }

    // A pressure frame: the legend squares from 1040 hPa down, texts and unit, the date in local time.
    void legendAndDateLine()
    {
        QFETCH(float, blend);
        QFETCH(QString, text);
        GribTestFile file;
        file.add(at(modelfixtures::pressure(11, 11), 0), 101000.0f);
        file.add(at(modelfixtures::pressure(11, 11), 6), 102000.0f);
        EquirectProjector projector;  // wide enough for the date line
        show(&file, projector, mtPressure, 640, 300, 9000, 55.0, 5.0);
        renderFrame(projector);
        QVERIFY(helper->nextCompound());
        if (blend >= 0) {
            projector.setData(helper.get(), mtPressure, true, 0.0f);
            renderFrame(projector);
            projector.setData(helper.get(), mtPressure, true, blend);
        }
        const QImage frame = renderFrame(projector);
        const QImage expected = drawn(mapOnly(projector), [&](QPainter& p) { drawLegendAndDate(p, 640, 300, text); });
        QCOMPARE(differences(frame, expected), 0);
    }

    // A city close to one already named gets its dot but no name: dx and dy at the boundary.
    void cities()
    {
        const int half = QFontMetrics(QFont("Helvetica", 9)).height() >> 1;  // over 5
        // Zoom 8: threshold 250000, 50 pixels per degree, (0°, 0°) at (200, 150).
        EquirectProjector projector;
        show(nullptr, projector, 0, 400, 300, 9000, 0.0, 0.0);
        const QImage background = renderFrame(projector);
        const struct { int dx, dy; bool named; } rows[] = {{24, 5, 0}, {25, 5, 1}, {0, half - 1, 0}, {0, half, 1}};
        auto deg = [](int pixels) { return pixels ? (pixels * 20000 + 10000) / 1e6 : 0.0; };
        for (const auto& r : rows) {
            const auto cities =
                citiesOf({{"Alta", 1000000, 0, 0}, {"Bravissimo Grande", 500000, deg(r.dy), deg(r.dx)}});
            projector.setSharedData(cities.get());
            const QImage frame = renderFrame(projector);
            const int x = 200 + r.dx, y = 150 - r.dy;
            QVERIFY(reddish(frame.pixel(x, y)) || reddish(frame.pixel(x - 1, y - 1)));
            // The long name's eastern half, clear of Alta's name and the dots; baseline 5 pixels above the dot.
            const int changed = differingPixels(frame, background, QRect(222, y - 5 - 12, 24, 14));
            QVERIFY2(r.named ? changed > 10 : changed == 0, qPrintable(QString::number(changed)));
        }
        // The list stops at the first city below 250000 inhabitants.
        const auto cities = citiesOf(
            {{"Alta", 1000000, 0, 0}, {"Carta", 300000, -1, 1}, {"Echo", 200000, 1, -2}, {"Fox", 260000, -2, 2}});
        projector.setSharedData(cities.get());
        const QImage frame = renderFrame(projector);
        // Alta: 4 times the threshold, radius 3: the dot and its outline cover x 196..203 on row 150.
        const auto alta =
            pixelsWhere(QRect(185, 150, 30, 1), [&](QPoint p) { return frame.pixel(p) != background.pixel(p); });
        QVERIFY(!alta.empty() && alta.front().x() == 196 && alta.back().x() == 203);
        QVERIFY(reddish(frame.pixel(199, 149)));
        QVERIFY(differingPixels(frame, background, QRect(249, 199, 2, 2)) > 0);    // Carta, radius 1
        QCOMPARE(differingPixels(frame, background, QRect(80, 80, 40, 40)), 0);    // Echo
        QCOMPARE(differingPixels(frame, background, QRect(280, 230, 40, 40)), 0);  // Fox
        // A first city below the threshold: no city at all.
        const auto none = citiesOf({{"Echo", 200000, 1, -2}, {"Alta", 1000000, 0, 0}});
        projector.setSharedData(none.get());
        QCOMPARE(differences(renderFrame(projector), background), 0);
    }

    // Alta (radius 3) at (200, 150) with its name above; Bravo (radius 2, its name left out) at (208, 148), drawn
    // after it. Each ball is a target of at least 11 x 11 pixels; the view is panned before the second frame.
    void cityHits_data()
    {
        QTest::addColumn<QPoint>("pan");
        QTest::addColumn<bool>("citiesKept");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("name");  // empty: no city there
        QTest::addColumn<QPoint>("position");  // (lat, lon) µ°
        const QFontMetrics metrics(QFont("Helvetica", 9));
        const int nameEnd = 200 - metrics.horizontalAdvance("Alta") / 2 + metrics.horizontalAdvance("Alta") - 1;
        const QPoint alta(0, 0), bravo(50000, 170000);
        QTest::newRow("Alta's ball") << QPoint() << true << QPoint(200, 150) << "Alta" << alta;
        QTest::newRow("beside Alta's ball") << QPoint() << true << QPoint(195, 155) << "Alta" << alta;
        QTest::newRow("Alta's name") << QPoint() << true << QPoint(nameEnd, 140) << "Alta" << alta;
        QTest::newRow("Bravo over Alta") << QPoint() << true << QPoint(204, 150) << "Bravo" << bravo;
        QTest::newRow("below the balls") << QPoint() << true << QPoint(200, 159) << "" << QPoint();
        QTest::newRow("after the name") << QPoint() << true << QPoint(nameEnd + 3, 140) << "" << QPoint();
        QTest::newRow("panned with the map") << QPoint(100, 0) << true << QPoint(300, 150) << "Alta" << alta;
        QTest::newRow("where it was") << QPoint(100, 0) << true << QPoint(200, 150) << "" << QPoint();
        QTest::newRow("panned away") << QPoint(300, 0) << true << QPoint(200, 150) << "" << QPoint();
        QTest::newRow("cities gone") << QPoint() << false << QPoint(200, 150) << "" << QPoint();
    }

    void cityHits()
    {
        QFETCH(QPoint, pan);
        QFETCH(bool, citiesKept);
        QFETCH(QPoint, at);
        QFETCH(QString, name);
        EquirectProjector projector;
        show(nullptr, projector, 0, 400, 300, 9000, 0.0, 0.0);  // zoom 8, as in cities()
        const auto cities = citiesOf({{"Alta", 1000000, 0, 0}, {"Bravo", 500000, 0.05, 0.17}});
        projector.setSharedData(cities.get());
        renderFrame(projector);
        projector.move(pan.x(), pan.y());
        if (!citiesKept)
            projector.setSharedData(noGeography.get());
        renderFrame(projector);
        DrawnCity city;
        QCOMPARE(projector.drawnCityAt(at.x(), at.y(), city), !name.isEmpty());
        QCOMPARE(city.name, name);
        QTEST(QPoint(city.latMicro, city.lonMicro), "position");
    }
};

QTEST_MAIN(TestSymbols)
#include "tst_symbols.moc"
