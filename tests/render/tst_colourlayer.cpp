// The weather colour layer: which field is coloured, the Catmull-Rom
// interpolant over its grid, the colour rules, blending between steps,
// and whole frames checked against a literal pixel-by-pixel painting.
#include "renderfixtures.h"

#include "ColourLookup.h"
#include "GribKeys.h"
#include "LandMaskImage.h"
#include "SettingsFactory.h"
#include "SharedData.h"

#include <cmath>
#include <functional>
#include <limits>

using namespace renderfixtures;
using namespace modelfixtures;

namespace {

constexpr int kZoom1 = 1125;
constexpr double kPi = 3.14159265358979323846;
constexpr QRgb kSea = GeoProjector::kSeaColour;
constexpr QRgb kLand = GeoProjector::kLandColour;
constexpr QRgb kCoast = GeoProjector::kCoastColour;
enum Kind { Equirect, Mercator };

// Fields the colour layer knows beyond the model fixtures' five.
GRIB_WRITE_PARAMS windSpeed() { return field(32, 105, 10); }
GRIB_WRITE_PARAMS seaTemperature() { return field(11, 1, 0); }
GRIB_WRITE_PARAMS swellHeight() { return field(100, 1, 1); }
GRIB_WRITE_PARAMS windWaveHeight() { return field(102, 1, 0); }
GRIB_WRITE_PARAMS combinedWaves() { return field(100, 1, 0); }
GRIB_WRITE_PARAMS tidalSpeed() { return field(48, 1, 0); }
GRIB_WRITE_PARAMS tidalDirection() { return field(47, 1, 0); }
GRIB_WRITE_PARAMS precipRate() { return field(59, 1, 0); }

// p on ni × nj points from (lat1, lon1), steps in millidegrees.
GRIB_WRITE_PARAMS onGrid(GRIB_WRITE_PARAMS p, int lat1, int lon1, int ni, int nj, int step)
{
    p.ni = ni;
    p.nj = nj;
    p.lat1 = lat1;
    p.lon1 = lon1;
    p.lat2 = lat1 - (nj - 1) * step;
    p.lon2 = lon1 + (ni - 1) * step;
    p.di = p.dj = step;
    p.bits_per_value = 24;
    return p;
}

// f(lat°, lon°) at the grid points, rows north to south.
std::vector<float> sample(const GRIB_WRITE_PARAMS& p, const std::function<double(double, double)>& f)
{
    std::vector<float> v;
    for (int i = 0; i < p.nj; ++i)
        for (int j = 0; j < p.ni; ++j)
            v.push_back(float(f((p.lat1 - i * p.dj) / 1000.0, (p.lon1 + j * p.di) / 1000.0)));
    return v;
}

double smooth(double lat, double lon)
{
    return std::sin(lat * 0.15) * std::cos(lon * 0.11) + 0.5 * std::cos(lat * 0.4 + lon * 0.23);
}

// Catmull-Rom on [p1, p2] at f.
double catmullRom(double p0, double p1, double p2, double p3, double f)
{
    return 0.5 * (2 * p1 + (p2 - p0) * f + (2 * p0 - 5 * p1 + 4 * p2 - p3) * f * f +
                  (3 * p1 - p0 - 3 * p2 + p3) * f * f * f);
}

// The interpolant of a decoded message at row r (from the north) and
// column c (from the west), edges replicated, or columns taken round the
// earth when `wraps`.
double interpolant(const GribMsg& m, double r, double c, bool wraps)
{
    const int row = int(r);
    const int col = int(c);
    auto at = [&](int i, int j) {
        i = std::clamp(i, 0, m.nj - 1);
        j = wraps ? (j % m.ni + m.ni) % m.ni : std::clamp(j, 0, m.ni - 1);
        return double(m.values[size_t(i) * m.ni + j]);
    };
    double across[4];
    for (int a = 0; a < 4; ++a)
        across[a] = catmullRom(at(row + a - 1, col - 1), at(row + a - 1, col), at(row + a - 1, col + 1),
                               at(row + a - 1, col + 2), c - col);
    return catmullRom(across[0], across[1], across[2], across[3], r - row);
}

std::unique_ptr<GeoProjector> makeProjector(int kind)
{
    if (kind == Mercator)
        return std::make_unique<MercatorProjector>();
    return std::make_unique<EquirectProjector>();
}

// The value interpolated at a position, as kept in the value cache at the
// pixel index while recomputing.
float valueAt(GeoProjector& p, int lat, int lon, QRgb* colour = nullptr)
{
    p.setPixelIndex(0);
    const QRgb c = p.getWeatherAt(lat, lon);
    if (colour)
        *colour = c;
    return p.getValueCache()[0];
}

// Every pixel of the last frame is sea, land or coast.
bool noWeatherColour(const GeoProjector& p)
{
    const QImage& frame = p.lastFrame();
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (frame.pixel(x, y) != kSea && frame.pixel(x, y) != kLand && frame.pixel(x, y) != kCoast)
                return false;
    return true;
}

// The frame painted the literal way: a base image and an overlay image
// filled one pixel at a time in raster order, the weather colour from
// `weather`'s getWeatherAt at the running pixel index, then the overlay
// drawn over the base.
QImage literalFrame(GeoProjector& weather, int kind, QImage& overlay)
{
    const SharedData& masks = *SettingsFactory::getSharedData();
    const int w = weather.frameWidth();
    const int h = weather.frameHeight();
    QImage base(w, h, QImage::Format_ARGB32);
    base.fill(kSea);
    overlay = QImage(w, h, QImage::Format_ARGB32);
    overlay.fill(0);
    const bool seaOnly = weather.getMeteoType() == mtWave || weather.getMeteoType() == mtSST;
    int index = 0;
    bool previousLand = false;
    for (int y = 0; y < h; ++y) {
        long long lat = (long long)(weather.getCenterY() - y) * weather.getScale() + weather.getCenterLat();
        if (kind == Mercator) {
            const float angle = float(weather.getCenterY() + weather.getCenterRow() - y) * weather.getRadiansPerPixel();
            lat = (long long)(std::atan(std::sinh(double(angle))) * 57295776.3671875);
        }
        if (lat < -79999999 || lat > 79999999)
            continue;
        const int maskRow = int((80000000 - lat) / 10000);
        QRgb* b = reinterpret_cast<QRgb*>(base.scanLine(y));
        const QRgb* above = y > 0 ? reinterpret_cast<const QRgb*>(base.constScanLine(y - 1)) : nullptr;
        QRgb* o = reinterpret_cast<QRgb*>(overlay.scanLine(y));
        for (int x = 0; x < w; ++x, ++index) {
            const long long lon = (long long)(x - weather.getCenterX()) * weather.getScale() + weather.getCenterLon();
            long long folded = lon;
            while (folded > 180000000)
                folded -= 360000000;
            while (folded < -180000000)
                folded += 360000000;
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
                    if ((previousLand && x >= 1) || (above && above[x] == kLand))
                        b[x] = kCoast;
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
    QImage result(w, h, QImage::Format_RGB32);
    QPainter painter(&result);
    painter.drawImage(0, 0, base);
    painter.drawImage(0, 0, overlay);
    return result;
}

// Paints the fast projector's frame and the literal one of the same state
// and compares: exact where the overlay is opaque or clear, within one per
// channel where it is translucent.  Then lets `literal` finish its frame
// as a render does, so that both caches move on alike.  Empty when they
// agree, else the first difference.
QString frameDifference(GeoProjector& fast, GeoProjector& literal, int kind)
{
    renderFrame(fast);
    QImage overlay;
    const QImage expected = literalFrame(literal, kind, overlay);
    QImage scratch(literal.frameWidth(), literal.frameHeight(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    literal.GeoProjector::render(painter);
    const QImage& got = fast.lastFrame();
    if (got.size() != expected.size())
        return QStringLiteral("frame size");
    int weatherPixels = 0;
    for (int y = 0; y < got.height(); ++y) {
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y);
            const QRgb e = expected.pixel(x, y);
            const int alpha = qAlpha(overlay.pixel(x, y));
            weatherPixels += alpha > 0 && overlay.pixel(x, y) != kCoast;
            const bool close = std::abs(qRed(a) - qRed(e)) <= 1 && std::abs(qGreen(a) - qGreen(e)) <= 1 &&
                               std::abs(qBlue(a) - qBlue(e)) <= 1;
            if (a != e && !(alpha > 0 && alpha < 255 && close))
                return QString("pixel (%1, %2): %3 instead of %4, overlay %5")
                    .arg(x).arg(y).arg(a, 8, 16).arg(e, 8, 16).arg(overlay.pixel(x, y), 8, 16);
        }
    }
    return weatherPixels > 0 ? QString() : QStringLiteral("no weather colour in view");
}

#define COMPARE_FRAMES(fast, literal, kind)                               \
    do {                                                                  \
        const QString difference = frameDifference(fast, literal, kind); \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));           \
    } while (false)

// A frame to check against the literal painting: the file's fields, the
// parameter and the view.
struct Scenario {
    std::function<void(GribTestFile&)> fill;
    int type, kind, zoom, width, height, lat, lon;
};

void addSmooth(GribTestFile& file, const GRIB_WRITE_PARAMS& p, double mean, double amplitude)
{
    file.add(p, sample(p, [=](double a, double o) { return mean + amplitude * smooth(a, o); }));
}

}  // namespace

