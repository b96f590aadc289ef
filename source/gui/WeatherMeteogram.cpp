#include "WeatherMeteogram.h"

#include "BeaufortScale.h"
#include "ColourScale.h"
#include "GribFile.h"
#include "GribFileHelper.h"
#include "GribKeys.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cfloat>
#include <cmath>

namespace {

// The widget's bands: top row and height.
struct Band {
    int top;
    int height;
    int lastRow() const { return top + height - 1; }
};
constexpr Band kBands[5] = {{0, 54}, {54, 57}, {111, 135}, {246, 36}, {282, 90}};
constexpr int kHeaderHeight = 54;
constexpr int kLeftMargin = 20;
// Room right of the plot for units and the right-hand axis.
constexpr int kRightRoom = 40;
constexpr float kMostTicks = 2000.0f;

const QColor kBackground = QColor::fromRgba(0xFFEBEBEB);
const QColor kHeaderColour = QColor::fromRgba(0xFFD1D1D1);
const QColor kSeparatorShadow = QColor::fromRgba(0xFFBDBDBD);
const QColor kGridColour = QColor::fromRgba(0xFFE4E5E7);
const QColor kLabelColour = QColor::fromRgba(0xFF444444);
const QColor kCurrentColumn(222, 222, 222);
const QColor kTemperatureColour(215, 102, 37);
const QColor kPressureColour(153, 22, 50);
const QColor kPrecipitationColour(0, 65, 129);
const QColor kWindArrowColour(83, 128, 38);
const QColor kWaveArrowColour(0, 117, 141);

constexpr float kKnotsPerMetre = 1.9440124f;
constexpr double kKnotsPerMetreExact = 1.944012421496605;
constexpr double kDegreesPerRadian = 57.29582574928754;

QString numberText(double value)
{
    return QString::asprintf("%g", value);
}

// The band of the first key not below value; a value above every key
// takes the top band.
QColor cellColour(const ColourScale& scale, float value)
{
    const ColourScale::Map& bands = scale.getMap();
    if (bands.empty())
        return kBackground;
    auto band = bands.lower_bound(value);
    if (band == bands.end())
        --band;
    return band->second;
}

bool isWholeNumber(float value)
{
    return std::floor(value) == value;
}

}  // namespace

// Running extremes of the series while a file is read.
struct WeatherMeteogram::Extremes {
    float windMin = FLT_MAX;
    float windMax = FLT_MIN;
    float waveMin = FLT_MAX;
    float waveMax = FLT_MIN;
    float precipMax = 0.0f;
    float tempMin = 100.0f;
    float tempMax = -100.0f;
    float pressMin = 120000.0f;
    float pressMax = 80000.0f;

    static void widen(float value, float& min, float& max, float unsetMin, float unsetMax)
    {
        if (min == unsetMin || value < min)
            min = value;
        if (max == unsetMax || value > max)
            max = value;
    }
    void addWind(float knots) { widen(knots, windMin, windMax, FLT_MAX, FLT_MIN); }
    void addWave(float height) { widen(height, waveMin, waveMax, FLT_MAX, FLT_MIN); }
};

WeatherMeteogram::WeatherMeteogram(QWidget* parent, int width, int height, int lat, int lon,
                                   GribFileHelper* fileHelper)
    : QWidget(parent), image(qMax(width, 1), qMax(height, 1), QImage::Format_ARGB32_Premultiplied),
      helper(fileHelper), plotWidth(width - kLeftMargin - kRightRoom)
{
    image.fill(kBackground);
    resize(width, height);
    createMeteogram(float(lat) * 1e-6f, float(lon) * 1e-6f);
}

WeatherMeteogram::~WeatherMeteogram() = default;

void WeatherMeteogram::updateData(GribFileHelper* fileHelper, int lat, int lon)
{
    helper = fileHelper;
    createMeteogram(float(lat) * 1e-6f, float(lon) * 1e-6f);
    update();
}

// --- Reading the series ------------------------------------------------

