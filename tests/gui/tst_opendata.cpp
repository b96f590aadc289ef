// The open-data sources from the real main window: the data-set menu's
// sources with their names, credits and advanced-download choices; and
// downloads from the stand-in open-data server on loopback, its roots read
// from the settings file's [OpenData] group: a parameter button (fetched,
// cancelled, refused), a favourite across a restart, and the point
// dialog's online forecast.
#include "guifixtures.h"
#include "opendatafixtures.h"

#include "DownloadDlg.h"
#include "GribFileHelper.h"
#include "MeteoDialog.h"
#include "OpenDataSources.h"
#include "RequestDlg.h"
#include "WeatherMap.h"

#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>

using namespace Qt::StringLiterals;
using guifixtures::OnModal;

namespace {

const char kHost[] = "127.0.0.10";
// Local time is UTC+2.  At 14:25 UTC the newest GFS run out is 06Z (five
// hours to publish), ECMWF's 00Z (eight hours; 00Z and 12Z only).
const QDateTime kNow(QDate(2026, 3, 10), QTime(14, 25, 7), Qt::UTC);

void click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

// How many forecast hours the requests name: NOMADS' ".f008&", ECMWF's
// "-15h-" (one file may give several ranges).
int distinctSteps(const QStringList& requests)
{
    static const QRegularExpression step(u"\\.f\\d{3}&|-\\d+h-"_s);
    QSet<QString> steps;
    for (const QString& request : requests)
        steps.insert(step.match(request).captured());
    return int(steps.size());
}

}  // namespace

class TestOpenData : public QObject {
    Q_OBJECT

    std::unique_ptr<StandInServer> provider;
    std::unique_ptr<OpenDataStandIn> openData;
    Skyvane* window = nullptr;
    qsizetype logMark = 0;

    static QString documents() { return SettingsFactory::getMyDocumentsPath(); }

    // The window closed and the settings store with it, as at the end of
    // the program; a new stand-in with options when given, its roots
    // written to the settings file as a user names a mirror.
    void restart(const QStringList* options = nullptr)
    {
        guifixtures::closeMainWindow(window);
        SettingsFactory::destroy();
        if (options) {
            openData = std::make_unique<OpenDataStandIn>(QStringList{"--run", "2026031006"} + *options);
            QVERIFY2(openData->running(), openData->messages().constData());
            QSettings ini(qEnvironmentVariable("XDG_CONFIG_HOME") + "/skyvane.example/Skyvane.ini",
                          QSettings::IniFormat);
            for (const char* key : {"gfs", "gfs-wave"})
                ini.setValue(QStringLiteral("OpenData/%1").arg(key), openData->baseNomads());
            for (const char* key : {"ecmwf", "ecmwf-wave"})
                ini.setValue(QStringLiteral("OpenData/%1").arg(key), openData->baseEcmwf());
        }
        logMark = openData->requestLog().size();
        guifixtures::showMainWindow(window);
        window->setUtcClock([] { return kNow; });
    }

    // On one line: the button breaks it to fit the toolbar.
    QString dataSetButtonText() const { return window->ui.actionForecast->text().replace(u'\n', u' '); }

    void chooseSource(const QString& id)
    {
        const int index = findOpenDataSource(id)->resolution - kFirstOpenDataResolution;
        window->getOpenDataMenu()->actions().at(index)->trigger();
    }

    // The requests since the window opened that hold part.
    QStringList requested(const QString& part) const { return openData->requestLog().mid(logMark).filter(part); }

private slots:
    void initTestCase()
    {
        provider = guifixtures::serverOnSettingsPort(kHost);
        GUI_REQUIRE_SERVER(provider);
    }

    void init()
    {
        QDir(documents()).removeRecursively();
        // Step files kept from a test before would stand in for requests.
        QDir(SettingsFactory::getOpenDataCachePath()).removeRecursively();
        const QStringList faultless;
        restart(&faultless);
    }