Q_DECLARE_METATYPE(Scenario)

class TestColourLayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { home = std::make_unique<ScratchHome>(); }
    void messageSelection_data();
    void messageSelection();
    void patchValues_data();
    void patchValues();
    void shownColours_data();
    void shownColours();
    void getColourRules_data();
    void getColourRules();
    void lookupMatchesScale();
    void seaOnlyFields_data();
    void seaOnlyFields();
    void blending();
    void longitudesATurnAway();
    void unusableGrids_data();
    void unusableGrids();
    void matchesLiteralFrame_data();
    void matchesLiteralFrame();

private:
    std::unique_ptr<ScratchHome> home;
};

void TestColourLayer::messageSelection_data()
{
    QTest::addColumn<bool>("everything");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("meteoType");
    QTest::addColumn<uint>("key");  // 0: no message
    QTest::addColumn<bool>("wind");
    QTest::addColumn<bool>("isobars");
    // Two files, see messageSelection().
    QTest::newRow("wind: u") << true << 1 << 1 << GribKey::windU << true << false;
    QTest::newRow("wind: speed first") << false << 1 << 1 << GribKey::windSpeed << true << false;
    QTest::newRow("pressure") << true << 2 << 2 << GribKey::pressureMsl << false << false;
    QTest::newRow("precipitation") << true << 4 << 4 << GribKey::precipitation << false << false;
    QTest::newRow("temperature") << true << 8 << 8 << GribKey::temperature2m << false << false;
    QTest::newRow("waves: wind waves first") << true << 16 << 16 << GribKey::windWaveHeight << false << false;
    QTest::newRow("waves: combined first") << false << 16 << 16 << GribKey::waveCombined << false << false;
    QTest::newRow("sea temperature") << true << 32 << 32 << GribKey::seaTemperature << false << false;
    QTest::newRow("tidal stream") << true << 64 << 64 << GribKey::tidalSpeed << false << false;
    QTest::newRow("precipitation rate") << true << 128 << 128 << GribKey::precipRate << false << false;
    QTest::newRow("combined with precipitation") << true << 7 << 4 << GribKey::precipitation << true << true;
    QTest::newRow("combined without") << false << 7 << 0 << 0u << true << true;
    QTest::newRow("two kinds without") << false << 3 << 0 << 0u << true << true;
    QTest::newRow("nothing") << true << 0 << 0 << 0u << false << false;
    QTest::newRow("missing temperature") << false << 8 << 8 << 0u << false << false;
}

