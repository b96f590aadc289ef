// The weather colour layer: field choice, interpolant, colour rules, blending, literal frames.
#include "renderfixtures.h"
#include "ColourLookup.h"
#include "GribKeys.h"
#include "LandMaskImage.h"
#include "SettingsFactory.h"
#include "SharedData.h"
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

using namespace renderfixtures;
using namespace modelfixtures;

namespace {

// The Catmull-Rom interpolant at row r (from the north), column c (from the west), edges replicated or wrapped.
double interpolant(const GribMsg& m, double r, double c, bool wraps)
{
    auto spline = [](double p0, double p1, double p2, double p3, double f) {
        return 0.5 * (2 * p1 + (p2 - p0) * f + (2 * p0 - 5 * p1 + 4 * p2 - p3) * f * f +
                      (3 * p1 - p0 - 3 * p2 + p3) * f * f * f);
    };
    const int row = int(r), col = int(c);
    auto at = [&](int i, int j) {
        i = std::clamp(i, 0, m.nj - 1);
        j = wraps ? (j % m.ni + m.ni) % m.ni : std::clamp(j, 0, m.ni - 1);
        return double(m.values[size_t(i) * m.ni + j]);
    };
    auto across = [&](int i) { return spline(at(i, col - 1), at(i, col), at(i, col + 1), at(i, col + 2), c - col); };
    return spline(across(row - 1), across(row), across(row + 1), across(row + 2), r - row);
}

// The value interpolated at a position, as kept in the value cache at pixel index 0.
float valueAt(GeoProjector& p, int lat, int lon, QRgb* colour = nullptr)
{
    p.setPixelIndex(0);
    const QRgb c = p.getWeatherAt(lat, lon);
    if (colour)
        *colour = c;
    return p.getValueCache()[0];
}

bool noWeatherColour(const GeoProjector& p)
{
    const QImage f = p.lastFrame().convertToFormat(QImage::Format_RGB32);
    const QRgb* px = reinterpret_cast<const QRgb*>(f.constBits());
    return std::all_of(px, px + f.width() * f.height(), [](QRgb c) { return c == kSea || c == kLand || c == kCoast; });
}

// The latitude (µ°) of frame row y, as the projection places it.
long long rowLatitude(const GeoProjector& weather, int kind, int y)
{
    const float angle = float(weather.getCenterY() + weather.getCenterRow() - y) * weather.getRadiansPerPixel();
    return kind == Mercator ? (long long)(std::atan(std::sinh(double(angle))) * 57295776.3671875)
                            : (long long)(weather.getCenterY() - y) * weather.getScale() + weather.getCenterLat();
}

// The frame painted the literal way: base and overlay filled pixel by pixel in raster order, the
// weather colour from getWeatherAt at the running pixel index, then the overlay drawn over the base.
QImage literalFrame(GeoProjector& weather, int kind, QImage& overlay)
{
    const SharedData& masks = *SettingsFactory::getSharedData();
    const int w = weather.frameWidth(), h = weather.frameHeight();
    QImage base(w, h, QImage::Format_ARGB32);
    base.fill(kSea);
    overlay = QImage(w, h, QImage::Format_ARGB32);
    overlay.fill(0);
    const bool seaOnly = weather.getMeteoType() == mtWave || weather.getMeteoType() == mtSST;
    int index = 0;
    bool previousLand = false;
    for (int y = 0; y < h; ++y) {
        const long long lat = rowLatitude(weather, kind, y);
        if (lat < -79999999 || lat > 79999999)
            continue;
        const int maskRow = int((80000000 - lat) / 10000);
        QRgb* b = reinterpret_cast<QRgb*>(base.scanLine(y));
        const QRgb* above = y > 0 ? reinterpret_cast<const QRgb*>(base.constScanLine(y - 1)) : nullptr;
        QRgb* o = reinterpret_cast<QRgb*>(overlay.scanLine(y));
        for (int x = 0; x < w; ++x, ++index) {
            const long long lon = (long long)(x - weather.getCenterX()) * weather.getScale() + weather.getCenterLon();
            long long folded = lon;
            while (folded > 180000000 || folded < -180000000)
                folded += folded > 0 ? -360000000 : 360000000;
            const QImage* mask = folded <= -1 ? &masks.westernMask : folded <= 179999999 ? &masks.easternMask : nullptr;
            // Just west of 0° the arithmetic gives 18000: the last column.
            const int column = folded <= -1 ? std::min(int(folded / 10000) + 18000, 17999) : int(folded / 10000);
            if (mask && !mask->isNull()) {
                if (LandMaskImage::isSet(*mask, column, maskRow)) {
                    if (!previousLand && x > 0)
                        b[x - 1] = kCoast;
                    b[x] = above && above[x] == kSea ? kCoast : kLand;
                    previousLand = true;
                } else {
                    b[x] = (previousLand && x >= 1) || (above && above[x] == kLand) ? kCoast : b[x];
                    previousLand = false;
                }
            }
            if (b[x] != kCoast && (!seaOnly || b[x] == kSea)) {
                weather.setPixelIndex(index);
                o[x] = weather.getWeatherAt(int(lat), int(lon));
            }
            if (x > 0 && b[x - 1] == kCoast)
                o[x - 1] = kCoast;
        }
    }
    QImage result = base.convertToFormat(QImage::Format_RGB32);
    QPainter(&result).drawImage(0, 0, overlay);
    return result;
}

// The first difference between the fast frame and the literal one (exact where the overlay is opaque
// or clear, within one per channel where translucent); `literal` then renders so both caches move alike.
QString frameDifference(GeoProjector& fast, GeoProjector& literal, int kind)
{
    renderFrame(fast);
    QImage overlay;
    const QImage expected = literalFrame(literal, kind, overlay);
    QImage scratch(literal.frameWidth(), literal.frameHeight(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    literal.GeoProjector::render(painter);
    const QImage& got = fast.lastFrame();
    int weatherPixels = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y), e = expected.pixel(x, y);
            const int alpha = qAlpha(overlay.pixel(x, y));
            weatherPixels += alpha > 0 && overlay.pixel(x, y) != kCoast;
            const bool near = std::abs(qRed(a) - qRed(e)) <= 1 && std::abs(qGreen(a) - qGreen(e)) <= 1 &&
                              std::abs(qBlue(a) - qBlue(e)) <= 1;
            if (a != e && !(alpha > 0 && alpha < 255 && near))
                return QString("pixel (%1, %2): %3 instead of %4").arg(x).arg(y).arg(a, 8, 16).arg(e, 8, 16);
        }
    return weatherPixels > 0 ? QString() : QStringLiteral("no weather colour in view");
}

// The first pixel of p's frame over grid g (1° steps) that is coloured where the nearest grid point is
// missing, or otherwise not in the colour of a value between its cell's present corners in the steps;
// value(step, row, col) is NaN where missing.
QString coastViolation(GeoProjector& p, int kind, int type, const GRIB_WRITE_PARAMS& g, int steps,
                       const std::function<double(int, int, int)>& value)
{
    const QImage& frame = p.lastFrame();
    int blank = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const double r = (g.lat1 * 1e3 - double(rowLatitude(p, kind, y))) / 1e6;
            const double c = ((x - p.getCenterX()) * double(p.getScale()) + p.getCenterLon() - g.lon1 * 1e3) / 1e6;
            const int i = int(std::floor(r)), j = int(std::floor(c));
            bool besideGap = false;  // a missing point among the 4 × 4 of the cell's patch
            for (int n = 0; n < 16 && i >= 0 && j >= 0 && i < g.nj - 1 && j < g.ni - 1; ++n)
                besideGap = besideGap || std::isnan(value(0, std::clamp(i - 1 + n / 4, 0, g.nj - 1),
                                                          std::clamp(j - 1 + n % 4, 0, g.ni - 1)));
            if (!besideGap || std::abs(r - i - .5) < .01 || std::abs(c - j - .5) < .01)
                continue;  // a complete or no cell, or no single nearest point
            double lo = INFINITY, hi = -INFINITY;
            for (int n = 0; n < steps * 4; ++n)
                if (const double v = value(n / 4, i + n % 4 / 2, j + n % 2); !std::isnan(v))
                    lo = std::min(lo, v), hi = std::max(hi, v);
            const QRgb got = frame.pixel(x, y);
            const bool nearestMissing = std::isnan(value(0, int(std::lround(r)), int(std::lround(c))));
            blank += nearestMissing;
            bool fits = nearestMissing && got == kSea;
            for (int k = 0; k <= 100 && !nearestMissing && !fits; ++k)
                fits = got == p.getColour(unsigned(type), float(lo - 1e-3 + (hi - lo + 2e-3) * k / 100));
            if (!fits)
                return QString("pixel (%1, %2): %3, corners %4..%5").arg(x).arg(y).arg(got, 8, 16).arg(lo).arg(hi);
        }
    return blank > 0 ? QString() : QStringLiteral("no missing point in view");
}

