#include "OpenDataCatalogue.h"

#include <algorithm>

namespace {

constexpr long kGround = 1;
constexpr long kMeanSeaLevel = 101;
constexpr long kAboveGround = 103;
constexpr long kOrderedSequence = 241;  // GFS-Wave's swell partitions
constexpr long kNoValue = -1;

const QVector<FeedField> kGfsFields = {
    {"PRMSL", "mean_sea_level", Quantity::Pressure, 0, 3, 1, kMeanSeaLevel, kNoValue, false},
    {"TMP", "2_m_above_ground", Quantity::Temperature, 0, 0, 0, kAboveGround, 2, false},
    {"UGRD", "10_m_above_ground", Quantity::WindU, 0, 2, 2, kAboveGround, 10, false},
    {"VGRD", "10_m_above_ground", Quantity::WindV, 0, 2, 3, kAboveGround, 10, false},
    {"APCP", "surface", Quantity::Precipitation, 0, 1, 8, kGround, kNoValue, false},
};

const QVector<FeedField> kGfsWaveFields = {
    {"HTSGW", "surface", Quantity::WaveHeight, 10, 0, 3, kGround, kNoValue, true},
    {"WVHGT", "surface", Quantity::WindWaveHeight, 10, 0, 5, kGround, kNoValue, true},
    {"SWELL", "1_in_sequence", Quantity::SwellHeight, 10, 0, 8, kOrderedSequence, 1, true},
    {"WVPER", "surface", Quantity::WindWavePeriod, 10, 0, 6, kGround, kNoValue, true},
    {"SWPER", "1_in_sequence", Quantity::SwellPeriod, 10, 0, 9, kOrderedSequence, 1, true},
    {"PERPW", "surface", Quantity::MeanWavePeriod, 10, 0, 11, kGround, kNoValue, true},
    {"WVDIR", "surface", Quantity::WindWaveDirection, 10, 0, 4, kGround, kNoValue, true},
    {"SWDIR", "1_in_sequence", Quantity::SwellDirection, 10, 0, 7, kOrderedSequence, 1, true},
};

const QVector<FeedField> kEcmwfFields = {
    {"10u", "", Quantity::WindU, 0, 0, 0, 0, 0, false},
    {"10v", "", Quantity::WindV, 0, 0, 0, 0, 0, false},
    {"msl", "", Quantity::Pressure, 0, 0, 0, 0, 0, false},
    {"2t", "", Quantity::Temperature, 0, 0, 0, 0, 0, false},
    {"tp", "", Quantity::Precipitation, 0, 0, 0, 0, 0, false},
};

const QVector<FeedField> kEcmwfWaveFields = {
    {"swh", "", Quantity::WaveHeight, 0, 0, 0, 0, 0, true},
    {"mwp", "", Quantity::MeanWavePeriod, 0, 0, 0, 0, 0, true},
    {"mwd", "", Quantity::MeanWaveDirection, 0, 0, 0, 0, 0, true},
};

int runSpacingHours(OpenDataFeed feed)
{
    return isNomads(feed) ? 6 : 12;
}

}  // namespace

const QVector<FeedField>& feedFields(OpenDataFeed feed)
{
    switch (feed) {
    case OpenDataFeed::Gfs:
        return kGfsFields;
    case OpenDataFeed::GfsWave:
        return kGfsWaveFields;
    case OpenDataFeed::Ecmwf:
        return kEcmwfFields;
    case OpenDataFeed::EcmwfWave:
        break;
    }
    return kEcmwfWaveFields;
}

bool isNomads(OpenDataFeed feed)
{
    return feed == OpenDataFeed::Gfs || feed == OpenDataFeed::GfsWave;
}

bool isWave(OpenDataFeed feed)
{
    return feed == OpenDataFeed::GfsWave || feed == OpenDataFeed::EcmwfWave;
}

QVector<int> feedSteps(OpenDataFeed feed)
{
    QVector<int> steps;
    if (isNomads(feed)) {
        for (int h = 0; h <= 120; ++h)
            steps.append(h);
        for (int h = 123; h <= 384; h += 3)
            steps.append(h);
    } else {
        for (int h = 0; h <= 144; h += 3)
            steps.append(h);
        for (int h = 150; h <= 240; h += 6)
            steps.append(h);
    }
    return steps;
}

bool isFeedStep(OpenDataFeed feed, int hour)
{
    const QVector<int> steps = feedSteps(feed);
    return std::binary_search(steps.begin(), steps.end(), hour);
}

int lastFeedStep(OpenDataFeed feed)
{
    return isNomads(feed) ? 384 : 240;
}

bool isFeedRunHour(OpenDataFeed feed, int hour)
{
    return hour >= 0 && hour < 24 && hour % runSpacingHours(feed) == 0;
}

int gfsBucketStart(int stepHours)
{
    return stepHours <= 0 ? 0 : (stepHours - 1) / 6 * 6;
}

RunPublication::RunPublication(const QDateTime& newestUtc, bool partialNext)
    : newest(newestUtc), partial(partialNext)
{
}

QDateTime RunPublication::defaultNewestRun(const QDateTime& nowUtc)
{
    const QDateTime before = nowUtc.toUTC().addSecs(-6 * 3600);
    return QDateTime(before.date(), QTime(before.time().hour() / 6 * 6, 0), Qt::UTC);
}

QDateTime RunPublication::newestComplete(OpenDataFeed feed) const
{
    const int spacing = runSpacingHours(feed);
    return QDateTime(newest.date(), QTime(newest.time().hour() / spacing * spacing, 0), Qt::UTC);
}

bool RunPublication::published(OpenDataFeed feed, const QDateTime& runUtc, int stepHours) const
{
    if (!runUtc.isValid() || !isFeedRunHour(feed, runUtc.time().hour()) || runUtc.time().minute() != 0 ||
        !isFeedStep(feed, stepHours))
        return false;
    const QDateTime complete = newestComplete(feed);
    if (runUtc <= complete)
        return runUtc >= complete.addDays(-kDaysKept);
    const bool isNext = runUtc == complete.addSecs(runSpacingHours(feed) * 3600);
    return partial && isNext && stepHours <= kPartialLastHour;
}

QDateTime parseRunTime(const QString& text)
{
    if (text.size() != 10)
        return QDateTime();
    const QDate date = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
    bool ok = false;
    const int hour = text.mid(8).toInt(&ok);
    if (!date.isValid() || !ok || hour < 0 || hour > 23)
        return QDateTime();
    return QDateTime(date, QTime(hour, 0), Qt::UTC);
}
