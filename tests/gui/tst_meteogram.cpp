// The meteogram of a point, read from GRIB files written with chosen
// values and drawn for real: the series and their axes, and the picture at
// places whose colour follows from the layout.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "WeatherMeteogram.h"

#include <cmath>

using modelfixtures::GribTestFile;
using modelfixtures::at;

namespace {

// The fixtures' grid covers 60°N…58°N, 0°…3°E in whole degrees; the point
// lies on its second row and column.
constexpr int kLatMicro = 59000000;
constexpr int kLonMicro = 1000000;
constexpr int kWidth = 660;  // a plot of 600 pixels
constexpr int kHeight = 372;
constexpr double kMetresPerKnot = 1.0 / 1.944012421496605;

// Whole-field messages of one step.
struct Step {
    float kelvin = NAN;
    float pascal = NAN;
    float millimetres = NAN;
    float u = NAN;
    float v = NAN;
    float waveHeight = NAN;
    float waveDirection = NAN;
    float wavePeriod = NAN;
};

void addStep(GribTestFile& file, const Step& s, int hours)
{
    using namespace modelfixtures;
    if (!std::isnan(s.u)) {
        file.add(at(windU(), hours), s.u);
        file.add(at(windV(), hours), s.v);
    }
    if (!std::isnan(s.pascal))
        file.add(at(pressure(), hours), s.pascal);
    if (!std::isnan(s.millimetres))
        file.add(at(precipitation(), hours), s.millimetres);
    if (!std::isnan(s.kelvin))
        file.add(at(temperature(), hours), s.kelvin);
    if (!std::isnan(s.waveHeight)) {
        file.add(at(field(100, 1, 1), hours), s.waveHeight);     // swell height
        file.add(at(field(101, 1, 1), hours), s.waveDirection);  // swell direction
        file.add(at(field(108, 1, 0), hours), s.wavePeriod);     // mean period
    }
}

QRgb pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

bool hasColour(const QImage& image, const QRect& area, QRgb colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pixel(image, x, y) == colour)
                return true;
    return false;
}

// Whether anything darker than the column backgrounds was drawn there.
bool hasInk(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 150)
                return true;
    return false;
}

}  // namespace

class TestMeteogram : public QObject {
    Q_OBJECT

    std::unique_ptr<GribTestFile> file;
    std::unique_ptr<GribFileHelper> helper;
    std::unique_ptr<WeatherMeteogram> meteogram;

    void open(const std::vector<Step>& steps, int stepHours = 3)
    {
        meteogram.reset();
        file = std::make_unique<GribTestFile>();
        for (size_t k = 0; k < steps.size(); ++k)
            addStep(*file, steps[k], int(k) * stepHours);
        helper = modelfixtures::openHelper(*file, false);
        QVERIFY(helper);
        meteogram = std::make_unique<WeatherMeteogram>(nullptr, kWidth, kHeight, kLatMicro, kLonMicro,
                                                       helper.get());
    }

    QImage picture() { return meteogram->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // x of the centre of step i's column in widget coordinates.
    int columnCentre(int i) const
    {
        return 20 + int((float(i) + 0.5f) * meteogram->columnWidth());
    }

    // An axis as {minimum, maximum}.
    QList<float> axis(MeteogramType type) const
    {
        return {meteogram->record(type)->minimum, meteogram->record(type)->maximum};
    }

private slots:
    // Each axis by hand from the layout's rules: temperatures -3 … 12 °C,
    // winds 3 … 20 knots, pressure 1008 … 1017 hPa (lo 100500, hi 102000:
    // 15 steps of 100 Pa against 20 degrees, so the range is doubled about
    // its centre), precipitation up to 1.3 mm, waves 0.8 … 2.1 m.
    void seriesAndAxes()
    {
        const float knots3 = float(3.0 * kMetresPerKnot);
        const float knots20 = float(20.0 * kMetresPerKnot);
        open({{270.0f, 100800.0f, 0.0f, knots3, 0.0f, 0.8f, 200.0f, 7.0f},
              {285.0f, 101700.0f, 1.3f, 0.0f, -knots20, 2.1f, 10.0f, 9.0f},
              {278.0f, 101000.0f, 0.5f, knots3, 0.0f, 1.0f, 20.0f, 8.0f}});
        QCOMPARE(meteogram->record(mgTemperature)->values[1], 12.0f);
        QVERIFY(qAbs(meteogram->record(mgWind)->values[1] - 20.0f) < 1e-4f);
        QCOMPARE(axis(mgTemperature), (QList<float>{-5.0f, 15.0f}));
        QCOMPARE(axis(mgWind), (QList<float>{2.0f, 6.0f}));
        QCOMPARE(axis(mgPressure), (QList<float>{99750.0f, 102750.0f}));
        QCOMPARE(axis(mgPrecipitation), (QList<float>{0.0f, 3.0f}));
        QCOMPARE(axis(mgWaves), (QList<float>{0.0f, 4.0f}));
    }

    void pressureAloneKeepsItsOwnAxis()
    {
        open({{NAN, 100800.0f}, {NAN, 101700.0f}});
        QCOMPARE(axis(mgPressure), (QList<float>{100500.0f, 102000.0f}));
    }

    // 10 °C throughout would give an axis from 10 to 10; both curves then
    // run through the middle of the band, pressure drawn last.
    void constantSeriesStillHaveAnAxis()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        open({{283.0f, 101000.0f}, {283.0f, 101000.0f}});
        QCOMPARE(axis(mgTemperature), (QList<float>{5.0f, 15.0f}));
        QCOMPARE(axis(mgPressure), (QList<float>{100500.0f, 101500.0f}));
        QCOMPARE(pixel(picture(), columnCentre(1), 178), qRgb(153, 22, 50));
        open({{283.0f}, {283.0f}});
        QCOMPARE(pixel(picture(), columnCentre(1), 178), qRgb(215, 102, 37));
    }