#define COMPARE_FRAMES(fast, literal, kind) \
    do { const QString d = frameDifference(fast, literal, kind); QVERIFY2(d.isEmpty(), qPrintable(d)); } while (false)

// A smooth field (mean + amplitude × smooth), the type (0: two blended precipitation steps) and the view.
struct Scenario { GRIB_WRITE_PARAMS grid; double mean, amplitude; int type, kind, zoom, width, height, lat, lon; };

}  // namespace

Q_DECLARE_METATYPE(Scenario)

class TestColourLayer : public QObject {
    Q_OBJECT
    ScratchHome home;  // before the first projector

private slots:
    void messageSelection()
    {
        // Two files: u, v before wind speed, or wind speed before u, v and combined before wind waves.
        GribTestFile all, some;
        for (const GRIB_WRITE_PARAMS& g : {windU(), windV(), pressure(), precipitation(), temperature(), windSpeed()})
            all.add(g, 300.0f);
        for (const auto& g : {windSpeed(), windU(), windV(), combinedWaves(), windWaveHeight(), pressure()})
            some.add(g, g.param == 2 ? 101000.0f : 5.0f);
        const struct { bool everything; int type, meteoType; uint key; bool wind, isobars; } rows[] = {
            {true, 1, 1, GribKey::windU, true, false}, {false, 1, 1, GribKey::windSpeed, true, false},
            {false, 16, 16, GribKey::waveCombined, false, false}, {true, 7, 4, GribKey::precipitation, true, true},
            {false, 7, 0, 0u, true, true}, {false, 8, 8, 0u, false, false}};
        for (const auto& r : rows) {
            auto helper = openHelper(r.everything ? all : some);
            QVERIFY(helper);
            EquirectProjector p;
            p.update(40, 30, 8 * kZoom1, 59000000, 1500000);  // the North Sea, inside the 4 × 3 grid
            p.setData(helper.get(), mtPressure, false, 0.0f);
            renderFrame(p);
            QVERIFY(!noWeatherColour(p));
            p.setData(helper.get(), r.type, true, 0.5f);
            const QByteArray row = QByteArray::number(r.type) + (r.everything ? " in the first file" : "");
            QVERIFY2(p.getMeteoType() == r.meteoType && (p.getMessage() ? p.getMessage()->gct : 0u) == r.key &&
                         p.windLayerOn() == r.wind && p.isobarLayerOn() == r.isobars, row);
            renderFrame(p);
            QVERIFY2(noWeatherColour(p) == (r.key == 0), row.constData());  // a missing field has no colour layer
            p.setData(nullptr, r.type, false, 0.0f);
            QVERIFY(!p.getMessage() && !p.getHelper() && !p.windLayerOn() && !p.isobarLayerOn() && !p.getMeteoType());
        }
    }

