// What the stand-in open-data services publish: the four feeds (GFS and
// GFS-Wave on NOMADS, IFS and its wave model on ECMWF's open data), their
// runs and steps, the fields of each with the codes they are written with,
// and which runs are out.
#ifndef SKYVANE_OPENDATACATALOGUE_H
#define SKYVANE_OPENDATACATALOGUE_H

#include <QDateTime>
#include <QString>
#include <QVector>

enum class OpenDataFeed { Gfs, GfsWave, Ecmwf, EcmwfWave };

// The weather a field holds, as OpenDataWeather works it out.
enum class Quantity {
    WindU, WindV, Pressure, Temperature, Precipitation,
    WaveHeight, WindWaveHeight, WindWaveDirection, WindWavePeriod,
    SwellHeight, SwellDirection, SwellPeriod, MeanWavePeriod, MeanWaveDirection
};

struct FeedField {
    const char* name;   // NOMADS variable or ECMWF shortName
    const char* level;  // NOMADS level; empty for ECMWF
    Quantity quantity;
    // Edition 2 codes; ECMWF's fields are set by shortName instead.
    long discipline, category, number;
    long surfaceType, surfaceValue;
    bool seaOnly;       // land points left out through a bitmap
};

// Every field of a feed, in the order its files hold them.
const QVector<FeedField>& feedFields(OpenDataFeed feed);
bool isNomads(OpenDataFeed feed);
bool isWave(OpenDataFeed feed);

// The forecast hours of one run.
QVector<int> feedSteps(OpenDataFeed feed);
bool isFeedStep(OpenDataFeed feed, int hour);
int lastFeedStep(OpenDataFeed feed);
bool isFeedRunHour(OpenDataFeed feed, int hour);

// GFS's precipitation buckets: 6-hour buckets from 0, 6, 12… h; the start
// of the one ending at a step.
int gfsBucketStart(int stepHours);

// Which runs are out: every run up to the newest complete one (ten days
// back, as NOMADS keeps them) in full; with a partial run, the next one's
// steps up to 24 h.
class RunPublication {
public:
    static constexpr int kPartialLastHour = 24;
    static constexpr int kDaysKept = 10;

    RunPublication(const QDateTime& newestUtc, bool partialNext);

    // The newest run hour at least 6 h before now.
    static QDateTime defaultNewestRun(const QDateTime& nowUtc);

    QDateTime newestComplete(OpenDataFeed feed) const;
    bool published(OpenDataFeed feed, const QDateTime& runUtc, int stepHours) const;

private:
    QDateTime newest;
    bool partial;
};

// "2026120706" read as a run time; invalid when malformed.
QDateTime parseRunTime(const QString& text);

#endif
