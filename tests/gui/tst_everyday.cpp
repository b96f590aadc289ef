// The window's everyday controls with real events: the wheel zooming at
// the pointer, the keys, fitting the map to the file, the timeline of the
// steps, and the animation's speeds and loop, paced by a fake monotonic
// clock.  The start-up login runs against the stand-in server on loopback.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MapMenu.h"
#include "MeteoDialog.h"
#include "PlayPanel.h"
#include "TimelineBar.h"
#include "ValueReadout.h"
#include "WeatherMap.h"

#include <QFileDialog>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kMs = 1000000;  // nanoseconds
constexpr int kFirstFrameDelayMs = 40;

// A wheel turn of eighths of a degree at pos, as a mouse or a trackpad
// sends it.
void turnWheel(QWidget* widget, QPoint pos, int eighths)
{
    QWheelEvent event(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, eighths), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

class TestEveryday : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    std::unique_ptr<StandInServer> server;
    Skyvane* window = nullptr;
    QString biscay;  // 4 steps, 3-hourly, 50..40 N 10 W..0
    QString single;
    modelfixtures::GribTestFile globe;  // 1 degree, 90 N..90 S, 0..359 E
    // 2 m temperature rising 2 K a degree eastward from 270 K at 40 W, on
    // a 1-degree grid over 30..20 N, 40..20 W.
    modelfixtures::GribTestFile eastwardWarmer;
    qint64 nowNs = 1000000 * kMs;

    GribFileHelper* helper() const { return window->getHelper(); }
    GeoProjector* projector() const { return window->getMap()->getProjector(); }
    WeatherMap* map() const { return window->getMap(); }
    bool playing() const { return window->getPlayPanel()->isPlaying(); }
    int step() const { return helper()->currentCompoundNum(); }

    void frameAfterNs(qint64 ns)
    {
        nowNs += ns;
        window->animateNext();
    }

    void makeWindow()
    {
        guifixtures::showMainWindow(window);
        window->setMonotonicClock([this] { return nowNs; });
        // Keys reach the active window.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    // Biscay open and playing from its second step, half-way into the third.
    void playingAtThirdStep()
    {
        window->openGribFile(biscay);
        window->pauseAnimation();
        window->forwardAnimation();
        window->playAnimation();
        frameAfterNs(kFirstFrameDelayMs * kMs);
        frameAfterNs(1500 * kMs);
        QVERIFY(playing() && step() == 2);
    }

    // Whether the box fits the map as it is now.
    bool showsWhole(double north, double west, double south, double east) const
    {
        int left = 0, top = 0, right = 0, bottom = 0;
        projector()->geo2Screen(int(north * 1e6), int(west * 1e6), left, top);
        projector()->geo2Screen(int(south * 1e6), int(east * 1e6), right, bottom);
        return map()->rect().contains(QPoint(left, top)) && map()->rect().contains(QPoint(right, bottom));
    }

    // A point of the map on a drawn city, found as a pointer would.
    bool findDrawnCity(QPoint& at, DrawnCity& city) const
    {
        map()->grab();
        for (int y = 60; y < map()->height(); y += 3)
            for (int x = 0; x < map()->width(); x += 3)
                if (projector()->drawnCityAt(x, y, city)) {
                    at = QPoint(x, y);
                    return true;
                }
        return false;
    }

    // Where the slider's stop for step lies.
    QPoint stopPosition(int stop) const
    {
        QSlider* slider = window->getTimeline()->ui.stepSlider;
        QStyleOptionSlider option;
        option.initFrom(slider);
        const int handle = slider->style()->pixelMetric(QStyle::PM_SliderLength, &option, slider);
        const int x = QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), stop,
                                                      slider->width() - handle) + handle / 2;
        return QPoint(x, slider->height() / 2);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        server = guifixtures::serverOnSettingsPort("127.0.0.14");
        GUI_REQUIRE_SERVER(server);
        biscay = work.filePath("biscay.grb");
        single = work.filePath("single.grb");
        QVERIFY(guifixtures::writeForecast(biscay, mtPressure | mtTemperature, 4, 3));
        QVERIFY(guifixtures::writeForecast(single, mtWind, 1, 3));
        GRIB_WRITE_PARAMS grid = modelfixtures::temperature(360, 181);
        grid.lat1 = 90000, grid.lat2 = -90000, grid.lon1 = 0, grid.lon2 = 359000;
        globe.add(modelfixtures::at(grid, 0), 280.0f);
        globe.write();
        GRIB_WRITE_PARAMS atlantic = modelfixtures::temperature(21, 11);
        atlantic.lat1 = 30000, atlantic.lat2 = 20000, atlantic.lon1 = -40000, atlantic.lon2 = -20000;
        std::vector<float> values;
        for (int row = 0; row < 11; ++row)
            for (int column = 0; column < 21; ++column)
                values.push_back(270.0f + 2.0f * float(column));
        eastwardWarmer.add(modelfixtures::at(atlantic, 0), values);
        eastwardWarmer.write();
    }

    void cleanup() { guifixtures::closeMainWindow(window); }

    // The place under the pointer stays there, within a pixel, in both
    // projections and either way; a trackpad's small turns add up to one
    // step, and a turn back starts afresh.
    void wheelZoomsAtThePointer_data()
    {
        QTest::addColumn<bool>("mercator");
        QTest::addColumn<int>("startZoom");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QList<int>>("turns");
        QTest::addColumn<int>("zoomFactor");  // 2: in, -2: out, 1: unchanged
        QTest::newRow("in, equirect") << false << 32 << QPoint(100, 80) << QList<int>{120} << 2;
        QTest::newRow("out, equirect") << false << 8 << QPoint(600, 400) << QList<int>{-120} << -2;
        QTest::newRow("in, mercator") << true << 32 << QPoint(120, 420) << QList<int>{120} << 2;
        QTest::newRow("out, mercator") << true << 8 << QPoint(500, 60) << QList<int>{-120} << -2;
        QTest::newRow("trackpad, four small turns") << false << 8 << QPoint(300, 300) << QList<int>{30, 30, 30, 30} << 2;
        QTest::newRow("trackpad, not yet a step") << false << 8 << QPoint(300, 300) << QList<int>{30, 30, 30} << 1;
        QTest::newRow("a turn back starts afresh") << false << 8 << QPoint(300, 300) << QList<int>{90, -60, -60} << -2;
    }

    void wheelZoomsAtThePointer()
    {
        QFETCH(bool, mercator);
        QFETCH(int, startZoom);
        QFETCH(QPoint, pointer);
        QFETCH(QList<int>, turns);
        QFETCH(int, zoomFactor);
        makeWindow();
        (mercator ? window->ui.actionMercatorProjection : window->ui.actionEquirectProjection)->trigger();
        map()->setZoom(startZoom);
        map()->grab();
        int latBefore = 0, lonBefore = 0;
        QVERIFY(projector()->screen2Geo(pointer.x(), pointer.y(), latBefore, lonBefore));
        for (int eighths : turns)
            turnWheel(map(), pointer, eighths);
        QCOMPARE(map()->getZoom(), zoomFactor > 0 ? startZoom * zoomFactor : -startZoom / zoomFactor);
        map()->grab();
        int lat = 0, lon = 0, latNext = 0, lonNext = 0;
        QVERIFY(projector()->screen2Geo(pointer.x(), pointer.y(), lat, lon));
        projector()->screen2Geo(pointer.x() + 1, pointer.y() + 1, latNext, lonNext);
        QVERIFY2(std::abs(lat - latBefore) <= std::abs(latNext - lat) && std::abs(lon - lonBefore) <= std::abs(lonNext - lon),
                 qPrintable(u"%1,%2 moved to %3,%4"_s.arg(latBefore).arg(lonBefore).arg(lat).arg(lon)));
    }

    void wheelStopsAtTheZoomLimits()
    {
        makeWindow();
        map()->setZoom(64);
        turnWheel(map(), QPoint(200, 200), 240);
        QCOMPARE(map()->getZoom(), 64);
        map()->setZoom(1);
        turnWheel(map(), QPoint(200, 200), -120);
        QCOMPARE(map()->getZoom(), 1);
    }

    // Each key does what it says, and those that change the view or the
    // step pause the animation first.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("effect");
        QTest::addColumn<bool>("pauses");
        QTest::newRow("left") << int(Qt::Key_Left) << 0 << u"west"_s << true;
        QTest::newRow("right") << int(Qt::Key_Right) << 0 << u"east"_s << true;
        QTest::newRow("up") << int(Qt::Key_Up) << 0 << u"north"_s << true;
        QTest::newRow("down") << int(Qt::Key_Down) << 0 << u"south"_s << true;
        QTest::newRow("plus") << int(Qt::Key_Plus) << 0 << u"zoom in"_s << true;
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << u"zoom in"_s << true;
        QTest::newRow("minus") << int(Qt::Key_Minus) << 0 << u"zoom out"_s << true;
        QTest::newRow("page down") << int(Qt::Key_PageDown) << 0 << u"next step"_s << true;
        QTest::newRow("period") << int(Qt::Key_Period) << 0 << u"next step"_s << true;
        QTest::newRow("page up") << int(Qt::Key_PageUp) << 0 << u"previous step"_s << true;
        QTest::newRow("comma") << int(Qt::Key_Comma) << 0 << u"previous step"_s << true;
        QTest::newRow("home") << int(Qt::Key_Home) << 0 << u"first step"_s << true;
        QTest::newRow("space") << int(Qt::Key_Space) << 0 << u"same step"_s << true;
        QTest::newRow("f") << int(Qt::Key_F) << 0 << u"fit"_s << true;
        QTest::newRow("]") << int(Qt::Key_BracketRight) << 0 << u"faster"_s << false;
        QTest::newRow("[ at the slowest") << int(Qt::Key_BracketLeft) << 0 << u"same speed"_s << false;
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, effect);
        QFETCH(bool, pauses);
        makeWindow();
        window->setAnimationSpeed(1);
        playingAtThirdStep();
        const int lat = projector()->getCenterLat();
        const int lon = projector()->getCenterLon();
        const int zoom = map()->getZoom();
        const int quarterMicro = map()->width() / 4 * projector()->getScale();
        QTest::keyClick(window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(playing(), !pauses);
        const int latNow = projector()->getCenterLat();
        const int lonNow = projector()->getCenterLon();
        const QMap<QString, std::function<bool()>> checks{
            {u"west"_s, [&] { return std::abs(lon - quarterMicro - lonNow) < 10000 && latNow == lat; }},
            {u"east"_s, [&] { return std::abs(lon + quarterMicro - lonNow) < 10000 && latNow == lat; }},
            {u"north"_s, [&] { return latNow > lat && lonNow == lon; }},
            {u"south"_s, [&] { return latNow < lat && lonNow == lon; }},
            {u"zoom in"_s, [&] { return map()->getZoom() == zoom * 2; }},
            {u"zoom out"_s, [&] { return map()->getZoom() == zoom / 2; }},
            {u"next step"_s, [&] { return step() == 3; }},
            {u"previous step"_s, [&] { return step() == 1; }},
            {u"first step"_s, [&] { return step() == 0; }},
            {u"same step"_s, [&] { return step() == 2; }},
            {u"fit"_s, [&] { return showsWhole(50, -10, 40, 0); }},
            {u"faster"_s, [&] { return window->getPace().speed() == 2; }},
            {u"same speed"_s, [&] { return window->getPace().speed() == 1; }},
        };
        QVERIFY2(checks[effect](), qPrintable(effect));
        QCOMPARE(projector()->getCompoundNumber(), step());
    }

    // Space toggles playing; from the last step it plays from the first.
    void spaceTogglesAndStartsOverAtTheEnd()
    {
        makeWindow();
        window->openGribFile(biscay);
        QTest::keyClick(window, Qt::Key_Space);
        QVERIFY(!playing());
        QTest::keyClick(window, Qt::Key_Space);
        QVERIFY(playing());
        QTest::keyClick(window, Qt::Key_End);  // no command
        window->pauseAnimation();
        QTest::keyClick(window, Qt::Key_PageDown);
        QTest::keyClick(window, Qt::Key_PageDown);
        QTest::keyClick(window, Qt::Key_PageDown);
        QCOMPARE(step(), 3);
        QTest::keyClick(window, Qt::Key_Space);
        QVERIFY(playing());
        QCOMPARE(step(), 0);
    }

    // Ctrl+O opens the file dialog; Ctrl+Q closes the window.
    void openAndQuitKeys()
    {
        makeWindow();
        int dialogs = 0;
        guifixtures::OnModal<QFileDialog> cancel([&](QFileDialog* dialog) {
            ++dialogs;
            dialog->reject();
            return true;
        });
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(dialogs, 1);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window->isVisible());
    }

    // F shows the whole of a regional file at the largest zoom it fits at;
    // a global file, wider than the map at any zoom, at the smallest, on
    // the equator.
    void fitToTheFile()
    {
        makeWindow();
        window->openGribFile(biscay);
        map()->setZoom(64);
        QTest::keyClick(window, Qt::Key_F);
        map()->grab();
        QVERIFY(showsWhole(50, -10, 40, 0));
        const int fitted = map()->getZoom();
        QVERIFY(fitted < 64);
        map()->setZoom(fitted * 2);
        map()->grab();
        QVERIFY(!showsWhole(50, -10, 40, 0));

        window->openGribFile(globe.path());
        map()->setZoom(16);
        projector()->goTo(50000000, 12000000);
        QTest::keyClick(window, Qt::Key_F);
        QCOMPARE(map()->getZoom(), 1);
        // Round the globe, it has no middle in longitude: the map keeps its own.
        QCOMPARE(projector()->getCenterLat(), 0);
        QCOMPARE(projector()->getCenterLon(), 12000000);
    }

    // One stop a step, with the step's valid time in local time (UTC+2
    // here) and UTC; clicking a stop or dragging the handle shows the
    // step at once and pauses; playing moves the handle; it hides with
    // the play panel.
    void timeline()
    {
        makeWindow();
        window->openGribFile(biscay);
        TimelineBar* bar = window->getTimeline();
        QVERIFY(bar->isVisible() && window->getPlayPanel()->isVisible());
        QCOMPARE(bar->ui.stepSlider->maximum(), 3);
        QCOMPARE(bar->timeText(), u"Sun 10 Mar 02:00 (00:00 UTC)"_s);
        QTest::mouseClick(bar->ui.stepSlider, Qt::LeftButton, {}, stopPosition(2));
        QVERIFY(!playing());
        QCOMPARE(step(), 2);
        QCOMPARE(projector()->getCompoundNumber(), 2);
        QCOMPARE(bar->timeText(), u"Sun 10 Mar 08:00 (06:00 UTC)"_s);
        QTest::mousePress(bar->ui.stepSlider, Qt::LeftButton, {}, stopPosition(2));
        QTest::mouseMove(bar->ui.stepSlider, stopPosition(1));
        QTest::mouseRelease(bar->ui.stepSlider, Qt::LeftButton, {}, stopPosition(1));
        QCOMPARE(step(), 1);
        QCOMPARE(projector()->getCompoundNumber(), 1);

        window->playAnimation();
        frameAfterNs(kFirstFrameDelayMs * kMs);
        QCOMPARE(step(), 2);
        QCOMPARE(bar->step(), 2);

        window->openGribFile(single);
        QVERIFY(!bar->isVisible() && !window->getPlayPanel()->isVisible());
    }

    // A click on a city drawn on the map opens the point dialog there with
    // the city's name; a drag that starts on it pans.
    void citiesOpenTheirPointForecast()
    {
        makeWindow();
        window->openGribFile(biscay);
        window->pauseAnimation();
        QPoint at;
        DrawnCity city;
        QVERIFY(findDrawnCity(at, city));
        QStringList headers;
        guifixtures::OnModal<MeteoDialog> closer([&](MeteoDialog* dialog) {
            headers << dialog->placeName() + u" | "_s + dialog->ui.labelLocation->text();
            return dialog->close();
        });
        QTest::mouseClick(map(), Qt::LeftButton, {}, at);
        QCOMPARE(headers.size(), 1);
        QVERIFY2(headers[0].startsWith(city.name + u" | "_s) &&
                     headers[0].contains(QString::number(std::fabs(float(city.latMicro) / 1e6f))),
                 qPrintable(headers[0] + u" for "_s + city.name));
        QVERIFY(!map()->getMenu()->isVisible());

        const int lon = projector()->getCenterLon();
        QTest::mousePress(map(), Qt::LeftButton, {}, at);
        QTest::mouseMove(map(), at + QPoint(60, 0));
        QTest::mouseRelease(map(), Qt::LeftButton, {}, at + QPoint(60, 0));
        QCOMPARE(headers.size(), 1);
        QVERIFY(projector()->getCenterLon() < lon);
    }

    // The read-out under the pointer says what the point dialog says at a
    // grid point, the interpolated value between grid points, and "-" off
    // the grid.
    void readoutFollowsThePointer_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<QString>("temperature");
        QTest::newRow("grid point") << 25.0 << -37.0 << QString();  // the dialog's
        QTest::newRow("half-way to the next") << 25.0 << -36.5 << u"4 °C"_s;
        QTest::newRow("north of the grid") << 33.0 << -37.0 << u"-"_s;
    }

    void readoutFollowsThePointer()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(QString, temperature);
        makeWindow();
        window->openGribFile(eastwardWarmer.path());
        map()->setZoom(4);
        map()->grab();
        if (temperature.isEmpty()) {
            MeteoDialog dialog(window, helper(), int(lat * 1e6), int(lon * 1e6));
            temperature = dialog.ui.labelTemperature->text() + u" °C"_s;
            QCOMPARE(temperature, u"3 °C"_s);
        }
        int x = 0, y = 0;
        projector()->geo2Screen(int(lat * 1e6), int(lon * 1e6), x, y);
        QTest::mouseMove(map(), QPoint(x, y));
        ValueReadout* readout = map()->getReadout();
        QVERIFY(readout->isVisible());
        QVERIFY2(readout->text().contains(u"Temperature&nbsp;&nbsp;</td><td align=right>"_s + temperature + u"<"_s),
                 qPrintable(readout->text()));
    }

    // The validity text names the UTC day only when it differs.
    void timelineText()
    {
        QCOMPARE(TimelineBar::validTimeText(QDateTime(QDate(2026, 12, 7), QTime(23, 0), Qt::UTC)),
                 u"Tue 8 Dec 01:00 (Mon 7 Dec 23:00 UTC)"_s);
        QCOMPARE(TimelineBar::validTimeText(QDateTime()), u"-"_s);
    }

    // A step takes its hours in seconds divided by the speed chosen from
    // the play panel's menu, which the settings keep.
    void speeds_data()
    {
        QTest::addColumn<int>("menuEntry");
        QTest::addColumn<int>("stepMs");
        QTest::newRow("normal") << 0 << 3000;
        QTest::newRow("x2") << 1 << 1500;
        QTest::newRow("x4") << 2 << 750;
        QTest::newRow("x8") << 3 << 375;
    }

    void speeds()
    {
        QFETCH(int, menuEntry);
        QFETCH(int, stepMs);
        makeWindow();
        window->getPlayPanel()->paceMenu()->actions().at(menuEntry)->trigger();
        QCOMPARE(SettingsFactory::getAnimationSpeed(), 3000 / stepMs);
        window->openGribFile(biscay);
        frameAfterNs(kFirstFrameDelayMs * kMs);
        QCOMPARE(step(), 1);
        frameAfterNs(stepMs * kMs - kMs);
        QCOMPARE(step(), 1);
        frameAfterNs(kMs);
        QCOMPARE(step(), 2);
        QCOMPARE(projector()->getBlendFactor(), 0.0f);
    }

    // A speed chosen half-way through a step goes on from half-way.
    void speedChangeKeepsTheStepsProgress()
    {
        makeWindow();
        window->setAnimationSpeed(1);
        window->openGribFile(biscay);
        frameAfterNs(kFirstFrameDelayMs * kMs);
        frameAfterNs(1500 * kMs);
        QCOMPARE(projector()->getBlendFactor(), 0.5f);
        window->setAnimationSpeed(4);
        frameAfterNs(0);
        QCOMPARE(projector()->getBlendFactor(), 0.5f);
        frameAfterNs(375 * kMs);
        QCOMPARE(step(), 2);
    }

    // With loop on, the end of the last step goes back to the first and
    // plays on; the blend then starts from the first step.
    void loop()
    {
        makeWindow();
        window->setAnimationSpeed(1);
        QMenu* menu = window->getPlayPanel()->paceMenu();
        menu->actions().last()->trigger();
        QVERIFY(window->getPace().loops() && SettingsFactory::getAnimationLoop());
        window->openGribFile(biscay);
        frameAfterNs(kFirstFrameDelayMs * kMs);
        for (int i = 0; i < 3; ++i)
            frameAfterNs(3000 * kMs);
        QVERIFY(playing());
        QCOMPARE(step(), 0);
        QCOMPARE(window->getTimeline()->step(), 0);
        frameAfterNs(kFirstFrameDelayMs * kMs);
        QCOMPARE(step(), 1);
        QCOMPARE(projector()->getBlendFactor(), 0.0f);
        menu->actions().last()->trigger();
        QVERIFY(!SettingsFactory::getAnimationLoop());
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runWithDemoAccount<TestEveryday>(argc, argv, u"127.0.0.14"_s);
}

#include "tst_everyday.moc"
