// The main window with real events: construction, the data-set chooser
// and its update times, projections, opening files from every way in,
// Clear, and the home view kept across runs; and the animation through the
// time steps, paced by a fake monotonic clock: how long a step takes, the
// first frame that moves to the next step while still showing the one
// before, the blend and where playing stops, the step buttons at either
// end, the frame interval, and the commands that pause before they change
// the view or the data.  The start-up login runs against the stand-in
// server on loopback.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "CustomStyle.h"
#include "ForecastUpdateTime.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MeteoDialog.h"
#include "MeteoKinds.h"
#include "PlayPanel.h"
#include "RequestDlg.h"
#include "WeatherMap.h"

#include <QFileOpenEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>

#include <functional>

using namespace Qt::StringLiterals;
using guifixtures::BoxWatcher;

namespace {

QDateTime utc(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute), Qt::UTC);
}

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

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    std::unique_ptr<StandInServer> server;
    Skyvane* window = nullptr;
    QString pressureTemperature;
    QString windPressure;
    QString windPrecipitation;
    QString singleWind;
    qint64 nowNs = 1000000 * kMs;
    // Two steps three hours apart of uniform 2 m temperature, -19.5 °C
    // and 9 °C, over the mid-Atlantic (30..20 N, 40..20 W): far apart on
    // the colour scale, whose colour for -5.25 °C, half-way, lies between
    // theirs in each channel; no coast or city name near the centre.
    modelfixtures::GribTestFile farApart;

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

    // Playing from compound 1 of the temperature file, half-way into
    // compound 2.
    void playFromSecondStep()
    {
        window->openGribFile(pressureTemperature);
        window->pauseAnimation();
        window->forwardAnimation();
        window->playAnimation();
        frameAfter(kFirstFrameDelayMs);
        frameAfter(1500);
        QVERIFY(playing() && helper()->currentCompoundNum() == 2);
        QVERIFY(window->getAnimationTimer().isActive() && window->getAnimationTimer().interval() < kFirstFrameDelayMs);
    }

    // A window as the program makes it, logged in, on the fake clock.
    void makeWindow()
    {
        guifixtures::showMainWindow(window);
        window->setMonotonicClock([this] { return nowNs; });
    }

    QStringList colouredButtons() const
    {
        const auto& ui = window->ui;
        QStringList names;
        for (QToolButton* button : {ui.windButton, ui.temperatureButton, ui.precipitationButton, ui.pressureButton,
                                    ui.waveButton, ui.windPressPrecipButton, ui.sstButton, ui.nexradButton,
                                    ui.tidalStreamButton, ui.buoyButton})
            if (button->property("coloured").toBool())
                names << button->objectName();
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        server = guifixtures::serverOnSettingsPort("127.0.0.4");
        GUI_REQUIRE_SERVER(server);
        pressureTemperature = work.filePath("pressure temperature.grb");
        windPressure = work.filePath("wind.grb");
        singleWind = work.filePath("single.grb");
        windPrecipitation = work.filePath("wind precipitation.grb");
        // Biscay, 3-hourly; and one step of wind over the same area.
        QVERIFY(guifixtures::writeForecast(pressureTemperature, mtPressure | mtTemperature, 4, 3));
        QVERIFY(guifixtures::writeForecast(windPressure, mtWind | mtPressure, 3, 3));
        QVERIFY(guifixtures::writeForecast(singleWind, mtWind, 1, 3));
        // As the service sends it: no precipitation in the first step.
        QVERIFY(guifixtures::writeForecast(windPrecipitation, mtWind | mtPrecipitation, 3, 3));
        GRIB_WRITE_PARAMS grid = modelfixtures::temperature(21, 11);
        grid.lat1 = 30000;
        grid.lat2 = 20000;
        grid.lon1 = -40000;
        grid.lon2 = -20000;
        farApart.add(modelfixtures::at(grid, 0), 273.0f - 19.5f);
        farApart.add(modelfixtures::at(grid, 3), 273.0f + 9.0f);
        farApart.write();
    }

    void cleanup() { guifixtures::closeMainWindow(window); }

    void constructionAndInitialState()
    {
        makeWindow();
        auto& ui = window->ui;
        const QRect desktop = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(window->pos(), QPoint((desktop.width() - 772) / 2, (desktop.height() - 579) / 2));
        QCOMPARE(window->getMap()->getProjector(), window->getProjectors()[0]);
        QCOMPARE(int(window->getRequest().resolution), 1);
        QVERIFY(!ui.actionFavourites->isVisible());
        QVERIFY(window->isForceDownload());
        // The play panel floats hidden in the map's upper right corner;
        // the parameter buttons are all grey.
        QVERIFY(!window->getPlayPanel()->isVisible());
        QCOMPARE(window->getPlayPanel()->geometry().topRight(), QPoint(771, 0));
        QCOMPARE(colouredButtons(), QStringList());
        QCOMPARE(ui.actionConnection->toolTip(), u"Connected"_s);
        ui.actionMarineMode->trigger();
        QCOMPARE(ui.actionConnection->toolTip(), u"Using marine mode"_s);
        ui.actionMarineMode->trigger();
        QCOMPARE(ui.actionConnection->toolTip(), u"Connected"_s);
    }

    void dataSetsAndTheirUpdateTimes()
    {
        makeWindow();
        auto& ui = window->ui;
        const QString head = u"Latest forecast update time:\n"_s;
        // Local time is two hours ahead; each row: data set, UTC now,
        // expected local update time.  One row per set of update hours,
        // with their edges.
        struct Row {
            QAction* dataSet;
            QDateTime now;
            const char* expected;
        };
        const Row rows[] = {
            // Before the first update of the day: yesterday's second.
            {ui.actionLowResForecast, utc(10, 3), "21:00 GMT+02, 09-03-2026"},
            {ui.actionLowResForecast, utc(10, 12, 30), "09:00 GMT+02, 10-03-2026"},
            // 22:00 UTC is midnight here, on the next day.
            {ui.actionNorthAtlantic, utc(10, 23), "00:00 GMT+02, 11-03-2026"},
            {ui.actionEnglishChannel, utc(1, 9, 59), "00:00 GMT+02, 01-03-2026"},
            {ui.actionWestEurope, utc(10, 21, 59), "12:00 GMT+02, 10-03-2026"},
            // A second update past midnight never happened yesterday.
            {ui.actionEastCentreUS, utc(10, 5), "09:00 GMT+02, 09-03-2026"},
            {ui.actionWestCentreUS, utc(1, 12, 59), "15:00 GMT+02, 28-02-2026"},
            {ui.actionWestCentreUS, utc(1, 13), "15:00 GMT+02, 01-03-2026"},
            // Alaska: always today's midnight run.
            {ui.actionAlaska, utc(10, 23, 30), "02:00 GMT+02, 10-03-2026"},
            {ui.actionSouthAfrica, utc(10, 10, 59), "01:00 GMT+02, 10-03-2026"},
            {ui.actionAustraliaSENZ, utc(10, 8), "10:00 GMT+02, 10-03-2026"},
            {ui.actionEastAustralia, utc(10, 21), "23:00 GMT+02, 10-03-2026"},
        };
        for (const Row& row : rows) {
            window->setUtcClock([now = row.now] { return now; });
            row.dataSet->trigger();
            QCOMPARE(ui.actionForecast->toolTip(), head + QString::fromLatin1(row.expected));
        }
        QCOMPARE(ui.actionForecast->text(), u"Australia\nEast"_s);
        QCOMPARE(ForecastUpdateTime::latestUpdate(26, utc(10, 8, 15)), utc(10, 8));
        QCOMPARE(ForecastUpdateTime::latestUpdate(99, utc(10, 8, 15)), utc(10, 0));
        // No wave forecast over the United States.
        const QPair<QAction*, bool> waves[] = {
            {ui.actionEastCentreUS, false}, {ui.actionLowResForecast, true}, {ui.actionWestEurope, true}};
        for (const auto& wave : waves) {
            wave.first->trigger();
            QCOMPARE(ui.waveButton->isVisibleTo(window), wave.second);
        }
        QVERIFY(window->getRequest().resolution == 24 && window->getMap()->getActiveArea() == 24);
        QCOMPARE(ui.actionForecast->text(), u"West\nEurope"_s);
    }

    void projectionSwitchKeepsTheView()
    {
        makeWindow();
        GeoProjector* equirect = window->getProjectors()[0];
        equirect->goTo(45000000, 7000000);
        window->ui.actionMercatorProjection->trigger();
        GeoProjector* mercator = window->getProjectors()[1];
        QCOMPARE(window->getMap()->getProjector(), mercator);
        QCOMPARE(QPoint(mercator->getCenterLon(), mercator->getCenterLat()), QPoint(7000000, 45000000));
        QCOMPARE(window->ui.actionProjection->text(), u"Mercator\nProjection"_s);
        window->ui.actionEquirectProjection->trigger();
        QCOMPARE(window->getMap()->getProjector(), equirect);
    }

    // A file opened, dropped or asked for by the desktop shows its first
    // kind; the parameter buttons show or fetch theirs; Clear takes the
    // weather off the map.
    void openingFilesAndClear()
    {
        makeWindow();
        window->ui.actionNorthAtlantic->trigger();
        window->openGribFile(pressureTemperature);
        GribFileHelper* helper = window->getHelper();
        GeoProjector* projector = window->getMap()->getProjector();
        // Temperature comes before pressure.
        QCOMPARE(projector->getMeteoType(), 8);
        QCOMPARE(colouredButtons(), (QStringList{"temperatureButton", "pressureButton", "windPressPrecipButton"}));
        QVERIFY(!window->isForceDownload());
        QVERIFY(window->getPlayPanel()->isVisible() && window->getPlayPanel()->isPlaying());
        // Centred on the file's area: 40..50 N, 10 W..0.
        QVERIFY(qAbs(projector->getCenterLat() - 45000000) <= 1 && qAbs(projector->getCenterLon() + 5000000) <= 1);
        // Drop a file on the window: a single step, no play panel.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(singleWind)});
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
        QCOMPARE(window->getHelper(), helper);
        QCOMPARE(window->getDisplayedFlags(), 1);
        QCOMPARE(colouredButtons(), (QStringList{"windButton", "windPressPrecipButton"}));
        QVERIFY(!window->getPlayPanel()->isVisible());
        // The desktop's open request.
        QFileOpenEvent open(windPressure);
        QVERIFY(QApplication::sendEvent(qApp, &open));
        QCOMPARE(QString::fromStdString(helper->gribFile()->getFileName()), windPressure);
        QFileOpenEvent missing(work.filePath("missing.grb"));
        QVERIFY(QApplication::sendEvent(qApp, &missing));
        QCOMPARE(QString::fromStdString(helper->gribFile()->getFileName()), windPressure);
        // A kind the file holds is only shown; one it lacks is fetched
        // from the server, then shown.
        QTest::mouseClick(window->ui.pressureButton, Qt::LeftButton);
        QCOMPARE(projector->getMeteoType(), 2);
        QTest::mouseClick(window->ui.windPressPrecipButton, Qt::LeftButton);
        QCOMPARE(window->getDisplayedFlags(), 7);
        QTest::mouseClick(window->ui.temperatureButton, Qt::LeftButton);
        QCOMPARE(window->getDisplayedFlags(), 8);
        QVERIFY(QString::fromStdString(helper->gribFile()->getFileName()).startsWith(SettingsFactory::getMyDocumentsPath()));
        QVERIFY(!window->isForceDownload());
        // Clear keeps the file but shows none of it, and goes back to the
        // first data set.
        QTest::mouseClick(window->ui.cleanButton, Qt::LeftButton);
        QCOMPARE(colouredButtons(), QStringList());
        QCOMPARE(window->getDisplayedFlags(), 0);
        QVERIFY(window->isForceDownload());
        QCOMPARE(window->ui.actionForecast->text(), u"Global\n1.0 degree"_s);
        QVERIFY(projector->getHelper() == nullptr && helper->isValid() && !window->getPlayPanel()->isPlaying());
    }

    // A kind of any step counts: its button is coloured, and pressing it
    // shows the file's own data from the first step that has it.
    void kindsOfEveryStepCount()
    {
        makeWindow();
        window->openGribFile(windPrecipitation);
        QVERIFY(!MeteoKinds::compoundHas(window->getHelper()->getCurrentCompound(), mtPrecipitation));
        QCOMPARE(colouredButtons(), (QStringList{"windButton", "precipitationButton", "windPressPrecipButton"}));
        QTest::mouseClick(window->ui.precipitationButton, Qt::LeftButton);
        QCOMPARE(window->getDisplayedFlags(), 4);
        QCOMPARE(window->getHelper()->currentCompoundNum(), 1);
        QCOMPARE(QString::fromStdString(window->getHelper()->gribFile()->getFileName()), windPrecipitation);
    }

    // A missing file named on the command line (its blanks split by the
    // shell), garbage, an edition 2 file and ECMWF's 2 m temperature, a
    // parameter the viewer has no colours for: each says why in a box.
    void unreadableFiles()
    {
        makeWindow();
        window->openCommandLine({u"skyvane"_s, work.filePath("pressure"), u"temperature.grb"_s});
        QVERIFY(window->getHelper() && window->getHelper()->isValid());
        QCOMPARE(QString::fromStdString(window->getHelper()->gribFile()->getFileName()), pressureTemperature);

        BoxWatcher watcher;
        window->openCommandLine({u"skyvane"_s, u"/nowhere/no"_s, u"file.grb"_s});
        QCOMPARE(watcher.texts.size(), 1);
        QCOMPARE(watcher.titles[0], u"File open failed"_s);
        QCOMPARE(watcher.texts[0],
                 u"Sorry, file /nowhere/no file.grb\r\n cannot be opened. The file does not exist."_s);

        // Garbage after wind: the map draws no weather of the file dropped.
        window->openGribFile(windPressure);
        const QString garbage = work.filePath("garbage.grb");
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'x'));
        file.close();
        window->openGribFile(garbage);
        QCOMPARE(watcher.texts.size(), 2);
        QCOMPARE(watcher.texts[1],
                 u"Sorry, file "_s + garbage + u"\r\n cannot be opened. It holds no GRIB data."_s);
        QCOMPARE(colouredButtons(), QStringList());
        QVERIFY(!window->getPlayPanel()->isVisible());
        QVERIFY(window->getMap()->getProjector()->getMessage() == nullptr);
        window->getMap()->grab();

        // Real files of other producers: edition 2 and ECMWF's codes open;
        // one whose fields all lie on a projection says so.
        const QString examples = u"/usr/share/doc/python-grib-doc/examples/"_s;
        window->openGribFile(examples + u"safrica.grib2"_s);
        QCOMPARE(watcher.texts.size(), 3);
        QVERIFY(watcher.texts[2].endsWith(u"Its weather fields lie on grids Skyvane does not draw (polar_stereographic)."_s));
        QVERIFY(window->getHelper()->isValid());
        QCOMPARE(colouredButtons(), QStringList());
        for (const QString& name : {u"regular_latlon_surface.grib2"_s, u"regular_latlon_surface.grib1"_s}) {
            window->openGribFile(examples + name);
            QCOMPARE(watcher.texts.size(), 3);
            QCOMPARE(colouredButtons(), QStringList{u"temperatureButton"_s});
            QVERIFY(window->getMap()->getProjector()->getMessage() != nullptr);
        }
        window->getMap()->grab();
    }

    // The point dialog's slider moves the loaded file's step; the map shows
    // that step once the dialog is closed.
    void pointDialogStepShownOnTheMap()
    {
        makeWindow();
        window->openGribFile(pressureTemperature);
        window->pauseAnimation();
        WeatherMap* map = window->getMap();
        map->addMarker(45000000, -5000000, 1);
        map->grab();  // places the markers on screen
        const WeatherMarker* city = map->getMarkers().last();
        guifixtures::OnModal<MeteoDialog> closer([](MeteoDialog* dialog) {
            dialog->ui.horizontalSlider->setValue(dialog->ui.horizontalSlider->maximum());
            QTest::mouseClick(dialog->ui.cancelButton, Qt::LeftButton);
            return true;
        });
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(city->screenX, city->screenY));
        QCOMPARE(closer.handled, 1);
        QCOMPARE(window->getHelper()->currentCompoundNum(), 3);
        QCOMPARE(map->getProjector()->getCompoundNumber(), 3);
        QVERIFY(!map->getProjector()->isInterpolating());
        QVERIFY(!window->getPlayPanel()->isPlaying());
    }

    void homeViewKeptAcrossRuns()
    {
        makeWindow();
        window->getMap()->getProjector()->goTo(40000000, 12000000);
        window->getMap()->setZoom(4);
        cleanup();
        QCOMPARE(SettingsFactory::getHomeZoom(), 4);
        QVERIFY(qAbs(SettingsFactory::getHome().x() - 12.0) < 1e-6);
        QVERIFY(qAbs(SettingsFactory::getHome().y() - 40.0) < 1e-6);
        // A new run reads the file again.
        SettingsFactory::destroy();
        makeWindow();
        QVERIFY(qAbs(window->getMap()->getProjector()->getCenterLat() - 40000000) <= 1);
        QVERIFY(qAbs(window->getMap()->getProjector()->getCenterLon() - 12000000) <= 1);
        QCOMPARE(window->getMap()->getZoom(), 4);
    }

    void applicationStyle()
    {
        CustomStyle style;
        QCOMPARE(style.pixelMetric(QStyle::PM_SmallIconSize, nullptr, nullptr), 32);
        QPushButton button;
        QCOMPARE(style.pixelMetric(QStyle::PM_SmallIconSize, nullptr, &button), 32);
        QListView list;
        QCOMPARE(style.pixelMetric(QStyle::PM_SmallIconSize, nullptr, &list),
                 style.baseStyle()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &list));
        // An open request before the window exists is consumed.
        QFileOpenEvent open(windPressure);
        QVERIFY(QApplication::sendEvent(qApp, &open));
    }


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
        window->openGribFile(pressureTemperature);
        const auto& panel = window->getPlayPanel()->ui;
        QVERIFY(!panel.forwardButton->isVisible() && !panel.backwardButton->isVisible());
        QTest::mouseClick(panel.playButton, Qt::LeftButton);
        QVERIFY(!playing() && !window->getAnimationTimer().isActive());
        // Paused, the panel offers the step buttons.
        QVERIFY(panel.forwardButton->isVisible() && panel.backwardButton->isVisible());
        QTest::mouseClick(panel.backwardButton, Qt::LeftButton);
        QCOMPARE(helper()->currentCompoundNum(), 0);
        for (int i = 0; i < 4; ++i)
            QTest::mouseClick(panel.forwardButton, Qt::LeftButton);
        QCOMPARE(helper()->currentCompoundNum(), 3);
        QCOMPARE(projector()->getCompoundNumber(), 3);

        QTest::mouseClick(panel.playButton, Qt::LeftButton);
        QVERIFY(playing() && window->getAnimationTimer().isActive());
        QVERIFY(!panel.forwardButton->isVisible() && !panel.backwardButton->isVisible());
        frameAfter(kFirstFrameDelayMs);
        QVERIFY(!playing() && !window->getAnimationTimer().isActive());
        QCOMPARE(helper()->currentCompoundNum(), 3);
    }

    // A frame is drawn before the wait for the next starts, and the wait
    // makes up the rest of about 30 ms after that drawing.
    void frameInterval()
    {
        QCOMPARE(animationFrameInterval(45), 0);
        QCOMPARE(animationFrameInterval(10), 20);
        QCOMPARE(animationFrameInterval(0), 29);

        makeWindow();
        window->openGribFile(pressureTemperature);
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
        // A preset for the favourites menu, read when the window is made.
        // Temperature, seen at zoom 4 over 45 N 5 W.
        QVERIFY(SettingsFactory::savePreset(
            u"Biscay"_s, new ToviForecastParameters{mtTemperature, {}, 0, 0, 0, 0, 0, 0, 0, 0, 4, 45000000, -5000000}));
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
            {"open file", [&] { window->openGribFile(windPressure); }, true},
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
    return guifixtures::runWithDemoAccount<TestMainWindow>(argc, argv, u"127.0.0.4"_s);
}

#include "tst_mainwindow.moc"
