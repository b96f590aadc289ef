#include "OpenDataContent.h"

#include "OpenDataWeather.h"
#include "SyntheticAtmosphere.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kNorthMicro = 90000000;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return -floorDiv(-a, b);
}

bool toMicro(double degrees, double limit, qint64& micro)
{
    if (!std::isfinite(degrees) || std::fabs(degrees) > limit)
        return false;
    micro = std::llround(degrees * 1e6);
    return true;
}

// The period of the message a field of a step holds; false when the step
// has no such message (GFS publishes no precipitation at 0 h).
bool messageTime(OpenDataFeed feed, Quantity quantity, const QDateTime& run, int step, MessageTime& time)
{
    time.run = run;
    time.endHour = step;
    time.accumulated = quantity == Quantity::Precipitation;
    if (!time.accumulated)
        return true;
    // NOMADS: the GFS bucket; ECMWF: from the start of the run.
    time.startHour = isNomads(feed) ? gfsBucketStart(step) : 0;
    return !isNomads(feed) || step > 0;
}

QString cacheKey(OpenDataFeed feed, const QDateTime& run, int step, const QVector<int>& fields,
                 const QuarterDegreeBlock& block)
{
    QString key = QStringLiteral("%1/%2/%3/%4,%5,%6,%7/")
                      .arg(int(feed))
                      .arg(run.toString(QStringLiteral("yyyyMMddHH")))
                      .arg(step)
                      .arg(block.firstRow)
                      .arg(block.rows)
                      .arg(block.firstColumn)
                      .arg(block.columns);
    for (int field : fields)
        key += QString::number(field) + QLatin1Char(' ');
    return key;
}

QByteArray stepText(const MessageTime& time)
{
    if (time.endHour == 0 && !time.accumulated)
        return "anl";
    if (time.accumulated)
        return QByteArray::number(time.startHour) + '-' + QByteArray::number(time.endHour) + " hour acc fcst";
    return QByteArray::number(time.endHour) + " hour fcst";
}

}  // namespace

bool blockOfArea(double top, double left, double right, double bottom, QuarterDegreeBlock& block,
                 QString& error)
{
    qint64 topMicro = 0, bottomMicro = 0, leftMicro = 0, rightMicro = 0;
    if (!toMicro(top, 90, topMicro) || !toMicro(bottom, 90, bottomMicro) || !toMicro(left, 360, leftMicro) ||
        !toMicro(right, 720, rightMicro) || left < -180 || right < left) {
        error = QStringLiteral("bad subregion");
        return false;
    }
    const qint64 step = QuarterDegreeBlock::kStepMicro;
    const qint64 firstRow = ceilDiv(kNorthMicro - topMicro, step);
    const qint64 lastRow = floorDiv(kNorthMicro - bottomMicro, step);
    const qint64 firstColumn = ceilDiv(leftMicro, step);
    const qint64 lastColumn = floorDiv(rightMicro, step);
    if (lastRow < firstRow || lastColumn < firstColumn) {
        error = QStringLiteral("the subregion holds no grid point");
        return false;
    }
    block.firstRow = int(firstRow);
    block.rows = int(lastRow - firstRow + 1);
    block.firstColumn = int(((firstColumn % QuarterDegreeBlock::kColumns) + QuarterDegreeBlock::kColumns) %
                            QuarterDegreeBlock::kColumns);
    block.columns = int(std::min<qint64>(lastColumn - firstColumn + 1, QuarterDegreeBlock::kColumns));
    return true;
}

OpenDataContent::OpenDataContent(const LandMask& mask) : landMask(mask)
{
    cache.setMaxCost(kCacheBytes / 1024);
}

