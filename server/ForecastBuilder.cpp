#include "ForecastBuilder.h"

#include "ForecastGrid.h"
#include "GribFile.h"
#include "LandMask.h"
#include "MeteoType.h"
#include "RealForecastCutter.h"
#include "SyntheticAtmosphere.h"
#include "grib_writer.h"

#include <QDateTime>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kOurCentre = 131;
constexpr int kTableVersion = 2;
constexpr unsigned kMaxSteps = 400;
constexpr qint64 kMaxMessageBytes = 0xFFFFFF;  // GRIB1's 24-bit length
constexpr int kMaxGridSide = 65535;            // GDS's 16-bit Ni and Nj

enum FieldId {
    fWindU, fWindV, fPressure, fPrecipitation, fTemperature, fWaveHeight, fWaveDirection,
    fWavePeriod, fSwellHeight, fSwellDirection, fSeaTemperature, fTidalSpeed, fTidalDirection,
    fPrecipRate, kFieldCount
};

// One message kind: what it is and how it is packed.  The decimal scale and
// bit count give about the stated precision over the field's range
// (pressure to 10 Pa, wind to 0.01 m/s, temperature to 0.01 K).
struct FieldInfo {
    unsigned meteo;
    int param, levelType, levelValue;
    int decScale, bits;
    bool seaOnly;
    bool accumulated;
    bool direction;  // degrees, 0 to 360
    unsigned key() const { return unsigned(levelValue) * 65536u + unsigned(levelType) * 256u + unsigned(param); }
};

const FieldInfo kFields[kFieldCount] = {
    {mtWind, 33, 105, 10, 2, 14, false, false, false},
    {mtWind, 34, 105, 10, 2, 14, false, false, false},
    {mtPressure, 2, 102, 0, -1, 12, false, false, false},
    {mtPrecipitation, 61, 1, 0, 2, 12, false, true, false},
    {mtTemperature, 11, 105, 2, 2, 14, false, false, false},
    {mtWave, 102, 1, 0, 2, 12, true, false, false},
    {mtWave, 101, 1, 0, 1, 12, true, false, true},
    {mtWave, 108, 1, 0, 1, 12, true, false, false},
    {mtWave, 100, 1, 1, 2, 12, true, false, false},
    {mtWave, 101, 1, 1, 1, 12, true, false, true},
    {mtSST, 11, 1, 0, 2, 12, true, false, false},
    {mtTidal, 48, 1, 0, 2, 12, true, false, false},
    {mtTidal, 47, 1, 0, 1, 12, true, false, true},
    {mtPrecipRate, 59, 1, 0, 2, 14, false, false, false},
};

const unsigned kMeteoBits[] = {mtWind,    mtPressure, mtPrecipitation, mtTemperature,
                               mtWave,    mtSST,      mtTidal,         mtPrecipRate};

// The messages of one requested kind, and where its values come from.
struct KindPlan {
    unsigned meteo = 0;
    std::vector<int> fields;
    bool real = false;
    RealForecastCutter::Source source;
    std::vector<int> sourceStep;  // per step of the file; -1: no message
    ForecastGrid grid;
};

struct TimePlan {
    QDateTime reference;          // the first step's time
    std::vector<qint64> minutes;  // each step's offset from it
    qint64 minutesBefore = 0;     // length of the interval before the first step
    int unit = 1;                 // 1 hours, 0 minutes
    qint64 unitMinutes() const { return unit == 1 ? 60 : 1; }
};