    void readingLeavesTheHelperAtItsStep()
    {
        open({{270.0f}, {280.0f}, {290.0f}});
        QVERIFY(helper->goCompound(1));
        meteogram->updateData(helper.get(), kLatMicro, kLonMicro);
        QCOMPARE(helper->currentCompoundNum(), 1);
        // Stepping on must find step 2's values, not run past the end.
        QVERIFY(helper->nextCompound());
        float kelvin = 0.0f;
        QVERIFY(helper->getCurrentCompound().front().getValueAt(59000, 1000, kelvin));
        QCOMPARE(kelvin, 290.0f);
    }

    void pointOutsideTheGridDrawsSafely()
    {
        open({{270.0f, 100800.0f, 1.0f, 3.0f, 4.0f}, {280.0f, 101000.0f, 2.0f, 3.0f, 4.0f}});
        meteogram->updateData(helper.get(), -40000000, 100000000);
        // Outside the grid every message reads 0, i.e. 0 K.
        QCOMPARE(meteogram->record(mgTemperature)->values[0], -273.0f);
        QVERIFY(!picture().isNull());
    }

    // In the empty band the current step is grey, other even steps white,
    // odd steps the background; the grey follows the helper.
    void currentColumn()
    {
        open({{270.0f}, {280.0f}, {275.0f}, {272.0f}});
        QVERIFY(helper->goCompound(2));
        meteogram->update();
        const QImage image = picture();
        const QRgb grey = qRgb(222, 222, 222);
        QCOMPARE(pixel(image, columnCentre(2), 260), grey);
        QCOMPARE(pixel(image, columnCentre(0), 260), qRgb(255, 255, 255));
        QCOMPARE(pixel(image, columnCentre(3), 260), qRgb(0xEB, 0xEB, 0xEB));
        QVERIFY(helper->goCompound(0));
        meteogram->update();
        QCOMPARE(pixel(picture(), columnCentre(0), 260), grey);
    }

    void precipitationBarsAboveTheGridStepOnly()
    {
        // Axis 0 … 4 mm over 105 pixels from y = 126.
        open({{NAN, NAN, 0.4f}, {NAN, NAN, 0.5f}, {NAN, NAN, 0.0f}, {NAN, NAN, 2.0f}});
        const QImage image = picture();
        const QRgb bar = qRgb(0, 65, 129);
        QVERIFY(!hasColour(image, QRect(columnCentre(0) - 3, 126, 6, 105), bar));
        QCOMPARE(pixel(image, columnCentre(1), 227), bar);
        // The bar of 2 mm starts half way down the axis, at y = 178.5.
        QCOMPARE(pixel(image, columnCentre(3), 185), bar);
        QVERIFY(pixel(image, columnCentre(3), 140) != bar);
        QVERIFY(!hasColour(image, QRect(columnCentre(2) - 3, 126, 6, 105), bar));
    }

    void narrowColumnsLabelEvenStepsOnly_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("oddLabelled");
        QTest::newRow("30 steps, 20 pixels") << 30 << true;
        QTest::newRow("60 steps, 10 pixels") << 60 << false;
    }

    void narrowColumnsLabelEvenStepsOnly()
    {
        QFETCH(int, steps);
        QFETCH(bool, oddLabelled);
        std::vector<Step> series(size_t(steps), Step{280.0f, NAN, NAN, 0.0f, -5.0f});
        open(series, 1);
        const QImage image = picture();
        const QRgb arrow = qRgb(83, 128, 38);
        for (int i : {4, 5, 20, 21}) {
            // The middle of the column: a label two digits wide reaches
            // into its neighbours' edges.
            const int middle = columnCentre(i) - 2;
            const bool expected = i % 2 == 0 || oddLabelled;
            // Hour labels in the lower part of the header, arrows in the
            // upper half of the wind band.
            QCOMPARE(hasInk(image, QRect(middle, 30, 5, 20)), expected);
            QCOMPARE(hasColour(image, QRect(middle, 56, 5, 26), arrow), expected);
        }
    }

    void singleStepShowsTheHint()
    {
        open({{280.0f, 101000.0f, 2.0f, 3.0f, 4.0f}});
        const QImage image = picture();
        QVERIFY(hasColour(image, QRect(100, 12, kWidth - 200, 30), qRgb(0, 0, 0)));
        QVERIFY(!hasColour(image, QRect(20, 112, 600, 130), qRgb(215, 102, 37)));

        open({{280.0f}, {281.0f}});
        QVERIFY(!hasColour(picture(), QRect(100, 12, kWidth - 200, 30), qRgb(0, 0, 0)));
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runInScratchHome<TestMeteogram>(argc, argv, true);
}

#include "tst_meteogram.moc"
