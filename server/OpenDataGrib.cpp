#include "OpenDataGrib.h"

#include <eccodes.h>

#include <cstring>
#include <memory>

namespace {

constexpr double kMissing = 9999.0;
constexpr long kBitsPerValue = 16;
constexpr long kNcepCentre = 7;
constexpr long kGfsProcess = 96;
constexpr long kGfsWaveProcess = 11;
constexpr long kEcmwfCentre = 98;

struct HandleDeleter {
    void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// Sets keys one after the other; the first failure is kept with its key and
// the rest are skipped.
class Keys {
public:
    explicit Keys(codes_handle* handle) : h(handle) {}
    void set(const char* key, long value) { check(key, ok() ? codes_set_long(h, key, value) : 0); }
    void set(const char* key, const char* value)
    {
        size_t length = std::strlen(value);
        check(key, ok() ? codes_set_string(h, key, value, &length) : 0);
    }
    void setDouble(const char* key, double value) { check(key, ok() ? codes_set_double(h, key, value) : 0); }
    void setMissing(const char* key) { check(key, ok() ? codes_set_missing(h, key) : 0); }
    void setValues(const std::vector<double>& values)
    {
        check("values", ok() ? codes_set_double_array(h, "values", values.data(), values.size()) : 0);
    }
    bool ok() const { return error.isEmpty(); }
    QString error;

private:
    void check(const char* key, int err)
    {
        if (err != 0 && ok())
            error = QStringLiteral("ecCodes: setting %1: %2").arg(QLatin1String(key), QLatin1String(codes_get_error_message(err)));
    }
    codes_handle* h;
};

void setGrid(Keys& keys, const QuarterDegreeBlock& block)
{
    const long step = QuarterDegreeBlock::kStepMicro;
    const long lastColumn = (block.firstColumn + block.columns - 1) % QuarterDegreeBlock::kColumns;
    keys.set("Ni", long(block.columns));
    keys.set("Nj", long(block.rows));
    keys.set("latitudeOfFirstGridPoint", 90000000L - block.firstRow * step);
    keys.set("longitudeOfFirstGridPoint", block.firstColumn * step);
    keys.set("latitudeOfLastGridPoint", 90000000L - (block.firstRow + block.rows - 1) * step);
    keys.set("longitudeOfLastGridPoint", lastColumn * step);
    keys.set("iDirectionIncrement", step);
    keys.set("jDirectionIncrement", step);
    keys.set("scanningMode", 0L);  // west to east, north to south
    keys.set("shapeOfTheEarth", 6L);
}

void setRun(Keys& keys, const QDateTime& run)
{
    const QDate d = run.date();
    keys.set("dataDate", long(d.year()) * 10000L + d.month() * 100L + d.day());
    keys.set("dataTime", long(run.time().hour()) * 100L);
    keys.set("significanceOfReferenceTime", 1L);
    keys.set("productionStatusOfProcessedData", 0L);
    keys.set("typeOfProcessedData", 1L);  // forecast
}

void setTime(Keys& keys, const MessageTime& time)
{
    keys.set("typeOfGeneratingProcess", 2L);  // forecast
    keys.set("indicatorOfUnitOfTimeRange", 1L);
    if (time.accumulated) {
        keys.set("typeOfStatisticalProcessing", 1L);
        keys.set("typeOfTimeIncrement", 2L);
        keys.set("startStep", long(time.startHour));
        keys.set("endStep", long(time.endHour));
    } else {
        keys.set("forecastTime", long(time.endHour));
    }
}

void setNomadsField(Keys& keys, OpenDataFeed feed, const FeedField& field, bool accumulated)
{
    keys.set("centre", kNcepCentre);
    keys.set("subCentre", 0L);
    keys.set("tablesVersion", 2L);
    keys.set("productDefinitionTemplateNumber", accumulated ? 8L : 0L);
    keys.set("discipline", field.discipline);
    keys.set("parameterCategory", field.category);
    keys.set("parameterNumber", field.number);
    keys.set("generatingProcessIdentifier", feed == OpenDataFeed::Gfs ? kGfsProcess : kGfsWaveProcess);
    keys.set("typeOfFirstFixedSurface", field.surfaceType);
    if (field.surfaceValue < 0) {
        keys.setMissing("scaleFactorOfFirstFixedSurface");
        keys.setMissing("scaledValueOfFirstFixedSurface");
    } else {
        keys.set("scaleFactorOfFirstFixedSurface", 0L);
        keys.set("scaledValueOfFirstFixedSurface", field.surfaceValue);
    }
}

void setEcmwfField(Keys& keys, const FeedField& field, bool accumulated)
{
    keys.set("centre", kEcmwfCentre);
    keys.set("productDefinitionTemplateNumber", accumulated ? 8L : 0L);
    keys.set("shortName", field.name);
}

// The values with land points set missing for a sea-only field.
std::vector<double> packedValues(const FeedField& field, const std::vector<float>& values,
                                 const std::vector<unsigned char>& land)
{
    std::vector<double> out(values.begin(), values.end());
    if (field.seaOnly)
        for (size_t k = 0; k < out.size() && k < land.size(); ++k)
            if (land[k])
                out[k] = kMissing;
    return out;
}

}  // namespace

ForecastGrid QuarterDegreeBlock::forecastGrid() const
{
    ForecastGrid grid;
    grid.ni = columns;
    grid.nj = rows;
    grid.di = grid.dj = kStepMicro / 1000;
    grid.lat1 = 90000 - firstRow * grid.dj;
    grid.lon1 = ForecastGrid::foldLongitude(qint64(firstColumn) * grid.di);
    return grid;
}

bool appendOpenDataMessage(OpenDataFeed feed, const FeedField& field, const QuarterDegreeBlock& block,
                           const MessageTime& time, const std::vector<float>& values,
                           const std::vector<unsigned char>& land, QByteArray& out, QString& error)
{
    Handle h(codes_grib_handle_new_from_samples(nullptr, "GRIB2"));
    if (!h) {
        error = QStringLiteral("ecCodes: no GRIB2 sample");
        return false;
    }
    Keys keys(h.get());
    if (isNomads(feed))
        setNomadsField(keys, feed, field, time.accumulated);
    else
        setEcmwfField(keys, field, time.accumulated);
    setRun(keys, time.run);
    setTime(keys, time);
    setGrid(keys, block);
    keys.set("packingType", "grid_simple");
    keys.set("bitsPerValue", kBitsPerValue);
    if (field.seaOnly) {
        keys.set("bitmapPresent", 1L);
        keys.setDouble("missingValue", kMissing);
    }
    keys.setValues(packedValues(field, values, land));
    const void* message = nullptr;
    size_t length = 0;
    if (keys.ok() && codes_get_message(h.get(), &message, &length) != 0)
        keys.error = QStringLiteral("ecCodes: no message");
    if (!keys.ok()) {
        error = keys.error;
        return false;
    }
    out.append(static_cast<const char*>(message), qsizetype(length));
    return true;
}