    void patchValues()
    {
        GribTestFile file;
        const GRIB_WRITE_PARAMS g = onGrid(pressure(), 60000, 0, 5, 4, 1000);  // 5 × 4 at 1° from 60°N 0°, irregular
        file.add(g, sample(g, [](double lat, double lon) {
            return 100000 + 900 * std::sin(lat * 1.3) * std::cos(lon * 0.7) + 37 * lon * lon - 11 * lat;
        }));
        auto helper = openHelper(file);
        QVERIFY(helper);
        const GribMsg& msg = helper->getCurrentCompound().front();
        EquirectProjector p;
        p.update(4, 4, 8 * kZoom1, 59000000, 2000000);
        p.setData(helper.get(), mtPressure, false, 0.0f);
        // Grid rows south of 60°N and columns east of 0°; on the southern or eastern edge in no cell.
        const struct { double row, col; bool inCell; } points[] = {
            {0, 0, true}, {1, 2, true}, {1.25, 2.75, true}, {0.3, 0.2, true}, {2.6, 3.9, true},  // edges replicated
            {3, 1.5, false}, {3, 4, false}};
        for (const auto& pt : points) {
            const int lat = int(std::lround(60e6 - pt.row * 1e6)), lon = int(std::lround(pt.col * 1e6));
            QVERIFY(valueAt(p, 59500000, 500000) != 0.0f);  // so that "kept 0" can be told from "left alone"
            QRgb colour = 1;
            const float value = valueAt(p, lat, lon, &colour);
            if (!pt.inCell) {  // inside the bounds, in no cell: transparent, and 0 kept
                QVERIFY(colour == 0 && value == 0.0f);
                continue;
            }
            const double expected = interpolant(msg, pt.row, pt.col, false);
            QVERIFY2(std::abs(value - expected) < 0.1, qPrintable(QString("%1 vs %2").arg(value).arg(expected)));
            if (pt.row == std::floor(pt.row) && pt.col == std::floor(pt.col))  // exactly the grid value
                QCOMPARE(value, msg.values[size_t(pt.row) * 5 + size_t(pt.col)]);
            QCOMPARE(colour, p.getColour(mtPressure, value));
            // Outside the bounds: transparent, the cache left alone.
            QCOMPARE(p.getWeatherAt(60000001, lon), QRgb(0));
            QCOMPARE(valueAt(p, lat, -1), value);
        }
    }