void WeatherMeteogram::createMeteogram(float lat, float lon)
{
    latitude = lat;
    longitude = lon;
    GribFile* file = helper && helper->isValid() ? helper->gribFile() : nullptr;
    if (!file || file->messageCount() == 0) {
        for (auto& record : records)
            record.reset();
        return;
    }
    const int count = file->getCompoundNum();
    allocateRecords(count, float(file->getTimeStep()));
    Extremes extremes;
    CompoundMsg compound;
    for (int step = 0; step < count; ++step) {
        if (!file->goCompound(step, compound))
            continue;
        if (step == 0 && !compound.empty())
            startTime = compound.front().validTime();
        readStep(compound, step, lat, lon, extremes);
    }
    // Stepping through the helper goes on from the file's position, which
    // must be its current step again.
    file->goCompound(helper->currentCompoundNum(), compound);
    setAxes(extremes);
}

void WeatherMeteogram::allocateRecords(int count, float hoursPerStep)
{
    for (auto& record : records) {
        record = std::make_unique<Meteogram>();
        record->count = count;
        record->hoursPerStep = hoursPerStep;
        record->values.assign(size_t(count), 0.0f);
    }
    for (MeteogramType type : {mgWind, mgWaves}) {
        records[type]->aux1.assign(size_t(count), 0.0f);
        records[type]->aux2.assign(size_t(count), 0.0f);
    }
    records[mgPressure]->gridStep = 100.0f;
    records[mgPressure]->labelStep = 500.0f;
}

void WeatherMeteogram::readStep(const CompoundMsg& compound, int step, float lat, float lon,
                                Extremes& extremes)
{
    const size_t k = size_t(step);
    const int latMilli = int(lat * 1000.0f);
    const int lonMilli = int(lon * 1000.0f);
    Meteogram& wind = *records[mgWind];
    Meteogram& waves = *records[mgWaves];
    for (const GribMsg& msg : compound) {
        float value = 0.0f;
        msg.getValueAt(latMilli, lonMilli, value);
        switch (msg.gct) {
        case GribKey::windSpeed:
            wind.values[k] = value * kKnotsPerMetre;
            extremes.addWind(wind.values[k]);
            break;
        case GribKey::windU:
            wind.aux1[k] = value;
            break;
        case GribKey::windV: {
            wind.aux2[k] = value;
            const double u = wind.aux1[k];
            wind.values[k] = float(std::sqrt(u * u + double(value) * value) * kKnotsPerMetreExact);
            extremes.addWind(wind.values[k]);
            break;
        }
        case GribKey::swellHeight:
        case GribKey::windWaveHeight:
            waves.values[k] = value;
            extremes.addWave(value);
            break;
        case GribKey::swellDirection:
        case GribKey::windWaveDirection:
            waves.aux1[k] = value;
            break;
        case GribKey::wavePeriod:
            waves.aux2[k] = value;
            break;
        case GribKey::temperature2m: {
            const float celsius = value - 273.0f;
            records[mgTemperature]->values[k] = celsius;
            extremes.tempMax = std::max(extremes.tempMax, celsius);
            if (celsius < extremes.tempMin && celsius > -100.0f)
                extremes.tempMin = celsius;
            break;
        }
        case GribKey::precipitation:
            records[mgPrecipitation]->values[k] = value;
            extremes.precipMax = std::max(extremes.precipMax, value);
            break;
        case GribKey::pressureMsl:
            records[mgPressure]->values[k] = value;
            extremes.pressMax = std::max(extremes.pressMax, value);
            if (value < extremes.pressMin && value > 0.0f)
                extremes.pressMin = value;
            break;
        default:
            break;
        }
    }
}

namespace {

// A constant series would give an axis without height, and every point
// would be divided by zero: the axis then reaches one label step either
// side of the value.
void widenFlatAxis(Meteogram& record)
{
    if (record.maximum != record.minimum)
        return;
    record.minimum -= record.labelStep;
    record.maximum += record.labelStep;
}

void setAxis(Meteogram& record, float minimum, float maximum, float gridStep, float labelStep)
{
    record.minimum = minimum;
    record.maximum = maximum;
    record.gridStep = gridStep;
    record.labelStep = labelStep;
    widenFlatAxis(record);
}

}  // namespace