    void cleanup() { guifixtures::closeMainWindow(window); }

    // Each source after a regional set without waves: the button names
    // and credits it, the wave button is back (the companion has waves),
    // and the advanced download offers the steps the source publishes
    // from the start, up to its newest run's last step (from 14:00 UTC in
    // 3-hour steps to 06Z + 384 h, or 00Z + 240 h).
    void choosingASource_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("credit");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("gfs") << "gfs" << "NOAA" << QStringList{u"GFS 0.25°"_s, "1 3 6", "126"};
        QTest::newRow("gfs-wave") << "gfs-wave" << "NOAA" << QStringList{u"GFS-Wave 0.25°"_s, "1 3 6", "126"};
        QTest::newRow("ecmwf") << "ecmwf" << "CC BY 4.0" << QStringList{u"ECMWF IFS 0.25°"_s, "3 6", "76"};
        QTest::newRow("ecmwf-wave") << "ecmwf-wave" << "CC BY 4.0"
                                    << QStringList{u"ECMWF wave 0.25°"_s, "3 6", "76"};
    }

    void choosingASource()
    {
        QFETCH(QString, id);
        QFETCH(QString, credit);
        QFETCH(QStringList, offered);
        window->ui.actionEastCentreUS->trigger();
        chooseSource(id);
        QCOMPARE(dataSetButtonText(), offered[0]);
        QVERIFY(window->ui.actionForecast->toolTip().contains(credit));
        QVERIFY(window->ui.waveButton->isVisibleTo(window));
        QCOMPARE(int(window->getRequest().resolution), findOpenDataSource(id)->resolution);
        QStringList seen;
        OnModal<RequestDlg> reader([&seen](RequestDlg* dialog) {
            const auto& ui = dialog->ui;
            QStringList steps;
            for (int i = 0; i < ui.reqTimestepComboBox->count(); ++i)
                steps << ui.reqTimestepComboBox->itemText(i).section(' ', 0, 0);
            seen << ui.labelForecastArea->text().remove(u"Res area: "_s) << steps.join(' ')
                 << QString::number(ui.reqToSlider->maximum());
            for (QWidget* toggle : {ui.waveReqPushButton, ui.sstReqPushButton, ui.tidalReqPushButton})
                seen << (toggle->isHidden() ? QString() : toggle->objectName());
            click(ui.cancelButton);
            return true;
        });
        window->ui.actionAddNewRequest->trigger();
        QCOMPARE(seen, offered + QStringList({u"waveReqPushButton"_s, QString(), QString()}));
    }

    // The wind button on GFS: five days of 3-hour steps from the 06Z run
    // (f008 at 14 UTC; past f120, f125 is f126), the wind alone, opened
    // and shown, the button naming the run.  Cancelled while a step hangs,
    // or refused again and again (the reason in the failure box): no file,
    // and the button without a run.
    void parameterButton_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QString>("button");
        QTest::newRow("fetched") << QStringList() << QString() << u"GFS 0.25° 06Z"_s;
        QTest::newRow("cancelled") << QStringList{"--fault", "stall"} << QString() << u"GFS 0.25°"_s;
        QTest::newRow("refused") << QStringList{"--fault", "503", "--fault-count", "1000"}
                                 << u"The data could not be downloaded from GFS 0.25° 06Z: "_s << u"GFS 0.25°"_s;
    }

    void parameterButton()
    {
        QFETCH(QStringList, fault);
        QFETCH(QString, told);
        QFETCH(QString, button);
        restart(&fault);
        chooseSource(u"gfs"_s);
        const bool cancel = fault.contains(u"stall"_s);
        // One step stalls: once the others are in, Cancel.
        OnModal<DownloadDlg> canceller([cancel](DownloadDlg* dialog) {
            if (cancel && dialog->ui.label->text().endsWith(u"step 39 of 40"_s))
                click(dialog->ui.cancelButton);
            return !cancel || !dialog->isVisible();
        });
        guifixtures::BoxWatcher boxes;
        click(window->ui.windButton);
        QCOMPARE(dataSetButtonText(), button);
        QCOMPARE(boxes.texts.size(), told.isEmpty() ? 0 : 1);
        QVERIFY(told.isEmpty() || (boxes.texts[0].startsWith(told) && boxes.texts[0].size() > told.size()));
        const QStringList saved = QDir(documents()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(saved.size(), fault.isEmpty() ? 1 : 0);
        QCOMPARE(window->isForceDownload(), !fault.isEmpty());
        if (!fault.isEmpty())
            return;
        const QStringList filters = requested(u"GET /cgi-bin/filter_gfs_0p25.pl?"_s);
        QVERIFY(filters.size() == 40 && distinctSteps(filters) == 40 && requested(u"gfswave"_s).isEmpty());
        QVERIFY2(filters[0].contains(u"dir=%2Fgfs.20260310%2F06%2Fatmos&file=gfs.t06z.pgrb2.0p25.f008&"
                                     "var_UGRD=on&var_VGRD=on&lev_10_m_above_ground=on&subregion=&"_s),
                 qPrintable(filters[0]));
        QCOMPARE(window->getDisplayedFlags(), 1);
        QCOMPARE(QString::fromStdString(window->getHelper()->gribFile()->getFileName()), documents() + saved[0]);
    }

    // A favourite of ECMWF saved, the program restarted: it downloads its
    // wind and pressure at 15 and 18 UTC from the 00Z run.
    void favouriteAcrossARestart()
    {
        auto* preset = new ToviForecastParameters{mtWind | mtPressure, ToviForecastParameters::GribResolution(203),
                                                  0, 15, 3, 2};
        preset->zoom = 8;
        QVERIFY(SettingsFactory::savePreset(u"Biscay"_s, preset));
        restart();
        window->getPresetsMenu()->actions().value(0)->trigger();
        const QStringList files = requested(u".grib2 range="_s);
        const QRegularExpression oper(u"^GET /ecmwf/20260310/00z/ifs/0p25/oper/20260310000000-1[58]h-"_s);
        QCOMPARE(files.filter(oper).size(), files.size());
        QCOMPARE(distinctSteps(files), 2);
        QCOMPARE(dataSetButtonText(), u"ECMWF IFS 0.25° 00Z"_s);
    }

    // On an empty map a new marker's point dialog fetches the point's
    // forecast from the source: GFS cut to a cell around the point, ECMWF
    // (whole global fields) in six-hour steps.
    void pointDialogFetchesOnline_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("steps");
        QTest::newRow("gfs") << "gfs" << "filter_gfs_0p25.pl?"
                             << "&toplat=50.5&leftlon=-5.5&rightlon=-4.5&bottomlat=49.5" << 48;
        QTest::newRow("ecmwf") << "ecmwf" << "-oper-fc.grib2" << " range=" << 24;
    }

    void pointDialogFetchesOnline()
    {
        QFETCH(QString, id);
        QFETCH(QString, file);
        QFETCH(QString, part);
        QFETCH(int, steps);
        chooseSource(id);
        QStringList shown;
        OnModal<MeteoDialog> closer([&shown](MeteoDialog* dialog) {
            if (dialog->getOnlineHelper() && dialog->ui.onlineButton->isChecked())
                shown << dialog->ui.labelWind->text() << dialog->ui.labelPressure->text();
            dialog->reject();
            return true;
        });
        window->getMap()->addMarker(50000000, -5000000, 0);
        QVERIFY(shown.size() == 2 && !shown.contains(u"-"_s));
        const QStringList asked = requested(file);
        QCOMPARE(asked.filter(part).size(), asked.size());
        QCOMPARE(distinctSteps(asked), steps);
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runWithDemoAccount<TestOpenData>(argc, argv, QString::fromLatin1(kHost));
}

#include "tst_opendata.moc"