void TestColourLayer::messageSelection()
{
    QFETCH(bool, everything);
    QFETCH(int, type);
    QFETCH(int, meteoType);
    QFETCH(uint, key);
    QFETCH(bool, wind);
    QFETCH(bool, isobars);
    GribTestFile file;
    if (everything) {
        for (const GRIB_WRITE_PARAMS& p : {windU(), windV(), pressure(), precipitation(), temperature(),
                                           seaTemperature(), windWaveHeight(), swellHeight(), combinedWaves(),
                                           tidalSpeed(), tidalDirection(), precipRate(), windSpeed()})
            file.add(p, 300.0f);
    } else {
        for (const GRIB_WRITE_PARAMS& p : {windSpeed(), windU(), windV(), combinedWaves(), windWaveHeight(), pressure()})
            file.add(p, p.param == 2 ? 101000.0f : 5.0f);
    }
    auto helper = openHelper(file);
    QVERIFY(helper);
    EquirectProjector p;
    p.update(40, 30, 8 * kZoom1, 59000000, 1500000);  // the North Sea, inside the 4 × 3 grid
    p.setData(helper.get(), mtPressure, false, 0.0f);
    renderFrame(p);
    QVERIFY(!noWeatherColour(p));
    p.setData(helper.get(), type, true, 0.5f);
    QCOMPARE(p.getMeteoType(), meteoType);
    QCOMPARE(p.getMessage() ? p.getMessage()->gct : 0u, key);
    QCOMPARE(p.windLayerOn(), wind);
    QCOMPARE(p.isobarLayerOn(), isobars);
    QCOMPARE(p.getHelper(), helper.get());
    QVERIFY(p.isInterpolating());
    renderFrame(p);
    QCOMPARE(noWeatherColour(p), key == 0);  // a missing field has no colour layer

    p.setData(nullptr, type, false, 0.0f);
    QVERIFY(!p.getMessage() && !p.getHelper() && !p.windLayerOn() && !p.isobarLayerOn());
    QCOMPARE(p.getMeteoType(), 0);
}

void TestColourLayer::patchValues_data()
{
    QTest::addColumn<double>("row");  // grid rows south of 60°N
    QTest::addColumn<double>("col");  // grid columns east of 0°
    QTest::addColumn<bool>("inCell");
    QTest::newRow("north-west corner") << 0.0 << 0.0 << true;
    QTest::newRow("grid point") << 1.0 << 2.0 << true;
    QTest::newRow("last inner point") << 2.0 << 3.0 << true;
    QTest::newRow("between") << 1.25 << 2.75 << true;
    QTest::newRow("first cell, replicated edges") << 0.3 << 0.2 << true;
    QTest::newRow("last cell, replicated edges") << 2.6 << 3.9 << true;
    QTest::newRow("southern edge") << 3.0 << 1.5 << false;
    QTest::newRow("eastern edge") << 1.5 << 4.0 << false;
    QTest::newRow("south-east corner") << 3.0 << 4.0 << false;
}