    void colourRules()
    {
        // Wind in knots (3 m/s = 5.83 kn), °C above 173 K, precipitation from 0.4 mm, the rest above 0.
        const float nan = std::numeric_limits<float>::quiet_NaN();
        struct Rule { int type; float value; QRgb colour; };
        const Rule rules[] = {
            {1, 3.0f, qRgba(0, 174, 245, 255)}, {1, nan, qRgba(0, 0, 255, 0)},                // NaN: lowest band
            {8, 283.2f, qRgba(172, 165, 148, 255)}, {8, 282.9f, qRgba(179, 185, 160, 255)},  // 10.2, 9.9 °C
            {8, 173.0f, 0}, {8, 173.1f, qRgba(19, 100, 193, 255)}, {32, 173.0f, 0},            // 173.1: below the scale
            {4, 0.3f, 0}, {4, 0.4f, qRgba(170, 248, 248, 176)}, {2, 0.0f, 0}, {2, 50000.0f, qRgba(161, 0, 199, 255)},
            {64, 0.02f, qRgba(0, 255, 0, 255)}, {3, 5.0f, 0}};  // 3: no such type
        GribTestFile file;
        file.add(pressure(), 101000.0f);
        auto helper = openHelper(file);
        QVERIFY(helper);
        EquirectProjector p;
        p.setData(helper.get(), mtPressure, false, 0.0f);
        for (const Rule& r : rules)
            QVERIFY2(p.getColour(unsigned(r.type), r.value) == r.colour,
                     qPrintable(QString("type %1 value %2").arg(r.type).arg(double(r.value))));
        // Shown through a field: u = 3, v = 4 is 5 m/s, 9.72 kn; shown values up to 0.025 count as 0; sea
        // temperature in °C (22 °C); swell height in metres.
        const struct { int type; GRIB_WRITE_PARAMS first, second; float value; QRgb colour; } shown[] = {
            {mtWind, windU(), windV(), 3.0f, qRgba(105, 218, 239, 255)},
            {mtPrecipitation, precipitation(), tidalDirection(), 0.3f, 0},
            {mtTidal, tidalSpeed(), tidalDirection(), 0.025f, 0},
            {mtTidal, tidalSpeed(), tidalDirection(), 0.03f, qRgba(0, 255, 0, 255)},
            {mtSST, seaTemperature(), tidalDirection(), 295.0f, qRgb(204, 255, 0)},
            {mtWave, swellHeight(), tidalDirection(), 2.0f, qRgb(0, 74, 255)}};
        for (const auto& r : shown) {
            GribTestFile f;
            f.add(r.first, r.value);
            f.add(r.second, 4.0f);
            auto h = openHelper(f);
            QVERIFY(h);
            EquirectProjector q;
            q.update(4, 4, 8 * kZoom1, 59000000, 1500000);
            q.setData(h.get(), r.type, false, 0.0f);
            QRgb got = 1;
            valueAt(q, 59000000, 1500000, &got);
            QVERIFY2(got == r.colour, qPrintable(QString("shown type %1 value %2").arg(r.type).arg(double(r.value))));
        }
    }

