// The advanced download dialog with real events: the data sets' choices,
// the step range and its labels, the sea-temperature rule, the request it
// reads and the presets it loads, saves and deletes (written to the
// settings file at once), and the e-mail subscription through the
// stand-in server on loopback.  The local zone is fixed at UTC+2; over the
// main window the dialog is tested with the downloads.
#include "guifixtures.h"

#include "RequestDlg.h"

#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSpinBox>

using namespace Qt::StringLiterals;
using guifixtures::BoxWatcher;

namespace {

const char kHost[] = "127.0.0.8";

QDateTime utc(int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::UTC);
}

// 10 March 12:30 local: slider position 1 is 12:00 and the hour is 12.
const QDateTime kMarchNow = utc(3, 10, 10, 30);

QList<int> stepChoices(const QComboBox* combo)
{
    QList<int> steps;
    for (int i = 0; i < combo->count(); ++i)
        steps << combo->itemData(i).toInt();
    return steps;
}

QStringList checkedToggles(const Ui_RequestDlg& ui)
{
    QStringList names;
    for (QPushButton* button : {ui.windReqPushButton, ui.tempReqPushButton, ui.pressReqPushButton,
                                ui.precipReqPushButton, ui.waveReqPushButton, ui.sstReqPushButton,
                                ui.tidalReqPushButton})
        if (button->isChecked())
            names << button->objectName();
    return names;
}

// The first and last step the sliders choose.
QPair<int, int> range(const Ui_RequestDlg& ui)
{
    return {ui.reqFromSlider->value(), ui.reqToSlider->value()};
}

QStringList rangeLabels(const Ui_RequestDlg& ui)
{
    return {ui.reqFromLabel->text(), ui.reqToLabel->text(), ui.stepsLabel->text()};
}

// The optional toggles shown, each with its caption: a caption alone
// would look like a choice.
QStringList shownOptional(const Ui_RequestDlg& ui)
{
    QStringList names;
    const std::tuple<QString, QWidget*, QWidget*> optional[] = {
        {u"sst"_s, ui.sstReqPushButton, ui.labelSST},
        {u"tidal"_s, ui.tidalReqPushButton, ui.labelTidalStream},
        {u"wave"_s, ui.waveReqPushButton, ui.labelWave}};
    for (const auto& [name, toggle, caption] : optional)
        if (!toggle->isHidden() || !caption->isHidden())
            names << name + (toggle->isHidden() != caption->isHidden() ? u" without its caption"_s : QString());
    return names;
}

void click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

// Answers the number-of-days prompt while a modal call runs: types the
// days into its field and presses Return, or presses Escape for 0.
struct DaysAnswerer {
    explicit DaysAnswerer(int days) : days(days) {}
    int days;
    guifixtures::OnModal<QInputDialog> answerer{[this](QInputDialog* input) {
        auto* field = input->findChild<QSpinBox*>();
        field->selectAll();
        QTest::keyClicks(field, QString::number(days));
        QTest::keyClick(field, days == 0 ? Qt::Key_Escape : Qt::Key_Return);
        return true;
    }};
};

}  // namespace

