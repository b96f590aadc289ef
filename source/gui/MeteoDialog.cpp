#include "MeteoDialog.h"

#include "DialogPlacement.h"
#include "DownloadDlg.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "LabelFit.h"
#include "MeteoKinds.h"
#include "WeatherMap.h"
#include "WeatherMeteogram.h"

#include <QFontMetrics>
#include <QResizeEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

// Between the end of the location and the close button.
constexpr int kCloseButtonGap = 2;

// The value of the first message of the compound with one of the keys, in
// the order given, that has a value at the point (millidegrees).  A point
// outside a message's grid or missing under its bitmap has none.
bool valueAt(const CompoundMsg& compound, std::initializer_list<unsigned> keys, int latMilli, int lonMilli,
             float& value)
{
    for (unsigned key : keys) {
        for (const GribMsg& msg : compound) {
            if (msg.gct != key)
                continue;
            if (msg.getValueAt(latMilli, lonMilli, value) && value != kGribMissingValue)
                return true;
            break;
        }
    }
    value = 0.0f;
    return false;
}

// Fixed-point with no decimals; a value that rounds to zero reads "0",
// never "-0".
QString wholeNumber(double value)
{
    const QString text = QStringLiteral("%1").arg(value, 0, 'f', 0);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

// The integer part, as text (no conversion to int: a corrupt file may hold
// any float).
QString truncated(double value)
{
    return QString::number(std::trunc(value) + 0.0, 'f', 0);
}

QString placeAndPosition(const QString& name, const QString& position)
{
    return name + QStringLiteral("  ") + position;
}

bool showsWholeLine(const QLabel* label)
{
    return label->sizeHint().width() <= label->width();
}

// The position in the label's current font and the name cut short with an
// ellipsis into the room left before it.
void elideNameBefore(QLabel* label, const QString& name, const QString& position)
{
    const QFontMetrics metrics = label->fontMetrics();
    // One pixel spare: the label measures its text a little apart from
    // the font's advances.
    const int room = label->contentsRect().width() - 2 * label->margin() -
                     metrics.horizontalAdvance(placeAndPosition(QString(), position)) - 1;
    const QString elided = metrics.elidedText(name, Qt::ElideRight, std::max(0, room));
    label->setText(elided.isEmpty() ? position : placeAndPosition(elided, position));
}

void showRow(QLabel* valueLabel, QLabel* unitLabel, bool present, const QString& text)
{
    setTextShrinkToFit(valueLabel, present ? text : QStringLiteral("-"));
    unitLabel->setVisible(present);
}

}  // namespace