void TestColourLayer::patchValues()
{
    QFETCH(double, row);
    QFETCH(double, col);
    QFETCH(bool, inCell);
    // 5 × 4 points at 1° from 60°N 0°, pressures of irregular shape.
    GribTestFile file;
    const GRIB_WRITE_PARAMS g = onGrid(pressure(), 60000, 0, 5, 4, 1000);
    file.add(g, sample(g, [](double lat, double lon) {
        return 100000 + 900 * std::sin(lat * 1.3) * std::cos(lon * 0.7) + 37 * lon * lon - 11 * lat;
    }));
    auto helper = openHelper(file);
    QVERIFY(helper);
    const GribMsg& msg = helper->getCurrentCompound().front();
    EquirectProjector p;
    p.update(4, 4, 8 * kZoom1, 59000000, 2000000);
    p.setData(helper.get(), mtPressure, false, 0.0f);
    const GeoProjector::GridDescription& grid = p.getGrid();
    QCOMPARE(grid.cellRows, 3);
    QCOMPARE(grid.cellColumns, 4);
    QCOMPARE(grid.eastMicro, 4000000);
    QCOMPARE(grid.southMicro, 57000000);
    QCOMPARE(p.getPatchTable().size(), size_t(3 * 4 * 16));
    QVERIFY(p.needsRecompute());

    const int lat = int(std::lround(60e6 - row * 1e6));
    const int lon = int(std::lround(col * 1e6));
    QVERIFY(valueAt(p, 59500000, 500000) != 0.0f);  // so that "kept 0" can be told from "left alone"
    QRgb colour = 1;
    const float value = valueAt(p, lat, lon, &colour);
    if (!inCell) {
        // Inside the bounds, in no cell: transparent, and 0 kept.
        QCOMPARE(colour, QRgb(0));
        QCOMPARE(value, 0.0f);
        return;
    }
    const double expected = interpolant(msg, row, col, false);
    QVERIFY2(std::abs(value - expected) < 0.1, qPrintable(QString("%1 vs %2").arg(value).arg(expected)));
    if (row == std::floor(row) && col == std::floor(col))
        QCOMPARE(value, msg.values[size_t(row) * 5 + size_t(col)]);  // exactly the grid value
    QCOMPARE(colour, p.getColour(mtPressure, value));
    // Outside the bounds: transparent, the cache left alone.
    QCOMPARE(p.getWeatherAt(60000001, lon), QRgb(0));
    QCOMPARE(valueAt(p, lat, -1), value);
}

void TestColourLayer::shownColours_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("value");
    QTest::addColumn<uint>("colour");
    // u = value, v = 4: 3 → 5 m/s, 9.72 kn, the 6.5-knot band.
    QTest::newRow("wind from u and v") << int(mtWind) << 3.0f << uint(qRgba(105, 218, 239, 255));
    // Shown values up to 0.025 count as 0: the tidal scale starts at 0.
    QTest::newRow("tidal 0.02") << int(mtTidal) << 0.02f << 0u;
    QTest::newRow("tidal 0.025") << int(mtTidal) << 0.025f << 0u;
    QTest::newRow("tidal 0.03") << int(mtTidal) << 0.03f << uint(qRgba(0, 255, 0, 255));
    QTest::newRow("283.2 K") << int(mtTemperature) << 283.2f << uint(qRgba(172, 165, 148, 255));
    QTest::newRow("precipitation 0.3") << int(mtPrecipitation) << 0.3f << 0u;
    QTest::newRow("precipitation 0.5") << int(mtPrecipitation) << 0.5f << uint(qRgba(170, 248, 248, 176));
}

