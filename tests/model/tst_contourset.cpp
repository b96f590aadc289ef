// ContourSet: level keys and their offset, cell value ranges, the triangle
// cases worked by hand, and the placement of segments in degrees.
#include "ContourSet.h"
#include "GribFile.h"

#include <QTest>

#include <cmath>
#include <utility>
#include <vector>

namespace {

// A message over values the test owns; the message never frees them.
struct Field {
    Field(int ni, int nj, std::vector<float> values, int lat1 = 10000, int lon1 = 20000, int di = 1000, int dj = 1000)
        : data(std::move(values))
    {
        msg.ni = ni, msg.nj = nj, msg.lat1 = lat1, msg.lon1 = lon1, msg.di = di, msg.dj = dj;
        msg.values = data.empty() ? nullptr : data.data();
    }
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;
    ~Field() { msg.values = nullptr; }

    std::vector<float> data;
    GribMsg msg;
};

// The 2 x 2 grid 0, 10 / 10, 20 at 10..9 N, 20..21 E.
std::vector<float> zeroCornerCell() { return {0, 10, 10, 20}; }

QByteArray describe(const QPointF& p)
{
    return "(" + QByteArray::number(p.x(), 'g', 8) + ", " + QByteArray::number(p.y(), 'g', 8) + ")";
}

bool samePoints(const std::vector<QPointF>& actual, const QList<QPointF>& expected, QByteArray& why)
{
    why = "got " + QByteArray::number(qulonglong(actual.size())) + " points";
    for (qsizetype k = 0; k < expected.size() && actual.size() == size_t(expected.size()); ++k) {
        const QPointF error = actual[size_t(k)] - expected[k];
        if (std::fabs(error.x()) > 1e-4 || std::fabs(error.y()) > 1e-4)
            why = "point " + QByteArray::number(k) + " is " + describe(actual[size_t(k)]);
    }
    return actual.size() == size_t(expected.size()) && why.startsWith("got");
}

}  // namespace

class TestContourSet : public QObject {
    Q_OBJECT

private slots:
    // On a cell 1° wide and 0.5° high, west of 0°: 10..9.5 N, 5..4 W.
    void zeroCornerDoesNotLowerTheMinimum()
    {
        Field f(2, 2, zeroCornerCell(), 10000, -5000, 1000, 500);
        ContourSet set;
        set.analyze(f.msg, 12, 12, 1);
        QCOMPARE(set.contourNum(), 1);
        QCOMPARE(set.getContours().begin()->first, 12.0f + 0.0001f);
        // Only the south and east triangles touch the 20 corner (9.5 N 4 W); the level crosses each side from a
        // 10 vertex to it 20% of the way along.
        QByteArray why;
        const QList<QPointF> expected = {{-4.4, 9.7}, {-4.8, 9.5}, {-4.0, 9.9}, {-4.4, 9.7}};
        QVERIFY2(samePoints(set.getContours().begin()->second, expected, why), why);
    }

    // Analyses that find nothing, each after one that found a line: what
    // the last one found is replaced even by nothing.
    void noLines_data()
    {
        QTest::addColumn<QSize>("grid");  // ni x nj
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<QList<float>>("levels");  // min, max, step
        const QList<float> cell{0, 10, 10, 20};  // the zero-corner cell
        // The 0 corner lies below 5, but is left out of the minimum.
        QTest::newRow("level below the non-zero minimum") << QSize(2, 2) << cell << QList<float>{5, 5, 1};
        QTest::newRow("min above max") << QSize(2, 2) << cell << QList<float>{13, 12, 1};
        QTest::newRow("message without values") << QSize(2, 2) << QList<float>{} << QList<float>{12, 12, 1};
        QTest::newRow("one column") << QSize(1, 3) << QList<float>{10, 20, 30} << QList<float>{0, 100, 1};
        QTest::newRow("one row") << QSize(3, 1) << QList<float>{10, 20, 30} << QList<float>{0, 100, 1};
        QTest::newRow("one point") << QSize(1, 1) << QList<float>{10} << QList<float>{0, 100, 1};
        const QList<float> constant(9, 273.0f);
        QTest::newRow("constant field on its level") << QSize(3, 3) << constant << QList<float>{273, 273, 5};
        QTest::newRow("constant field in range") << QSize(3, 3) << constant << QList<float>{223, 323, 5};
    }
    void noLines()
    {
        QFETCH(QSize, grid);
        QFETCH(QList<float>, values);
        QFETCH(QList<float>, levels);
        Field earlier(2, 2, zeroCornerCell());
        ContourSet set;
        set.analyze(earlier.msg, 12, 12, 1);
        QCOMPARE(set.contourNum(), 1);
        Field f(grid.width(), grid.height(), std::vector<float>(values.begin(), values.end()));
        set.analyze(f.msg, levels[0], levels[1], levels[2]);
        QCOMPARE(set.contourNum(), 0);
    }

