// Forecast downloads from the real main window against the stand-in server
// on loopback: what the server was asked (its request record), the file
// saved under the documents folder, and what the window shows afterwards;
// cancel, failures, the point dialog's online source and the buoy
// document.
#include "guifixtures.h"

#include "BuoyDialog.h"
#include "BuoyMarker.h"
#include "DownloadDlg.h"
#include "DownloadThread.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MapMenu.h"
#include "MeteoDialog.h"
#include "PlayPanel.h"
#include "RequestDlg.h"
#include "WeatherMap.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>

#include <csignal>

using namespace Qt::StringLiterals;
using guifixtures::BoxWatcher;
using guifixtures::OnModal;

namespace {

const char kHost[] = "127.0.0.9";
const QDateTime kNow(QDate(2026, 3, 10), QTime(14, 25, 7), Qt::UTC);
const QString kFirstName = u"UTC_2026-03-10_14-25-07.grb"_s;

QString loadedFile(const Skyvane* window)
{
    const GribFileHelper* helper = window->getHelper();
    return helper && helper->isValid() ? QString::fromStdString(helper->gribFile()->getFileName()) : QString();
}

// Presses Escape, then Cancel, on the download dialog once it shows
// progress, or at once.
struct Canceller {
    explicit Canceller(bool waitForProgress) : waitForProgress(waitForProgress) {}
    bool waitForProgress;
    bool escapeIgnored = false;
    QString progressText;
    OnModal<DownloadDlg> onDialog{[this](DownloadDlg* dialog) {
        if (waitForProgress && !dialog->ui.label->text().startsWith(u"Downloading forecast data ("_s))
            return false;
        progressText = dialog->ui.label->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
        escapeIgnored = dialog->isVisible();
        QTest::mouseClick(dialog->ui.cancelButton, Qt::LeftButton);
        return true;
    }, 10};
};

}  // namespace

