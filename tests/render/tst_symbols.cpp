// The symbol layers drawn over the map: wind barbs, direction arrows,
// isolines with labels, the legend, the date line and the city names.
// Barbs and arrows are read pixel by pixel around known points; layers
// whose figure is set by a rule (lattices, label places, legend, texts)
// are compared with a picture drawn here from hand-worked positions.

#include "renderfixtures.h"

#include "GribKeys.h"
#include "SharedData.h"

#include <QFile>
#include <QFontMetrics>

#include <cmath>
#include <ctime>
#include <limits>

using namespace renderfixtures;
using modelfixtures::at;
using modelfixtures::field;

namespace {

const QColor kIsoLine(128, 192, 255, 255);
const QRgb kBlack = 0xFF000000;

// m/s that truncate to the given whole knots.
double knots(int k) { return (k + 0.5) / 1.944012421496605; }

QImage whiteImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

// The picture with f(painter) drawn on it.
template <class F>
QImage drawn(QImage image, F f)
{
    QPainter p(&image);
    f(p);
    return image;
}

// One barb at (50, 50) of a 100 x 100 picture, black cosmetic pen.
QImage barb(double u, double v)
{
    return drawn(whiteImage(100, 100), [&](QPainter& p) {
        p.setPen(QPen(Qt::black, 0));
        p.translate(50, 50);
        GeoProjector::renderWindBarb(&p, u, v, std::hypot(u, v));
    });
}

int countBlack(const QImage& image, const QRect& r)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += image.valid(x, y) && image.pixel(x, y) == kBlack;
    return n;
}

QRect blackBounds(const QImage& image)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == kBlack)
                r |= QRect(x, y, 1, 1);
    return r;
}

int differingPixels(const QImage& a, const QImage& b, const QRect& r, QPoint* first = nullptr)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && n++ == 0 && first)
                *first = QPoint(x, y);
    return n;
}

// Pixels that differ between two pictures of the same size; the first
// one is reported.
int differences(const QImage& actual, const QImage& expected)
{
    QPoint first;
    const int n = differingPixels(actual, expected, actual.rect(), &first);
    if (n)
        qWarning("%d pixels differ, first at (%d, %d): %08x, expected %08x", n, first.x(), first.y(),
                 actual.pixel(first), expected.pixel(first));
    return n;
}

// The degrees a point must have to land on screen pixel (x, y) of an
// equirectangular view centred on (0°, 0°) at 20000 µ° per pixel: half a
// pixel inside, away from the truncation.
QPointF degreesAt(const QPoint& screen, int cx, int cy)
{
    auto micro = [](int pixels) { return pixels * 20000 + (pixels > 0 ? 10000 : pixels < 0 ? -10000 : 0); };
    return QPointF(micro(screen.x() - cx) / 1e6, micro(cy - screen.y()) / 1e6);
}

// The label of an isoline at E, drawn the way labels are laid out.
void drawLabel(QPainter& p, const QPoint& e, const QString& text)
{
    QFont font = p.font();
    font.setFamily("Helvetica");
    font.setPointSize(10);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::NoAntialias);
    p.save();
    p.setFont(font);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
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
    static const QPoint arrow[9] = {{-1, 3}, {6, 0}, {-1, -3}, {0, -3}, {0, -1},
                                    {-6, -1}, {-6, 1}, {0, 1}, {-1, 3}};
    p.save();
    p.translate(at);
    p.rotate(bearing - 90);
    p.drawPolyline(arrow, 9);
    p.restore();
}

// The date line as it must read.
void drawDateLine(QPainter& p, int w, int h, const QString& text)
{
    const QFont font("Arial", 18, QFont::Bold);
    p.save();
    p.setFont(font);
    p.setPen(Qt::darkGray);
    p.drawText(w / 2 - QFontMetrics(font).horizontalAdvance(text) / 2, h - 30, text);
    p.restore();
}