void WeatherMeteogram::setAxes(const Extremes& e)
{
    setAxis(*records[mgWind], std::floor(metric2Beaufort(e.windMin)), std::ceil(metric2Beaufort(e.windMax)),
            1.0f, 5.0f);
    Meteogram& precipitation = *records[mgPrecipitation];
    precipitation.minimum = 0.0f;
    precipitation.maximum = std::ceil(2.0f * e.precipMax);
    precipitation.gridStep = 0.4f;
    precipitation.labelStep = 1.0f;
    Meteogram& temperature = *records[mgTemperature];
    setAxis(temperature, std::floor(0.2f * e.tempMin) * 5.0f, std::ceil(0.2f * e.tempMax) * 5.0f, 1.0f, 5.0f);

    // The pressure axis spans as many grid steps as the temperature axis
    // has degrees, centred on the pressure range, so that both share the
    // grid lines.
    const float lo = std::floor(e.pressMin / 500.0f) * 500.0f;
    const float hi = std::ceil(e.pressMax / 500.0f) * 500.0f;
    const float t = (temperature.maximum - temperature.minimum) / 1.0f;
    const float p = (hi - lo) / 100.0f;
    const float m = p > 0.0f ? std::ceil(t / p) : 0.0f;
    Meteogram& pressure = *records[mgPressure];
    if (m > 0.0f) {
        pressure.minimum = float(int((lo + hi - 100.0f * m * p) * 0.5f + 0.1f));
        pressure.maximum = float(int((lo + hi + 100.0f * m * p) * 0.5f + 0.1f));
    } else {
        pressure.minimum = lo;
        pressure.maximum = hi;
    }
    widenFlatAxis(pressure);

    setAxis(*records[mgWaves], std::floor(0.5f * e.waveMin), std::ceil(1.5f * e.waveMax), 1.0f, 2.0f);
}

// --- What the file holds -----------------------------------------------

bool WeatherMeteogram::contains(unsigned gct, MeteogramType type) const
{
    return records[type] && helper && helper->isValid() && helper->gribFile()->containsGct(gct);
}

bool WeatherMeteogram::windExist() const { return contains(GribKey::windU, mgWind); }
bool WeatherMeteogram::pressExist() const { return contains(GribKey::pressureMsl, mgPressure); }
bool WeatherMeteogram::precipExist() const { return contains(GribKey::precipitation, mgPrecipitation); }
bool WeatherMeteogram::tempExist() const { return contains(GribKey::temperature2m, mgTemperature); }

bool WeatherMeteogram::swellExist() const
{
    return contains(GribKey::swellHeight, mgWaves) || contains(GribKey::windWaveHeight, mgWaves);
}

int WeatherMeteogram::steps() const
{
    return records[mgWind] ? records[mgWind]->count : 0;
}

float WeatherMeteogram::columnWidth() const
{
    const int n = steps();
    return n > 0 ? float(plotWidth) / float(n) : float(plotWidth);
}

bool WeatherMeteogram::labelled(int step) const
{
    return columnWidth() > 15.0f || step % 2 == 0;
}

// --- Painting ----------------------------------------------------------

void WeatherMeteogram::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(QFont("Helvetica", 9, QFont::Bold));
    painter.drawImage(0, 0, image);
    painter.fillRect(QRect(QPoint(0, 0), QPoint(width() - 1, kHeaderHeight - 2)), kHeaderColour);
    if (steps() > 1)
        drawDateTimeMeteogram(&painter);
    paintBandSeparators(painter);
    if (steps() < 2) {
        paintSingleStepHint(painter);
        return;
    }
    const bool temperature = tempExist();
    if (temperature)
        drawVerticalAnnotation(mgTemperature, records[mgTemperature].get(), &painter, 111, 135,
                               kTemperatureColour, apLeft, true);
    if (pressExist())
        drawVerticalAnnotation(mgPressure, records[mgPressure].get(), &painter, 111, 135, kPressureColour,
                               apRight, !temperature);
    if (precipExist())
        drawBarPlot(&painter, 111, 135, records[mgPrecipitation].get(), kPrecipitationColour);
    if (temperature)
        drawMeteogram(&painter, 111, 135, records[mgTemperature].get(), kTemperatureColour, kTemperatureColour);
    if (pressExist())
        drawMeteogram(&painter, 111, 135, records[mgPressure].get(), kPressureColour, kPressureColour);
    if (windExist())
        drawWindMeteogram(&painter, 54, 57, records[mgWind].get(), kLabelColour, kWindArrowColour);
    if (swellExist())
        drawSwellMeteogram(&painter, 282, 90, records[mgWaves].get(), kLabelColour, kWaveArrowColour);
}

