#include "BuoyDialog.h"

#include "BuoyMarker.h"
#include "BuoyObservation.h"
#include "DialogPlacement.h"

#include <QResizeEvent>

BuoyDialog::BuoyDialog(QWidget* parent, void* buoy, int lat, int lon)
    : QDialog(parent, Qt::CustomizeWindowHint | Qt::FramelessWindowHint | Qt::MSWindowsFixedSizeDialogHint)
    , marker(static_cast<BuoyMarker*>(buoy))
    , latitude(lat)
    , longitude(lon)
{
    ui.setupUi(this);
    expandedWidth = width();
    connect(ui.cancelButton, &QAbstractButton::clicked, this, &QDialog::reject);
    if (marker)
        updateValues();
    // A buoy has no forecast of its own: no meteogram, no sources, no
    // steps.
    ui.meteogramButton->hide();
    ui.offlineButton->hide();
    ui.onlineButton->hide();
    toggleMeteo();
}

void BuoyDialog::toggleMeteo()
{
    togglePanelWidth(this, ui.lineVertical->x(), expandedWidth, ui.cancelButton, ui.meteogramButton);
}

void BuoyDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    centreOverParentWidget(this);
}

void BuoyDialog::updateValues()
{
    if (!marker)
        return;
    ui.labelLocation->setText(QStringLiteral("Buoy: ") + marker->name);
    ui.labelBuoyInfo->setText(marker->snippet);
    const BuoyObservation observation = BuoyObservation::fromDescription(marker->description);
    ui.labelDate->setText(observation.date);
    ui.labelWind->setText(observation.wind);
    ui.labelWindDirection->setText(observation.windDirection);
    ui.labelPressure->setText(observation.pressure);
    ui.labelTemperature->setText(observation.temperature);
    ui.labelSST->setText(observation.sst);
    ui.labelWaveHeight->setText(observation.waveHeight);
    ui.labelWaveDirection->setText(observation.waveDirection);
    ui.labelWavePeriod->setText(observation.wavePeriod);
    ui.labelTide->setText(observation.tide);
}
