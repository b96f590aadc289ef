// The addresses of one run of an open-data source: the inventory whose
// presence marks the run complete, NOMADS' filter query for a step cut to
// an area, and ECMWF's step files with their indexes.
#ifndef SKYVANE_OPENDATAURLS_H
#define SKYVANE_OPENDATAURLS_H

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "OpenDataSources.h"
#include "ToviForecastParameters.h"

// An area as NOMADS' filter takes it, in millidegrees: latitudes within
// ±90°, left < right, longitudes within ±180° unless the area crosses the
// date line, then from 0 to 360° (and right up to left + 360°).
struct FilterArea {
    qint64 topMilli = 0;
    qint64 leftMilli = 0;
    qint64 rightMilli = 0;
    qint64 bottomMilli = 0;

    bool operator==(const FilterArea& other) const
    {
        return topMilli == other.topMilli && leftMilli == other.leftMilli && rightMilli == other.rightMilli &&
               bottomMilli == other.bottomMilli;
    }
    // "60_-10.5_5_40": top, left, right, bottom in degrees.
    QString text() const;
};

class OpenDataUrls {
public:
    // baseUrl: the service's root, with or without a closing "/".
    OpenDataUrls(const OpenDataSource& source, const QString& baseUrl, const QDateTime& runUtc);

    // The last step's inventory; its presence means the run is complete.
    QUrl probe() const;
    // NOMADS: the fields of these kinds at one step, cut to the area.
    QUrl filter(int hour, int kinds, const FilterArea& area) const;
    // ECMWF: a step's file and its index.
    QUrl grib(int hour) const;
    QUrl index(int hour) const;

    // The record's area widened outward to the grid and put in the form
    // NOMADS takes.
    static FilterArea filterArea(const ToviForecastParameters& request, int gridStepMilli);
    // Millidegrees as plain decimal degrees: "60", "-10.5", "359.75".
    static QString degrees(qint64 milli);
    // The names of the source's fields serving these kinds, in its order.
    static QStringList fieldNames(const OpenDataSource& source, int kinds);

private:
    QString filled(const char* pattern, int hour) const;
    QString stepPath(int hour) const;

    const OpenDataSource& source;
    QString base;
    QDateTime run;
};

#endif