void TestColourLayer::shownColours()
{
    QFETCH(int, type);
    QFETCH(float, value);
    QFETCH(uint, colour);
    GribTestFile file;
    file.add(type == mtWind ? windU() : type == mtTidal ? tidalSpeed() : type == mtTemperature ? temperature()
                                                                                               : precipitation(),
             value);
    file.add(type == mtWind ? windV() : tidalDirection(), 4.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    EquirectProjector p;
    p.update(4, 4, 8 * kZoom1, 59000000, 1500000);
    p.setData(helper.get(), type, false, 0.0f);
    QRgb shown = 1;
    valueAt(p, 59000000, 1500000, &shown);
    QCOMPARE(uint(shown), colour);
}

void TestColourLayer::getColourRules_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("value");
    QTest::addColumn<uint>("colour");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Wind in knots: 3 m/s = 5.83 kn, 1 m/s = 1.94 kn, 40 m/s = 77.8 kn.
    QTest::newRow("wind 3 m/s") << 1 << 3.0f << uint(qRgba(0, 174, 245, 255));
    QTest::newRow("wind 1 m/s") << 1 << 1.0f << uint(qRgba(0, 120, 255, 255));
    QTest::newRow("wind 40 m/s") << 1 << 40.0f << uint(qRgba(204, 0, 0, 255));
    QTest::newRow("wind NaN: lowest band") << 1 << nan << uint(qRgba(0, 0, 255, 0));
    // Temperatures in °C above 173 K.
    QTest::newRow("283.2 K is 10.2 °C") << 8 << 283.2f << uint(qRgba(172, 165, 148, 255));
    QTest::newRow("282.9 K is 9.9 °C") << 8 << 282.9f << uint(qRgba(179, 185, 160, 255));
    QTest::newRow("173 K") << 8 << 173.0f << 0u;
    QTest::newRow("173.1 K: below the scale") << 8 << 173.1f << uint(qRgba(19, 100, 193, 255));
    QTest::newRow("temperature NaN") << 8 << nan << 0u;
    QTest::newRow("sea 290 K") << 32 << 290.0f << uint(qRgba(0, 204, 255, 255));
    QTest::newRow("sea 173 K") << 32 << 173.0f << 0u;
    // Precipitation from 0.4 mm, the rest from above 0.
    QTest::newRow("precipitation 0.3") << 4 << 0.3f << 0u;
    QTest::newRow("precipitation 0.4") << 4 << 0.4f << uint(qRgba(170, 248, 248, 176));
    QTest::newRow("pressure 0") << 2 << 0.0f << 0u;
    QTest::newRow("pressure 101500") << 2 << 101500.0f << uint(qRgba(161, 230, 51, 255));
    QTest::newRow("pressure below the scale") << 2 << 50000.0f << uint(qRgba(161, 0, 199, 255));
    QTest::newRow("pressure +inf") << 2 << std::numeric_limits<float>::infinity() << uint(qRgba(220, 0, 99, 255));
    QTest::newRow("tidal 0.02") << 64 << 0.02f << uint(qRgba(0, 255, 0, 255));
    QTest::newRow("no such type") << 3 << 5.0f << 0u;
}

void TestColourLayer::getColourRules()
{
    QFETCH(int, type);
    QFETCH(float, value);
    QFETCH(uint, colour);
    GribTestFile file;
    file.add(pressure(), 101000.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    EquirectProjector p;
    p.setData(helper.get(), mtPressure, false, 0.0f);
    QCOMPARE(uint(p.getColour(unsigned(type), value)), colour);
}

void TestColourLayer::lookupMatchesScale()
{
    GribFileHelper helper;
    const float inf = std::numeric_limits<float>::infinity();
    for (unsigned type : {1u, 2u, 4u, 8u, 16u, 32u, 64u, 128u}) {
        const ColourScale& scale = helper.getColorScale(type);
        ColourLookup lookup;
        lookup.build(scale, kSea, kLand);
        QCOMPARE(lookup.bandCount(), int(scale.getMap().size()));
        std::vector<float> values = {-inf, inf, std::numeric_limits<float>::quiet_NaN(), -1e9f, 0.0f, -0.0f,
                                     std::numeric_limits<float>::max()};
        float last = 0.0f;
        for (const auto& band : scale.getMap()) {
            values.insert(values.end(), {band.first, std::nextafter(band.first, -inf),
                                         std::nextafter(band.first, inf), (band.first + last) / 2});
            last = band.first;
        }
        for (float v = -30.0f; v < 110.0f; v += 0.37f)
            values.push_back(v);
        for (float value : values) {
            QColor expected(0, 0, 0, 0);
            scale.getColour(value, expected);
            QVERIFY2(lookup.colour(lookup.bandSlot(value)) == expected.rgba(),
                     qPrintable(QString("type %1 value %2").arg(type).arg(double(value))));
        }
        // Every slot composed over the base colours as the painter does it.
        for (int slot = 0; slot <= lookup.bandCount(); ++slot) {
            for (QRgb base : {kSea, kLand}) {
                QImage under(1, 1, QImage::Format_RGB32);
                under.fill(base);
                QImage over(1, 1, QImage::Format_ARGB32);
                over.fill(lookup.colour(slot));
                QPainter(&under).drawImage(0, 0, over);
                const QRgb composed = base == kSea ? lookup.overSea(slot) : lookup.overLand(slot);
                const QRgb drawn = under.pixel(0, 0);
                QVERIFY(std::abs(qRed(composed) - qRed(drawn)) <= 1 && std::abs(qGreen(composed) - qGreen(drawn)) <= 1 &&
                        std::abs(qBlue(composed) - qBlue(drawn)) <= 1 && qAlpha(composed) == 255);
                if (qAlpha(lookup.colour(slot)) % 255 == 0)
                    QCOMPARE(composed, drawn);
            }
        }
    }
}

void TestColourLayer::seaOnlyFields_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<uint>("colour");
    QTest::addColumn<bool>("onLand");
    QTest::newRow("sea temperature") << int(mtSST) << uint(qRgb(204, 255, 0)) << false;         // 22 °C
    QTest::newRow("waves") << int(mtWave) << uint(qRgb(0, 74, 255)) << false;                   // 2 m
    QTest::newRow("air temperature") << int(mtTemperature) << uint(qRgb(138, 79, 76)) << true;  // 27 °C
}