qint64 messageBytes(qint64 points, int bits, bool bitmap)
{
    qint64 bds = 11 + (points * bits + 7) / 8;
    bds += bds % 2;
    return 8 + 28 + 32 + (bitmap ? 6 + (points + 7) / 8 : 0) + bds + 4;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

bool validate(const ForecastRequest& r, QString& error)
{
    if ((r.meteoType & 0xFFu) == 0)
        error = QStringLiteral("meteo type %1 asks for no field").arg(r.meteoType);
    else if (ForecastGrid::stepOf(r.resolution) <= 0)
        error = QStringLiteral("resolution %1 is not a forecast data set").arg(r.resolution);
    else if (r.forecastDay < 0 || r.forecastDay > 5)
        error = QStringLiteral("forecast day %1 is outside 0 to 5").arg(r.forecastDay);
    else if (r.forecastTime < 0 || r.forecastTime > 23)
        error = QStringLiteral("forecast time %1 is not an hour of the day").arg(r.forecastTime);
    else if (r.timeStep != 1 && r.timeStep != 3 && r.timeStep != 6 && r.timeStep != 10)
        error = QStringLiteral("time step %1 is none of 1, 3, 6 hours or 10 minutes").arg(r.timeStep);
    else if (r.stepsNumber == 0 || r.stepsNumber > kMaxSteps)
        error = QStringLiteral("%1 time steps is outside 1 to %2").arg(r.stepsNumber).arg(kMaxSteps);
    else
        return true;
    return false;
}

qint64 stepMinutes(const ForecastRequest& r)
{
    return r.timeStep == 10 ? 10 : qint64(r.timeStep) * 60;
}

// Sets reference time, unit, P1, P2 and time range of step k.
void setTimes(GRIB_WRITE_PARAMS& p, const TimePlan& plan, size_t k, bool accumulated)
{
    const qint64 unit = plan.unitMinutes();
    const qint64 offset = plan.minutes[k] / unit;
    QDateTime reference = plan.reference;
    if (!accumulated) {
        p.time_range = offset <= 255 ? 0 : 10;
        p.p1 = int(offset);
        p.p2 = 0;
    } else {
        const qint64 start = k > 0 ? plan.minutes[k - 1] : plan.minutes[0] - plan.minutesBefore;
        p.time_range = 4;
        if (k > 0 && offset <= 255) {
            p.p1 = int(start / unit);
            p.p2 = int(offset);
        } else {
            reference = plan.reference.addSecs(start * 60);
            p.p1 = 0;
            p.p2 = int((plan.minutes[k] - start) / unit);
        }
    }
    const QDate d = reference.date();
    const QTime t = reference.time();
    p.year = d.year();
    p.month = d.month();
    p.day = d.day();
    p.hour = t.hour();
    p.minute = t.minute();
    p.time_unit = plan.unit;
}

// Checks that every step's times fit their octets.
bool timesFit(const TimePlan& plan, QString& error)
{
    const qint64 unit = plan.unitMinutes();
    for (size_t k = 0; k < plan.minutes.size(); ++k) {
        const qint64 start = k > 0 ? plan.minutes[k - 1] : plan.minutes[0] - plan.minutesBefore;
        const qint64 length = plan.minutes[k] - start;
        if (plan.minutes[k] % unit != 0 || plan.minutes[k] / unit > 65535 || length <= 0 ||
            length % unit != 0 || length / unit > 255) {
            error = QStringLiteral("the time steps cannot be stated in GRIB1");
            return false;
        }
    }
    return true;
}

class MessageWriter {
public:
    explicit MessageWriter(QByteArray& out) : out(out) {}

    bool write(const FieldInfo& field, const ForecastGrid& grid, const TimePlan& times, size_t step,
               const float* values, const unsigned char* bitmap, QString& error)
    {
        GRIB_WRITE_PARAMS p;
        init_grib_write_params(&p);
        p.table_version = kTableVersion;
        p.centre = kOurCentre;
        p.subcentre = 0;
        p.process = 1;
        p.grid_id = 255;
        p.param = field.param;
        p.level_type = field.levelType;
        p.level_value = field.levelValue;
        setTimes(p, times, step, field.accumulated);
        p.avg_count = 0;
        p.missing_count = 0;
        p.dec_scale = field.decScale;
        p.has_gds = 1;
        p.data_type = 0;
        p.ni = grid.ni;
        p.nj = grid.nj;
        p.lat1 = grid.lat1;
        p.lon1 = grid.lon1;
        p.lat2 = grid.lat2();
        p.lon2 = grid.lon2();
        p.di = grid.di;
        p.dj = grid.dj;
        p.res_flag = 128;
        p.scan_mode = 0;
        p.bitmap = bitmap;
        p.bits_per_value = field.bits;
        p.auto_scale = 1;
        octets* message = nullptr;
        unsigned long length = 0;
        char err[GRIB_ERRMSG_LEN] = "";
        if (grib_encode(&p, values, (unsigned long)grid.pointCount(), &message, &length, nullptr, err) != 0) {
            error = QString::fromLatin1(err).trimmed();
            return false;
        }
        out.append(reinterpret_cast<const char*>(message), qsizetype(length));
        std::free(message);
        return true;
    }

private:
    QByteArray& out;
};

// Directions that would round up to 360° at the packing's precision are
// written as 0°, so that a reader never sees a bearing past north.
void foldNorth(std::vector<float>& degrees, int decScale)
{
    const float last = float(360.0 - 0.5 * std::pow(10.0, -decScale));
    for (float& d : degrees)
        if (d >= last)
            d = 0.0f;
}

// Code elsewhere in the process (in Qt, for one) can leave the upper halves
// of the vector registers in use after AVX instructions.  Until they are
// cleared every SSE instruction of the computation waits on them, which
// makes a build several times slower on recent Intel processors.  AVX
// builds clear them themselves.
void clearUpperVectorState()
{
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__AVX__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        __asm__ __volatile__("vzeroupper");
#endif
}

// A bitmap of the points that hold a value; empty when all do.
void presentPoints(const std::vector<float>& values, std::vector<unsigned char>& bitmap)
{
    bitmap.clear();
    if (std::none_of(values.begin(), values.end(), [](float v) { return v == kGribMissingValue; }))
        return;
    bitmap.resize(values.size());
    for (size_t k = 0; k < values.size(); ++k)
        bitmap[k] = values[k] == kGribMissingValue ? 0 : 1;
}

// The kinds asked for, in file order, each with the real file covering it.
std::vector<KindPlan> planKinds(const ForecastRequest& request, const GeoBox& box,
                                const RealForecastCutter* realData)
{
    std::vector<KindPlan> kinds;
    for (unsigned bit : kMeteoBits) {
        if (!(request.meteoType & bit))
            continue;
        KindPlan kind;
        kind.meteo = bit;
        for (int f = 0; f < kFieldCount; ++f)
            if (kFields[f].meteo == bit)
                kind.fields.push_back(f);
        if (realData) {
            std::vector<unsigned> keys;
            for (int f : kind.fields)
                keys.push_back(kFields[f].key());
            kind.real = realData->find(keys, box, kind.source);
        }
        kinds.push_back(std::move(kind));
    }
    return kinds;
}

// The steps: those of the first real kind (precipitation only when it is
// alone), or the request's.
bool planTimes(const ForecastRequest& request, QDate today, const std::vector<KindPlan>& kinds,
               bool precipitationOnly, TimePlan& times, QString& error)
{
    const KindPlan* primary = nullptr;
    for (const KindPlan& kind : kinds)
        if (!primary && kind.real && (kind.meteo != mtPrecipitation || precipitationOnly))
            primary = &kind;
    if (primary) {
        const size_t n = std::min<size_t>(request.stepsNumber, primary->source.times.size());
        times.reference = primary->source.times[0];
        for (size_t k = 0; k < n; ++k)
            times.minutes.push_back(times.reference.secsTo(primary->source.times[k]) / 60);
        times.minutesBefore = n >= 2 ? times.minutes[1] - times.minutes[0] : stepMinutes(request);
    } else {
        times.reference = QDateTime(today.addDays(request.forecastDay), QTime(request.forecastTime, 0), Qt::UTC);
        for (unsigned k = 0; k < request.stepsNumber; ++k)
            times.minutes.push_back(qint64(k) * stepMinutes(request));
        times.minutesBefore = stepMinutes(request);
    }
    times.unit = times.minutesBefore % 60 == 0 &&
                         std::all_of(times.minutes.begin(), times.minutes.end(), [](qint64 m) { return m % 60 == 0; })
                     ? 1
                     : 0;
    return timesFit(times, error);
}

// Which source step each real kind gives each step of the file.  A kind
// lacking one of the times (precipitation may lack the first) is computed
// instead, on the data set's grid; computed precipitation is missing from
// the first step, as in model output, unless it is alone.
void matchSteps(const TimePlan& times, const ForecastGrid& grid, bool precipitationOnly,
                std::vector<KindPlan>& kinds)
{
    const size_t steps = times.minutes.size();
    for (KindPlan& kind : kinds) {
        const bool precipitation = kind.meteo == mtPrecipitation;
        if (kind.real) {
            const std::vector<QDateTime>& sourceTimes = kind.source.times;
            kind.sourceStep.assign(steps, -1);
            for (size_t k = 0; k < steps; ++k) {
                const auto at = std::find(sourceTimes.begin(), sourceTimes.end(),
                                          times.reference.addSecs(times.minutes[k] * 60));
                if (at != sourceTimes.end())
                    kind.sourceStep[k] = int(at - sourceTimes.begin());
                else if (!(precipitation && k == 0))
                    kind.real = false;
            }
            kind.grid = kind.source.cut;
        }
        if (!kind.real) {
            kind.grid = grid;
            kind.sourceStep.assign(steps, 0);
            if (precipitation && !precipitationOnly)
                kind.sourceStep[0] = -1;
        }
    }
}

// The file's size, known before anything is computed: bitmaps are counted
// whole and every point as present.
bool estimateBytes(const std::vector<KindPlan>& kinds, qint64& total, QString& error)
{
    total = 0;
    for (const KindPlan& kind : kinds) {
        if (kind.grid.ni > kMaxGridSide || kind.grid.nj > kMaxGridSide) {
            error = QStringLiteral("a grid of %1 x %2 points exceeds the GRIB1 size limit")
                        .arg(kind.grid.ni)
                        .arg(kind.grid.nj);
            return false;
        }
        const qint64 present =
            std::count_if(kind.sourceStep.begin(), kind.sourceStep.end(), [](int s) { return s >= 0; });
        for (int f : kind.fields) {
            const qint64 bytes =
                messageBytes(kind.grid.pointCount(), kFields[f].bits, kFields[f].seaOnly || kind.real);
            if (bytes > kMaxMessageBytes) {
                error = QStringLiteral("estimated message size %1 exceeds the GRIB1 limit of 16 MB")
                            .arg(megabytes(bytes));
                return false;
            }
            total += bytes * present;
        }
    }
    if (total > ForecastBuilder::kMaxGribBytes) {
        error = QStringLiteral("estimated size %1 exceeds the limit of %2")
                    .arg(megabytes(total), megabytes(ForecastBuilder::kMaxGribBytes));
        return false;
    }
    return true;
}

}  // namespace

