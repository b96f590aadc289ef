// Colour scale lookups, the Beaufort table and
// conversions, and the scales and isoline options of GribFileHelper.
#include "BeaufortScale.h"
#include "ColourScale.h"
#include "GribFileHelper.h"
#include "MeteoType.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <set>

namespace {

QColor colourOf(const ColourScale& scale, float value)
{
    QColor colour(1, 2, 3, 4);
    scale.getColour(value, colour);
    return colour;
}

bool throwsZero(const GribFileHelper& helper, unsigned type)
{
    try {
        helper.getColorScale(type);
    } catch (int code) {
        return code == 0;
    }
    return false;
}

}  // namespace

class TestScales : public QObject {
    Q_OBJECT

private slots:
    void colourScaleLookup()
    {
        ColourScale scale;
        QCOMPARE(colourOf(scale, 1.0f), QColor(1, 2, 3, 4));  // empty: unchanged
        scale.add(10.0f, Qt::red);
        scale.add(20.0f, Qt::green);
        scale.add(10.0f, Qt::blue);  // replaces
        QCOMPARE(scale.getMap().size(), size_t(2));
        // Below the first key, and not a number, take the lowest band.
        for (float blue : {5.0f, 10.0f, 19.999f, std::nanf("")})
            QCOMPARE(colourOf(scale, blue), QColor(Qt::blue));
        QCOMPARE(colourOf(scale, 20.0f), QColor(Qt::green));
        QCOMPARE(colourOf(scale, std::numeric_limits<float>::infinity()), QColor(Qt::green));
        scale.clear();
        QVERIFY(scale.getMap().empty());
    }

    // Each type has a scale of its own, the same through both accessors
    // (the rendering tests show their colours through frames); types that
    // are not one of them throw, or give the wind scale to edit.
    void helperScales()
    {
        GribFileHelper helper;
        std::set<const ColourScale*> scales;
        for (int index = 0; index < kMeteoTypeCount; ++index) {
            const MeteoType type = MeteoType(1 << index);
            scales.insert(&helper.getColorScale(type));
            QCOMPARE(&helper.colorScale(type), &helper.getColorScale(type));
        }
        QCOMPARE(scales.size(), size_t(kMeteoTypeCount));
        QCOMPARE(colourOf(helper.getColorScale(mtPrecipRate), 500.0f), QColor(248, 0, 253, 255));
        QVERIFY(throwsZero(helper, mtEnd) && throwsZero(helper, 3));
        QCOMPARE(&helper.colorScale(MeteoType(3)), &helper.colorScale(mtWind));
        QCOMPARE(&helper.colorScale(mtEnd), &helper.colorScale(mtWind));
    }

    void scalesEndAtTheLargestFloat()
    {
        GribFileHelper helper;
        const float top = std::numeric_limits<float>::max();
        const ColourScale& wind = helper.getColorScale(mtWind);
        QCOMPARE(wind.getMap().rbegin()->first, top);
        // The last band up to "max" takes the last finite key's colour; "max"
        // itself and infinity take the top colour.
        QCOMPARE(colourOf(wind, 1.0e30f), QColor(204, 0, 0, 255));
        QCOMPARE(colourOf(wind, top), QColor(152, 0, 0, 255));
        QCOMPARE(colourOf(wind, std::numeric_limits<float>::infinity()), QColor(152, 0, 0, 255));
        // Beaufort colours end at force 12, without "max".
        QCOMPARE(colourOf(helper.getBeaufortScale(), 12.5f), QColor(152, 0, 0, 255));
    }

    void beaufortConversions()
    {
        // (10 * 0.61536413)^(2/3) + 0.5 = 3.8581…
        QVERIFY(std::fabs(metric2Beaufort(10.0f) - 3.8581f) < 1e-4f);
        QCOMPARE(metric2Beaufort(0.0f), 0.5f);
        // Band edges: force^1.5 * 1.625054 knots, and back.
        QVERIFY(std::fabs(beaufort2Metric(4.0f) - 13.000432f) < 1e-4f);
        QVERIFY(std::fabs(beaufort2Metric(12.0f) - 67.5530f) < 1e-3f);
        for (float force = 1.0f; force <= 12.0f; force += 1.0f)
            QVERIFY(std::fabs(metric2Beaufort(beaufort2Metric(force)) - 0.5f - force) < 1e-4f);
        // 64 knots is hurricane force.
        QCOMPARE(int(metric2Beaufort(64.0f)), 12);
    }

    // The row of the smallest force not below the value; above force 12
    // none, the output left alone.
    void beaufortTable()
    {
        GribFileHelper helper;
        BeaufortData data;
        const struct { float value; const char *force, *speed; } rows[] = {
            {0.0f, "0", "0.0"}, {2.3f, "3", "6.5"}, {12.0f, "12", "63"}};
        for (const auto& r : rows) {
            QVERIFY(helper.getBeaufort(r.value, data));
            QCOMPARE(data.force, QLatin1String(r.force));
            QCOMPARE(data.speed, QLatin1String(r.speed));
        }
        QVERIFY(!helper.getBeaufort(12.5f, data));
        QCOMPARE(data.force, QStringLiteral("12"));  // left alone
    }

    // Types without isolines are refused, and the outputs left alone.
    void isolineOptions()
    {
        GribFileHelper helper;
        float min = -1.0f, max = 0, step = 0;
        QVERIFY(!helper.setIsolineOptions(3, 1.0f, 2.0f, 3.0f) && !helper.setIsolineOptions(mtEnd, 1.0f, 2.0f, 3.0f));
        QVERIFY(!helper.getIsolineOptions(3, min, max, step));
        QCOMPARE(min, -1.0f);
    }
};

QTEST_APPLESS_MAIN(TestScales)
#include "tst_scales.moc"
