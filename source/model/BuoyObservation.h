// A buoy's latest observation as the buoy dialog shows it, read from the
// cleaned description of its placemark: the source's degrees Fahrenheit,
// inches of mercury and feet become degrees Celsius, hectopascals and
// metres.
#ifndef SKYVANE_BUOYOBSERVATION_H
#define SKYVANE_BUOYOBSERVATION_H

#include <QString>

struct BuoyObservation {
    // "No data available" without a recognisable date, "No recent data"
    // when the station says so, else "dd.MM.yyyy hh:mm UTC".
    QString date = QStringLiteral("No data available");
    // Display texts; "-" for what the description does not report.
    QString wind = QStringLiteral("-");           // knots
    QString windDirection = QStringLiteral("-");  // degrees
    QString temperature = QStringLiteral("-");    // degrees Celsius, air
    QString pressure = QStringLiteral("-");       // hectopascals
    QString sst = QStringLiteral("-");            // degrees Celsius, sea
    QString waveHeight = QStringLiteral("-");     // metres
    QString wavePeriod = QStringLiteral("-");     // seconds
    QString waveDirection = QStringLiteral("-");  // degrees
    QString tide = QStringLiteral("-");           // metres above MLLW

    static BuoyObservation fromDescription(const QString& description);
};

#endif