// The pressure legend: squares from 1040 hPa down to 950 hPa.
void drawPressureLegend(QPainter& p, int w, int h)
{
    static const QColor colours[] = {{240, 0, 0},   {240, 130, 41}, {230, 176, 46}, {161, 230, 51},
                                     {0, 220, 0},   {0, 209, 140},  {0, 161, 230},  {31, 61, 250},
                                     {110, 0, 220}, {161, 0, 199}};
    const int right = w - 1;
    int y = h - (11 * 18 + 40) - 18;
    p.save();
    p.setPen(QColor(0, 0, 0));
    for (int k = 0; k < 10; ++k) {
        p.setBrush(colours[k]);
        p.drawRect(QRect(QPoint(right - 57, y), QPoint(right - 40, y + 17)));
        y += 18;
        p.drawText(QPoint(right - 35, y + 3), QString::number(1040 - 10 * k));
    }
    p.drawText(QPoint(right - 35, y + 21), "[hPa]");
    p.restore();
}

// Cities from a city file of these lines, and no land.
std::unique_ptr<SharedData> citiesOf(const QByteArray& lines)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("Skyvane.02"));
    if (f.open(QIODevice::WriteOnly))
        f.write(lines);
    f.close();
    return std::make_unique<SharedData>(dir.path());
}

QByteArray cityLine(const char* name, int population, double lat, double lon)
{
    return QByteArray(name) + '\t' + QByteArray::number(population) + '\t' + QByteArray::number(lat, 'f', 6) +
           '\t' + QByteArray::number(lon, 'f', 6) + '\n';
}

bool reddish(QRgb c) { return qRed(c) > 200 && qGreen(c) < 150 && qBlue(c) < 150; }

}  // namespace

