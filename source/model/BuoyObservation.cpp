#include "BuoyObservation.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

constexpr float kFahrenheitToCelsius = 0.5555556f;
constexpr float kInchesOfMercuryToHectopascal = 33.864f;
constexpr float kFeetToMetres = 0.3048f;

// The source writes month/day/year and hhmm.
const QRegularExpression& datePattern()
{
    static const QRegularExpression pattern(QStringLiteral("(\\d{2})/(\\d{2})/(\\d{4}) (\\d{2})(\\d{2}) UTC"));
    return pattern;
}

// "Name: [compass (degrees&#176;)] ... number unit " -- every cleaned line
// ends in a space.
const QRegularExpression& itemPattern()
{
    static const QRegularExpression pattern(QStringLiteral(
        R"re(([A-Za-z\(\) ]+): ?(([SENW]+) \((([+-]?[0-9]+)&#176;)\))?(.*) ([+-]?[0-9]+\.?[0-9]*) ((&#176;)?([A-Za-z]+))( )+(.*))re"));
    return pattern;
}

float numberOf(const QString& text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok && std::isfinite(value) ? value : 0.0f;
}

// Half away from zero: a temperature of -5.0 shows -5, not -4.  Formatted
// without a conversion to int (any float may arrive) and without "-0".
QString rounded(float value)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    const float magnitude = std::trunc(std::fabs(value) + 0.5f);
    const double whole = value < 0.0f ? -double(magnitude) : double(magnitude);
    return QString::number(whole + 0.0, 'f', 0);
}

QString oneDecimal(float value)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    const QString text = QString::number(double(value), 'f', 1);
    return text == QLatin1String("-0.0") ? QStringLiteral("0.0") : text;
}

QString celsius(float fahrenheit)
{
    return rounded((fahrenheit - 32.0f) * kFahrenheitToCelsius);
}

void readItem(const QRegularExpressionMatch& item, BuoyObservation& observation)
{
    const QString name = item.captured(1);
    const float v = numberOf(item.captured(7));
    const QString degrees = QString::number(item.captured(5).toInt());
    if (name == u"Air Temperature") {
        observation.temperature = celsius(v);
    } else if (name == u"Winds") {
        observation.wind = rounded(v);
        observation.windDirection = degrees;
    } else if (name == u"Atmospheric Pressure") {
        observation.pressure = rounded(v * kInchesOfMercuryToHectopascal);
    } else if (name == u"Water Temperature") {
        observation.sst = celsius(v);
    } else if (name == u"Significant Wave Height") {
        observation.waveHeight = oneDecimal(v * kFeetToMetres);
    } else if (name == u"Dominant Wave period") {
        observation.wavePeriod = rounded(v);
    } else if (name == u"Mean Wave Direction") {
        observation.waveDirection = degrees;
    } else if (name == u"Tide (above MLLW)") {
        observation.tide = oneDecimal(v * kFeetToMetres);
    }
}

}  // namespace

BuoyObservation BuoyObservation::fromDescription(const QString& description)
{
    BuoyObservation observation;
    if (description.contains(QLatin1String("No recent data"))) {
        observation.date = QStringLiteral("No recent data");
        return observation;
    }
    const QRegularExpressionMatch date = datePattern().match(description);
    if (!date.hasMatch())
        return observation;
    observation.date = date.captured(2) + u'.' + date.captured(1) + u'.' + date.captured(3) + u' ' +
                       date.captured(4) + u':' + date.captured(5) + QStringLiteral(" UTC");
    const QStringList lines = description.mid(date.capturedEnd()).split(u'\n');
    for (const QString& line : lines) {
        const QRegularExpressionMatch item = itemPattern().match(line);
        if (item.hasMatch())
            readItem(item, observation);
    }
    return observation;
}
