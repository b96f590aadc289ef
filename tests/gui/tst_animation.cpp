// The animation through the time steps in the real main window, paced by a
// fake monotonic clock: how long a step takes, the first frame that moves
// to the next step while still showing the one before, the blend and where
// playing stops, the step buttons at either end, the frame interval, and
// the commands that pause before they change the view or the data.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "PlayPanel.h"
#include "RequestDlg.h"
#include "WeatherMap.h"

#include <QMenu>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMs = 1000000;  // nanoseconds
// What playing waits before its first frame.
constexpr int kFirstFrameDelayMs = 40;

QImage mapPicture(Skyvane* window)
{
    return window->getMap()->grab().toImage();
}

class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

}  // namespace

class TestAnimation : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    std::unique_ptr<StandInServer> server;
    Skyvane* window = nullptr;
    qint64 nowNs = 1000000 * kMs;
    QString threeSteps;
    QString otherThreeSteps;
    // Two steps three hours apart of uniform 2 m temperature, -19.5 °C
    // and 9 °C, over the mid-Atlantic (30..20 N, 40..20 W): far apart on
    // the colour scale, whose colour for -5.25 °C, half-way, lies between
    // theirs in each channel; no coast or city name near the centre.
    modelfixtures::GribTestFile farApart;

    // A window as the program makes it, logged in, on the fake clock.
    void makeWindow()
    {
        guifixtures::showMainWindow(window);
        window->setMonotonicClock([this] { return nowNs; });
    }

    GribFileHelper* helper() const { return window->getHelper(); }
    GeoProjector* projector() const { return window->getMap()->getProjector(); }
    bool playing() const { return window->getPlayPanel()->isPlaying(); }

    // One frame, ms after the last one.
    void frameAfter(qint64 ms) { frameAfterNs(ms * kMs); }
    void frameAfterNs(qint64 ns)
    {
        nowNs += ns;
        window->animateNext();
    }

    // Playing from compound 1 of threeSteps, half-way into compound 2.
    void playFromSecondStep()
    {
        window->openGribFile(threeSteps);
        window->pauseAnimation();
        window->forwardAnimation();
        window->playAnimation();
        frameAfter(kFirstFrameDelayMs);
        frameAfter(1500);
        QVERIFY(playing() && helper()->currentCompoundNum() == 2);
        QVERIFY(window->getAnimationTimer().isActive() && window->getAnimationTimer().interval() < kFirstFrameDelayMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        server = guifixtures::serverOnSettingsPort("127.0.0.7");
        GUI_REQUIRE_SERVER(server);
        threeSteps = work.filePath("three.grb");
        otherThreeSteps = work.filePath("other.grb");
        // Biscay, 3-hourly.
        QVERIFY(guifixtures::writeForecast(threeSteps, mtTemperature | mtPressure, 3, 3));
        QVERIFY(guifixtures::writeForecast(otherThreeSteps, mtTemperature, 3, 3));

        GRIB_WRITE_PARAMS grid = modelfixtures::temperature(21, 11);
        grid.lat1 = 30000;
        grid.lat2 = 20000;
        grid.lon1 = -40000;
        grid.lon2 = -20000;
        farApart.add(modelfixtures::at(grid, 0), 273.0f - 19.5f);
        farApart.add(modelfixtures::at(grid, 3), 273.0f + 9.0f);
        farApart.write();

        // A preset for the favourites menu, read when the window is made.
        auto* preset = new ToviForecastParameters();
        preset->meteoType = mtTemperature;
        preset->zoom = 4;
        preset->centerLat = 45000000;
        preset->centerLon = -5000000;
        QVERIFY(SettingsFactory::savePreset(u"Biscay"_s, preset));
    }

    void cleanup() { guifixtures::closeMainWindow(window); }

    // A step lasts its hours in seconds (a second when the file's steps
    // are shorter than an hour): the next step comes when the clock
    // reaches that, not a nanosecond before, and playing stops when the
    // blend into the last step is complete.
    void stepDuration_data()
    {
        QTest::addColumn<int>("requestedStep");
        QTest::addColumn<int>("stepMs");
        QTest::newRow("3-hourly") << 3 << 3000;
        // The builder's code for ten-minute steps.
        QTest::newRow("ten minutes") << 10 << 1000;
    }

    void stepDuration()
    {
        QFETCH(int, requestedStep);
        QFETCH(int, stepMs);
        const QString path = work.filePath(u"steps%1.grb"_s.arg(requestedStep));
        QVERIFY(guifixtures::writeForecast(path, mtTemperature, 3, requestedStep));
        makeWindow();
        window->openGribFile(path);
        QVERIFY(playing());
        frameAfter(kFirstFrameDelayMs);
        frameAfterNs(stepMs * kMs - 1);
        QCOMPARE(helper()->currentCompoundNum(), 1);
        QCOMPARE(projector()->getBlendFactor(), float(stepMs - 1) / float(stepMs));
        frameAfterNs(1);
        QCOMPARE(helper()->currentCompoundNum(), 2);
        QCOMPARE(projector()->getBlendFactor(), 0.0f);
        frameAfterNs(stepMs * kMs - 1);
        QVERIFY(playing());
        frameAfterNs(1);
        QVERIFY(!playing() && !window->getAnimationTimer().isActive() && !projector()->isInterpolating());
        QCOMPARE(helper()->currentCompoundNum(), 2);
    }

    // From the first of two steps: the first frame makes the second
    // current while the map still shows the first, later frames blend
    // (half-way, each colour channel lies between the two steps'), and
    // playing stops on the second step when the blend is complete.
    void firstFrameAndBlend()
    {
        makeWindow();
        window->openGribFile(farApart.path());
        const QImage first = mapPicture(window);
        const QPoint centre = first.rect().center();
        frameAfter(kFirstFrameDelayMs);
        QVERIFY(playing() && helper()->currentCompoundNum() == 1);
        QCOMPARE(mapPicture(window), first);
        frameAfter(1500);
        const QImage halfWay = mapPicture(window);
        frameAfter(1500);
        QVERIFY(!playing());
        const QImage second = mapPicture(window);
        const QRgb from = first.pixel(centre);
        const QRgb to = second.pixel(centre);
        const QRgb mid = halfWay.pixel(centre);
        const auto between = [](int value, int a, int b) { return value > qMin(a, b) && value < qMax(a, b); };
        QVERIFY(between(qRed(mid), qRed(from), qRed(to)) && between(qGreen(mid), qGreen(from), qGreen(to)) &&
                between(qBlue(mid), qBlue(from), qBlue(to)));
    }

    // Stepping past either end does nothing; playing from the last step
    // stops at its first frame.
    void theEnds()
    {
        makeWindow();
        window->openGribFile(threeSteps);
        const auto& panel = window->getPlayPanel()->ui;
        QVERIFY(!panel.forwardButton->isVisible() && !panel.backwardButton->isVisible());
        QTest::mouseClick(panel.playButton, Qt::LeftButton);
        QVERIFY(!playing() && !window->getAnimationTimer().isActive());
        // Paused, the panel offers the step buttons.
        QVERIFY(panel.forwardButton->isVisible() && panel.backwardButton->isVisible());
        QTest::mouseClick(panel.backwardButton, Qt::LeftButton);
        QCOMPARE(helper()->currentCompoundNum(), 0);
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(panel.forwardButton, Qt::LeftButton);
        QCOMPARE(helper()->currentCompoundNum(), 2);
        QCOMPARE(projector()->getCompoundNumber(), 2);

        QTest::mouseClick(panel.playButton, Qt::LeftButton);
        QVERIFY(playing() && window->getAnimationTimer().isActive());
        QVERIFY(!panel.forwardButton->isVisible() && !panel.backwardButton->isVisible());
        frameAfter(kFirstFrameDelayMs);
        QVERIFY(!playing() && !window->getAnimationTimer().isActive());
        QCOMPARE(helper()->currentCompoundNum(), 2);
    }

    // A frame is drawn before the wait for the next starts, and the wait
    // makes up the rest of about 30 ms after that drawing.
    void frameInterval()
    {
        QCOMPARE(animationFrameInterval(45), 0);
        QCOMPARE(animationFrameInterval(10), 20);
        QCOMPARE(animationFrameInterval(0), 29);

        makeWindow();
        window->openGribFile(threeSteps);
        QCOMPARE(window->getAnimationTimer().interval(), kFirstFrameDelayMs);
        PaintCounter paints;
        window->getMap()->installEventFilter(&paints);
        for (int frame = 1; frame <= 3; ++frame) {
            frameAfter(kFirstFrameDelayMs);
            QCOMPARE(paints.count, frame);
            QVERIFY(window->getAnimationTimer().isActive());
            QCOMPARE(window->getAnimationTimer().interval(),
                     animationFrameInterval(projector()->getRenderTime()));
        }
    }

    // Every command that changes the view or the data pauses first; those
    // that show data again then play afresh from the first step.
    void commandsPauseFirst()
    {
        makeWindow();
        auto& ui = window->ui;
        WeatherMap* map = window->getMap();
        struct Command {
            const char* name;
            std::function<void()> run;
            bool playsAgain;
        };
        guifixtures::OnModal<RequestDlg> cancelRequest([](RequestDlg* dialog) {
            QTest::mouseClick(dialog->ui.cancelButton, Qt::LeftButton);
            return true;
        });
        const Command commands[] = {
            {"zoom in", [&] { ui.actionZoomIn->trigger(); }, false},
            {"zoom out", [&] { ui.actionZoomOut->trigger(); }, false},
            {"projection", [&] { ui.actionMercatorProjection->trigger(); }, false},
            {"clear", [&] { QTest::mouseClick(ui.cleanButton, Qt::LeftButton); }, false},
            {"buoys", [&] { QTest::mouseClick(ui.buoyButton, Qt::LeftButton); }, false},
            {"advanced download", [&] { ui.actionAddNewRequest->trigger(); }, false},
            // A kind the file lacks is downloaded, and the new file plays.
            {"download", [&] { QTest::mouseClick(ui.windButton, Qt::LeftButton); }, true},
            {"press on the map", [&] { QTest::mouseClick(map, Qt::LeftButton, {}, map->rect().center()); }, false},
            {"parameter button", [&] { QTest::mouseClick(ui.temperatureButton, Qt::LeftButton); }, true},
            {"show meteo", [&] { window->showMeteo(mtPressure); }, true},
            {"open file", [&] { window->openGribFile(otherThreeSteps); }, true},
            {"favourite", [&] { window->getPresetsMenu()->actions().value(0)->trigger(); }, true},
        };
        QCOMPARE(window->getPresetsMenu()->actions().size(), 1);
        for (const Command& command : commands) {
            playFromSecondStep();
            command.run();
            if (!command.playsAgain) {
                QVERIFY2(!playing() && !window->getAnimationTimer().isActive() && !projector()->isInterpolating(),
                         command.name);
                continue;
            }
            // Played afresh: the first frame's delay, and the first frame
            // moves on from step 0 at once.
            QVERIFY2(playing() && helper()->currentCompoundNum() == 0, command.name);
            QVERIFY2(window->getAnimationTimer().interval() == kFirstFrameDelayMs, command.name);
            frameAfter(kFirstFrameDelayMs);
            QVERIFY2(helper()->currentCompoundNum() == 1 && projector()->getBlendFactor() == 0.0f, command.name);
        }
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runWithDemoAccount<TestAnimation>(argc, argv, u"127.0.0.7"_s, false);
}

#include "tst_animation.moc"