    void blending()
    {
        // 99500 then 103500 everywhere: bands 99000 and 103000, half way 101500.
        const GRIB_WRITE_PARAMS g = onGrid(pressure(), 60000, -20000, 41, 31, 1000);
        GribTestFile file, other;
        file.add(at(g, 0), 99500.0f);
        file.add(at(g, 6), 103500.0f);
        other.add(at(g, 0), 99500.0f);
        other.add(at(g, 6), 101500.0f);
        auto helper = openHelper(file);
        QVERIFY(helper);
        EquirectProjector p, current;
        p.update(300, 200, 4 * kZoom1, 45000000, -10000000);
        current.update(300, 200, 4 * kZoom1, 45000000, -10000000);
        auto show = [&](float t) {
            p.setData(helper.get(), mtPressure, true, t);
            renderFrame(p);
            return uint(p.lastFrame().pixel(20, 100));  // 45°N 15.2°W, sea
        };
        QCOMPARE(show(0.0f), uint(qRgb(0, 209, 140)));
        const QImage previous = p.lastFrame().copy();
        QVERIFY(helper->nextCompound());
        show(0.0f);
        QCOMPARE(p.lastFrame(), previous);  // factor 0: the previous step
        const float* table = p.getPatchTable().data();
        const std::vector<float> coefficients = p.getPatchTable();
        QCOMPARE(show(0.5f), uint(qRgb(161, 230, 51)));
        QVERIFY(p.getPatchTable().data() == table && p.getPatchTable() == coefficients);  // only the blend moved
        QCOMPARE(show(1.0f), uint(qRgb(240, 130, 41)));
        current.setData(helper.get(), mtPressure, false, 0.0f);
        renderFrame(current);
        QCOMPARE(p.lastFrame(), current.lastFrame());
        // Another file in the same helper at the same compound number: its own colours.
        QVERIFY(helper->openGribFile(QString::fromLocal8Bit(other.write()), true));
        QVERIFY(helper->nextCompound());
        p.setData(helper.get(), mtPressure, false, 0.0f);
        QVERIFY(p.needsRecompute());
        renderFrame(p);
        QCOMPARE(uint(p.lastFrame().pixel(20, 100)), uint(qRgb(161, 230, 51)));
        QCOMPARE(p.getValueCache()[0], 101500.0f);
    }

    void longitudesATurnAway()
    {
        // Round the earth: 0°..359.5° at 0.5°, 52°N..50°N.
        GribTestFile file;
        const GRIB_WRITE_PARAMS g = onGrid(pressure(), 52000, 0, 720, 5, 500);
        file.add(g, sample(g, [](double lat, double lon) {
            return 101000 + 3000 * std::cos(lon * kPi / 180) + 1000 * std::sin(lon * kPi / 60) + 50 * lat;
        }));
        auto helper = openHelper(file);
        QVERIFY(helper);
        const GribMsg* msg = &helper->getCurrentCompound().front();
        EquirectProjector p;
        p.update(200, 100, 8 * kZoom1, 51000000, -30000000);
        p.setData(helper.get(), mtPressure, false, 0.0f);
        // 359.8°: between the last column and the first at v = 0.6.
        const double seam = interpolant(*msg, 2.0, 719.6, true);
        const float atSeam = valueAt(p, 51000000, 359800000);
        QVERIFY2(std::abs(atSeam - seam) < 0.05, qPrintable(QString("%1 vs %2").arg(atSeam).arg(seam)));
        QVERIFY(valueAt(p, 51000000, -200000) == atSeam && valueAt(p, 51000000, 719800000) == atSeam);
        const float west = valueAt(p, 51000000, -30000000);  // 330°, column 660
        QCOMPARE(west, msg->values[2 * 720 + 660]);
        renderFrame(p);
        QCOMPARE(uint(p.lastFrame().pixel(100, 50)), uint(p.getColour(mtPressure, west)));
        // 170°E..190°E: 175°W is 185°E on it, 175°E on it directly, 165°W off it.
        GribTestFile dateLine;
        const GRIB_WRITE_PARAMS d = onGrid(pressure(), 10000, 170000, 21, 11, 1000);
        dateLine.add(d, sample(d, [](double lat, double lon) { return 100000 + 100 * lon + 10 * lat; }));
        helper = openHelper(dateLine);
        msg = &helper->getCurrentCompound().front();
        p.setData(helper.get(), mtPressure, false, 0.0f);
        QVERIFY(valueAt(p, 5000000, -175000000) == msg->values[5 * 21 + 15] &&
                valueAt(p, 5000000, 175000000 - 360000000) == msg->values[5 * 21 + 5]);
        QCOMPARE(p.getWeatherAt(5000000, -165000000), QRgb(0));
    }

