// Meteo type indexes, colour scale lookups, the Beaufort table and
// conversions, and the scales and isoline options of GribFileHelper.
#include "BeaufortScale.h"
#include "ColourScale.h"
#include "GribFileHelper.h"
#include "MeteoType.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

QColor colourOf(const ColourScale& scale, float value)
{
    QColor colour(1, 2, 3, 4);
    scale.getColour(value, colour);
    return colour;
}

}  // namespace

class TestScales : public QObject {
    Q_OBJECT

private slots:
    void meteoIndexes();
    void colourScaleLookup();
    void helperScales_data();
    void helperScales();
    void scalesEndAtTheLargestFloat();
    void unknownScale();
    void beaufortConversions();
    void beaufortTable();
    void isolineOptions();
};

void TestScales::meteoIndexes()
{
    QCOMPARE(getIndexByMeteo(mtWind), 0);
    QCOMPARE(getIndexByMeteo(mtPrecipRate), kMeteoTypeCount - 1);
    QCOMPARE(getIndexByMeteo(mtEnd), -1);
    QCOMPARE(getIndexByMeteo(3), -1);
    QCOMPARE(getIndexByMeteo(0), -1);
    QCOMPARE(getIndexByMeteo(-1), -1);
}

void TestScales::colourScaleLookup()
{
    ColourScale scale;
    QCOMPARE(colourOf(scale, 1.0f), QColor(1, 2, 3, 4));  // empty: unchanged
    scale.add(10.0f, Qt::red);
    scale.add(20.0f, Qt::green);
    scale.add(10.0f, Qt::blue);  // replaces
    QCOMPARE(scale.getMap().size(), size_t(2));
    QCOMPARE(colourOf(scale, 5.0f), QColor(Qt::blue));  // below the first key
    QCOMPARE(colourOf(scale, 10.0f), QColor(Qt::blue));
    QCOMPARE(colourOf(scale, 19.999f), QColor(Qt::blue));
    QCOMPARE(colourOf(scale, 20.0f), QColor(Qt::green));
    QCOMPARE(colourOf(scale, std::numeric_limits<float>::infinity()), QColor(Qt::green));
    QCOMPARE(colourOf(scale, std::nanf("")), QColor(Qt::blue));
    scale.clear();
    QVERIFY(scale.getMap().empty());
}

void TestScales::helperScales_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("value");
    QTest::addColumn<QColor>("colour");
    // Bands the rendering tests do not already show through a frame.
    QTest::newRow("wind 25 kn") << int(mtWind) << 25.0f << QColor(254, 254, 168, 255);
    QTest::newRow("precipitation rate 500") << int(mtPrecipRate) << 500.0f << QColor(248, 0, 253, 255);
    QTest::newRow("temperature 16") << int(mtTemperature) << 16.0f << QColor(152, 123, 111, 255);
    QTest::newRow("wave 0.1 below the scale") << int(mtWave) << 0.1f << QColor(255, 0, 255, 255);
    QTest::newRow("wave 16.5") << int(mtWave) << 16.5f << QColor(255, 153, 153, 255);
    QTest::newRow("sea temperature 21.5") << int(mtSST) << 21.5f << QColor(125, 255, 0, 255);
    QTest::newRow("tidal 2.7") << int(mtTidal) << 2.7f << QColor(0, 42, 212, 255);
}

void TestScales::helperScales()
{
    QFETCH(int, type);
    QFETCH(float, value);
    QFETCH(QColor, colour);
    GribFileHelper helper;
    QCOMPARE(colourOf(helper.getColorScale(unsigned(type)), value), colour);
    QCOMPARE(colourOf(helper.colorScale(MeteoType(type)), value), colour);
}

