#include "Grib2Codec.h"

#include "GribFile.h"
#include "GribParameters.h"
#include "Grib2Sections.h"

#include <eccodes.h>

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <cmath>
#include <memory>

namespace Grib2Codec {

namespace {

constexpr long kMinuteUnit = 0;  // ecCodes' stepUnits for minutes
constexpr long kAccumulation = 1;  // code table 4.10

struct HandleDeleter {
    void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// Whether ecCodes has a definition of template number of this section:
// given one it does not define, it loses the memory of the handle it was
// making.
bool templateDefined(unsigned section, unsigned number)
{
    constexpr unsigned kFirstLocal = 32768;  // a centre's own templates, kept by centre
    const char* paths = codes_definition_path(nullptr);
    const QString name = QStringLiteral("template.%1.%2.def").arg(section).arg(number);
    for (const QString& dir : QString::fromLocal8Bit(paths ? paths : "").split(QLatin1Char(':'))) {
        if (dir.isEmpty())
            continue;
        if (QFileInfo::exists(QDir(dir).filePath(QStringLiteral("grib2/") + name)))
            return true;
        const QDir local(QDir(dir).filePath(QStringLiteral("grib2/local")));
        if (number < kFirstLocal)
            continue;
        for (const QString& centre : local.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (QFileInfo::exists(QDir(local.filePath(centre)).filePath(name)))
                return true;
        }
    }
    return false;
}

// Whether ecCodes defines every template an assembled field names.
bool templatesDefined(const Message& message)
{
    std::vector<Grib2Sections::TemplateNumber> numbers;
    if (!Grib2Sections::templateNumbers(message, numbers))
        return false;
    for (const Grib2Sections::TemplateNumber& t : numbers) {
        if (!templateDefined(t.section, t.number))
            return false;
    }
    return true;
}

Handle handleOf(const Message& message)
{
    if (!templatesDefined(message))
        return Handle();
    return Handle(codes_handle_new_from_message(nullptr, message.data(), message.size()));
}

bool isMissing(codes_handle* h, const char* key)
{
    int err = 0;  // ecCodes writes through the pointer unchecked
    return codes_is_missing(h, key, &err) == 1 && err == 0;
}

long longKey(codes_handle* h, const char* key, long fallback = -1)
{
    long v = 0;
    if (codes_get_long(h, key, &v) != 0 || isMissing(h, key))
        return fallback;
    return v;
}

double degreesKey(codes_handle* h, const char* key)
{
    double v = 0.0;
    return codes_get_double(h, key, &v) == 0 ? v : NAN;
}

std::string stringKey(codes_handle* h, const char* key)
{
    char text[128] = "";
    size_t length = sizeof text;
    return codes_get_string(h, key, text, &length) == 0 ? std::string(text) : std::string();
}

int milliOf(double degrees)
{
    return std::isfinite(degrees) && std::fabs(degrees) < 1.0e6 ? int(std::lround(degrees * 1000.0)) : 0;
}

double surfaceValueOf(codes_handle* h)
{
    const long scaled = longKey(h, "scaledValueOfFirstFixedSurface", 0);
    const long factor = longKey(h, "scaleFactorOfFirstFixedSurface", 0);
    return factor >= -20 && factor <= 20 ? double(scaled) * std::pow(10.0, -double(factor)) : NAN;
}

QDateTime referenceTime(codes_handle* h)
{
    const long date = longKey(h, "dataDate", 0);
    const long time = longKey(h, "dataTime", 0);
    const QDate day(int(date / 10000), int(date / 100 % 100), int(date % 100));
    return QDateTime(day, QTime(int(time / 100 % 100), int(time % 100)), Qt::UTC);
}

void readTimes(codes_handle* h, GribField& field)
{
    const QDateTime reference = referenceTime(h);
    codes_set_long(h, "stepUnits", kMinuteUnit);
    const long end = longKey(h, "endStep", 0);
    field.validTime = reference.addSecs(qint64(end) * 60);
    if (longKey(h, "typeOfStatisticalProcessing") == kAccumulation)
        field.periodStart = reference.addSecs(qint64(longKey(h, "startStep", 0)) * 60);
}

// The grid increments may be left out; the corners then give them.
int incrementMilli(codes_handle* h, const char* key, int first, int last, int count)
{
    const double stated = degreesKey(h, key);
    if (!isMissing(h, key) && std::isfinite(stated) && stated > 0)
        return milliOf(stated);
    return count > 1 ? std::abs(last - first) / (count - 1) : 0;
}

bool readGrid(codes_handle* h, const std::string& type, StoredGrid& grid)
{
    grid.ni = int(longKey(h, "Ni", 0));
    grid.nj = int(longKey(h, "Nj", 0));
    grid.lat1 = milliOf(degreesKey(h, "latitudeOfFirstGridPointInDegrees"));
    grid.lon1 = milliOf(degreesKey(h, "longitudeOfFirstGridPointInDegrees"));
    grid.lat2 = milliOf(degreesKey(h, "latitudeOfLastGridPointInDegrees"));
    grid.lon2 = milliOf(degreesKey(h, "longitudeOfLastGridPointInDegrees"));
    grid.iNegative = longKey(h, "iScansNegatively", 0) != 0;
    grid.jPositive = longKey(h, "jScansPositively", 0) != 0;
    grid.jConsecutive = longKey(h, "jPointsAreConsecutive", 0) != 0;
    grid.alternateRows = longKey(h, "alternativeRowScanning", 0) != 0;
    grid.di = incrementMilli(h, "iDirectionIncrementInDegrees", grid.lon1, grid.lon2, grid.ni);
    if (type == "regular_gg") {
        grid.gaussianN = int(longKey(h, "N", 0));
        grid.dj = grid.nj > 1 ? std::abs(grid.lat1 - grid.lat2) / (grid.nj - 1) : 0;
    } else {
        grid.dj = incrementMilli(h, "jDirectionIncrementInDegrees", grid.lat1, grid.lat2, grid.nj);
    }
    return grid.ni > 0 && grid.nj > 0 && grid.di > 0 && grid.dj > 0;
}

bool fail(GribField& field, const std::string& why)
{
    field.problem = why;
    field.drawable = false;
    return false;
}

bool valuesOf(codes_handle* h, size_t messageSize, std::vector<double>& values, std::string& error)
{
    values.clear();
    size_t count = 0;
    if (codes_get_size(h, "values", &count) != 0) {
        error = "ecCodes finds no values";
        return false;
    }
    if (!plausiblePointCount((long long)count, (long long)messageSize)) {
        error = "grid of " + std::to_string(count) + " points is too large for its message";
        return false;
    }
    codes_set_double(h, "missingValue", double(kGribMissingValue));
    values.resize(count);
    const int status = codes_get_double_array(h, "values", values.data(), &count);
    if (status != 0) {
        error = std::string("ecCodes cannot decode the values: ") + codes_get_error_message(status);
        values.clear();
        return false;
    }
    values.resize(count);
    return true;
}

}  // namespace

bool readHeader(const Message& message, GribField& field, StoredGrid& grid)
{
    const Handle h = handleOf(message);
    if (!h) {
        field.readable = false;
        return fail(field, "ecCodes cannot read the field's headers");
    }
    field.discipline = int(longKey(h.get(), "discipline"));
    field.category = int(longKey(h.get(), "parameterCategory"));
    field.number = int(longKey(h.get(), "parameterNumber"));
    field.gridType = stringKey(h.get(), "gridType");
    readTimes(h.get(), field);
    Grib2Codes codes;
    codes.discipline = field.discipline;
    codes.category = field.category;
    codes.number = field.number;
    codes.surfaceType = longKey(h.get(), "typeOfFirstFixedSurface");
    codes.surfaceValue = surfaceValueOf(h.get());
    codes.centre = longKey(h.get(), "centre");
    const ModelParameter parameter = modelParameterOf(codes);
    field.gct = parameter.gct;
    field.valueScale = parameter.scale;
    if (field.gct == 0)
        return true;
    if (field.gridType != "regular_ll" && field.gridType != "regular_gg")
        return fail(field, "grid " + field.gridType + " is not drawn");
    if (!readGrid(h.get(), field.gridType, grid))
        return fail(field, "grid has no usable size or increments");
    field.drawable = true;
    return true;
}

bool storedValues(const Message& message, std::vector<double>& values, std::string& error)
{
    const Handle h = handleOf(message);
    if (!h) {
        error = "ecCodes cannot read the field";
        return false;
    }
    return valuesOf(h.get(), message.size(), values, error);
}

bool gridAndValues(const Message& message, StoredGrid& grid, std::vector<double>& values, std::string& error)
{
    const Handle h = handleOf(message);
    if (!h || !readGrid(h.get(), stringKey(h.get(), "gridType"), grid)) {
        error = "ecCodes cannot read the field's grid";
        return false;
    }
    return valuesOf(h.get(), message.size(), values, error);
}

}  // namespace Grib2Codec