    void unusableGrids()
    {
        // Header fields as a damaged file could decode them; v on another grid cannot be paired.
        for (int damage = 0; damage < 6; ++damage) {
            GribTestFile file;
            file.add(windU(), 3.0f);
            file.add(damage == 5 ? field(34, 105, 10, 5, 3) : windV(), 4.0f);
            auto helper = openHelper(file);
            QVERIFY(helper);
            GribMsg& u = helper->getCurrentCompound().front();
            if (damage == 0) u.di = 0;
            if (damage == 1) u.ni = 0;
            if (damage == 2) u.releaseValues();
            if (damage == 3) u.lon1 = 900000;  // west at 900°
            if (damage == 4) u.nj = 1;         // one row: usable
            for (int kind : {Equirect, Mercator}) {
                auto p = makeProjector(kind);
                p->update(60, 40, 8 * kZoom1, 59000000, 1500000);
                p->setData(helper.get(), mtWind, false, 0.0f);
                QCOMPARE(p->getMessage() != nullptr, damage >= 4);
                renderFrame(*p);
                p->update(true);
                if (damage == 5)  // the speed of u alone
                    QCOMPARE(valueAt(*p, 59500000, 1500000), 3.0f);
                else if (damage == 4)
                    QVERIFY(noWeatherColour(*p));
            }
        }
    }

    void matchesLiteralFrame_data()
    {
        QTest::addColumn<Scenario>("s");
        auto row = [](const char* name, const Scenario& s) { QTest::newRow(name) << s; };
        const GRIB_WRITE_PARAMS europe = onGrid(pressure(), 75000, -40000, 91, 56, 1000);  // 75°N..20°N, 40°W..50°E
        const GRIB_WRITE_PARAMS rain = onGrid(precipitation(), 75000, -40000, 91, 56, 1000);
        const GRIB_WRITE_PARAMS fiji = onGrid(pressure(), 0, 160000, 41, 36, 1000);  // its islands cross 180°
        const GRIB_WRITE_PARAMS world = onGrid(temperature(), 90000, -180000, 73, 37, 5000);
        const GRIB_WRITE_PARAMS sst = onGrid(seaTemperature(), 46000, -6000, 87, 33, 500);  // the Mediterranean
        const GRIB_WRITE_PARAMS swell = onGrid(swellHeight(), 46000, -6000, 87, 33, 500);
        row("grid edges in view", {europe, 101000, 4000, mtPressure, Equirect, 1, 480, 360, 45000000, 5000000});
        row("mercator precipitation", {rain, 3.5, 4, mtPrecipitation, Mercator, 2, 400, 300, 50000000, 0});
        row("date line from the east", {fiji, 101000, 3000, mtPressure, Equirect, 8, 400, 300, -17000000, 179000000});
        row("sea bands, wider than the world", {world, 285, 15, mtTemperature, Equirect, 1, 2400, 1300, 0, 20000000});
        row("mercator, beyond 80N", {world, 285, 15, mtTemperature, Mercator, 1, 300, 1400, 60000000, -40000000});
        row("sea temperature, sea only", {sst, 290, 6, mtSST, Equirect, 4, 400, 300, 38000000, 15000000});
        row("swell, sea only", {swell, 2, 1, mtWave, Mercator, 4, 400, 300, 38000000, 15000000});
        // 2500 µ°/px: columns at −2500..−7500 µ° use the last western column.
        row("west of Greenwich, zoom 64", {europe, 101000, 4000, mtPressure, Equirect, 64, 300, 200, 51480000, 0});
        row("blended steps, then a pan", {rain, 3, 4, 0, Equirect, 2, 400, 300, 50000000, 5000000});
    }

