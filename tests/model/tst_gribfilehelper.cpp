// GribFileHelper: opening files, moving between compounds with the index
// kept right, and the isobars and isotherms that follow the compound.
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "modelfixtures.h"

#include <QDir>
#include <QTest>

using namespace modelfixtures;

namespace {

// A pressure field rising from west to east by 400 Pa per column, and a
// temperature field rising by 2 K per column, both shifted by `shift`.
void addStep(GribTestFile& file, int hours, float shift)
{
    std::vector<float> p, t;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            p.push_back(100000.0f + 400.0f * col + shift);
            t.push_back(270.0f + 2.0f * col + shift / 100.0f);
        }
    }
    GRIB_WRITE_PARAMS pp = at(pressure(), hours);
    pp.bits_per_value = 24;
    file.add(pp, p);
    GRIB_WRITE_PARAMS tp = at(temperature(), hours);
    tp.bits_per_value = 24;
    file.add(tp, t);
}

std::vector<float> levelsOf(const ContourSet& set)
{
    std::vector<float> levels;
    for (const auto& level : set.getContours())
        levels.push_back(level.first);
    return levels;
}

}  // namespace

class TestGribFileHelper : public QObject {
    Q_OBJECT

    GribTestFile steps;  // three steps of the fields above, 6 hours apart

private slots:
    void initTestCase()
    {
        addStep(steps, 0, 0.0f);
        addStep(steps, 6, 200.0f);
        addStep(steps, 12, 400.0f);
        steps.write();
    }

    void unreadableFiles()
    {
        GribFileHelper helper;
        QVERIFY(!helper.isValid());
        QVERIFY(!helper.openGribFile(QStringLiteral("/nonexistent/forecast.grb"), true));
        QVERIFY(!helper.isValid());
        QVERIFY(!helper.gribFile());
        QCOMPARE(helper.getCompoundNum(), 0);
        QVERIFY(!helper.openGribFile(QDir::tempPath(), true));  // a directory
        // Navigation without a file does nothing.
        QVERIFY(!helper.nextCompound());
        QVERIFY(!helper.goCompound(0));
        // A file without GRIB after a good one leaves nothing shown.
        QVERIFY(helper.openGribFile(steps.path(), true));
        GribTestFile junk;
        junk.addRaw(fixtures::filler(1000));
        junk.write();
        QVERIFY(!helper.openGribFile(junk.path(), true));
        QVERIFY(!helper.isValid());
        QVERIFY(helper.getCurrentCompound().empty());
    }

    void navigationKeepsTheIndex()
    {
        GribFileHelper helper;
        QVERIFY(helper.openGribFile(steps.path(), false));
        QVERIFY(helper.isValid());
        // The compound shown, as its number and the valid hour of its first message (18:00 + 6 h per step).
        auto shown = [&] { return QPoint(helper.currentCompoundNum(), helper.getCurrentCompound().front().hour); };
        QCOMPARE(helper.getCompoundNum(), 3);
        QCOMPARE(shown(), QPoint(0, 18));
        QCOMPARE(helper.getCurrentCompound().size(), size_t(2));
        QVERIFY(helper.nextCompound() && helper.nextCompound() && !helper.nextCompound());
        QCOMPARE(shown(), QPoint(2, 6));  // a step past the end keeps the compound shown
        QCOMPARE(helper.getCurrentCompound().size(), size_t(2));
        QVERIFY(helper.prevCompound());
        QCOMPARE(shown(), QPoint(1, 0));
        QVERIFY(!helper.goCompound(3));
        QCOMPARE(shown(), QPoint(1, 0));
        helper.lastCompound();
        QCOMPARE(shown(), QPoint(2, 6));
        helper.firstCompound();
        QVERIFY(!helper.prevCompound());
        QCOMPARE(shown(), QPoint(0, 18));
    }

    void isolinesFollowTheCompound()
    {
        GribFileHelper helper;
        QVERIFY(helper.openGribFile(steps.path(), true));
        // 100000 … 101200 Pa: the default levels every 200 Pa from 100000 up
        // to 101200 cross it, stored exactly.
        const std::vector<float> first = {100000.0f, 100200.0f, 100400.0f, 100600.0f,
                                          100800.0f, 101000.0f, 101200.0f};
        QCOMPARE(levelsOf(helper.getIsobars()), first);
        // 270 … 276 K: the isotherm of 273 K, stored as 273.0001, is the only
        // default level (223, 228, … K) inside.
        QCOMPARE(levelsOf(helper.getIsotherms()), std::vector<float>{273.0f + 0.0001f});
        QVERIFY(helper.goCompound(2));
        const std::vector<float> last = {100400.0f, 100600.0f, 100800.0f, 101000.0f,
                                         101200.0f, 101400.0f, 101600.0f};
        QCOMPARE(levelsOf(helper.getIsobars()), last);
        // Disabled on reopening, the isolines keep what they last found.
        QVERIFY(helper.openGribFile(steps.path(), false));
        QCOMPARE(levelsOf(helper.getIsobars()), last);
        QVERIFY(helper.goCompound(1));
        QCOMPARE(levelsOf(helper.getIsobars()), last);
    }

    void reopeningKeepsOptions()
    {
        GribFileHelper helper;
        QVERIFY(helper.setIsolineOptions(mtPressure, 100000.0f, 100400.0f, 400.0f));
        for (int open = 0; open < 2; ++open) {
            QVERIFY(helper.openGribFile(steps.path(), true));
            QCOMPARE(levelsOf(helper.getIsobars()), (std::vector<float>{100000.0f, 100400.0f}));
        }
    }
};

QTEST_APPLESS_MAIN(TestGribFileHelper)
#include "tst_gribfilehelper.moc"