class TestDownload : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    QString recordPath;
    std::unique_ptr<StandInServer> server;
    Skyvane* window = nullptr;

    void startServer(const QStringList& extra = {})
    {
        server.reset();
        server = guifixtures::serverOnSettingsPort(kHost, QStringList{"--record", recordPath} + extra);
        QVERIFY2(server->running(), server->log().constData());
    }

    QList<QJsonObject> records(const QString& operation) const
    {
        QList<QJsonObject> found;
        QFile file(recordPath);
        if (!file.open(QIODevice::ReadOnly))
            return found;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.value("operation"_L1).toString() == operation)
                found.append(object);
        }
        return found;
    }

    int forecastRequests() const { return int(records(u"getForecastData2"_s).size()); }

    QJsonObject lastParameters() const
    {
        const QList<QJsonObject> all = records(u"getForecastData2"_s);
        return all.isEmpty() ? QJsonObject() : all.last().value("parameters"_L1).toObject();
    }

    static QString documents() { return SettingsFactory::getMyDocumentsPath(); }

    static QStringList savedFiles()
    {
        return QDir(documents()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // The kinds, data set and steps asked for, on the first day.
    static void compareRequest(const QJsonObject& p, int meteoType, int resolution, int time, int step, int steps)
    {
        const char* keys[] = {"meteoType", "resolution", "forecastDay", "forecastTime", "timeStep", "stepsNumber"};
        QList<int> asked;
        for (const char* key : keys)
            asked << p.value(QLatin1String(key)).toInt();
        QCOMPARE(asked, (QList<int>{meteoType, resolution, 0, time, step, steps}));
    }

    // The requested edges cover the visible corners, on multiples of the
    // grid step and less than a step beyond them.
    void compareArea(const QJsonObject& p, int stepMilli)
    {
        const WeatherMap* map = window->getMap();
        int top = 0, left = 0, bottom = 0, right = 0;
        QVERIFY(map->getProjector()->screen2Geo(0, 0, top, left) &&
                map->getProjector()->screen2Geo(map->width() - 1, map->height() - 1, bottom, right));
        // Each edge and its corner, signed so that outward is up.
        const int edges[4][2] = {{p["top"_L1].toInt(), top / 1000}, {p["right"_L1].toInt(), right / 1000},
                                 {-p["left"_L1].toInt(), -(left / 1000)}, {-p["bottom"_L1].toInt(), -(bottom / 1000)}};
        for (const auto& edge : edges)
            QVERIFY(edge[0] % stepMilli == 0 && edge[0] >= edge[1] && edge[0] - edge[1] <= stepMilli);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        recordPath = work.filePath("requests.jsonl");
        // Pressure over Biscay, two steps: a file on screen before a download.
        QVERIFY(guifixtures::writeForecast(work.filePath("loaded.grb"), mtPressure, 2, 3));
        startServer();
    }

    void init()
    {
        QDir(documents()).removeRecursively();
        // Every window starts on the same view, whatever the last one left.
        SettingsFactory::setHome(QPointF(-3.0, 53.0), 8);
        guifixtures::showMainWindow(window);
        window->setUtcClock([] { return kNow; });
    }

    void cleanup()
    {
        guifixtures::closeMainWindow(window);
        if (!server->running())
            startServer();
    }

    void windButtonDownloadsOnceThenRedraws()
    {
        window->ui.actionLowResForecast->trigger();
        click(window->ui.windButton);
        const QList<QJsonObject> calls = records(u"getForecastData2"_s);
        QVERIFY(!calls.isEmpty());
        QCOMPARE(calls.last()["credentials"_L1]["login"_L1].toString(), u"demo"_s);
        compareRequest(lastParameters(), 1, 1, 14, 3, 32);
        compareArea(lastParameters(), 1000);

        QCOMPARE(savedFiles(), QStringList{kFirstName});
        QCOMPARE(loadedFile(window), documents() + kFirstName);
        QCOMPARE(window->getDisplayedFlags(), 1);
        QVERIFY(!window->isForceDownload());
        // Wind is loaded: the second press only redraws.
        const int before = forecastRequests();
        click(window->ui.windButton);
        QCOMPARE(forecastRequests(), before);
        QCOMPARE(window->getDisplayedFlags(), 1);
        // A data-set change fetches again, into a file of its own.
        window->ui.actionMedResForecast->trigger();
        click(window->ui.windButton);
        compareRequest(lastParameters(), 1, 2, 14, 3, 32);
        compareArea(lastParameters(), 500);
        QCOMPARE(loadedFile(window), documents() + u"UTC_2026-03-10_14-25-070.grb"_s);
    }

    // The data-set button names the set a button's own download used, and
    // the next download stays on it.
    void dataSetButtonsNameTheSetUsed()
    {
        click(window->ui.sstButton);
        compareRequest(lastParameters(), 32, 4, 0, 1, 1);
        QCOMPARE(window->ui.actionForecast->text(), u"High\nresolution"_s);
        QCOMPARE(window->getDisplayedFlags(), 32);
        QVERIFY(!window->getPlayPanel()->isVisible());
        click(window->ui.windButton);
        compareRequest(lastParameters(), 1, 4, 14, 3, 16);
        // Radar covers North America only.
        window->getMap()->getProjector()->goTo(40000000, -95000000);
        click(window->ui.nexradButton);
        compareRequest(lastParameters(), 128, 26, 0, 1, 25);
        QCOMPARE(window->ui.actionForecast->text(), u"Super high\nresolution"_s);
        window->getMap()->getProjector()->goTo(50000000, -2000000);
        click(window->ui.tidalStreamButton);
        compareRequest(lastParameters(), 64, 8, 14, 1, 12);
        QCOMPARE(window->ui.actionForecast->text(), u"Super high\nresolution"_s);
    }

    void areaFromTheVisibleMap()
    {
        GeoProjector* projector = window->getMap()->getProjector();
        // Wider than the world (2250 pixels at zoom 1), centred on the
        // date line.
        window->getMap()->setZoom(1);
        window->resize(2600, 600);
        // The map is as wide as its projector draws it once it has painted.
        QTRY_VERIFY(window->getMap()->width() > 2250 && projector->frameWidth() == window->getMap()->width());
        projector->goTo(0, 179000000);
        const ToviForecastParameters* wide = window->currentParameters();
        QVERIFY(wide->left < 179000 && wide->right > 179000 && wide->right - wide->left > 360000);

        window->resize(772, 579);
        QTRY_COMPARE(projector->frameWidth(), window->getMap()->width());
        // A map edge beyond the pole: the area stops at 80 degrees.
        projector->goTo(80000000, -20000000);
        QVERIFY(window->currentParameters()->top == 80000 && window->currentParameters()->left < -20000);
        projector->goTo(-80000000, 20000000);
        QVERIFY(window->currentParameters()->bottom == -80000 && window->currentParameters()->right > 20000);
    }

    // The dialog shows a snapshot of the map; its choices go to the server
    // and only the area comes from the map.  Presets saved in the dialog
    // reach the toolbar's menu with the map's view.
    void advancedDownload()
    {
        window->openGribFile(work.filePath("loaded.grb"));
        bool weatherHidden = false;
        QSize snapshot;
        {
            OnModal<RequestDlg> chooser([&](RequestDlg* dialog) {
                weatherHidden = !window->getMap()->getProjector()->getHelper();
                snapshot = dialog->ui.mapDisplay->pixmap().size();
                click(dialog->ui.tempReqPushButton);
                click(dialog->ui.pressReqPushButton);
                dialog->ui.reqTimestepComboBox->setCurrentIndex(1);  // 6 hours
                emit dialog->ui.reqTimestepComboBox->activated(1);
                dialog->ui.reqToSlider->setValue(5);
                dialog->ui.reqFromSlider->setValue(2);
                click(dialog->ui.downloadButton);
                return true;
            });
            window->ui.actionAddNewRequest->trigger();
            QCOMPARE(chooser.handled, 1);
        }
        QVERIFY(weatherHidden);
        // The snapshot: the middle of the map, less 110 pixels of its
        // shorter side.
        const int side = std::min(window->getMap()->width(), window->getMap()->height()) - 110;
        QCOMPARE(snapshot, QSize(side, side));
        // Local time is UTC+2: the second 6-hour step from 16:00 local is
        // 22:00 local, 20:00 UTC.
        compareRequest(lastParameters(), 1 | 2 | 8, 1, 20, 6, 4);

        BoxWatcher boxes;
        OnModal<RequestDlg> saver([](RequestDlg* dialog) {
            dialog->ui.comboPresetName->lineEdit()->selectAll();
            QTest::keyClicks(dialog->ui.comboPresetName->lineEdit(), u"Biscay"_s);
            click(dialog->ui.pushButtonSave);
            click(dialog->ui.cancelButton);
            return true;
        });
        const int requests = forecastRequests();
        window->ui.actionAddNewRequest->trigger();
        QCOMPARE(forecastRequests(), requests);
        QCOMPARE(window->getMap()->getProjector()->getHelper(), window->getHelper());
        QVERIFY(window->ui.actionFavourites->isVisible());
        const QList<QAction*> entries = window->getPresetsMenu()->actions();
        QCOMPARE(entries.size(), 1);
        // The preset (the new dialog's wind on the 1-degree set) goes back
        // to the view it was saved with and downloads its own parameters,
        // whatever data set is chosen now.
        GeoProjector* projector = window->getMap()->getProjector();
        const QList<int> savedView{projector->getCenterLat(), projector->getCenterLon(), window->getMap()->getZoom()};
        projector->goTo(10000000, 20000000);
        window->getMap()->setZoom(2);
        window->ui.actionMedResForecast->trigger();
        entries[0]->trigger();
        QCOMPARE((QList<int>{projector->getCenterLat(), projector->getCenterLon(), window->getMap()->getZoom()}),
                 savedView);
        QCOMPARE((QList<int>{lastParameters().value("meteoType"_L1).toInt(),
                             lastParameters().value("resolution"_L1).toInt(), forecastRequests()}),
                 (QList<int>{1, 1, requests + 1}));
        // The data-set button names the set the preset used.
        QCOMPARE(window->ui.actionForecast->text(), window->ui.actionLowResForecast->toolTip());
    }

    void cancelDuringASlowTransfer()
    {
        const QString previous = work.filePath("loaded.grb");
        window->openGribFile(previous);
        // Megabytes at 50 kB/s: still streaming when Cancel is pressed.
        window->ui.actionMedResForecast->trigger();
        startServer({"--throttle", "50000"});
        Canceller canceller(true);
        BoxWatcher boxes;
        click(window->ui.windButton);
        QVERIFY(canceller.escapeIgnored);
        QVERIFY(canceller.progressText.contains(u" from "_s));
        QVERIFY(boxes.titles.isEmpty());
        QCOMPARE(loadedFile(window), previous);
        QVERIFY(window->isForceDownload());
        // The abandoned worker ends on its own and leaves nothing behind.
        QTRY_COMPARE_WITH_TIMEOUT(DownloadThread::abandonedCount(), 0, 20000);
        QVERIFY(savedFiles().isEmpty());
    }

    // A server that takes the request and stays silent: the worker is
    // still blocked after the grace time, is given up on, and when the
    // answer comes at last it saves nothing.
    void workerGivenUpOnEndsLater()
    {
        window->ui.actionMedResForecast->trigger();
        ::kill(server->process.processId(), SIGSTOP);
        Canceller canceller(false);
        click(window->ui.windButton);
        QVERIFY(canceller.escapeIgnored);
        QCOMPARE(DownloadThread::abandonedCount(), 1);
        ::kill(server->process.processId(), SIGCONT);
        QTRY_COMPARE_WITH_TIMEOUT(DownloadThread::abandonedCount(), 0, 20000);
        QVERIFY(savedFiles().isEmpty());
        QVERIFY(window->isForceDownload());
    }

    // A refused account, then no server: one box each, and the loaded
    // file stays on the map.
    void failuresKeepTheLoadedFile()
    {
        const QString previous = work.filePath("loaded.grb");
        window->openGribFile(previous);
        SettingsFactory::setAccount(u"demo"_s, u"wrong"_s);
        BoxWatcher boxes;
        click(window->ui.windButton);
        QCOMPARE(boxes.titles.size(), 1);
        QCOMPARE(boxes.titles[0], u"Download failed"_s);
        SettingsFactory::setAccount(u"demo"_s, u"demo"_s);
        server->stop();
        click(window->ui.windButton);
        QCOMPARE(boxes.titles.size(), 2);
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(loadedFile(window), previous);
        QCOMPARE(window->getMap()->getProjector()->getHelper(), window->getHelper());
        QVERIFY(window->isForceDownload());
    }

    void pointDialogFetchesOnline()
    {
        // On an empty map a new marker's dialog starts on the point forecast.
        bool onlineOnly = false;
        guifixtures::OnModal<MeteoDialog> closer([&onlineOnly](MeteoDialog* dialog) {
            onlineOnly = dialog->getOnlineHelper() && dialog->ui.onlineButton->isChecked() &&
                         !dialog->ui.offlineButton->isEnabled();
            dialog->reject();
            return true;
        });
        window->getMap()->addMarker(50000000, -5000000, 0);
        QVERIFY(closer.handled == 1 && onlineOnly);
        window->openGribFile(work.filePath("loaded.grb"));
        MeteoDialog dialog(window->getMap(), window->getHelper(), 50000000, -5000000);
        click(dialog.ui.onlineButton);
        compareRequest(lastParameters(), 31, 1, 14, 3, 48);
        // A square of 1.001 degrees around the point, widened to the grid.
        const QJsonObject p = lastParameters();
        QCOMPARE((QList<int>{p.value("top"_L1).toInt(), p.value("left"_L1).toInt(), p.value("right"_L1).toInt(),
                             p.value("bottom"_L1).toInt()}),
                 (QList<int>{52000, -7000, -3000, 48000}));
        QVERIFY(dialog.getOnlineHelper());
        QCOMPARE(dialog.getCurrentHelper(), dialog.getOnlineHelper());
        QVERIFY(dialog.ui.onlineButton->isChecked());

        server->stop();
        MeteoDialog offline(window->getMap(), window->getHelper(), 50000000, -5000000);
        BoxWatcher boxes;
        click(offline.ui.onlineButton);
        QCOMPARE(boxes.titles.size(), 1);
        QCOMPARE(offline.getCurrentHelper(), window->getHelper());
        QVERIFY(offline.ui.offlineButton->isChecked());
    }

    // The second document replaces the first, on disk and on the map; the
    // data set is left as it was; a click on a station opens its dialog
    // and Clear takes the stations off.
    void buoyButtonShowsTheBuoysAndOneOpensOnAClick()
    {
        window->ui.actionMedResForecast->trigger();
        click(window->ui.buoyButton);
        click(window->ui.buoyButton);
        QVERIFY(records(u"t3GetData"_s).size() >= 2);
        QCOMPARE(savedFiles(), QStringList{u"buoy.kml"_s});
        QFile file(documents() + u"buoy.kml"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(int(window->getRequest().resolution), 2);
        QVERIFY(window->ui.buoyButton->property("coloured").toBool());

        WeatherMap* map = window->getMap();
        map->grab();
        QList<BuoyMarker*> buoys;
        for (WeatherMarker* marker : map->getMarkers())
            if (marker->type() == 2)
                buoys.append(static_cast<BuoyMarker*>(marker));
        QCOMPARE(buoys.size(), int(file.readAll().count("<Placemark>")));
        const auto lightship = std::find_if(buoys.cbegin(), buoys.cend(),
                                            [](BuoyMarker* b) { return b->name == u"Station 62103"_s; });
        QVERIFY(lightship != buoys.cend() && map->rect().contains((*lightship)->screenX, (*lightship)->screenY));
        QStringList seen;
        // A buoy has no forecast: the dialog opens compact, without
        // meteogram or sources.
        OnModal<BuoyDialog> reader([&seen](BuoyDialog* dialog) {
            const bool bare = dialog->ui.meteogramButton->isHidden() && dialog->ui.onlineButton->isHidden();
            seen = QStringList{dialog->ui.labelLocation->text(), dialog->ui.labelBuoyInfo->text(),
                               QString::number(dialog->width()) + (bare ? u" bare"_s : QString())};
            click(dialog->ui.cancelButton);
            return true;
        });
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint((*lightship)->screenX + 4, (*lightship)->screenY - 3));
        QCOMPARE(seen, (QStringList{u"Buoy: Station 62103"_s, u"Channel Lightship - 30 NM North of Guernsey"_s,
                                    u"210 bare"_s}));
        QVERIFY(!map->getMenu()->isVisible());

        click(window->ui.cleanButton);
        for (WeatherMarker* marker : map->getMarkers())
            QVERIFY(marker->type() != 2);
        QVERIFY(!window->ui.buoyButton->property("coloured").toBool());
    }

    // Without a total nothing changes; then the share and the sizes.
    void progressDisplay()
    {
        DownloadDlg dialog(window);
        dialog.setProgress(500, 0);
        QCOMPARE(dialog.ui.label->text(), u"Preparing data..."_s);
        dialog.setProgress(2 * 1048576 + 1, 3 * 1048576);
        QCOMPARE(dialog.ui.progressBar->value(), 66);
        QCOMPARE(dialog.ui.label->text(), u"Downloading forecast data (2.0 Mb from 3.0 Mb)"_s);
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runWithDemoAccount<TestDownload>(argc, argv, QString::fromLatin1(kHost));
}

#include "tst_download.moc"