void WeatherMeteogram::paintBandSeparators(QPainter& painter)
{
    const int right = width() - 1;
    for (int b = 0; b < 5; ++b) {
        if (b > 0) {
            painter.setPen(Qt::white);
            painter.drawLine(0, kBands[b].top, right, kBands[b].top);
        }
        if (b < 4) {
            painter.setPen(kSeparatorShadow);
            painter.drawLine(0, kBands[b].lastRow(), right, kBands[b].lastRow());
        }
    }
}

void WeatherMeteogram::paintSingleStepHint(QPainter& painter)
{
    const QFontMetrics metrics(painter.font());
    painter.setPen(Qt::black);
    const QString first = "Download a forecast with mulitple time steps";
    const QString second = "first to display a meteogram please";
    const int baseline = kHeaderHeight / 2 - 2;
    painter.drawText(int(width() * 0.5 - metrics.horizontalAdvance(first) * 0.5), baseline, first);
    painter.drawText(int(width() * 0.5 - metrics.horizontalAdvance(second) * 0.5), baseline + metrics.height(),
                     second);
}

void WeatherMeteogram::drawDateTimeMeteogram(QPainter* painter)
{
    painter->save();
    painter->translate(kLeftMargin, 0);
    painter->setPen(kLabelColour);
    const QFontMetrics metrics(painter->font());
    const int n = steps();
    const float w = columnWidth();
    const qint64 stepSeconds = qint64(records[mgWind]->hoursPerStep) * 3600;
    const int current = helper ? helper->currentCompoundNum() : -1;
    QDateTime time = startTime;
    for (int i = 0; i < n; ++i) {
        const float x = float(i) * w;
        const QRectF column(x, kHeaderHeight, w, height() - kHeaderHeight);
        if (i == current)
            painter->fillRect(column, kCurrentColumn);
        else if (i % 2 == 0)
            painter->fillRect(column, Qt::white);

        const QDateTime local = time.toLocalTime();
        if (labelled(i))
            painter->drawText(QRectF(x, kHeaderHeight * 0.4, w, kHeaderHeight * 0.6),
                              Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextDontClip, local.toString("hh"));
        const QString day = local.toString("ddd dd MMM");
        const int dayWidth = metrics.horizontalAdvance(day);
        const int dayBaseline = int(kHeaderHeight * 0.4);
        const int hour = local.time().hour();
        if (hour == 12) {
            painter->drawText(int((w - float(dayWidth)) * 0.5f + x), dayBaseline, day);
        } else if (hour < 12 && time.addSecs(stepSeconds).toLocalTime().time().hour() > 12) {
            // Noon falls inside this column's step: the day is centred on
            // the boundary to the next column.
            painter->drawText(int((3.0f * w - float(dayWidth)) * 0.5f + x), dayBaseline, day);
        }
        time = time.addSecs(stepSeconds);
    }
    if (n % 2 == 0) {
        const float right = float(n) * w;
        painter->fillRect(QRectF(right, kHeaderHeight, width() - kLeftMargin - right, height() - kHeaderHeight),
                          Qt::white);
    }
    painter->restore();
}

void WeatherMeteogram::drawMeteogram(QPainter* painter, int top, int height, Meteogram* record, QColor line,
                                     QColor marker)
{
    painter->save();
    painter->setPen(line);
    painter->translate(kLeftMargin, top + 15);
    painter->setClipRect(0, 0, plotWidth, height - 30);
    const float hoursPerPixel = record->hoursPerStep * float(record->count) / float(plotWidth);
    const float valuePerPixel = (record->maximum - record->minimum) / float(height - 30);
    drawCurvePlot(painter, record, line, marker, hoursPerPixel, valuePerPixel, false, nullptr);
    painter->restore();
}

