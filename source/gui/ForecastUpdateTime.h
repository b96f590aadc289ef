// When each forecast data set was last updated, as the data-set button's
// tool tip tells it: the two daily update hours of each data set and the
// text in local time.
#ifndef SKYVANE_FORECASTUPDATETIME_H
#define SKYVANE_FORECASTUPDATETIME_H

#include <QDateTime>
#include <QString>

class ForecastUpdateTime {
public:
    // The latest update (UTC) of the data set at the UTC time nowUtc.
    static QDateTime latestUpdate(int resolution, const QDateTime& nowUtc);
    // "HH:mm GMT+hh, dd-MM-yyyy" in local time.
    static QString localText(const QDateTime& updateUtc);
    // The whole tool tip of the data-set button.
    static QString toolTip(int resolution, const QDateTime& nowUtc);

private:
    // The two update hours A and B, in UTC; B may lie past midnight.
    static void updateHours(int resolution, int hourNow, int& first, int& second);
};

#endif
