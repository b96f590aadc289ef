// Turns a forecast request into a GRIB edition 1 file.
//
// The file holds stepsNumber time steps, timeStep hours apart (10 means ten
// minutes), from the reference date + forecastDay days at forecastTime UTC,
// each step with the same messages in this order (table version 2, centre
// 131; level type / level / parameter):
//   wind            u and v at 10 m (105/10/33, 105/10/34), m/s
//   pressure        mean sea level (102/0/2), Pa
//   precipitation   total (1/0/61), mm, accumulated since the step before
//                   (time range 4); missing from the first step unless it
//                   is the only field asked for, when it covers the
//                   interval before that step
//   temperature     2 m (105/2/11), K
//   wave            wind-wave height (1/0/102), wind-wave direction
//                   (1/0/101, degrees the waves come from), period
//                   (1/0/108, s), swell height (1/1/100, m), swell
//                   direction (1/1/101, degrees the swell comes from)
//   SST             sea surface (1/0/11), K
//   tidal           current speed (1/0/48, m/s) and direction (1/0/47,
//                   degrees the stream runs towards)
//   precip rate     (1/0/59) in mm/hr, as the viewer reads it
// Waves, SST and tidal stream carry a bitmap that leaves land out.
//
// Times: every message refers to the first step's time; instantaneous
// fields give their offset in P1 (time range 0, or 10 with a 16-bit P1 past
// 255), in hours, or in minutes for ten-minute steps.  An accumulation
// whose end lies beyond 255 units, or the one before the first step,
// states its interval from its own start instead: the reference time is
// the start of the interval, P1 = 0 and P2 the interval's length.
//
// Grid: the request rectangle clipped to the data set's coverage and
// widened to whole grid steps (ForecastGrid), rows north to south; a grid
// crossing 180° keeps lon1 below 180° and lets the last longitude pass it.
//
// Real data (setRealDataDirectory): the GRIB1 files of the directory
// (*.grb, *.grib, *.grb1, *.grib1) are catalogued once, with every message's
// key, grid and valid time.  For each requested field, the first file in
// name order whose messages of all that field's keys lie on one north-to-
// south lat/lon grid containing the clipped area provides it: its valid
// times in file order, each with all the keys, make its steps.  The first
// such field (precipitation only when it is alone) sets the file's steps:
// its first stepsNumber valid times.  Another field keeps its real data
// only when it has each of those times (precipitation may miss the first);
// otherwise, like every field no file covers, it is computed on the data
// set's grid at those times.  Real fields are cut from their source grid
// (the source points enclosing the area, at the source's step) and
// re-encoded; their values and valid times are kept.
#ifndef SKYVANE_FORECASTBUILDER_H
#define SKYVANE_FORECASTBUILDER_H

#include "ForecastRequest.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <memory>

class LandMask;
class RealForecastCutter;

class ForecastBuilder {
public:
    // referenceDateUtc: the UTC date forecastDay 0 means.
    explicit ForecastBuilder(QDate referenceDateUtc);
    ~ForecastBuilder();
    ForecastBuilder(const ForecastBuilder&);
    ForecastBuilder& operator=(const ForecastBuilder&);

    QDate referenceDate() const { return dateUtc; }
    // The same builder for another date; it shares the loaded land mask
    // and real-data catalogue.
    ForecastBuilder withReferenceDate(QDate referenceDateUtc) const;

    // Loads the land-mask images Skyvane.00 and Skyvane.01 from dir.  False
    // with the reason (the built-in coastline stays in use) when they are
    // missing or unreadable.
    bool setLandMaskDirectory(const QString& dir, QString* error = nullptr);
    // Catalogues the real GRIB1 files of dir; returns how many hold at
    // least one readable message.
    int setRealDataDirectory(const QString& dir);

    static constexpr qint64 kMaxGribBytes = 50 * 1024 * 1024;

    // Fills grib with a complete GRIB1 file.  False with a one-line reason
    // for a request that is invalid or whose answer would exceed
    // kMaxGribBytes (estimated before anything is computed).  Safe to call
    // from several threads at once; the same request always gives the
    // same octets.
    bool build(const ForecastRequest& request, QByteArray& grib, QString& error) const;

private:
    QDate dateUtc;
    std::shared_ptr<const LandMask> landMask;
    std::shared_ptr<const RealForecastCutter> realData;
};

// zlib (RFC 1950) compression of a payload, for the DIME attachment.
QByteArray compressPayload(const QByteArray& data);

#endif