void WeatherMeteogram::drawCurvePlot(QPainter* painter, Meteogram* record, QColor line, QColor marker,
                                     float hoursPerPixel, float valuePerPixel, bool markers,
                                     float (*transform)(float))
{
    if (record->count < 1 || valuePerPixel == 0.0f)
        return;
    QPolygonF points;
    for (int i = 0; i < record->count; ++i) {
        const float value = transform ? transform(record->values[size_t(i)]) : record->values[size_t(i)];
        // Files without an hour between steps still spread their steps
        // over the columns.
        const float x = hoursPerPixel > 0.0f ? (float(i) + 0.5f) * record->hoursPerStep / hoursPerPixel
                                             : (float(i) + 0.5f) * columnWidth();
        points << QPointF(x, (record->maximum - value) / valuePerPixel);
    }
    QPainterPath path;
    path.addPolygon(points);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(line, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawPath(path);
    if (markers) {
        painter->setPen(Qt::black);
        painter->setBrush(marker);
        for (const QPointF& point : points)
            painter->drawRect(int(point.x()) - 2, int(point.y()) - 2, 5, 5);
    }
    painter->restore();
}

void WeatherMeteogram::drawBarPlot(QPainter* painter, int top, int height, Meteogram* record, QColor colour)
{
    const float valuePerPixel = (record->maximum - record->minimum) / float(height - 30);
    if (valuePerPixel <= 0.0f)
        return;
    painter->save();
    painter->translate(kLeftMargin, top + 15);
    painter->setPen(colour);
    painter->setBrush(colour);
    const QFontMetrics metrics(painter->font());
    const float w = columnWidth();
    for (int i = 0; i < record->count; ++i) {
        const float value = record->values[size_t(i)];
        if (value <= record->gridStep)
            continue;
        const float barTop = (record->maximum - value) / valuePerPixel;
        painter->drawRect(QRectF(float(i) * w + 1.0f, barTop, w - 3.0f, (value - record->minimum) / valuePerPixel));
        // The amount reads upwards just above its bar.
        painter->save();
        painter->translate(float(i) * w, barTop);
        painter->rotate(-90.0);
        const QString text = numberText(value);
        painter->drawText(QRectF(3, 0, metrics.horizontalAdvance(text), w), Qt::AlignCenter | Qt::TextDontClip,
                          text);
        painter->restore();
    }
    painter->restore();
}

void WeatherMeteogram::drawVerticalAnnotation(MeteogramType type, Meteogram* record, QPainter* painter, int top,
                                              int height, QColor colour, AnnotationPos position, bool grid)
{
    const float range = record->maximum - record->minimum;
    const float valuePerPixel = range / float(height - 30);
    // Values of a broken file could ask for millions of ticks.
    if (!(valuePerPixel > 0.0f) || record->gridStep <= 0.0f || range / record->gridStep > kMostTicks)
        return;
    painter->save();
    painter->setPen(colour);
    painter->translate(kLeftMargin, top + 15);
    const bool left = position == apLeft;
    const int x0 = left ? 0 : plotWidth;
    for (int k = 0; range / record->gridStep >= float(k); ++k) {
        const float v = float(k) * record->gridStep;
        const int y = int(std::floor((range - v) / valuePerPixel + 0.5f));
        const int length = record->labelStep > 0.0f && isWholeNumber(v / record->labelStep) ? 6 : 3;
        painter->drawLine(x0, y, left ? x0 - length : x0 + length - 1, y);
        if (grid) {
            painter->setPen(kGridColour);
            painter->drawLine(0, y, plotWidth, y);
            painter->setPen(colour);
        }
    }
    if (record->labelStep > 0.0f && range / record->labelStep <= kMostTicks) {
        const QFontMetrics metrics(painter->font());
        for (float value = record->minimum; value <= record->maximum; value += record->labelStep) {
            const QString text = numberText(type == mgPressure ? value * 0.01 : value);
            const float y = (record->maximum - value) / valuePerPixel + float(metrics.height()) / 3.0f;
            const int x = left ? x0 - metrics.horizontalAdvance(text) - 8 : x0 + 8;
            painter->drawText(QPointF(x, y), text);
        }
    }
    painter->restore();
}

void WeatherMeteogram::fillCells(QPainter* painter, const Meteogram* record, const ColourScale& scale,
                                 float cellTop, float cellHeight)
{
    const float w = columnWidth();
    const int current = helper ? helper->currentCompoundNum() : -1;
    // Each cell runs to the plot's right end and the next one paints over
    // its tail, leaving one coloured cell per column.
    for (int i = 0; i < record->count; ++i) {
        const float x = float(i) * w;
        QColor colour = cellColour(scale, std::floor(0.5f + record->values[size_t(i)]));
        if (i == current)
            colour = colour.darker(110);
        painter->fillRect(QRectF(x, cellTop, float(plotWidth) - x, cellHeight), colour);
    }
}

// Saves the painter, which the band's drawing restores at its end.
void WeatherMeteogram::beginSymbolBand(QPainter* painter, int top, int height, QColor text)
{
    painter->save();
    painter->setPen(text);
    painter->translate(kLeftMargin, top);
    painter->setClipRect(0, 0, plotWidth, height - 1);
}

void WeatherMeteogram::setArrowStyle(QPainter* painter, QColor arrow)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(arrow);
    painter->setPen(arrow);
}