class TestRequestDlg : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    std::unique_ptr<StandInServer> server;
    // Not a main window: no map, so no snapshot and no view in a request.
    QWidget plainParent;

    // The dialog for a data set, shown when show.
    std::unique_ptr<RequestDlg> makeDialog(int resolution, const QDateTime& now = kMarchNow, bool show = true)
    {
        auto dialog = std::make_unique<RequestDlg>(&plainParent, [now] { return now; });
        dialog->initForecastRes(ToviForecastParameters::GribResolution(resolution));
        if (show) {
            dialog->show();
            if (!QTest::qWaitForWindowExposed(dialog.get()))
                qWarning("the request dialog was not exposed");
        }
        return dialog;
    }

    QString settingsText() const
    {
        QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + "/skyvane.example/Skyvane.ini");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static void storePreset(const QString& name, int resolution = 0, int meteoType = 0, int day = 0, int hour = 0,
                            int step = 0, int steps = 0)
    {
        auto* record = new ToviForecastParameters{meteoType, ToviForecastParameters::GribResolution(resolution), day,
                                                  hour, step, steps};
        QVERIFY(SettingsFactory::savePreset(name, record));
    }

    static void typeName(QComboBox* combo, const QString& name)
    {
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        server = guifixtures::serverOnSettingsPort(kHost, {"--state", work.filePath("state.json")});
        GUI_REQUIRE_SERVER(server);
    }

    void cleanup()
    {
        QString name;
        ToviForecastParameters* record = nullptr;
        while (SettingsFactory::getPreset(0, name, &record)) {
            QVERIFY(SettingsFactory::deletePreset(name));
            delete record;
        }
    }

    // The stored presets, none chosen; no snapshot without a map; the base
    // is the local hour begun.
    void construction()
    {
        storePreset(u"beta"_s);
        RequestDlg dialog(&plainParent);
        QCOMPARE(dialog.ui.comboPresetName->count(), 1);
        QCOMPARE(dialog.ui.comboPresetName->currentText(), u"Untitled"_s);
        QVERIFY(dialog.ui.pushButtonDelete->isEnabled());
        QVERIFY(dialog.ui.mapDisplay->pixmap().isNull());
        cleanup();
        RequestDlg empty(&plainParent, [] { return kMarchNow; });
        QVERIFY(!empty.ui.pushButtonDelete->isEnabled());
        QCOMPARE(empty.getBase(), QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    }

    // Each data set's area, step choices (3 hours chosen), range of steps
    // ((horizon - 12) / step + 1) and optional toggles.  The North Atlantic
    // and English Channel sets are loaded from presets below.
    void dataSets_data()
    {
        QTest::addColumn<int>("resolution");
        QTest::addColumn<QString>("area");
        QTest::addColumn<QList<int>>("steps");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QStringList>("optional");
        const QList<int> steps36{3, 6};
        const QList<int> steps136{1, 3, 6};
        QTest::newRow("global 1.0") << 1 << u"Global 1.0"_s << steps36 << 45 << QStringList{u"wave"_s};
        QTest::newRow("global 0.5") << 2 << u"Global 0.5"_s << steps36 << 45 << QStringList{u"sst"_s, u"wave"_s};
        QTest::newRow("east usa") << 16 << u"East/Centre USA"_s << steps136 << 13 << QStringList();
        QTest::newRow("south america") << 19 << u"South America"_s << steps136 << 21 << QStringList{u"wave"_s};
        QTest::newRow("north america") << 25 << u"North America"_s << steps36 << 25 << QStringList();
        QTest::newRow("ridge") << 26 << QString() << steps136 << 5 << QStringList{u"wave"_s};
        // No choices: the range keeps the form's single step.
        QTest::newRow("unknown") << 99 << QString() << QList<int>{} << 1 << QStringList{u"wave"_s};
    }

    void dataSets()
    {
        QFETCH(int, resolution);
        QFETCH(QString, area);
        QFETCH(QList<int>, steps);
        QFETCH(int, maximum);
        QFETCH(QStringList, optional);
        auto dialog = makeDialog(resolution, kMarchNow, false);
        const auto& ui = dialog->ui;
        QCOMPARE(ui.labelForecastArea->text(), u"Res area: "_s + area);
        QCOMPARE(stepChoices(ui.reqTimestepComboBox), steps);
        QCOMPARE(ui.reqTimestepComboBox->currentData().toInt(), steps.isEmpty() ? 0 : 3);
        QCOMPARE(qMakePair(ui.reqFromSlider->maximum(), ui.reqToSlider->maximum()), qMakePair(maximum, maximum));
        QCOMPARE(shownOptional(ui), optional);
        // A hidden wave toggle stays hidden for a data set with waves.
        dialog->initForecastRes(ToviForecastParameters::grStandardResolution);
        QCOMPARE(shownOptional(ui), optional.contains(u"wave"_s) ? QStringList{u"wave"_s} : QStringList());
    }

    // The labels give the steps' local times; the from slider drags the
    // to slider along; a new step changes the range, keeps the last step
    // within it and leaves the labels until a slider moves.
    void stepRangeAndLabels()
    {
        auto dialog = makeDialog(1);
        const auto& ui = dialog->ui;
        QCOMPARE(rangeLabels(ui), (QStringList{u"From: 10-03-2026 12:00"_s, u"To: 10-03-2026 12:00"_s, u"Steps: 1"_s}));
        ui.reqToSlider->setValue(4);
        ui.reqFromSlider->setValue(6);
        QCOMPARE(range(ui), qMakePair(6, 6));
        ui.reqFromSlider->setValue(2);
        ui.reqToSlider->setValue(4);
        const QStringList twoToFour{u"From: 10-03-2026 15:00"_s, u"To: 10-03-2026 21:00"_s, u"Steps: 3"_s};
        QCOMPARE(rangeLabels(ui), twoToFour);
        QTest::keyClick(ui.reqTimestepComboBox, Qt::Key_Down);
        QCOMPARE(qMakePair(ui.reqFromSlider->maximum(), ui.reqToSlider->maximum()), qMakePair(23, 23));
        QCOMPARE(rangeLabels(ui), twoToFour);
        QTest::keyClick(ui.reqTimestepComboBox, Qt::Key_Up);
        ui.reqToSlider->setValue(45);
        QTest::keyClick(ui.reqTimestepComboBox, Qt::Key_Down);
        QCOMPARE(ui.reqToSlider->value(), 23);
        QCOMPARE(rangeLabels(ui),
                 (QStringList{u"From: 10-03-2026 18:00"_s, u"To: 16-03-2026 00:00"_s, u"Steps: 22"_s}));
    }

    // Sea temperature is asked for alone and for one step, and stays so
    // while it is checked.
    void seaTemperatureAloneForOneStep()
    {
        auto dialog = makeDialog(2);
        const auto& ui = dialog->ui;
        click(ui.pressReqPushButton);
        ui.reqToSlider->setValue(6);
        ui.reqFromSlider->setValue(3);
        click(ui.sstReqPushButton);
        QCOMPARE(checkedToggles(ui), QStringList{u"sstReqPushButton"_s});
        QCOMPARE(range(ui), qMakePair(1, 1));
        click(ui.tempReqPushButton);
        ui.reqToSlider->setValue(4);
        QCOMPARE(checkedToggles(ui), QStringList{u"sstReqPushButton"_s});
        QCOMPARE(ui.reqToSlider->value(), 1);

        click(ui.sstReqPushButton);
        click(ui.tempReqPushButton);
        ui.reqToSlider->setValue(4);
        QCOMPARE(checkedToggles(ui), QStringList{u"tempReqPushButton"_s});
        QCOMPARE(ui.reqToSlider->value(), 4);
    }

    // The request read as resolution, kinds, day, UTC hour, step and steps;
    // neither the area nor, without a map, the view is written.
    void readRequestAcrossMonthEnd()
    {
        // 31 January 23:00 UTC is 1 February 01:00 local.
        auto dialog = makeDialog(1, utc(1, 31, 23));
        const auto& ui = dialog->ui;
        ToviForecastParameters request;
        request.forecastDay = 9;
        request.top = request.left = request.zoom = request.centerLat = 11;
        auto areaAndView = [&request] {
            return QList<int>{request.top,  request.left,      request.right,    request.bottom,
                              request.zoom, request.centerLat, request.centerLon};
        };
        const QList<int> before = areaAndView();
        auto read = [&request](RequestDlg& from) {
            from.readRequest(&request);
            return QList<int>{int(request.resolution), request.meteoType, request.forecastDay,
                              request.forecastTime,    request.timeStep,  request.stepsNumber};
        };
        QCOMPARE(read(*dialog), (QList<int>{1, mtWind, 0, 23, 3, 1}));
        click(ui.tempReqPushButton);
        click(ui.waveReqPushButton);
        ui.reqToSlider->setValue(5);
        ui.reqFromSlider->setValue(2);
        QCOMPARE(read(*dialog), (QList<int>{1, mtWind | mtTemperature | mtWave, 1, 2, 3, 4}));
        // Six days ahead is beyond the service's days: the day stays.
        ui.reqFromSlider->setValue(45);
        QCOMPARE(read(*dialog), (QList<int>{1, mtWind | mtTemperature | mtWave, 1, 11, 3, 1}));
        QCOMPARE(areaAndView(), before);
        // A data set without step choices leaves the step alone.
        auto unknown = makeDialog(99, kMarchNow, false);
        request.timeStep = 9;
        QCOMPARE(read(*unknown).at(4), 9);
    }

    void loadingPresets()
    {
        storePreset(u"a atlantic"_s, 4, mtWind | mtPressure | mtTemperature, 1, 6, 6, 4);
        storePreset(u"b odd step"_s, 1, mtPrecipitation, 0, 12, 2, 2);
        storePreset(u"c no step"_s, 8, mtTidal, 1, 0, 0, 3);

        auto dialog = makeDialog(1);
        const auto& ui = dialog->ui;
        auto chosen = [&ui] {
            return QStringList{ui.labelForecastArea->text(), ui.reqTimestepComboBox->currentText(),
                               u"%1-%2"_s.arg(ui.reqFromSlider->value()).arg(ui.reqToSlider->value())} +
                   checkedToggles(ui);
        };
        // Base 10 March 10:00 UTC; 11 March 06:00 UTC is 20 hours on: the
        // first 6-hour step at or after it is the fifth, for four steps.
        QTest::keyClick(ui.comboPresetName, Qt::Key_Down);
        QCOMPARE(chosen(), (QStringList{u"Res area: North Atlantic"_s, u"6 hrs"_s, u"5-8"_s, u"windReqPushButton"_s,
                                        u"tempReqPushButton"_s, u"pressReqPushButton"_s}));
        // A step the data set does not offer selects the first: 12:00 UTC
        // is two hours on, so the second 3-hour step.
        QTest::keyClick(ui.comboPresetName, Qt::Key_Down);
        QCOMPARE(chosen(), (QStringList{u"Res area: Global 1.0"_s, u"3 hrs"_s, u"2-3"_s, u"precipReqPushButton"_s}));
        // No step at all: placed by the step selected, 14 hours on.
        QTest::keyClick(ui.comboPresetName, Qt::Key_Down);
        QCOMPARE(chosen(), (QStringList{u"Res area: English Channel"_s, u"1 hr"_s, u"15-17"_s, u"tidalReqPushButton"_s}));
        QVERIFY(!ui.tidalReqPushButton->isHidden());
    }

    // What a dialog reads, a dialog opened in the same hour loads back:
    // the same step, first step and number of steps.
    void presetRoundTrip_data()
    {
        QTest::addColumn<int>("resolution");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("stepIndex");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("12:00 UTC, 29 steps") << 1 << utc(3, 10, 12, 15) << 0 << 1 << 29;
        QTest::newRow("hourly past midnight") << 4 << utc(3, 10, 10, 30) << 0 << 30 << 40;
        QTest::newRow("6-hourly over a month end") << 1 << utc(1, 31, 23) << 1 << 5 << 9;
        QTest::newRow("last step") << 2 << utc(3, 10, 10, 30) << 0 << 44 << 44;
    }
    void presetRoundTrip()
    {
        QFETCH(int, resolution);
        QFETCH(QDateTime, now);
        QFETCH(int, stepIndex);
        QFETCH(int, from);
        QFETCH(int, to);
        auto saved = makeDialog(resolution, now, false);
        saved->ui.reqTimestepComboBox->setCurrentIndex(stepIndex);
        saved->initNoOfStepsComboBox();
        saved->ui.reqToSlider->setValue(to);
        saved->ui.reqFromSlider->setValue(from);
        QCOMPARE(range(saved->ui), qMakePair(from, to));
        ToviForecastParameters record;
        saved->readRequest(&record);
        auto loaded = makeDialog(1, now, false);
        loaded->loadRequest(&record);
        QCOMPARE(loaded->ui.reqTimestepComboBox->currentText(), saved->ui.reqTimestepComboBox->currentText());
        QCOMPARE(rangeLabels(loaded->ui), rangeLabels(saved->ui));
    }

    // Saved and deleted presets reach the settings file at once; an empty,
    // taken or unknown name is refused; Return in the field neither adds an
    // entry nor presses a button; six at most, as the combo box shows no
    // seventh.
    void savingAndDeletingPresets()
    {
        auto dialog = makeDialog(1);
        QComboBox* combo = dialog->ui.comboPresetName;
        QPushButton* save = dialog->ui.pushButtonSave;
        QPushButton* remove = dialog->ui.pushButtonDelete;
        BoxWatcher watcher;
        auto lastBox = [&watcher] { return watcher.titles.value(watcher.titles.size() - 1); };
        auto saveAs = [&](const QString& name) {
            typeName(combo, name);
            click(save);
            return lastBox();
        };
        typeName(combo, u"Gale"_s);
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QVERIFY(combo->count() == 0 && watcher.titles.isEmpty() && dialog->isVisible());
        QCOMPARE(saveAs(QString()), u"Wrong preset name"_s);
        QCOMPARE(saveAs(u"Gale"_s), u"Preset saved"_s);
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(remove->isEnabled());
        QVERIFY(settingsText().contains(u"name=Gale;resolution=1;meteoType=1;"_s));
        QCOMPARE(saveAs(u"Gale"_s), u"Preset name not unique"_s);
        QCOMPARE(saveAs(u"gale"_s), u"Preset saved"_s);
        for (const QString& name : {u"A"_s, u"B"_s, u"C"_s, u"D"_s})
            QCOMPARE(saveAs(name), u"Preset saved"_s);
        QCOMPARE(combo->count(), 6);
        QVERIFY(!save->isEnabled());

        click(remove);
        QCOMPARE(lastBox(), u"Preset deleted"_s);
        QVERIFY(save->isEnabled());
        QVERIFY(!settingsText().contains(u"name=D;"_s));
        typeName(combo, u"Gusts"_s);
        click(remove);
        QCOMPARE(lastBox(), u"Wrong preset name"_s);
        QCOMPARE(combo->count(), 5);
        QTest::keyClick(combo, Qt::Key_Up);
        for (int i = 0; i < 5; ++i)
            click(remove);
        QVERIFY(!remove->isEnabled());
        QCOMPARE(SettingsFactory::presetsCount(), 0);
    }

    // Cancelled, the prompt sends nothing; the stand-in server keeps five
    // subscriptions per account and refuses a sixth.
    void emailSubscriptions()
    {
        auto dialog = makeDialog(1);
        BoxWatcher watcher;
        for (int days : {0, 7, 7, 7, 7, 7, 7}) {
            DaysAnswerer answerer(days);
            click(dialog->ui.emailButton);
            QCOMPARE(answerer.answerer.handled, 1);
        }
        QCOMPARE(watcher.titles, QStringList(5, u"Email subscription added"_s) << u"Couldn't add subscription"_s);
        QFile state(work.filePath("state.json"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QJsonArray presets = QJsonDocument::fromJson(state.readAll())["presets"]["demo"].toArray();
        QCOMPARE(presets.size(), 5);
        QCOMPARE(presets[0]["daysActive"].toInt(), 7);
        QVERIFY(presets[0]["text"].toString().startsWith(u"name=Untitled;resolution=1;meteoType=1;"_s));
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runWithDemoAccount<TestRequestDlg>(argc, argv, u"127.0.0.8"_s);
}

#include "tst_requestdlg.moc"