void TestColourLayer::seaOnlyFields()
{
    QFETCH(int, type);
    QFETCH(uint, colour);
    QFETCH(bool, onLand);
    // Each over the coast of Western Sahara, 30°N..15°N, 30°W..0° at 1°.
    GribTestFile file;
    file.add(onGrid(seaTemperature(), 30000, -30000, 31, 16, 1000), 295.0f);
    file.add(onGrid(swellHeight(), 30000, -30000, 31, 16, 1000), 2.0f);
    file.add(onGrid(temperature(), 30000, -30000, 31, 16, 1000), 300.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    EquirectProjector p;
    p.update(400, 300, 4 * kZoom1, 23000000, -14000000);  // 40000 µ°/px
    p.setData(helper.get(), type, false, 0.0f);
    renderFrame(p);
    QCOMPARE(uint(p.lastFrame().pixel(50, 150)), colour);                       // 20°W, the Atlantic
    QCOMPARE(uint(p.lastFrame().pixel(350, 150)), onLand ? colour : uint(kLand));  // 8°W, the Sahara
}

void TestColourLayer::blending()
{
    // Pressure 99500 then 103500 everywhere: bands 99000 and 103000; a
    // quarter of the way 100500 (band 100000), half way 101500 (101000).
    GribTestFile file;
    file.add(at(onGrid(pressure(), 60000, -20000, 41, 31, 1000), 0), 99500.0f);
    file.add(at(onGrid(pressure(), 60000, -20000, 41, 31, 1000), 6), 103500.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    EquirectProjector p;
    p.update(300, 200, 4 * kZoom1, 45000000, -10000000);
    auto show = [&](float t) {
        p.setData(helper.get(), mtPressure, true, t);
        renderFrame(p);
        return uint(p.lastFrame().pixel(20, 100));  // 45°N 15.2°W, sea
    };
    QCOMPARE(show(0.0f), uint(qRgb(0, 209, 140)));
    const QImage previous = p.lastFrame().copy();
    QVERIFY(helper->nextCompound());
    show(0.0f);
    QCOMPARE(p.lastFrame(), previous);
    // The same helper, parameter and compound again: the patch table and
    // the cached values stay, only the blend moves.
    const float* table = p.getPatchTable().data();
    const std::vector<float> coefficients = p.getPatchTable();
    const std::vector<float> values = p.getValueCache();
    QCOMPARE(show(0.5f), uint(qRgb(161, 230, 51)));
    QCOMPARE(p.getPatchTable().data(), table);
    QCOMPARE(p.getPatchTable(), coefficients);
    QCOMPARE(p.getValueCache(), values);
    QCOMPARE(p.getBlendFactor(), 0.5f);
    QCOMPARE(show(0.25f), uint(qRgb(0, 220, 0)));
    QCOMPARE(show(1.0f), uint(qRgb(240, 130, 41)));
    EquirectProjector current;
    current.update(300, 200, 4 * kZoom1, 45000000, -10000000);
    current.setData(helper.get(), mtPressure, false, 0.0f);
    renderFrame(current);
    QCOMPARE(p.lastFrame(), current.lastFrame());

    // Another file in the same helper at the same compound number: its
    // own colours, not the cached ones.
    GribTestFile other;
    other.add(at(onGrid(pressure(), 60000, -20000, 41, 31, 1000), 0), 99500.0f);
    other.add(at(onGrid(pressure(), 60000, -20000, 41, 31, 1000), 6), 101500.0f);
    QVERIFY(helper->openGribFile(QString::fromLocal8Bit(other.write()), true));
    QVERIFY(helper->nextCompound());
    p.setData(helper.get(), mtPressure, false, 0.0f);
    QVERIFY(p.needsRecompute());
    renderFrame(p);
    QCOMPARE(uint(p.lastFrame().pixel(20, 100)), uint(qRgb(161, 230, 51)));
    QCOMPARE(p.getValueCache()[0], 101500.0f);
}

void TestColourLayer::longitudesATurnAway()
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
    QVERIFY(p.getGrid().wrapsAround);
    QCOMPARE(p.getGrid().cellColumns, 720);
    QCOMPARE(p.getGrid().eastMicro, 360000000);
    // 359.8° lies in the cell from the last column (359.5°) to the first
    // (0°) at v = 0.6, with columns 718 and 1 around it.
    const double seam = interpolant(*msg, 2.0, 719.6, true);
    const float atSeam = valueAt(p, 51000000, 359800000);
    QVERIFY2(std::abs(atSeam - seam) < 0.05, qPrintable(QString("%1 vs %2").arg(atSeam).arg(seam)));
    QCOMPARE(valueAt(p, 51000000, -200000), atSeam);
    QCOMPARE(valueAt(p, 51000000, 719800000), atSeam);
    const float west = valueAt(p, 51000000, -30000000);  // 330°, column 660
    QCOMPARE(west, msg->values[2 * 720 + 660]);
    renderFrame(p);
    QCOMPARE(uint(p.lastFrame().pixel(100, 50)), uint(p.getColour(mtPressure, west)));

    // 170°E..190°E: 175°W is 185°E on it, 175°E is on it directly, and
    // 165°W (195°E) is off it.
    GribTestFile dateLine;
    const GRIB_WRITE_PARAMS d = onGrid(pressure(), 10000, 170000, 21, 11, 1000);
    dateLine.add(d, sample(d, [](double lat, double lon) { return 100000 + 100 * lon + 10 * lat; }));
    QVERIFY(helper->openGribFile(QString::fromLocal8Bit(dateLine.write()), true));
    msg = &helper->getCurrentCompound().front();
    p.setData(helper.get(), mtPressure, false, 0.0f);
    QVERIFY(!p.getGrid().wrapsAround);
    QCOMPARE(p.getGrid().eastMicro, 190000000);
    QCOMPARE(valueAt(p, 5000000, -175000000), msg->values[5 * 21 + 15]);
    QCOMPARE(valueAt(p, 5000000, 175000000 - 360000000), msg->values[5 * 21 + 5]);
    QCOMPARE(p.getWeatherAt(5000000, -165000000), QRgb(0));
}

void TestColourLayer::unusableGrids_data()
{
    QTest::addColumn<int>("damage");
    QTest::addColumn<bool>("usable");
    QTest::newRow("di 0") << 0 << false;
    QTest::newRow("dj negative") << 1 << false;
    QTest::newRow("ni 0") << 2 << false;
    QTest::newRow("nj 0") << 3 << false;
    QTest::newRow("no values") << 4 << false;
    QTest::newRow("west at 900°") << 5 << false;
    QTest::newRow("south beyond a turn") << 6 << false;
    QTest::newRow("one row") << 7 << true;
    QTest::newRow("one column") << 8 << true;
    QTest::newRow("v on another grid") << 9 << true;
}

void TestColourLayer::unusableGrids()
{
    QFETCH(int, damage);
    QFETCH(bool, usable);
    GribTestFile file;
    file.add(windU(), 3.0f);
    GRIB_WRITE_PARAMS v = windV();
    if (damage == 9)
        v = field(34, 105, 10, 5, 3);
    file.add(v, 4.0f);
    auto helper = openHelper(file);
    QVERIFY(helper);
    // The header fields as a damaged file could decode them.
    GribMsg& u = helper->getCurrentCompound().front();
    switch (damage) {
    case 0: u.di = 0; break;
    case 1: u.dj = -1000; break;
    case 2: u.ni = 0; break;
    case 3: u.nj = 0; break;
    case 4: u.releaseValues(); break;
    case 5: u.lon1 = 900000; break;
    case 6: u.dj = 300000; break;
    case 7: u.nj = 1; break;
    case 8: u.ni = 1; break;
    default: break;
    }
    for (int kind : {Equirect, Mercator}) {
        auto p = makeProjector(kind);
        p->update(60, 40, 8 * kZoom1, 59000000, 1500000);
        p->setData(helper.get(), mtWind, false, 0.0f);
        QCOMPARE(p->getMessage() != nullptr, usable);
        renderFrame(*p);
        p->update(true);
        if (damage == 9)  // v cannot be paired: the speed of u alone
            QCOMPARE(valueAt(*p, 59500000, 1500000), 3.0f);
        else if (usable)
            QVERIFY(noWeatherColour(*p));
    }
}

void TestColourLayer::matchesLiteralFrame_data()
{
    QTest::addColumn<Scenario>("s");
    const GRIB_WRITE_PARAMS europe = onGrid(pressure(), 75000, -40000, 91, 56, 1000);  // 75°N..20°N, 40°W..50°E
    QTest::newRow("equirect pressure, grid edges in view")
        << Scenario{[=](GribTestFile& f) { addSmooth(f, europe, 101000, 4000); }, mtPressure, Equirect, 1, 480, 360,
                    45000000, 5000000};
    QTest::newRow("mercator precipitation")
        << Scenario{[](GribTestFile& f) { addSmooth(f, onGrid(precipitation(), 75000, -40000, 91, 56, 1000), 3.5, 4); },
                    mtPrecipitation, Mercator, 2, 400, 300, 50000000, 0};
    // Fiji, whose islands cross 180°: a column exactly at 180° is not
    // tested against the masks.
    const GRIB_WRITE_PARAMS fiji = onGrid(pressure(), 0, 160000, 41, 36, 1000);
    QTest::newRow("date line from the east")
        << Scenario{[=](GribTestFile& f) { addSmooth(f, fiji, 101000, 3000); }, mtPressure, Equirect, 8, 400, 300,
                    -17000000, 179000000};
    QTest::newRow("mercator date line from the west")
        << Scenario{[=](GribTestFile& f) { addSmooth(f, fiji, 101000, 3000); }, mtPressure, Mercator, 8, 400, 300,
                    -17000000, -179000000};
    QTest::newRow("sea bands, wider than the world")
        << Scenario{[](GribTestFile& f) { addSmooth(f, onGrid(temperature(), 90000, -180000, 73, 37, 5000), 285, 15); },
                    mtTemperature, Equirect, 1, 2400, 1300, 0, 20000000};
    QTest::newRow("mercator wind, sea bands")
        << Scenario{[](GribTestFile& f) {
                        addSmooth(f, onGrid(windU(), 90000, -180000, 145, 73, 2500), 0, 12);
                        addSmooth(f, onGrid(windV(), 90000, -180000, 145, 73, 2500), 2, 9);
                    },
                    mtWind, Mercator, 1, 300, 1300, 60000000, -30000000};
    QTest::newRow("sea temperature")
        << Scenario{[](GribTestFile& f) { addSmooth(f, onGrid(seaTemperature(), 46000, -6000, 87, 33, 500), 290, 6); },
                    mtSST, Equirect, 4, 400, 300, 38000000, 15000000};
    QTest::newRow("mercator waves")
        << Scenario{[](GribTestFile& f) { addSmooth(f, onGrid(swellHeight(), 46000, -6000, 87, 33, 500), 2.5, 2.5); },
                    mtWave, Mercator, 2, 400, 300, 38000000, 15000000};
    // 2500 µ°/px: columns at −2500..−7500 µ° use the last western column.
    QTest::newRow("just west of Greenwich, zoom 64")
        << Scenario{[=](GribTestFile& f) { addSmooth(f, europe, 101000, 4000); }, mtPressure, Equirect, 64, 300, 200,
                    51480000, 0};
    // Two steps of precipitation, blended.
    auto twoSteps = [](GribTestFile& f) {
        for (int step = 0; step < 2; ++step) {
            const GRIB_WRITE_PARAMS g = at(onGrid(precipitation(), 75000, -40000, 91, 56, 1000), 6 * step);
            f.add(g, sample(g, [=](double a, double o) { return 3 + 4 * smooth(a + 3 * step, o - 4 * step); }));
        }
    };
    QTest::newRow("blended steps") << Scenario{twoSteps, -mtPrecipitation, Equirect, 2, 400, 300, 50000000, 5000000};
    QTest::newRow("blended steps, then a pan")
        << Scenario{twoSteps, -2 * mtPrecipitation, Equirect, 2, 400, 300, 50000000, 5000000};
}

void TestColourLayer::matchesLiteralFrame()
{
    QFETCH(Scenario, s);
    GribTestFile file;
    s.fill(file);
    auto helper = openHelper(file);
    QVERIFY(helper);
    auto fast = makeProjector(s.kind);
    auto literal = makeProjector(s.kind);
    auto both = [&](const std::function<void(GeoProjector&)>& f) {
        f(*fast);
        f(*literal);
    };
    both([&](GeoProjector& p) { p.update(s.width, s.height, s.zoom * kZoom1, s.lat, s.lon); });
    if (s.type > 0) {
        both([&](GeoProjector& p) { p.setData(helper.get(), s.type, false, 0.0f); });
        QVERIFY(fast->getMessage());
        COMPARE_FRAMES(*fast, *literal, s.kind);
        // Again, painted from the value cache.
        both([&](GeoProjector& p) { p.setData(helper.get(), s.type, false, 0.0f); });
        QVERIFY(!fast->needsRecompute());
        COMPARE_FRAMES(*fast, *literal, s.kind);
        return;
    }
    // A negative type: blend two steps of precipitation.
    both([&](GeoProjector& p) { p.setData(helper.get(), mtPrecipitation, true, 0.0f); });
    COMPARE_FRAMES(*fast, *literal, s.kind);
    QVERIFY(helper->nextCompound());
    for (float t : {0.0f, 0.4f, 0.8f}) {
        both([&](GeoProjector& p) { p.setData(helper.get(), mtPrecipitation, true, t); });
        COMPARE_FRAMES(*fast, *literal, s.kind);
    }
    if (s.type == -mtPrecipitation)
        return;
    // A pan while blending starts the blend again from the previous-step
    // cache, read at the same pixel indices.
    both([](GeoProjector& p) { p.move(40, 25); });
    const QString difference = frameDifference(*fast, *literal, s.kind);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_MAIN(TestColourLayer)
#include "tst_colourlayer.moc"