ForecastBuilder::ForecastBuilder(QDate referenceDateUtc)
    : dateUtc(referenceDateUtc), landMask(std::make_shared<LandMask>())
{
}

ForecastBuilder ForecastBuilder::withReferenceDate(QDate referenceDateUtc) const
{
    ForecastBuilder other(*this);
    other.dateUtc = referenceDateUtc;
    return other;
}

ForecastBuilder::~ForecastBuilder() = default;
ForecastBuilder::ForecastBuilder(const ForecastBuilder&) = default;
ForecastBuilder& ForecastBuilder::operator=(const ForecastBuilder&) = default;

bool ForecastBuilder::setLandMaskDirectory(const QString& dir, QString* error)
{
    auto mask = std::make_shared<LandMask>();
    if (!mask->loadImages(dir, error))
        return false;
    landMask = mask;
    return true;
}

int ForecastBuilder::setRealDataDirectory(const QString& dir)
{
    auto cutter = std::make_shared<RealForecastCutter>(dir);
    const int files = cutter->fileCount();
    realData = files > 0 ? cutter : nullptr;
    return files;
}

bool ForecastBuilder::build(const ForecastRequest& request, QByteArray& grib, QString& error) const
{
    grib.clear();
    error.clear();
    if (!validate(request, error))
        return false;
    if (!dateUtc.isValid()) {
        error = QStringLiteral("no reference date");
        return false;
    }
    GeoBox box;
    if (!ForecastGrid::clip(request, box, error))
        return false;
    const ForecastGrid grid = ForecastGrid::enclosing(box, ForecastGrid::stepOf(request.resolution));
    std::vector<KindPlan> kinds = planKinds(request, box, realData.get());
    const bool precipitationOnly = kinds.size() == 1 && kinds[0].meteo == mtPrecipitation;
    TimePlan times;
    if (!planTimes(request, dateUtc, kinds, precipitationOnly, times, error))
        return false;
    const size_t steps = times.minutes.size();
    matchSteps(times, grid, precipitationOnly, kinds);
    qint64 total = 0;
    if (!estimateBytes(kinds, total, error))
        return false;
    QByteArray file;
    file.reserve(qsizetype(total));

    // Computed fields share one land mask and one atmosphere.
    const bool computed = std::any_of(kinds.begin(), kinds.end(), [](const KindPlan& k) { return !k.real; });
    std::vector<unsigned char> land, sea;
    if (computed) {
        landMask->fill(grid, land);
        sea.resize(land.size());
        for (size_t k = 0; k < land.size(); ++k)
            sea[k] = land[k] ? 0 : 1;
    }
    const SyntheticAtmosphere atmosphere(grid, land);
    auto computedKind = [&](unsigned meteo) {
        return std::any_of(kinds.begin(), kinds.end(),
                           [&](const KindPlan& k) { return k.meteo == meteo && !k.real; });
    };
    const bool needWind = computedKind(mtWind) || computedKind(mtWave);
    const bool needPressure = computedKind(mtPressure);
    const size_t points = computed ? size_t(grid.pointCount()) : 0;
    std::vector<std::vector<float>> values(kFieldCount);
    for (const KindPlan& kind : kinds)
        if (!kind.real)
            for (int f : kind.fields)
                values[size_t(f)].resize(points);
    if (needWind) {
        values[fWindU].resize(points);
        values[fWindV].resize(points);
    }
    auto data = [&](int f) { return values[size_t(f)].data(); };

    RealForecastCutter::Reader reader;
    std::vector<float> cut;
    std::vector<unsigned char> cutBitmap;
    MessageWriter writer(file);
    const double start = SyntheticAtmosphere::hoursOf(times.reference);
    for (size_t k = 0; k < steps; ++k) {
        clearUpperVectorState();
        const double t = start + double(times.minutes[k]) / 60.0;
        if (needWind || needPressure)
            atmosphere.pressureAndWind(t, needPressure ? data(fPressure) : nullptr,
                                       needWind ? data(fWindU) : nullptr,
                                       needWind ? data(fWindV) : nullptr);
        for (const KindPlan& kind : kinds) {
            if (kind.sourceStep[k] < 0)
                continue;
            if (kind.real) {
                for (size_t i = 0; i < kind.fields.size(); ++i) {
                    if (!realData->cut(reader, kind.source, kind.sourceStep[k], int(i), cut, error))
                        return false;
                    presentPoints(cut, cutBitmap);
                    if (!writer.write(kFields[kind.fields[i]], kind.grid, times, k, cut.data(),
                                      cutBitmap.empty() ? nullptr : cutBitmap.data(), error))
                        return false;
                }
                continue;
            }
            switch (kind.meteo) {
            case mtPrecipitation: {
                const qint64 from = k > 0 ? times.minutes[k - 1] : times.minutes[0] - times.minutesBefore;
                atmosphere.precipitation(start + double(from) / 60.0, t, data(fPrecipitation));
                break;
            }
            case mtTemperature:
                atmosphere.temperature(t, data(fTemperature));
                break;
            case mtWave:
                atmosphere.waves(t, data(fWindU), data(fWindV), data(fWaveHeight), data(fWaveDirection),
                                 data(fWavePeriod), data(fSwellHeight), data(fSwellDirection));
                break;
            case mtSST:
                atmosphere.seaTemperature(t, data(fSeaTemperature));
                break;
            case mtTidal:
                atmosphere.tidalStream(t, data(fTidalSpeed), data(fTidalDirection));
                break;
            case mtPrecipRate:
                atmosphere.precipitationRate(t, data(fPrecipRate));
                break;
            default:
                break;  // wind and pressure are computed above
            }
            for (int f : kind.fields) {
                if (kFields[f].direction)
                    foldNorth(values[size_t(f)], kFields[f].decScale);
                if (!writer.write(kFields[f], grid, times, k, data(f),
                                  kFields[f].seaOnly ? sea.data() : nullptr, error))
                    return false;
            }
        }
    }
    grib = std::move(file);
    return true;
}

// The fastest level: packed GRIB gains only a few per cent from harder
// work, and the server compresses every answer.
QByteArray compressPayload(const QByteArray& data)
{
    uLongf length = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(length), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()),
                  Z_BEST_SPEED) != Z_OK)
        return QByteArray();
    out.resize(qsizetype(length));
    return out;
}