    void matchesLiteralFrame()
    {
        QFETCH(Scenario, s);
        GribTestFile file;
        for (int step = 0; step < (s.type ? 1 : 2); ++step) {
            const GRIB_WRITE_PARAMS g = at(s.grid, 6 * step);
            auto f = [&](double a, double o) { return s.mean + s.amplitude * smooth(a + 3 * step, o - 4 * step); };
            file.add(g, sample(g, f));
        }
        auto helper = openHelper(file);
        QVERIFY(helper);
        auto fast = makeProjector(s.kind), literal = makeProjector(s.kind);
        for (GeoProjector* q : {fast.get(), literal.get()})
            q->update(s.width, s.height, s.zoom * kZoom1, s.lat, s.lon);
        auto set = [&](int type, bool blend, float t) {
            fast->setData(helper.get(), type, blend, t);
            literal->setData(helper.get(), type, blend, t);
        };
        const int type = s.type ? s.type : int(mtPrecipitation);
        set(type, !s.type, 0.0f);
        COMPARE_FRAMES(*fast, *literal, s.kind);
        if (s.type) {
            set(type, false, 0.0f);
            QVERIFY(!fast->needsRecompute());  // again, painted from the value cache
            COMPARE_FRAMES(*fast, *literal, s.kind);
            return;
        }
        QVERIFY(helper->nextCompound());
        for (float t : {0.0f, 0.4f, 0.8f}) {
            set(mtPrecipitation, true, t);
            COMPARE_FRAMES(*fast, *literal, s.kind);
        }
        // A pan while blending starts the blend again from the previous-step cache at the same indices.
        fast->move(40, 25);
        literal->move(40, 25);
        COMPARE_FRAMES(*fast, *literal, s.kind);
    }

    void coastsOfSeaFields_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("steps");
        QTest::newRow("swell") << int(mtWave) << int(Equirect) << 1;
        QTest::newRow("sea temperature, mercator") << int(mtSST) << int(Mercator) << 1;
        QTest::newRow("swell, blended steps") << int(mtWave) << int(Equirect) << 2;
    }

    void coastsOfSeaFields()
    {
        // 14 × 12 points at 1° from 50°N 46°W, all sea on the map: land (missing) where 2 col + row < 10 and
        // at (6, 9); the sea rises east and south, and steps up along the coast, which the patches overshoot.
        QFETCH(int, type); QFETCH(int, kind); QFETCH(int, steps);
        GRIB_WRITE_PARAMS g = onGrid(type == mtWave ? swellHeight() : seaTemperature(), 50000, -46000, 14, 12, 1000);
        auto value = [base = type == mtWave ? 2.0 : 283.0](int step, int i, int j) {
            const double sea = base + .25 * j + .15 * i + (2 * j + i < 12 ? 3 : 0) + step;
            return 2 * j + i < 10 || (i == 6 && j == 9) ? NAN : sea;
        };
        std::vector<unsigned char> sea;
        std::vector<float> values[2];
        for (int n = 0; n < g.ni * g.nj; ++n) {
            sea.push_back(!std::isnan(value(0, n / g.ni, n % g.ni)));
            for (int step = 0; step < 2; ++step)
                values[step].push_back(sea.back() ? float(value(step, n / g.ni, n % g.ni)) : 0.0f);
        }
        g.bitmap = sea.data();
        GribTestFile file;
        for (int step = 0; step < 2; ++step)
            file.add(at(g, 6 * step), values[step]);
        auto helper = openHelper(file);
        QVERIFY(helper);
        auto fast = makeProjector(kind), literal = makeProjector(kind);
        auto show = [&](bool blend, float t) {
            for (GeoProjector* q : {fast.get(), literal.get()}) {
                q->update(300, 240, 4 * kZoom1, 45000000, -39000000);
                q->setData(helper.get(), type, blend, t);
            }
        };
        show(false, 0.0f);
        if (steps == 2) {
            COMPARE_FRAMES(*fast, *literal, kind);
            QVERIFY(helper->nextCompound());
            show(true, 0.5f);
        }
        for (int pass = 0; pass < 2; ++pass, show(steps == 2, 0.5f)) {  // values computed, then from the cache
            QVERIFY(pass == 0 || !fast->needsRecompute());
            COMPARE_FRAMES(*fast, *literal, kind);
            const QString violation = coastViolation(*fast, kind, type, g, steps, value);
            QVERIFY2(violation.isEmpty(), qPrintable(violation));
        }
    }
};

QTEST_MAIN(TestColourLayer)
#include "tst_colourlayer.moc"
