#include "RequestDlg.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QSignalBlocker>

#include <algorithm>
#include <memory>

#include "GeoProjector.h"
#include "MeteoType.h"
#include "OpenDataSources.h"
#include "SettingsFactory.h"
#include "Skyvane.h"
#include "WeatherMap.h"

namespace {

const char kDialogStyle[] = "background-color: #333333;\nbackground: #333333;\ncolor: rgb(255, 255, 255);";
const char kTimeFormat[] = "dd-MM-yyyy HH:mm";
// The snapshot leaves out this much of the map's shorter side.
const int kSnapshotInset = 110;
const int kMaxDaysActive = 30;
// The first day of a request is given as 0 to 5 days after today (UTC).
const int kMaxForecastDay = 5;

ToviForecastParameters* presetRecord(const QComboBox* combo, int index)
{
    return combo->itemData(index).value<ToviForecastParameters*>();
}

// The newest run of source that is likely out at nowUtc: the latest run
// hour at least its publishing delay ago.
QDateTime newestProbableRun(const OpenDataSource& source, const QDateTime& nowUtc)
{
    const QDateTime latest = nowUtc.toUTC().addSecs(-qint64(source.publishDelayHours) * 3600);
    for (int daysBack = 0; daysBack <= 1; ++daysBack) {
        const QDate day = latest.date().addDays(-daysBack);
        for (auto hour = source.runHours.crbegin(); hour != source.runHours.crend(); ++hour) {
            const QDateTime run(day, QTime(*hour, 0), Qt::UTC);
            if (run <= latest)
                return run;
        }
    }
    return latest;
}

// A step is offered when the source publishes every multiple of it from
// the run on: its first steps are that close together or closer.
bool stepPublishedFromStart(const OpenDataSource& source, int stepHours)
{
    const QVector<int> steps = source.steps();
    if (steps.size() < 2)
        return false;
    const int firstGap = steps[1] - steps[0];
    return firstGap > 0 && stepHours % firstGap == 0;
}

}  // namespace

RequestDlg::RequestDlg(QWidget* parent, std::function<QDateTime()> clock)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::FramelessWindowHint |
                          Qt::MSWindowsFixedSizeDialogHint)
    , utcNow(clock ? std::move(clock) : std::function<QDateTime()>(&QDateTime::currentDateTimeUtc))
{
    // The form makes no button a default one: Return while typing a
    // preset name must neither save nor start the download.
    ui.setupUi(this);
    const QDateTime local = utcNow().toLocalTime();
    base = QDateTime(local.date(), QTime(local.time().hour(), 0));
    if (auto* window = qobject_cast<Skyvane*>(parent))
        map = window->getMap();

    loadPresets();
    ui.comboPresetName->setCurrentIndex(-1);
    ui.pushButtonDelete->setEnabled(ui.comboPresetName->count() > 0);
    // The combo box holds no more than six: a seventh saved would not show.
    ui.pushButtonSave->setEnabled(ui.comboPresetName->count() < ui.comboPresetName->maxCount());
    ui.waveReqPushButton->setEnabled(true);
    connectControls();
    ui.comboPresetName->setEditText(tr("Untitled"));
    showMapSnapshot();
}

RequestDlg::~RequestDlg() = default;

QList<RequestDlg::Toggle> RequestDlg::toggles() const
{
    return {{ui.windReqPushButton, mtWind},
            {ui.pressReqPushButton, mtPressure},
            {ui.precipReqPushButton, mtPrecipitation},
            {ui.tempReqPushButton, mtTemperature},
            {ui.waveReqPushButton, mtWave},
            {ui.sstReqPushButton, mtSST},
            {ui.tidalReqPushButton, mtTidal}};
}

void RequestDlg::loadPresets()
{
    const int count = SettingsFactory::presetsCount();
    for (int i = 0; i < count; ++i) {
        QString name;
        ToviForecastParameters* record = nullptr;
        if (SettingsFactory::getPreset(i, name, &record))
            ui.comboPresetName->addItem(name, QVariant::fromValue(record));
    }
}