QString angle2Annotation(float degrees)
{
    static const char* const names[] = {"NNE", "NE", "ENE", "E", "ESE", "SE", "SSE", "S",
                                        "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
    float a = degrees;
    if (a > 360.0f)
        a -= 360.0f;
    if (a < 0.0f)
        a += 360.0f;
    // North takes both ends of the circle and anything still outside it.
    if (!(a >= 11.25f && a < 348.75f))
        return QStringLiteral("N");
    int sector = 0;
    // The sector bounds are exact in single precision.
    for (float upper = 33.75f; a >= upper; upper += 22.5f)
        ++sector;
    return QString::fromLatin1(names[sector]);
}

MeteoDialog::MeteoDialog(QWidget* parent, GribFileHelper* helper, int lat, int lon)
    : QDialog(parent, Qt::CustomizeWindowHint | Qt::FramelessWindowHint | Qt::MSWindowsFixedSizeDialogHint)
    , currentHelper(helper)
    , offlineHelper(helper)
    , longitude(lon)
    , latitude(lat)
{
    ui.setupUi(this);
    expandedWidth = width();
    connect(ui.cancelButton, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(ui.meteogramButton, &QAbstractButton::clicked, this, &MeteoDialog::toggleMeteo);
    connect(ui.onlineButton, &QAbstractButton::clicked, this, &MeteoDialog::toggleOnlineMeteo);
    connect(ui.offlineButton, &QAbstractButton::clicked, this, &MeteoDialog::toggleOfflineMeteo);
    connect(ui.horizontalSlider, &QSlider::valueChanged, this, &MeteoDialog::toggleStep);

    if (getMeteodata())
        updateValues();
    // No file loaded: there is no offline source to go back to.
    ui.offlineButton->setEnabled(offlineHelper != nullptr);

    const int left = ui.lineVertical->x();
    const int top = ui.widgetTopHeader->height();
    meteogram = new WeatherMeteogram(this, width() - left, ui.widgetBottomHeader->y() - top, latitude, longitude,
                                     currentHelper);
    meteogram->move(left, top);
    toggleMeteo();
}

MeteoDialog::~MeteoDialog()
{
    // The meteogram may read the online helper, which goes before the
    // children would.
    delete meteogram;
}

bool MeteoDialog::getMeteodata()
{
    if (currentHelper) {
        if (currentHelper == offlineHelper)
            ui.offlineButton->setChecked(true);
        return true;
    }
    if (!onlineHelper) {
        const QString path = downloadPointForecast();
        if (!path.isEmpty()) {
            auto helper = std::make_unique<GribFileHelper>();
            if (helper->openGribFile(path, false)) {
                onlineHelper = std::move(helper);
                currentHelper = onlineHelper.get();
                ui.onlineButton->setChecked(true);
                ui.offlineButton->setEnabled(offlineHelper != nullptr);
            }
        }
    }
    return currentHelper != nullptr;
}

QString MeteoDialog::downloadPointForecast()
{
    // Opened by a marker on the map: the map knows the data set, its
    // window is the main window the download dialog belongs to.
    auto* map = qobject_cast<WeatherMap*>(parentWidget());
    if (!map)
        return QString();
    DownloadDlg dialog(map->window());
    if (dialog.downloadMeteo(map->getActiveArea(), latitude, longitude) != 1)
        return QString();
    return dialog.getFileName();
}

void MeteoDialog::showSource(GribFileHelper* source)
{
    GribFileHelper* previous = currentHelper;
    currentHelper = source;
    if (getMeteodata()) {
        updateValues();
        if (meteogram)
            meteogram->updateData(currentHelper, latitude, longitude);
        return;
    }
    // Nothing to switch to: keep showing what was shown, and give the
    // check back to its button.
    currentHelper = previous;
    const bool online = currentHelper && currentHelper == onlineHelper.get();
    (online ? ui.onlineButton : ui.offlineButton)->setChecked(true);
}

void MeteoDialog::toggleOnlineMeteo()
{
    showSource(onlineHelper.get());
}

void MeteoDialog::toggleOfflineMeteo()
{
    showSource(offlineHelper);
}

void MeteoDialog::toggleStep(int value)
{
    if (!currentHelper || currentHelper->currentCompoundNum() == value)
        return;
    currentHelper->goCompound(value);
    updateValues();
    if (meteogram)
        meteogram->update();
}

void MeteoDialog::toggleMeteo()
{
    togglePanelWidth(this, ui.lineVertical->x(), expandedWidth, ui.cancelButton, ui.meteogramButton);
}

void MeteoDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    fitLocationToHeader();
    centreOverParentWidget(this);
}

void MeteoDialog::fitLocationToHeader()
{
    QLabel* location = ui.labelLocation;
    location->resize(ui.cancelButton->x() - kCloseButtonGap - location->x(), location->height());
    // Without values the header holds the form's text, and no position.
    if (currentHelper)
        showLocation();
    else
        refitText(location);
}

void MeteoDialog::setPlaceName(const QString& name)
{
    // A name on one line, whatever it was given with.
    place = name.simplified();
    if (currentHelper)
        showLocation();
}

QString MeteoDialog::positionText() const
{
    return QStringLiteral("%1%2 %3%4")
        .arg(std::fabs(float(latitude) / 1e6f))
        .arg(latitude < 0 ? QStringLiteral("S") : QStringLiteral("N"))
        .arg(std::fabs(float(longitude) / 1e6f))
        .arg(longitude < 0 ? QStringLiteral("W") : QStringLiteral("E"));
}

void MeteoDialog::showLocation()
{
    QLabel* label = ui.labelLocation;
    const QString position = positionText();
    if (place.isEmpty()) {
        setTextShrinkToFit(label, QStringLiteral("LOCATION: ") + position);
        return;
    }
    // Smaller type first, down to the smallest readable; then the name
    // gives way, never the position.
    setTextShrinkToFit(label, placeAndPosition(place, position));
    if (!showsWholeLine(label))
        elideNameBefore(label, place, position);
}

void MeteoDialog::updateValues()
{
    if (!currentHelper)
        return;
    const CompoundMsg& compound = currentHelper->getCurrentCompound();

    showLocation();

    setTextShrinkToFit(ui.labelDate,
                       compound.empty() ? QString()
                                        : QStringLiteral("%1").arg(compound.front().validTime().toLocalTime().toString(
                                              QStringLiteral("ddd, dd-MM-yyyy, hh:mm"))));

    const int lat = latitude / 1000;
    const int lon = longitude / 1000;
    float a = 0.0f;
    float b = 0.0f;

    // Wind speed, knots, from the u and v components.
    const bool hasU = valueAt(compound, {GribKey::windU}, lat, lon, a);
    const bool hasV = valueAt(compound, {GribKey::windV}, lat, lon, b);
    const float u = a;
    const float v = b;
    showRow(ui.labelWind, ui.labelWindUnit, hasU || hasV, wholeNumber(std::sqrt(u * u + v * v) / 0.5144f));

    const bool hasPressure = valueAt(compound, {GribKey::pressureMsl}, lat, lon, a);
    showRow(ui.labelPressure, ui.labelPressureUnit, hasPressure, wholeNumber(a / 100.0f));
    const bool hasTemperature = valueAt(compound, {GribKey::temperature2m}, lat, lon, a);
    showRow(ui.labelTemperature, ui.labelTemperatureUnit, hasTemperature, wholeNumber(a - 273.0f));
    const bool hasSST = valueAt(compound, {GribKey::seaTemperature}, lat, lon, a);
    showRow(ui.labelSST, ui.labelSSTUnit, hasSST, wholeNumber(a - 273.0f));
    const bool hasPrecipitation = valueAt(compound, {GribKey::precipitation}, lat, lon, a);
    showRow(ui.labelPrecipitation, ui.labelPrecipitationUnit, hasPrecipitation, wholeNumber(a));
    // Swell first, then wind waves, then the combined sea, as the colour
    // layer picks them.
    const std::vector<unsigned> waveKeys = MeteoKinds::keysOf(mtWave);
    bool hasWave = false;
    for (unsigned key : waveKeys) {
        hasWave = valueAt(compound, {key}, lat, lon, a);
        if (hasWave)
            break;
    }
    showRow(ui.labelWaveHeight, ui.labelWaveHeightUnit, hasWave, wholeNumber(a));
    const bool hasPeriod = valueAt(compound, {GribKey::wavePeriod}, lat, lon, a);
    showRow(ui.labelWavePeriod, ui.labelWavePeriodUnit, hasPeriod, wholeNumber(a));

    // The wind blows towards bearing d; the label gives where it comes from.
    if (!hasV) {
        showRow(ui.labelWindDirection, ui.labelWindDirectionUnit, false, QString());
    } else {
        const double d = (u != 0.0f || v != 0.0f)
                             ? (std::atan2(1.0, 0.0) - std::atan2(double(v), double(u))) * 57.29582574928754
                             : 0.0;
        const double from = d > 180.0 ? d - 180.0 : d + 180.0;
        showRow(ui.labelWindDirection, ui.labelWindDirectionUnit, true,
                truncated(d > 180.0 ? d - 179.5 : d + 180.5));
        setTextShrinkToFit(ui.labelWindDirectionUnit,
                           QStringLiteral("&deg; (") + angle2Annotation(float(from)) + QLatin1Char(')'));
    }

    // Swell direction, else the wind waves'.
    if (!valueAt(compound, {GribKey::swellDirection, GribKey::windWaveDirection}, lat, lon, a)) {
        showRow(ui.labelWaveDirection, ui.labelWaveDirectionUnit, false, QString());
    } else {
        showRow(ui.labelWaveDirection, ui.labelWaveDirectionUnit, true, truncated(double(a) + 0.5));
        setTextShrinkToFit(ui.labelWaveDirectionUnit,
                           QStringLiteral("&deg; (") + angle2Annotation(a) + QLatin1Char(')'));
    }

    // Setting the range must not move the helper through toggleStep: a
    // position beyond the new maximum would be clamped into a step change.
    const QSignalBlocker blocker(ui.horizontalSlider);
    ui.horizontalSlider->setMaximum(std::max(0, currentHelper->getCompoundNum() - 1));
    ui.horizontalSlider->setValue(currentHelper->currentCompoundNum());
}