void TestScales::scalesEndAtTheLargestFloat()
{
    GribFileHelper helper;
    const float top = std::numeric_limits<float>::max();
    const ColourScale& wind = helper.getColorScale(mtWind);
    QCOMPARE(wind.getMap().size(), size_t(15));
    QCOMPARE(wind.getMap().rbegin()->first, top);
    // The last band up to "max" takes the last finite key's colour; "max"
    // itself and infinity take the top colour.
    QCOMPARE(colourOf(wind, 1.0e30f), QColor(204, 0, 0, 255));
    QCOMPARE(colourOf(wind, top), QColor(152, 0, 0, 255));
    QCOMPARE(colourOf(wind, std::numeric_limits<float>::infinity()), QColor(152, 0, 0, 255));
    // Beaufort colours end at force 12, without "max".
    QCOMPARE(helper.getBeaufortScale().getMap().size(), size_t(13));
    QCOMPARE(colourOf(helper.getBeaufortScale(), 12.5f), QColor(152, 0, 0, 255));
    QCOMPARE(colourOf(helper.getBeaufortScale(), 4.0f), QColor(210, 250, 250, 255));
}

void TestScales::unknownScale()
{
    GribFileHelper helper;
    bool thrown = false;
    try {
        helper.getColorScale(mtEnd);
    } catch (int code) {
        thrown = code == 0;
    }
    QVERIFY(thrown);
    thrown = false;
    try {
        helper.getColorScale(3);
    } catch (int code) {
        thrown = code == 0;
    }
    QVERIFY(thrown);
    QCOMPARE(&helper.colorScale(MeteoType(3)), &helper.colorScale(mtWind));
    QCOMPARE(&helper.colorScale(mtEnd), &helper.colorScale(mtWind));
}

void TestScales::beaufortConversions()
{
    // (10 * 0.61536413)^(2/3) + 0.5 = 3.8581…
    QVERIFY(std::fabs(metric2Beaufort(10.0f) - 3.8581f) < 1e-4f);
    QCOMPARE(int(metric2Beaufort(10.0f)), 3);
    QCOMPARE(metric2Beaufort(0.0f), 0.5f);
    QCOMPARE(int(metric2Beaufort(0.0f)), 0);
    // Band edges: force^1.5 * 1.625054 knots, and back.
    QVERIFY(std::fabs(beaufort2Metric(4.0f) - 13.000432f) < 1e-4f);
    QVERIFY(std::fabs(beaufort2Metric(12.0f) - 67.5530f) < 1e-3f);
    for (float force = 1.0f; force <= 12.0f; force += 1.0f)
        QVERIFY(std::fabs(metric2Beaufort(beaufort2Metric(force)) - 0.5f - force) < 1e-4f);
    // 64 knots is hurricane force.
    QCOMPARE(int(metric2Beaufort(64.0f)), 12);
}

void TestScales::beaufortTable()
{
    GribFileHelper helper;
    BeaufortData data;
    QVERIFY(helper.getBeaufort(0.0f, data));
    QCOMPARE(data.force, QStringLiteral("0"));
    QCOMPARE(data.speed, QStringLiteral("0.0"));
    QVERIFY(helper.getBeaufort(2.3f, data));  // the smallest key not below
    QCOMPARE(data.force, QStringLiteral("3"));
    QCOMPARE(data.speed, QStringLiteral("6.5"));
    QVERIFY(helper.getBeaufort(12.0f, data));
    QCOMPARE(data.force, QStringLiteral("12"));
    QCOMPARE(data.speed, QStringLiteral("63"));
    QVERIFY(!helper.getBeaufort(12.5f, data));
    QCOMPARE(data.force, QStringLiteral("12"));  // unchanged
}

// Types without isolines are refused, and the outputs left alone.
void TestScales::isolineOptions()
{
    GribFileHelper helper;
    float min = -1.0f, max = 0, step = 0;
    QVERIFY(!helper.setIsolineOptions(3, 1.0f, 2.0f, 3.0f));
    QVERIFY(!helper.setIsolineOptions(mtEnd, 1.0f, 2.0f, 3.0f));
    QVERIFY(!helper.getIsolineOptions(3, min, max, step));
    QCOMPARE(min, -1.0f);
}

QTEST_APPLESS_MAIN(TestScales)
#include "tst_scales.moc"