    // One cell: rows at x 0 and 2, columns at y 10 and 14; expected points
    // as (y, x), worked by hand from the triangle cases.
    void caseTable_data()
    {
        QTest::addColumn<QList<float>>("values");
        QTest::addColumn<float>("level");
        QTest::addColumn<QList<QPointF>>("expected");
        QTest::newRow("corner on level, cases 8 and 6")
            << QList<float>{5, 2, 8, 8} << 5.0f
            << QList<QPointF>{{12.4, 0.8}, {14, 1}, {10, 0}, {12.4, 0.8}};
        QTest::newRow("side on level, case 3")
            << QList<float>{5, 8, 5, 8} << 5.0f << QList<QPointF>{{10, 2}, {10, 0}};
        QTest::newRow("corner touching from below") << QList<float>{5, 8, 8, 8} << 5.0f
                                                    << QList<QPointF>{};
        QTest::newRow("saddle, centre on level, case 5")
            << QList<float>{8, 2, 2, 8} << 5.0f
            << QList<QPointF>{{12, 1}, {10, 1}, {12, 1}, {12, 2},
                              {12, 1}, {14, 1}, {12, 1}, {12, 0}};
        const double d = 2.0 / 13;  // centre 0.25 above, low corners 3 below
        QTest::newRow("saddle, centre above, cases 8 and 9")
            << QList<float>{9, 2, 2, 8} << 5.0f
            << QList<QPointF>{{12 - d, 1 + d / 2}, {10, 8.0 / 7}, {12, 2}, {12 - d, 1 + d / 2},
                              {12 + d, 1 - d / 2}, {14, 1}, {10 + 16.0 / 7, 0}, {12 + d, 1 - d / 2}};
    }
    void caseTable()
    {
        QFETCH(QList<float>, values);
        QFETCH(float, level);
        QFETCH(QList<QPointF>, expected);
        const float x[] = {0, 2};
        const float y[] = {10, 14};
        ContourSet set;
        set.findContours(values.constData(), 0, 1, 0, 1, x, y, 1, &level);
        if (expected.isEmpty()) {
            QCOMPARE(set.contourNum(), 0);
            return;
        }
        QCOMPARE(set.contourNum(), 1);
        QCOMPARE(set.getContours().begin()->first, level);
        QByteArray why;
        QVERIFY2(samePoints(set.getContours().begin()->second, expected, why), why);
    }

    // A damaged grid of 40 000 rows or columns 65.535° apart: positions far
    // past the int range of millidegrees still come out in order.
    void hugeGridPositions_data()
    {
        QTest::addColumn<bool>("tall");
        QTest::newRow("rows") << true;
        QTest::newRow("columns") << false;
    }
    void hugeGridPositions()
    {
        QFETCH(bool, tall);
        const int count = 40000;
        const int ni = tall ? 2 : count, nj = tall ? count : 2;
        std::vector<float> values(size_t(ni) * size_t(nj), 1.0f);
        for (int k = 0; k < 2; ++k)  // the last row or column is 10
            values[tall ? size_t(count - 1) * 2 + size_t(k) : size_t(k) * count + size_t(count - 1)] = 10.0f;
        Field f(ni, nj, values, 0, 0, 65535, 65535);
        ContourSet set;
        set.analyze(f.msg, 5, 5, 1);
        QCOMPARE(set.contourNum(), 1);
        // Between the last two rows (or columns): 39 998 and 39 999 x 65.535°.
        for (const QPointF& p : set.getContours().begin()->second) {
            const double along = tall ? -p.y() : p.x();
            QVERIFY2(along > 2621265 && along < 2621332, describe(p));
        }
    }

    void addVertexSwapsToLongitudeLatitude()
    {
        ContourSet set;
        set.addVertex(1, 2, 3, 4, 7.5);
        set.addVertex(5, 6, 7, 8, 7.5);
        set.addVertex(0, 0, 1, 1, 0.1);
        QCOMPARE(set.contourNum(), 2);
        QCOMPARE(set.getContours().count(0.1f), size_t(1));
        QCOMPARE(set.getContours().at(7.5f),
                 (std::vector<QPointF>{{2, 1}, {4, 3}, {6, 5}, {8, 7}}));
        set.clear();
        QCOMPARE(set.contourNum(), 0);
        QVERIFY(set.getContours().empty());
    }
};

QTEST_APPLESS_MAIN(TestContourSet)
#include "tst_contourset.moc"