void RequestDlg::connectControls()
{
    connect(ui.downloadButton, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(ui.cancelButton, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(ui.reqTimestepComboBox, &QComboBox::activated, this, &RequestDlg::initNoOfStepsComboBox);
    for (const Toggle& toggle : toggles())
        connect(toggle.button, &QAbstractButton::clicked, this, &RequestDlg::updateGribFileSizeSlot);
    connect(ui.reqFromSlider, &QSlider::valueChanged, this, &RequestDlg::updateGribFileSizeSlot);
    connect(ui.reqToSlider, &QSlider::valueChanged, this, &RequestDlg::updateGribFileSizeSlot);
    connect(ui.pushButtonDelete, &QAbstractButton::clicked, this, &RequestDlg::deletePreset);
    connect(ui.pushButtonSave, &QAbstractButton::clicked, this, &RequestDlg::savePreset);
    connect(ui.comboPresetName, &QComboBox::currentIndexChanged, this, &RequestDlg::choosePreset);
    connect(ui.emailButton, &QAbstractButton::clicked, this, &RequestDlg::automateEmail);
}

void RequestDlg::showMapSnapshot()
{
    if (!map)
        return;
    const int side = std::min(map->width(), map->height()) - kSnapshotInset;
    if (side <= 0)
        return;
    ui.mapDisplay->setPixmap(
        map->grab(QRect((map->width() - side) / 2, (map->height() - side) / 2, side, side)));
}

bool RequestDlg::createRequest(ToviForecastParameters* request)
{
    initForecastRes(request->resolution);
    if (exec() != QDialog::Accepted)
        return false;
    readRequest(request);
    return true;
}

int RequestDlg::selectedStep() const
{
    return ui.reqTimestepComboBox->currentData().toInt();
}

QDateTime RequestDlg::stepTime(int position) const
{
    return base.addSecs(qint64(position - 1) * selectedStep() * 3600);
}

// The record's first step is its day counted from today's UTC date, at its
// UTC hour, as readRequest writes it.  Its position is the first step of
// the dialog's range at or after it, so a preset comes back as it was
// saved for as long as the range starts at the same hour.
int RequestDlg::firstPositionOf(const ToviForecastParameters& request) const
{
    const QDateTime startUtc = QDateTime(utcNow().toUTC().date(), QTime(0, 0), Qt::UTC)
                                   .addDays(request.forecastDay)
                                   .addSecs(qint64(request.forecastTime) * 3600);
    const qint64 hoursAhead = base.secsTo(startUtc) / 3600;
    const int step = selectedStep();
    if (step <= 0 || hoursAhead <= 0)
        return 1;
    return int(std::min<qint64>((hoursAhead + step - 1) / step + 1, ui.reqFromSlider->maximum()));
}

void RequestDlg::readRequest(ToviForecastParameters* request)
{
    request->resolution = ToviForecastParameters::GribResolution(resolution);
    int meteoType = 0;
    for (const Toggle& toggle : toggles())
        if (toggle.button->isChecked())
            meteoType |= toggle.bit;
    request->meteoType = meteoType;

    const QDateTime start = stepTime(ui.reqFromSlider->value()).toUTC();
    const qint64 day = utcNow().toUTC().date().daysTo(start.date());
    if (day >= 0 && day <= kMaxForecastDay)
        request->forecastDay = int(day);
    request->forecastTime = start.time().hour();
    const int step = selectedStep();
    if (step == 1 || step == 3 || step == 6)
        request->timeStep = step;
    request->stepsNumber = ui.reqToSlider->value() - ui.reqFromSlider->value() + 1;

    if (map) {
        request->centerLat = map->getProjector()->getCenterLat();
        request->centerLon = map->getProjector()->getCenterLon();
        request->zoom = map->getZoom();
    }
}

void RequestDlg::loadRequest(ToviForecastParameters* request)
{
    initForecastRes(request->resolution);
    const int found = ui.reqTimestepComboBox->findData(request->timeStep);
    ui.reqTimestepComboBox->setCurrentIndex(std::max(found, 0));
    for (const Toggle& toggle : toggles())
        toggle.button->setChecked((request->meteoType & toggle.bit) != 0);

    initNoOfStepsComboBox();
    // A data set without step choices gives no position; the range stays.
    if (selectedStep() > 0) {
        const long long first = firstPositionOf(*request);
        const long long last = first + std::max(request->stepsNumber, 1) - 1;
        // Set together: one at a time, the range rule would drag the last
        // step along to a first step that is about to move.
        const QSignalBlocker blockTo(ui.reqToSlider);
        const QSignalBlocker blockFrom(ui.reqFromSlider);
        ui.reqToSlider->setValue(int(std::min<long long>(last, ui.reqToSlider->maximum())));
        ui.reqFromSlider->setValue(int(first));
    }
    updateGribFileSizeSlot();
}

void RequestDlg::initForecastRes(ToviForecastParameters::GribResolution newResolution)
{
    resolution = newResolution;
    ui.labelForecastArea->setText(tr("Res area: ") + getAreaNameByID(resolution));

    // The regional North American sets have no waves.
    if (resolution == 16 || resolution == 17 || resolution == 18 || resolution == 25) {
        ui.waveReqPushButton->hide();
        // A caption without its toggle would look like a choice.
        ui.labelWave->hide();
    }
    // Tidal streams come with the English Channel set only, sea
    // temperatures with the half-degree global and North Atlantic sets.
    const bool tidal = resolution == 8;
    ui.tidalReqPushButton->setVisible(tidal);
    ui.labelTidalStream->setVisible(tidal);
    const bool sst = resolution == 2 || resolution == 4;
    ui.sstReqPushButton->setVisible(sst);
    ui.labelSST->setVisible(sst);

    if (const OpenDataSource* source = findOpenDataSource(resolution)) {
        // A source lacking waves takes them from its companion.
        ui.waveReqPushButton->show();
        ui.labelWave->show();
        initOpenDataSteps(*source);
        horizon = openDataHorizon(*source);
    }
    switch (resolution) {
    case 1:
    case 2:
        initReqTimeStep36();
        horizon = 144;
        break;
    case 4:
        initReqTimeStep136();
        horizon = 96;
        break;
    case 8:
    case 16:
    case 17:
    case 18:
    case 21:
    case 24:
        initReqTimeStep136();
        horizon = 48;
        break;
    case 19:
    case 20:
    case 22:
    case 23:
        initReqTimeStep136();
        horizon = 72;
        break;
    case 25:
        initReqTimeStep36();
        horizon = 84;
        break;
    case 26:
        initReqTimeStep136();
        horizon = 25;
        break;
    default:
        break;
    }
    initNoOfStepsComboBox();
    updateGribFileSizeSlot();
}

void RequestDlg::initOpenDataSteps(const OpenDataSource& source)
{
    ui.reqTimestepComboBox->clear();
    const std::pair<int, const char*> choices[] = {{1, "1 hr"}, {3, "3 hrs"}, {6, "6 hrs"}};
    for (const auto& [hours, text] : choices)
        if (stepPublishedFromStart(source, hours))
            ui.reqTimestepComboBox->addItem(tr(text), hours);
    ui.reqTimestepComboBox->setCurrentIndex(std::max(ui.reqTimestepComboBox->findData(3), 0));
}

int RequestDlg::openDataHorizon(const OpenDataSource& source) const
{
    // Counted, like the forecast service's horizons, from the start of
    // the day of the dialog's first step.
    const QDateTime lastValid = newestProbableRun(source, utcNow()).addSecs(qint64(source.lastStep()) * 3600);
    return int(QDateTime(base.date(), QTime(0, 0)).secsTo(lastValid) / 3600);
}

QString RequestDlg::getAreaNameByID(int resolution)
{
    if (const OpenDataSource* source = findOpenDataSource(resolution))
        return QString::fromUtf8(source->label);
    switch (resolution) {
    case 1:
        return tr("Global 1.0");
    case 2:
        return tr("Global 0.5");
    case 4:
        return tr("North Atlantic");
    case 8:
        return tr("English Channel");
    case 16:
        return tr("East/Centre USA");
    case 17:
        return tr("West/Centre USA");
    case 18:
        return tr("Alaska");
    case 19:
        return tr("South America");
    case 20:
        return tr("South Africa");
    case 21:
        return tr("SE Australia/NZ");
    case 22:
        return tr("East Australia");
    case 23:
        return tr("West Australia");
    case 24:
        return tr("West Europe");
    case 25:
        return tr("North America");
    default:
        return QString();
    }
}

void RequestDlg::initReqTimeStep36()
{
    ui.reqTimestepComboBox->clear();
    ui.reqTimestepComboBox->addItem(tr("3 hrs"), 3);
    ui.reqTimestepComboBox->addItem(tr("6 hrs"), 6);
    ui.reqTimestepComboBox->setCurrentIndex(0);
}

void RequestDlg::initReqTimeStep136()
{
    ui.reqTimestepComboBox->clear();
    ui.reqTimestepComboBox->addItem(tr("1 hr"), 1);
    ui.reqTimestepComboBox->addItem(tr("3 hrs"), 3);
    ui.reqTimestepComboBox->addItem(tr("6 hrs"), 6);
    ui.reqTimestepComboBox->setCurrentIndex(1);
}

void RequestDlg::initNoOfStepsComboBox()
{
    const int step = selectedStep();
    // No step chosen (a data set without choices): the range stays.
    if (step <= 0)
        return;
    // The range never drops below the slider's first position.
    const int steps = std::max((horizon - base.time().hour()) / step + 1, 1);
    ui.reqFromSlider->setMaximum(steps);
    ui.reqToSlider->setMaximum(steps);
}

void RequestDlg::updateGribFileSizeSlot()
{
    {
        // The labels below show the outcome; no need to come back here
        // for every slider moved.
        const QSignalBlocker blockFrom(ui.reqFromSlider);
        const QSignalBlocker blockTo(ui.reqToSlider);
        // Sea-surface temperature is served alone and for one step.
        if (ui.sstReqPushButton->isChecked()) {
            for (const Toggle& toggle : toggles())
                if (toggle.button != ui.sstReqPushButton)
                    toggle.button->setChecked(false);
            ui.reqFromSlider->setValue(1);
            ui.reqToSlider->setValue(1);
        }
        if (ui.reqFromSlider->value() > ui.reqToSlider->value())
            ui.reqToSlider->setValue(ui.reqFromSlider->value());
    }
    const int from = ui.reqFromSlider->value();
    const int to = ui.reqToSlider->value();
    ui.reqFromLabel->setText(tr("From: ") + stepTime(from).toString(QLatin1String(kTimeFormat)));
    ui.reqToLabel->setText(tr("To: ") + stepTime(to).toString(QLatin1String(kTimeFormat)));
    ui.stepsLabel->setText(tr("Steps: %1").arg(to - from + 1));
}

void RequestDlg::choosePreset(int index)
{
    if (index < 0)
        return;
    // An entry typed in by hand carries no record.
    if (ToviForecastParameters* record = presetRecord(ui.comboPresetName, index))
        loadRequest(record);
}

void RequestDlg::savePreset()
{
    QComboBox* combo = ui.comboPresetName;
    const QString name = combo->currentText();
    if (name.isEmpty()) {
        inform(tr("Wrong preset name"), tr("Please provide a non-empty preset name."));
        return;
    }
    if (combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0) {
        inform(tr("Preset name not unique"),
               tr("Preset with the given name already exists, please provide a unique name."));
        return;
    }
    auto record = std::make_unique<ToviForecastParameters>();
    readRequest(record.get());
    if (!SettingsFactory::savePreset(name, record.get()))
        return;
    // The store owns the record from here on.
    combo->addItem(name, QVariant::fromValue(record.release()));
    if (combo->count() > 5)
        ui.pushButtonSave->setEnabled(false);
    ui.pushButtonDelete->setEnabled(true);
    combo->setCurrentIndex(combo->count() - 1);
    inform(tr("Preset saved"), tr("Your current preset has been saved successfully."));
}

void RequestDlg::deletePreset()
{
    QComboBox* combo = ui.comboPresetName;
    const int index = combo->currentIndex();
    const QString name = combo->currentText();
    if (index < 0 || combo->itemText(index) != name) {
        inform(tr("Wrong preset name"), tr("Please select an existing preset first."));
        return;
    }
    ToviForecastParameters* record = presetRecord(combo, index);
    if (!SettingsFactory::deletePreset(name))
        return;
    combo->removeItem(index);
    // The store hands a deleted record back, and nothing else holds it.
    delete record;
    if (combo->count() == 0)
        ui.pushButtonDelete->setEnabled(false);
    ui.pushButtonSave->setEnabled(true);
    inform(tr("Preset deleted"), tr("Your current preset has been deleted successfully."));
}

void RequestDlg::automateEmail()
{
    // A prompt of its own, in the dialog's colours.
    QInputDialog input(nullptr);
    input.setInputMode(QInputDialog::IntInput);
    input.setLabelText(tr("Please enter the number of days (max: 30)\nyou want the selected forecast data\nto "
                          "receive by email:"));
    input.setStyleSheet(QString::fromLatin1(kDialogStyle));
    input.setIntRange(1, kMaxDaysActive);
    if (input.exec() != QDialog::Accepted)
        return;
    ToviForecastParameters record;
    readRequest(&record);
    if (SettingsFactory::addPreset(ui.comboPresetName->currentText(), input.intValue(), &record))
        inform(tr("Email subscription added"), tr("Your current preset has been added to email automation."));
    else
        inform(tr("Couldn't add subscription"),
               tr("The preset cannot be added to email automation - you've got 5 subscriptions already."));
}

void RequestDlg::inform(const QString& title, const QString& text)
{
    QMessageBox::information(this, title, text);
}
