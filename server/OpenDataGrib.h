// GRIB edition 2 messages of the open-data feeds, written with ecCodes:
// one field on a block of the global 0.25° grid, identified as NOMADS
// (centre 7, the codes of the feed's table) or ECMWF (centre 98, by
// ecCodes' shortName) writes it, simple packing.
#ifndef SKYVANE_OPENDATAGRIB_H
#define SKYVANE_OPENDATAGRIB_H

#include "ForecastGrid.h"
#include "OpenDataCatalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

// Rows of the global 0.25° grid run from 90° N (row 0) to 90° S (row 720),
// columns from 0° E (column 0) eastwards to 359.75° E (1439).  A block
// starts at a row and a column in [0, 1440) and may wrap past 359.75°.
struct QuarterDegreeBlock {
    static constexpr int kRows = 721;
    static constexpr int kColumns = 1440;
    static constexpr int kStepMicro = 250000;

    int firstRow = 0;
    int rows = kRows;
    int firstColumn = 0;
    int columns = kColumns;

    ForecastGrid forecastGrid() const;
    qint64 pointCount() const { return qint64(rows) * columns; }
};

struct MessageTime {
    QDateTime run;
    int startHour = 0;  // accumulations: the start of the period
    int endHour = 0;    // the step
    bool accumulated = false;
};

// One message, appended to out; false with ecCodes' reason.
bool appendOpenDataMessage(OpenDataFeed feed, const FeedField& field, const QuarterDegreeBlock& block,
                           const MessageTime& time, const std::vector<float>& values,
                           const std::vector<unsigned char>& land, QByteArray& out, QString& error);

#endif