bool OpenDataContent::appendField(OpenDataFeed feed, int field, const QDateTime& run, int step,
                                  const QuarterDegreeBlock& block, OpenDataWeather& weather, StepFile& file,
                                  QString& error)
{
    const FeedField& f = feedFields(feed).at(field);
    MessageTime time;
    if (!messageTime(feed, f.quantity, run, step, time))
        return true;
    const double runHours = SyntheticAtmosphere::hoursOf(run);
    std::vector<float> values;
    if (f.quantity == Quantity::Precipitation && !isNomads(feed)) {
        values = totalSinceRun(cacheKey(feed, run, 0, {}, block), run, step, weather);
        for (float& v : values)
            v *= 0.001f;  // ECMWF gives metres
    } else {
        values = weather.values(f.quantity, runHours + time.startHour, runHours + step);
    }
    const qint64 offset = file.bytes.size();
    if (!appendOpenDataMessage(feed, f, block, time, values, weather.land(), file.bytes, error))
        return false;
    file.entries.append({field, offset, file.bytes.size() - offset});
    return true;
}

std::vector<float> OpenDataContent::totalSinceRun(const QString& runBlock, const QDateTime& run, int step,
                                                 OpenDataWeather& weather)
{
    constexpr int kPartHours = 3;
    const double runHours = SyntheticAtmosphere::hoursOf(run);
    if (runningTotal.runBlock != runBlock || runningTotal.step > step)
        runningTotal = {runBlock, 0, std::vector<float>(weather.land().size(), 0.0f), weather.rainRate(runHours)};
    for (int from = runningTotal.step; from < step; from += kPartHours) {
        const int to = std::min(step, from + kPartHours);
        std::vector<float> rate = weather.rainRate(runHours + to);
        for (size_t k = 0; k < rate.size(); ++k)
            runningTotal.mm[k] += 0.5f * (runningTotal.rate[k] + rate[k]) * float(to - from);
        runningTotal.rate.swap(rate);
    }
    runningTotal.step = step;
    return runningTotal.mm;
}

StepFilePtr OpenDataContent::stepFile(OpenDataFeed feed, const QDateTime& run, int step,
                                      const QVector<int>& fields, const QuarterDegreeBlock& block,
                                      QString& error)
{
    const QString key = cacheKey(feed, run, step, fields, block);
    if (StepFilePtr* cached = cache.object(key))
        return *cached;
    auto file = std::make_shared<StepFile>();
    OpenDataWeather weather(block.forecastGrid(), landMask);
    for (int field : fields)
        if (!appendField(feed, field, run, step, block, weather, *file, error))
            return nullptr;
    StepFilePtr result = file;
    cache.insert(key, new StepFilePtr(result), std::max<qint64>(1, file->bytes.size() / 1024));
    return result;
}

QByteArray OpenDataContent::ecmwfIndex(OpenDataFeed feed, const QDateTime& run, int step, const StepFile& file)
{
    const QByteArray stream = feed == OpenDataFeed::EcmwfWave ? "wave" : "oper";
    QByteArray index;
    for (const StepFile::Entry& e : file.entries) {
        index += "{\"domain\": \"g\", \"date\": \"" + run.toString(QStringLiteral("yyyyMMdd")).toLatin1() +
                 "\", \"time\": \"" + run.toString(QStringLiteral("HHmm")).toLatin1() +
                 "\", \"expver\": \"0001\", \"class\": \"od\", \"type\": \"fc\", \"stream\": \"" + stream +
                 "\", \"step\": \"" + QByteArray::number(step) + "\", \"levtype\": \"sfc\", \"param\": \"" +
                 feedFields(feed).at(e.field).name + "\", \"_offset\": " + QByteArray::number(e.offset) +
                 ", \"_length\": " + QByteArray::number(e.length) + "}\n";
    }
    return index;
}

QByteArray OpenDataContent::nomadsInventory(OpenDataFeed feed, const QDateTime& run, int step, const StepFile& file)
{
    QByteArray inventory;
    int record = 0;
    for (const StepFile::Entry& e : file.entries) {
        const FeedField& f = feedFields(feed).at(e.field);
        MessageTime time;
        messageTime(feed, f.quantity, run, step, time);
        inventory += QByteArray::number(++record) + ':' + QByteArray::number(e.offset) + ":d=" +
                     run.toString(QStringLiteral("yyyyMMddHH")).toLatin1() + ':' + f.name + ':' +
                     QByteArray(f.level).replace('_', ' ') + ':' + stepText(time) + ":\n";
    }
    return inventory;
}