class TestSymbols : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    QTemporaryDir emptyDir;
    std::unique_ptr<SharedData> noGeography;

    // A frame of a projector that draws no cities and no land.
    void blankView(GeoProjector& projector, int w, int h, int d, double lat, double lon)
    {
        projector.setSharedData(noGeography.get());
        projector.update(w, h, d, int(lat * 1e6), int(lon * 1e6));
    }

    // The last frame's map as a frame draws it, before the symbols.
    static QImage mapOnly(const GeoProjector& projector)
    {
        QImage image(projector.frameWidth(), projector.frameHeight(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        return drawn(image, [&](QPainter& p) { p.drawImage(0, 0, projector.lastFrame()); });
    }

    // The map with the pressure legend and the date line.
    static QImage pressureFrame(const GeoProjector& projector, const QString& dateLine)
    {
        return drawn(mapOnly(projector), [&](QPainter& p) {
            drawPressureLegend(p, projector.frameWidth(), projector.frameHeight());
            drawDateLine(p, projector.frameWidth(), projector.frameHeight(), dateLine);
        });
    }

    // The message of the compound with the key.
    static GribMsg* message(GribFileHelper& helper, unsigned key)
    {
        for (GribMsg& msg : helper.getCurrentCompound())
            if (msg.gct == key)
                return &msg;
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Paris");
        tzset();
        home = std::make_unique<ScratchHome>();
        noGeography = std::make_unique<SharedData>(emptyDir.path());
        QVERIFY(!noGeography->cities);
    }

    void windBarbFigures()
    {
        // Below one knot nothing is drawn.
        QCOMPARE(blackBounds(barb(knots(0), 0)), QRect());

        // 3 knots blowing east: a bare staff 15 pixels long on row 50.
        const QRect staff = blackBounds(barb(knots(3), 0));
        QCOMPARE(staff.top(), 50);
        QCOMPARE(staff.bottom(), 50);
        QVERIFY2(staff.left() >= 42 && staff.left() <= 43 && staff.right() >= 56 && staff.right() <= 58,
                 qPrintable(QString("staff from %1 to %2").arg(staff.left()).arg(staff.right())));

        // 5 knots: one half feather at the upwind (west) end, up to row 45.
        const QImage five = barb(knots(5), 0);
        QCOMPARE(blackBounds(five).bottom(), 50);
        QVERIFY(blackBounds(five).top() >= 45 && blackBounds(five).top() <= 46);
        QVERIFY(countBlack(five, QRect(40, 46, 4, 4)) > 0);
        QCOMPARE(countBlack(five, QRect(45, 0, 55, 50)), 0);

        // 50 knots: a solid pennant over x 42.5..45.5, 3.5 units (5.25
        // pixels) high, lower than a feather; nothing else above.
        const QImage fifty = barb(knots(50), 0);
        QCOMPARE(countBlack(fifty, QRect(43, 45, 3, 5)), 15);
        QCOMPARE(countBlack(fifty, QRect(0, 0, 100, 43)), 0);
        QCOMPARE(countBlack(fifty, QRect(47, 0, 53, 50)), 0);
        QCOMPARE(countBlack(fifty, QRect(0, 51, 100, 49)), 0);

        // 65 knots: pennant, then a feather from x 48.5 up to row 42.5 and
        // a half feather from x 51.5, both slanting back up and west.
        const QImage sixtyFive = barb(knots(65), 0);
        QCOMPARE(countBlack(sixtyFive, QRect(43, 45, 3, 5)), 15);
        QVERIFY(countBlack(sixtyFive, QRect(44, 42, 3, 2)) > 0);
        QVERIFY(countBlack(sixtyFive, QRect(46, 46, 3, 1)) > 0);
        QVERIFY(countBlack(sixtyFive, QRect(49, 47, 4, 1)) > 0);
        QCOMPARE(countBlack(sixtyFive, QRect(54, 0, 46, 50)), 0);
        QCOMPARE(countBlack(sixtyFive, QRect(0, 51, 100, 49)), 0);

        // Blowing north: the staff is vertical, the half feather at the
        // southern (upwind) end points west.
        const QImage north = barb(0, knots(5));
        QVERIFY(countBlack(north, QRect(49, 44, 2, 13)) >= 12);
        QCOMPARE(countBlack(north, QRect(52, 0, 48, 100)), 0);
        QCOMPARE(countBlack(north, QRect(0, 0, 100, 42)), 0);
        QVERIFY(countBlack(north, QRect(45, 56, 4, 4)) > 0);

        // Blowing south-west: the staff runs from the north-east (upwind)
        // to the south-west; no black towards north-west or south-east.
        const QImage southWest = barb(-knots(10) / std::sqrt(2.0), -knots(10) / std::sqrt(2.0));
        QVERIFY(countBlack(southWest, QRect(54, 44, 3, 3)) > 0);
        QVERIFY(countBlack(southWest, QRect(44, 54, 3, 3)) > 0);
        QCOMPARE(countBlack(southWest, QRect(40, 40, 6, 6)), 0);
        QCOMPARE(countBlack(southWest, QRect(54, 54, 6, 6)), 0);
    }

    void windLattice_data()
    {
        QTest::addColumn<int>("di");  // millidegrees
        QTest::addColumn<int>("ni");
        QTest::addColumn<int>("nj");
        QTest::addColumn<int>("diameter");
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<int>("step");
        // step = columns on screen x K / width + 1, width 400.
        QTest::newRow("1°, zoom 1: 64 columns, K 42") << 1000 << 40 << 30 << 1125 << 45.0 << 20.0 << 7;
        QTest::newRow("0.5°, zoom 1: 128 columns, K 32") << 500 << 60 << 50 << 1125 << 48.0 << 15.0 << 11;
        QTest::newRow("0.1°, zoom 8: 80 columns, K 22") << 100 << 40 << 30 << 9000 << 58.5 << 2.0 << 5;
        QTest::newRow("0.02°, zoom 64: 50 columns, K 12") << 20 << 50 << 35 << 72000 << 59.65 << 0.5 << 2;
    }

    // renderWind draws the barbs of the step lattice, all at once, as the
    // same barbs drawn one by one at their grid points would look.
    void windLattice()
    {
        QFETCH(int, di);
        QFETCH(int, ni);
        QFETCH(int, nj);
        QFETCH(int, diameter);
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(int, step);
        GRIB_WRITE_PARAMS u = modelfixtures::windU(ni, nj);
        GRIB_WRITE_PARAMS v = modelfixtures::windV(ni, nj);
        std::vector<float> us, vs;
        for (int k = 0; k < ni * nj; ++k) {
            // Every direction and speeds from 1 to 37 m/s (pennants too).
            const double speed = 1 + (k * 7) % 37;
            us.push_back(float(speed * std::cos(k * 0.61)));
            vs.push_back(float(speed * std::sin(k * 0.61)));
        }
        for (GRIB_WRITE_PARAMS* p : {&u, &v}) {
            p->di = p->dj = di;
            p->lat2 = p->lat1 - (nj - 1) * di;
            p->lon2 = p->lon1 + (ni - 1) * di;
        }
        GribTestFile file;
        file.add(u, us);
        file.add(v, vs);
        auto helper = openHelper(file);
        QVERIFY(helper);
        EquirectProjector projector;
        blankView(projector, 400, 300, diameter, lat, lon);
        projector.setData(helper.get(), mtWind, false, 0.0f);

        const QImage actual = drawn(whiteImage(400, 300), [&](QPainter& p) { projector.renderWind(&p); });
        const GribMsg* mu = message(*helper, GribKey::windU);
        const GribMsg* mv = message(*helper, GribKey::windV);
        QVERIFY(mu && mv);
        int barbs = 0;
        const QImage expected = drawn(whiteImage(400, 300), [&](QPainter& p) {
            p.setPen(QPen(Qt::black, 0));
            for (int i = 0; i < nj; i += step)
                for (int j = 0; j < ni; j += step, ++barbs) {
                    int x = 0, y = 0;
                    projector.geo2Screen(60000000 - i * di * 1000, j * di * 1000, x, y);
                    const double a = mu->getValueAtInd(i, j), b = mv->getValueAtInd(i, j);
                    p.save();
                    p.translate(x, y);
                    GeoProjector::renderWindBarb(&p, a, b, std::hypot(a, b));
                    p.restore();
                }
        });
        QVERIFY(barbs >= 20);
        QCOMPARE(differences(actual, expected), 0);
    }

    void windSkipsMissingAndWrapsLongitude()
    {
        // A 355°..357° grid viewed around 3°W: the barbs come at -5°..-3°,
        // x 100, 150, 200 and y 75, 125, 175 (50 pixels per degree).
        GRIB_WRITE_PARAMS u = modelfixtures::windU(3, 3);
        GRIB_WRITE_PARAMS v = modelfixtures::windV(3, 3);
        const unsigned char present[9] = {1, 1, 1, 1, 0, 1, 1, 1, 1};
        for (GRIB_WRITE_PARAMS* p : {&u, &v}) {
            p->lon1 = 355000;
            p->lon2 = 357000;
        }
        u.bitmap = present;  // the middle point is missing
        GribTestFile file;
        file.add(u, 10.0f);
        file.add(v, 0.0f);
        auto helper = openHelper(file);
        QVERIFY(helper);
        QCOMPARE(message(*helper, GribKey::windU)->lon1, 355000);
        // A value that is not a number is no barb either.
        message(*helper, GribKey::windV)->values[2] = std::numeric_limits<float>::quiet_NaN();

        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 58.5, -3.0);
        projector.setData(helper.get(), mtWind, false, 0.0f);
        const QImage actual = drawn(whiteImage(400, 300), [&](QPainter& p) { projector.renderWind(&p); });
        const QImage expected = drawn(whiteImage(400, 300), [](QPainter& p) {
            p.setPen(QPen(Qt::black, 0));
            for (int k : {0, 1, 3, 5, 6, 7, 8}) {
                p.save();
                p.translate(100 + 50 * (k % 3), 75 + 50 * (k / 3));
                GeoProjector::renderWindBarb(&p, 10.0, 0.0, 10.0);
                p.restore();
            }
        });
        QCOMPARE(differences(actual, expected), 0);
    }

    // Arrows point along the bearing (0 = north, clockwise), tip 6 pixels
    // from the grid point; reversed arrows point the other way.
    void directionArrows()
    {
        GribTestFile file;
        file.add(field(48, 1, 0, 4, 2), std::vector<float>{1, 1, 0, 1, 1, 1, 1, 1});
        file.add(field(47, 1, 0, 4, 2), std::vector<float>{0, 90, 45, 270, 0, 0, 0, 0});
        auto helper = openHelper(file);
        QVERIFY(helper);
        const GribMsg* speed = message(*helper, GribKey::tidalSpeed);
        const GribMsg* direction = message(*helper, GribKey::tidalDirection);
        QVERIFY(speed && direction);
        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 59.5, 1.5);  // 60°N: y 125; 0..3°E: x 125..275

        for (bool reverse : {false, true}) {
            const QImage actual = drawn(whiteImage(400, 300), [&](QPainter& p) {
                p.setPen(QPen(Qt::black, 0));
                projector.paintDirection(&p, speed, direction, reverse);
            });
            // Bearings 0, 90, (none: no magnitude), 270 on the first row,
            // 0 on the second; reversed 180, 270, 90 and 180.
            const double bearings[] = {0, 90, -1, 270, 0, 0, 0, 0};
            const QImage expected = drawn(whiteImage(400, 300), [&](QPainter& p) {
                p.setPen(QPen(Qt::black, 0));
                for (int k = 0; k < 8; ++k)
                    if (bearings[k] >= 0)
                        drawArrow(p, QPoint(125 + 50 * (k % 4), 125 + 50 * (k / 4)),
                                  reverse ? std::fmod(bearings[k] + 180, 360) : bearings[k]);
            });
            QCOMPARE(differences(actual, expected), 0);
            // Bearing 0 has its tip up (reversed, down) and nothing beyond.
            QVERIFY(countBlack(actual, QRect(124, reverse ? 130 : 118, 3, 2)) > 0);
            QCOMPARE(countBlack(actual, QRect(115, 110, 21, 8)), 0);
            QCOMPARE(countBlack(actual, QRect(115, 132, 21, 8)), 0);
        }
    }

    // render() draws tidal arrows white as they are, swell arrows white and
    // reversed, and the barbs black, over the colour layer.
    void layersFollowMeteoType()
    {
        // Arrows at x 125..275 on row 125 and 175; the legend and the date
        // line stay right of and below this region.
        const QRect arrows(110, 110, 180, 80);
        for (int type : {int(mtTidal), int(mtWave)}) {
            GribTestFile file;
            if (type == mtTidal) {
                file.add(field(48, 1, 0, 4, 2), 1.0f);
                file.add(field(47, 1, 0, 4, 2), 0.0f);
            } else {
                file.add(field(100, 1, 1, 4, 2), 2.0f);
                file.add(field(101, 1, 1, 4, 2), 0.0f);
            }
            auto helper = openHelper(file);
            QVERIFY(helper);
            EquirectProjector projector;
            blankView(projector, 400, 300, 9000, 59.5, 1.5);
            projector.setData(helper.get(), type, false, 0.0f);
            const QImage frame = renderFrame(projector);
            const QImage expected = drawn(mapOnly(projector), [type](QPainter& p) {
                p.setPen(QPen(Qt::white, 0));
                for (int k = 0; k < 8; ++k)
                    drawArrow(p, QPoint(125 + 50 * (k % 4), 125 + 50 * (k / 4)), type == mtTidal ? 0 : 180);
            });
            QCOMPARE(differingPixels(frame, expected, arrows), 0);
        }
        GribTestFile file;
        file.add(modelfixtures::windU(4, 2), 10.0f);
        file.add(modelfixtures::windV(4, 2), 0.0f);
        auto helper = openHelper(file);
        QVERIFY(helper);
        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 59.5, 1.5);
        projector.setData(helper.get(), mtWind, false, 0.0f);
        const QImage frame = renderFrame(projector);
        QCOMPARE(frame.pixel(175, 125), kBlack);
        QVERIFY(frame.pixel(175, 135) != kBlack);
    }

    // Label places by the rules: the first segment end inside the label
    // area, then none until an end lies more than 250 pixels from the last
    // label, and the next end after that if no label is in its way.
    void isoLineLabelPlaces()
    {
        EquirectProjector projector;
        blankView(projector, 800, 400, 9000, 0.0, 0.0);
        ContourSet::Map map;
        std::vector<QLine> segments;
        bool onPixels = true;  // the degrees convert back to the pixels meant
        auto segment = [&](float level, QPoint a, QPoint b) {
            for (const QPoint& point : {a, b}) {
                const QPointF degrees = degreesAt(point, 400, 200);
                int x = 0, y = 0;
                projector.geo2Screen(int(degrees.y() * 1e6), int(degrees.x() * 1e6), x, y);
                onPixels = onPixels && QPoint(x, y) == point;
                map[level].push_back(degrees);
            }
            segments.emplace_back(a, b);
        };
        // 1012.995 hPa reads 1012: rounded down.
        segment(101299.5f, {690, 60}, {700, 60});
        // 101325 Pa: a chain along y 100, ends at x 51, 61, … 841, then a jump.
        for (int x = 41; x < 841; x += 10)
            segment(101325, {x, 100}, {x + 10, 100});
        segment(101325, {311, 300}, {321, 300});  // far from (591, 100): may label again
        segment(101325, {321, 300}, {331, 300});  // within 250 of (321, 100)
        segment(101325, {331, 300}, {200, 340});
        // 101525: (91, 140) is within 50 × 50 of (51, 100).
        segment(101525, {81, 140}, {91, 140});
        segment(101525, {91, 140}, {171, 140});
        // 101725: 50 rows below (51, 100) is clear of it.
        segment(101725, {41, 150}, {51, 150});
        // 101925: y 50, y 350 and x 750 lie outside the label area.
        segment(101925, {590, 40}, {600, 50});
        segment(101925, {590, 350}, {600, 350});
        segment(101925, {740, 200}, {750, 200});
        segment(101925, {739, 260}, {749, 260});
        segment(101925, {390, 349}, {400, 349});
        segment(101925, {400, 349}, {420, 349});
        // A dangling last point is no segment.
        map[101925].push_back(degreesAt({10, 10}, 400, 200));
        QVERIFY(onPixels);

        const QImage actual = drawn(whiteImage(800, 400), [&](QPainter& p) {
            projector.renderIsoLines(&p, &map, kIsoLine, Qt::black, 2);
        });
        const QImage expected = drawn(whiteImage(800, 400), [&](QPainter& p) {
            QPen pen = p.pen();
            pen.setColor(kIsoLine);
            p.setPen(pen);
            p.drawLines(segments.data(), int(segments.size()));
            const struct {
                QPoint at;
                const char* text;
            } labels[] = {{{51, 100}, "1013"},  {{321, 100}, "1013"}, {{591, 100}, "1013"},
                          {{200, 340}, "1013"}, {{171, 140}, "1015"}, {{51, 150}, "1017"},
                          {{749, 260}, "1019"}, {{420, 349}, "1019"}, {{700, 60}, "1012"}};
            for (const auto& label : labels)
                drawLabel(p, label.at, label.text);
        });
        QCOMPARE(differences(actual, expected), 0);
    }

    void isoLineLabelTexts()
    {
        // Kind 8 is kelvin to whole degrees Celsius, rounded down: 272.5 K
        // reads -1, 283.15 K reads 10.
        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 0.0, 0.0);
        ContourSet::Map map;
        map[272.5f] = {degreesAt({100, 100}, 200, 150), degreesAt({120, 100}, 200, 150)};
        map[283.15f] = {degreesAt({100, 200}, 200, 150), degreesAt({200, 200}, 200, 150)};
        const QImage actual = drawn(whiteImage(400, 300), [&](QPainter& p) {
            projector.renderIsoLines(&p, &map, kIsoLine, Qt::black, 8);
        });
        const QImage expected = drawn(whiteImage(400, 300), [](QPainter& p) {
            p.setPen(kIsoLine);
            p.drawLine(100, 100, 120, 100);
            p.drawLine(100, 200, 200, 200);
            drawLabel(p, {120, 100}, "-1");
            drawLabel(p, {200, 200}, "10");
        });
        QCOMPARE(differences(actual, expected), 0);
    }

    // The combined view draws the helper's isobars: their segments in the
    // isoline colour and the first label, reading 1013, where the first
    // segment end enters the label area.
    void isobarsOfCombinedView()
    {
        // Pressure rising 100 Pa per degree east and north: the 101325 Pa
        // isobar runs from 58°N 2°E to 52°N 8°E, across the view.
        std::vector<float> values;
        for (int i = 0; i < 11; ++i)
            for (int j = 0; j < 11; ++j)
                values.push_back(101325.0f + 100.0f * (j - 5) + 100.0f * (5 - i));
        GribTestFile file;
        file.add(modelfixtures::pressure(11, 11), values);
        auto helper = openHelper(file);
        QVERIFY(helper);
        QVERIFY(helper->setIsolineOptions(mtPressure, 101325.0f, 101325.0f, 100.0f));
        helper->calcIsolines();
        const ContourSet::Map& isobars = helper->getIsobars().getContours();
        QCOMPARE(int(isobars.size()), 1);
        const std::vector<QPointF>& points = isobars.begin()->second;

        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 55.0, 5.0);
        projector.setData(helper.get(), mtWind | mtPressure | mtPrecipitation, false, 0.0f);
        QVERIFY(projector.isobarLayerOn());
        const QImage frame = renderFrame(projector);

        auto screen = [&projector](const QPointF& p) {
            int x = 0, y = 0;
            projector.geo2Screen(int(p.y() * 1e6), int(p.x() * 1e6), x, y);
            return QPoint(x, y);
        };
        int checked = 0;
        QPoint firstLabel(-1, -1);
        for (size_t k = 0; k + 1 < points.size(); k += 2) {
            const QPoint start = screen(points[k]);
            const QPoint end = screen(points[k + 1]);
            // Above row 38 no label box reaches.
            if (start.x() >= 0 && start.x() < 400 && start.y() >= 0 && start.y() < 38) {
                QCOMPARE(frame.pixel(start), kIsoLine.rgba());
                ++checked;
            }
            if (firstLabel.x() < 0 && end.x() >= 51 && end.x() < 350 && end.y() >= 51 && end.y() < 250)
                firstLabel = end;
        }
        QVERIFY(checked > 0);
        QVERIFY(firstLabel.x() > 0);
        // Drawing the expected label again over it changes nothing.
        QCOMPARE(differences(frame, drawn(frame, [&](QPainter& p) { drawLabel(p, firstLabel, "1013"); })), 0);
    }

    void legendAndDateLine_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<float>("blend");  // below 0: no setData after the step
        QTest::addColumn<QString>("text");
        // Steps 6 hours apart: 18:00 and 00:00 UTC, 19:00 and 01:00 in
        // Paris; blend 0 shows the step before (one second after it).
        QTest::newRow("first step") << false << 0.0f << "Local time: Saturday, 31-01-2009, 19:00";
        QTest::newRow("blend 0") << true << 0.0f << "Local time: Saturday, 31-01-2009, 19:00";
        QTest::newRow("blend 0.5") << true << 0.5f << "Local time: Saturday, 31-01-2009, 22:00";
        QTest::newRow("blend 1") << true << 1.0f << "Local time: Sunday, 01-02-2009, 01:00";
        // The helper moved on without setData: the step now shown.
        QTest::newRow("no setData") << true << -1.0f << "Local time: Sunday, 01-02-2009, 01:00";
    }

    // A pressure frame: the legend squares from 1040 hPa down with their
    // texts and unit, and the date line in local time.
    void legendAndDateLine()
    {
        QFETCH(bool, forward);
        QFETCH(float, blend);
        QFETCH(QString, text);
        GribTestFile file;
        file.add(at(modelfixtures::pressure(11, 11), 0), 101000.0f);
        file.add(at(modelfixtures::pressure(11, 11), 6), 102000.0f);
        auto helper = openHelper(file);
        QVERIFY(helper);
        EquirectProjector projector;
        blankView(projector, 640, 300, 9000, 55.0, 5.0);  // wide enough for the date line
        projector.setData(helper.get(), mtPressure, false, 0.0f);
        if (forward) {
            renderFrame(projector);
            QVERIFY(helper->nextCompound());
            if (blend >= 0) {
                projector.setData(helper.get(), mtPressure, true, 0.0f);
                renderFrame(projector);
                projector.setData(helper.get(), mtPressure, true, blend);
            }
        }
        const QImage frame = renderFrame(projector);
        // Squares of 18 pixels at x 582..599 from y 44 down.
        QCOMPARE(frame.pixel(590, 53), qRgb(240, 0, 0));
        QCOMPARE(frame.pixel(590, 44 + 9 * 18 + 9), qRgb(161, 0, 199));
        QCOMPARE(frame.pixel(582, 44), kBlack);
        QCOMPARE(differences(frame, pressureFrame(projector, text)), 0);
    }

    void noLegendWithoutMessage()
    {
        GribTestFile file;
        file.add(modelfixtures::pressure(11, 11), 101000.0f);
        auto helper = openHelper(file);
        QVERIFY(helper);
        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 55.0, 5.0);
        projector.setData(helper.get(), mtTemperature, false, 0.0f);
        QVERIFY(!projector.getMessage());
        const QImage frame = renderFrame(projector);
        QCOMPARE(differences(frame, mapOnly(projector)), 0);
        QCOMPARE(frame.pixel(0, 0), GeoProjector::kSeaColour);
    }

    void cityNamesCrowding_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<bool>("named");
        const int half = QFontMetrics(QFont("Helvetica", 9)).height() >> 1;
        QVERIFY(half > 5);
        QTest::newRow("dx 24") << 24 << 5 << false;
        QTest::newRow("dx 25") << 25 << 5 << true;
        QTest::newRow("dy half - 1") << 0 << half - 1 << false;
        QTest::newRow("dy half") << 0 << half << true;
    }

    // A city close to one already named gets its dot but no name.
    void cityNamesCrowding()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(bool, named);
        // Zoom 8: threshold 250000, 50 pixels per degree, (0°, 0°) at (200, 150).
        EquirectProjector projector;
        blankView(projector, 400, 300, 9000, 0.0, 0.0);
        const QImage background = renderFrame(projector);
        const double lon = dx ? (dx * 20000 + 10000) / 1e6 : 0.0;
        const double lat = dy ? (dy * 20000 + 10000) / 1e6 : 0.0;
        const auto cities = citiesOf(cityLine("Alta", 1000000, 0, 0) + cityLine("Bravissimo Grande", 500000, lat, lon));
        projector.setSharedData(cities.get());
        const QImage frame = renderFrame(projector);
        const int x = 200 + dx, y = 150 - dy;
        QVERIFY(reddish(frame.pixel(x, y)) || reddish(frame.pixel(x - 1, y - 1)));
        // The long name's eastern half, clear of Alta's short one and of
        // the dots; its baseline is 2 + 3 pixels above the dot.
        const QRect nameTail(222, y - 5 - 12, 24, 14);
        const int changed = differingPixels(frame, background, nameTail);
        if (named)
            QVERIFY2(changed > 10, qPrintable(QString::number(changed)));
        else
            QCOMPARE(changed, 0);
    }

    void cityDotsAndList()
    {
        EquirectProjector projector;
        blankView(projector, 400, 300, 1125, 0.0, 0.0);
        QCOMPARE(projector.getCityThreshold(), 2000000);
        projector.update(400, 300, 1125 * 64);
        QCOMPARE(projector.getCityThreshold(), 31250);
        projector.update(400, 300, 1125 * 8);
        QCOMPARE(projector.getCityThreshold(), 250000);
        const QImage background = renderFrame(projector);
        // The list stops at the first city below 250000 inhabitants.
        const auto cities = citiesOf(cityLine("Alta", 1000000, 0, 0) + cityLine("Carta", 300000, -1, 1) +
                                     cityLine("Echo", 200000, 1, -2) + cityLine("Fox", 260000, -2, 2));
        projector.setSharedData(cities.get());
        const QImage frame = renderFrame(projector);
        // Alta: 4 times the threshold, 3 significant bits, radius 3: the dot
        // (and its half-pixel outline) covers x 196..203 on row 150.
        int left = 400, right = -1;
        for (int x = 185; x < 215; ++x)
            if (frame.pixel(x, 150) != background.pixel(x, 150)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        QCOMPARE(left, 196);
        QCOMPARE(right, 203);
        QVERIFY(reddish(frame.pixel(199, 149)));
        QVERIFY(differingPixels(frame, background, QRect(249, 199, 2, 2)) > 0);  // Carta, radius 1
        QCOMPARE(differingPixels(frame, background, QRect(80, 80, 40, 40)), 0);   // Echo
        QCOMPARE(differingPixels(frame, background, QRect(280, 230, 40, 40)), 0); // Fox

        // A first city below the threshold: no city at all.
        const auto none = citiesOf(cityLine("Echo", 200000, 1, -2) + cityLine("Alta", 1000000, 0, 0));
        projector.setSharedData(none.get());
        QCOMPARE(differences(renderFrame(projector), background), 0);

        // At 179.5°W, seen from 179°E: 1.5° east of the centre, x 275.
        projector.setSharedData(noGeography.get());
        projector.update(400, 300, 9000, 0, 179000000);
        const QImage pacific = renderFrame(projector);
        const auto golf = citiesOf(cityLine("Golf", 1000000, 0, -179.5));
        projector.setSharedData(golf.get());
        const QImage frameGolf = renderFrame(projector);
        QVERIFY(reddish(frameGolf.pixel(274, 149)));
        QVERIFY(differingPixels(frameGolf, pacific, QRect(250, 120, 50, 28)) > 10);  // its name
    }
};

QTEST_MAIN(TestSymbols)
#include "tst_symbols.moc"
