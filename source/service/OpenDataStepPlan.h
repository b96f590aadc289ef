// Which steps of which sources one request needs: the record's kinds split
// between the source it names and that source's companion, and its valid
// times mapped to the forecast hours a run publishes.
#ifndef SKYVANE_OPENDATASTEPPLAN_H
#define SKYVANE_OPENDATASTEPPLAN_H

#include <QDateTime>
#include <QString>
#include <QVector>

#include "OpenDataSources.h"
#include "ToviForecastParameters.h"

// The share of a request one source serves.
struct OpenDataPart {
    const OpenDataSource* source = nullptr;
    int kinds = 0;         // MeteoType bits
    QVector<int> hours;    // forecast hours, ascending; filled by mapTo()
};

class OpenDataStepPlan {
public:
    OpenDataStepPlan() = default;
    OpenDataStepPlan(const OpenDataSource& source, const ToviForecastParameters& request);

    // Empty while the request can be served.
    const QString& errorText() const { return error; }
    // The source's part first, then its companion's; a source asked for
    // nothing has none.
    const QVector<OpenDataPart>& parts() const { return shares; }

    // The hours of every part in this run; false, with errorText(), when
    // the run reaches none of the times asked for.
    bool mapTo(const QDateTime& runUtc, const QDateTime& nowUtc);

    // The hours of a run published at these steps that serve the request's
    // valid times: each time's hour since the run, or the nearest published
    // one after it; times before the run take its first step.
    static QVector<int> forecastHours(const QVector<int>& published, const ToviForecastParameters& request,
                                      const QDateTime& runUtc, const QDateTime& nowUtc);

private:
    QString label;
    QVector<OpenDataPart> shares;
    ToviForecastParameters record{};
    QString error;
};

#endif
