// The files the stand-in open-data services answer with, made on demand
// from the synthetic atmosphere and kept in a cache bounded in bytes: a
// NOMADS filter answer (the chosen fields of a step cut to a block of the
// grid), an ECMWF step file (every field of the feed, global) and its
// .index, and the NOMADS inventory a run's completeness is probed by.
#ifndef SKYVANE_OPENDATACONTENT_H
#define SKYVANE_OPENDATACONTENT_H

#include "OpenDataCatalogue.h"
#include "OpenDataGrib.h"

#include <QByteArray>
#include <QCache>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

class LandMask;

struct StepFile {
    struct Entry {
        int field;  // index into feedFields
        qint64 offset;
        qint64 length;
    };
    QByteArray bytes;
    QVector<Entry> entries;
};
using StepFilePtr = std::shared_ptr<const StepFile>;

// The block of the global grid holding the points inside [bottom, top] ×
// [left, right] (degrees; right - left at most 360 counts once round).
// False with the reason for an area holding no point or out of range.
bool blockOfArea(double top, double left, double right, double bottom, QuarterDegreeBlock& block,
                 QString& error);

class OpenDataContent {
public:
    static constexpr qint64 kCacheBytes = 512LL * 1024 * 1024;

    explicit OpenDataContent(const LandMask& landMask);

    // The fields (indices into feedFields, in file order) of a step on a
    // block; a field the step lacks (GFS's precipitation at 0 h) is left
    // out.  Null with the reason when ecCodes fails.
    StepFilePtr stepFile(OpenDataFeed feed, const QDateTime& run, int step, const QVector<int>& fields,
                         const QuarterDegreeBlock& block, QString& error);

    // An ECMWF step file's index: one JSON line per field.
    static QByteArray ecmwfIndex(OpenDataFeed feed, const QDateTime& run, int step, const StepFile& file);
    // A NOMADS inventory of a whole step file: one "n:offset:d=…:VAR:level:…" line per field.
    static QByteArray nomadsInventory(OpenDataFeed feed, const QDateTime& run, int step, const StepFile& file);

private:
    bool appendField(OpenDataFeed feed, int field, const QDateTime& run, int step,
                     const QuarterDegreeBlock& block, class OpenDataWeather& weather, StepFile& file,
                     QString& error);

    // ECMWF's precipitation since the start of the run (mm): the rain rate
    // summed over 3-hour steps (trapezoids), carried on from the last total
    // made for the same run and block when that is not later than step.
    std::vector<float> totalSinceRun(const QString& runBlock, const QDateTime& run, int step,
                                     class OpenDataWeather& weather);

    struct RunningTotal {
        QString runBlock;
        int step = 0;
        std::vector<float> mm;
        std::vector<float> rate;  // mm/h at step
    };

    const LandMask& landMask;
    QCache<QString, StepFilePtr> cache;
    RunningTotal runningTotal;
};

#endif