void WeatherMeteogram::drawArrow(QPainter* painter, float x, float y, float degrees)
{
    static const QPointF kArrow[] = {{-6, 1}, {2, 1}, {2, 4}, {5.5, 0.5}, {2, -3}, {2, 0}, {-6, 0}};
    painter->save();
    painter->translate(x, y);
    painter->rotate(degrees);
    painter->drawPolygon(kArrow, 7, Qt::OddEvenFill);
    painter->restore();
}

void WeatherMeteogram::drawWindMeteogram(QPainter* painter, int top, int height, Meteogram* record, QColor text,
                                         QColor arrow)
{
    beginSymbolBand(painter, top, height, text);
    const float half = float(height) * 0.5f;
    const float quarter = float(height) * 0.25f;
    const float w = columnWidth();
    fillCells(painter, record, helper->colorScale(mtWind), half, half);
    for (int i = 0; i < record->count; ++i) {
        if (labelled(i))
            painter->drawText(QRectF(float(i) * w, half, w, half), Qt::AlignCenter,
                              numberText(std::floor(0.5f + record->values[size_t(i)])));
    }
    painter->setClipping(false);
    painter->drawText(QRectF(plotWidth + 8, half, 20, half), Qt::AlignLeft | Qt::AlignVCenter, "kts");

    setArrowStyle(painter, arrow);
    for (int i = 0; i < record->count; ++i) {
        if (!labelled(i))
            continue;
        const double u = record->aux1[size_t(i)];
        const double v = record->aux2[size_t(i)];
        // Screen y grows downwards, so the negated angle points downwind.
        const double degrees = -(std::atan2(v, u) - std::atan2(0.0, 1.0)) * kDegreesPerRadian;
        drawArrow(painter, (float(i) + 0.5f) * w, quarter, float(degrees));
    }
    painter->restore();
}

void WeatherMeteogram::drawSwellMeteogram(QPainter* painter, int top, int height, Meteogram* record, QColor text,
                                          QColor arrow)
{
    beginSymbolBand(painter, top, height, text);
    const float third = float(height) * 0.33333334f;
    const float sixth = float(height) * 0.16666667f;
    const float twoThirds = float(height) * 0.6666667f;
    const float w = columnWidth();
    fillCells(painter, record, helper->colorScale(mtWave), third, third);
    for (int i = 0; i < record->count; ++i) {
        if (!labelled(i))
            continue;
        const float x = float(i) * w;
        painter->drawText(QRectF(x, third, w, third), Qt::AlignCenter,
                          numberText(std::floor(0.5f + record->values[size_t(i)])));
        painter->drawText(QRectF(x, twoThirds, w, third), Qt::AlignCenter,
                          numberText(std::floor(0.5f + record->aux2[size_t(i)])));
    }
    painter->setClipping(false);
    painter->drawText(QRectF(plotWidth + 8, third, 20, third), Qt::AlignLeft | Qt::AlignVCenter, "m");
    painter->drawText(QRectF(plotWidth + 8, twoThirds, 20, third), Qt::AlignLeft | Qt::AlignVCenter, "sec");

    setArrowStyle(painter, arrow);
    for (int i = 0; i < record->count; ++i) {
        if (!labelled(i) || record->values[size_t(i)] <= 0.0f)
            continue;
        // The direction is where the waves come from; the arrow shows
        // where they travel.
        drawArrow(painter, (float(i) + 0.5f) * w, sixth, 90.0f + record->aux1[size_t(i)]);
    }
    painter->restore();
}
