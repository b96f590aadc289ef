// The frame schedule of exported animations: how many frames, which step
// each shows with which blend, and when each begins.

#include "animation_frames.h"

#include <QtTest>

class TestAnimationFrames : public QObject {
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("stepMs");
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("step");
        QTest::addColumn<double>("blend");
        // 16 three-hourly steps at the window's pace: 30 frames a step.
        QTest::newRow("16 steps, first") << 0 << 15 << 3000 << 10 << 451 << 0 << 0 << 1.0;
        QTest::newRow("16 steps, half-way into step 1") << 0 << 15 << 3000 << 10 << 451 << 15 << 1 << 0.5;
        QTest::newRow("16 steps, step 1 reached") << 0 << 15 << 3000 << 10 << 451 << 30 << 1 << 1.0;
        QTest::newRow("16 steps, middle") << 0 << 15 << 3000 << 10 << 451 << 226 << 8 << 0.5 + 1.0 / 30;
        QTest::newRow("16 steps, last") << 0 << 15 << 3000 << 10 << 451 << 450 << 15 << 1.0;
        QTest::newRow("from 2 to 5, first") << 2 << 5 << 1000 << 4 << 13 << 0 << 2 << 1.0;
        QTest::newRow("from 2 to 5, a quarter") << 2 << 5 << 1000 << 4 << 13 << 1 << 3 << 0.25;
        QTest::newRow("from 2 to 5, last") << 2 << 5 << 1000 << 4 << 13 << 12 << 5 << 1.0;
        QTest::newRow("one step") << 7 << 7 << 3000 << 10 << 1 << 0 << 7 << 1.0;
        // 1.5 frames a step: the last frame, past the end, shows the last step.
        QTest::newRow("uneven, second") << 0 << 3 << 500 << 3 << 6 << 1 << 1 << 2.0 / 3;
        QTest::newRow("uneven, fifth") << 0 << 3 << 500 << 3 << 6 << 4 << 3 << 2.0 / 3;
        QTest::newRow("uneven, last") << 0 << 3 << 500 << 3 << 6 << 5 << 3 << 1.0;
    }

    void frames()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, stepMs);
        QFETCH(int, fps);
        QFETCH(int, count);
        QFETCH(int, index);
        QFETCH(int, step);
        QFETCH(double, blend);
        const AnimationFrames frames(first, last, stepMs, fps);
        QCOMPARE(frames.count(), int64_t(count));
        QCOMPARE(frames.frame(index).step, step);
        QVERIFY2(qAbs(frames.frame(index).blend - blend) < 1e-12, qPrintable(QString::number(frames.frame(index).blend)));
    }

    // Rounded to the millisecond from the animation's start, so that the
    // durations add up to the whole.
    void startTimes_data()
    {
        QTest::addColumn<int>("fps");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("ms");
        QTest::newRow("a third") << 3 << 1 << 333;
        QTest::newRow("two thirds") << 3 << 2 << 667;
        QTest::newRow("a second at 3 fps") << 3 << 3 << 1000;
        QTest::newRow("a second at 7 fps") << 7 << 7 << 1000;
        QTest::newRow("end of 451 frames") << 10 << 451 << 45100;
    }

    void startTimes()
    {
        QFETCH(int, fps);
        QFETCH(int, index);
        QFETCH(int, ms);
        QCOMPARE(AnimationFrames(0, 15, 3000, fps).startMs(index), int64_t(ms));
    }
};

QTEST_GUILESS_MAIN(TestAnimationFrames)
#include "tst_animation_frames.moc"
