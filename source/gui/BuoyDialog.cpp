#include "BuoyDialog.h"

#include "BuoyMarker.h"
#include "BuoyObservation.h"
#include "DialogPlacement.h"
#include "LabelFit.h"

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
    setTextShrinkToFit(ui.labelLocation, QStringLiteral("Buoy: ") + marker->name);
    setTextShrinkToFit(ui.labelBuoyInfo, marker->snippet);
    const BuoyObservation observation = BuoyObservation::fromDescription(marker->description);
    setTextShrinkToFit(ui.labelDate, observation.date);
    setTextShrinkToFit(ui.labelWind, observation.wind);
    setTextShrinkToFit(ui.labelWindDirection, observation.windDirection);
    setTextShrinkToFit(ui.labelPressure, observation.pressure);
    setTextShrinkToFit(ui.labelTemperature, observation.temperature);
    setTextShrinkToFit(ui.labelSST, observation.sst);
    setTextShrinkToFit(ui.labelWaveHeight, observation.waveHeight);
    setTextShrinkToFit(ui.labelWaveDirection, observation.waveDirection);
    setTextShrinkToFit(ui.labelWavePeriod, observation.wavePeriod);
    setTextShrinkToFit(ui.labelTide, observation.tide);
}
