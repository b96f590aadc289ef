// GribFile's fields, stored values, map grids and compounds against ecCodes' command-line tools, on GRIB2 files
// other producers wrote, on ecCodes' samples and on files the tools derive from them: repacked, rescanned,
// converted between editions, set to other steps, reordered parameter by parameter and concatenated.
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include "EccodesTools.h"
#include "GribField.h"
#include "GribFile.h"
#include "GribKeys.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace {

using EccodesTools::kExamples;
using EccodesTools::kSamples;
using EccodesTools::Ref;

const QString kGfs = kExamples + "gfs.t12z.pgrbf120.2p5deg.grib2";
const QStringList kPackings = {"grid_ccsds", "grid_complex_spatial_differencing", "grid_complex", "grid_jpeg",
                               "grid_png", "grid_simple", "grid_ieee"};
const QStringList kKeys = {"edition", "discipline", "parameterCategory", "parameterNumber", "shortName",
    "indicatorOfParameter", "indicatorOfTypeOfLevel:i", "level", "gridType", "stepType", "startStep", "endStep",
    "validityDate", "validityTime", "offset:i"};

// Commands run in turn in the temporary directory, each on real files or on the output of those before.  The
// GFS forecast's 2 m temperature, 10 m wind, pressure and three fields with bitmaps are repacked and rescanned;
// the flux file's maximum temperature, made an instantaneous 2 m temperature, gives a Gaussian map field.  Steps
// of 6 and 12 hours more (the last with wind only) make a file laid out step by step, which is then sorted
// parameter by parameter with v before u; the same in edition 1, and a file that mixes the editions, one of its
// valid times in both.
QList<QStringList> derivations()
{
    QList<QStringList> commands = {
        {"grib_copy", "-w", "shortName=10u/10v/prmsl/2t", kGfs, "sel.grib2"},
        {"grib_copy", "-w", "typeOfLevel=potentialVorticity,level=2,shortName=u/v/t", kGfs, "pv.grib2"},
        {"grib_copy", "sel.grib2", "pv.grib2", "selpv.grib2"},
    };
    for (const QString& packing : kPackings)
        commands.append({"grib_set", "-r", "-s", "packingType=" + packing, "selpv.grib2", packing + ".grib2"});
    const QString desc = "shortName:s desc,step:i asc";
    commands += QList<QStringList>{
        {"grib_set", "-s", "swapScanningLat=1", "selpv.grib2", "south_to_north.grib2"},
        {"grib_set", "-s", "swapScanningLon=1", "selpv.grib2", "east_to_west.grib2"},
        {"grib_set", "-s", "swapScanningLat=1", "east_to_west.grib2", "both_swapped.grib2"},
        {"grib_copy", "-w", "shortName=tmax", kExamples + "flux.grb", "tmax.grib2"},
        {"grib_set", "-s", "productDefinitionTemplateNumber=0,shortName=2t", "tmax.grib2", "gaussian_2t.grib2"},
        {"grib_set", "-s", "swapScanningLat=1", "gaussian_2t.grib2", "gaussian_south_to_north.grib2"},
        {"grib_set", "-s", "edition=2", kExamples + "regular_latlon_surface.grib1", "latlon_to_ed2.grib2"},
        {"grib_set", "-s", "edition=2", kSamples + "regular_gg_pl_grib1.tmpl", "gaussian_to_ed2.grib2"},
        {"grib_copy", "-w", "shortName=2t/10u/10v", "grid_simple.grib2", "uvt.grib2"},
        {"grib_set", "-s", "edition=1", "uvt.grib2", "uvt.grib1"},
        {"grib_set", "-s", "forecastTime=126", "selpv.grib2", "s126.grib2"},
        {"grib_copy", "-w", "shortName=10u/10v", "sel.grib2", "uv.grib2"},
        {"grib_set", "-s", "forecastTime=132", "uv.grib2", "s132.grib2"},
        {"grib_copy", "selpv.grib2", "s126.grib2", "s132.grib2", "steps.grib2"},
        {"grib_copy", "-B", desc, "steps.grib2", "params.grib2"},
        {"grib_set", "-s", "stepRange=126", "uvt.grib1", "uvt126.grib1"},
        {"grib_set", "-s", "stepRange=132", "uvt.grib1", "uvt132.grib1"},
        {"grib_copy", "uvt.grib1", "uvt126.grib1", "uvt132.grib1", "steps.grib1"},
        {"grib_copy", "-B", desc, "steps.grib1", "params.grib1"},
        {"grib_copy", "-w", "shortName=2t", "uvt126.grib1", "t126.grib1"},
        {"grib_copy", "-w", "shortName=10u/10v/prmsl", "s126.grib2", "uvp126.grib2"},
        {"grib_copy", "selpv.grib2", "t126.grib1", "uvp126.grib2", "s132.grib2", "mixed.grb"},
    };
    return commands;
}

// The keys of the map's fields: an edition 2 field's by its parameter, an edition 1 field's from its own codes.
unsigned expectedKey(const Ref& r)
{
    if (r.n("edition") == 1) {
        const long long type = r.n("indicatorOfTypeOfLevel");
        return QList<long long>{1, 102, 105}.contains(type)
                   ? unsigned(r.n("level") * 65536 + type * 256 + r.n("indicatorOfParameter")) : 0u;
    }
    static const QHash<QString, unsigned> keys = {{"10u 0/2/2", GribKey::windU}, {"10v 0/2/3", GribKey::windV},
        {"2t 0/0/0", GribKey::temperature2m}, {"prmsl 0/3/1", GribKey::pressureMsl},
        {"tp 0/1/8", GribKey::precipitation}};
    return keys.value(QStringLiteral("%1 %2/%3/%4").arg(r.s("shortName"), r.s("discipline"),
                                                        r.s("parameterCategory"), r.s("parameterNumber")));
}

bool isMapKey(unsigned gct)
{
    return QList<unsigned>{GribKey::windU, GribKey::windV, GribKey::temperature2m, GribKey::pressureMsl,
                           GribKey::precipitation}.contains(gct);
}

QDateTime validityOf(const Ref& r)
{
    const long long d = r.n("validityDate"), t = r.n("validityTime");
    return QDateTime(QDate(int(d / 10000), int(d / 100 % 100), int(d % 100)), QTime(int(t / 100), int(t % 100)),
                     Qt::UTC);
}

QString iso(const QDateTime& t) { return t.toString(Qt::ISODate); }

struct Point { double lat, lon, value; };  // lat and lon NaN where ecCodes lists values only

// grib_get_data's listing, read one field at a time: a file of millions of lines.
class Listing {
public:
    explicit Listing(const QString& path) : file(path)
    {
        if (file.open(QIODevice::ReadOnly))
            file.readLine();  // the first field's heading
    }
    // The next field's points in storage order; false after the last field.
    bool next(std::vector<Point>& points)
    {
        points.clear();
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (line.startsWith("Latitude") || line.startsWith("Value"))
                break;
            double w[3];
            int n = 0;
            for (const char* s = line.constData(); n < 3; ++n) {
                char* end = nullptr;
                w[n] = std::strtod(s, &end);
                if (end == s)
                    break;
                s = end;
            }
            points.push_back(n == 3 ? Point{w[0], w[1], w[2]} : Point{std::nan(""), std::nan(""), w[0]});
        }
        return !points.empty();
    }

private:
    QFile file;
};

// ecCodes' values to within 1e-6 of the field's range; -9999 marks missing points.
double rangeOf(const std::vector<Point>& points)
{
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const Point& p : points)
        if (p.value != kGribMissingValue)
            lo = std::min(lo, p.value), hi = std::max(hi, p.value);
    return hi < lo ? 0.0 : hi - lo;
}

// The (row, column) of a listed point in the map's layout, or (-1, -1).
std::pair<int, int> cellOf(const GribMsg& msg, const Point& p)
{
    const double latMilli = p.lat * 1000.0, lonMilli = p.lon * 1000.0;
    if (std::isnan(latMilli) || std::isnan(lonMilli))
        return {-1, -1};
    int row = -1;
    if (!msg.rowLats.empty()) {
        const auto nearest = std::min_element(msg.rowLats.begin(), msg.rowLats.end(), [&](int a, int b) {
            return std::fabs(a - latMilli) < std::fabs(b - latMilli);
        });
        row = std::fabs(*nearest - latMilli) <= 1.0 ? int(nearest - msg.rowLats.begin()) : -1;
    } else if (msg.dj > 0) {
        row = qRound((msg.lat1 - latMilli) / msg.dj);
    }
    // Eastwards from lon1, half a step of rounding either side.
    const double east = std::fmod(lonMilli - msg.lon1 + 720000.0 + msg.di / 2.0, 360000.0) - msg.di / 2.0;
    const int col = msg.di > 0 ? qRound(east / msg.di) : -1;
    if (row < 0 || row >= msg.nj || col < 0 || col >= msg.ni)
        return {-1, -1};
    return {row, col};
}

// Longitudes compared modulo 360°, to the millidegree.
bool sameLon(int lonMilli, double lonDeg)
{
    return std::fabs(std::remainder(lonMilli - lonDeg * 1000.0, 360000.0)) <= 1.0;
}

}  // namespace

// Fails with the place and both values when ours differs from ecCodes'.
#define CHECK_EQ(what, ours, ref)                                                                              \
    do {                                                                                                       \
        const auto o_ = (ours);                                                                                \
        const auto r_ = (ref);                                                                                 \
        if (!(o_ == r_))                                                                                       \
            QFAIL(qPrintable(QStringLiteral("%1 %2: ours %3, ecCodes %4").arg(where, what).arg(o_).arg(r_))); \
    } while (0)
#define CHECK(what, condition) \
    do { if (!(condition)) QFAIL(qPrintable(QStringLiteral("%1: %2").arg(where, what))); } while (0)

class Grib2Crosscheck : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    void checkField(const GribField& f, const Ref& r, const QString& where);
    void checkStored(GribFile& file, int n, const std::vector<Point>& points, const QString& where);
    void checkMap(GribFile& file, int n, const std::vector<Point>& points, const QString& where);
    void checkCompounds(GribFile& file, const std::vector<Ref>& refs);

private slots:
    void initTestCase();
    void fields_data();
    void fields();
};

// Commands whose input is missing (a file not installed) are left out, and so are the rows of their output.
void Grib2Crosscheck::initTestCase()
{
    for (const char* tool : {"grib_get", "grib_get_data", "grib_copy", "grib_set"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);  // libeccodes-tools
    QVERIFY(tmp.isValid());
    static const QRegularExpression gribName(R"(\.(grib[12]?|grb|tmpl)$)");
    const QDir dir(tmp.path());
    for (const QStringList& command : derivations()) {
        const QStringList inputs = command.mid(1, command.size() - 2).filter(gribName);
        if (!std::all_of(inputs.begin(), inputs.end(), [&](const QString& in) { return dir.exists(in); }))
            continue;
        QString error;
        QVERIFY2(EccodesTools::runTool(command[0], command.mid(1), &error, nullptr, tmp.path()), qPrintable(error));
    }
}

void Grib2Crosscheck::fields_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : {"gfs.grb", "gfs.t12z.pgrbf120.2p5deg.grib2", "safrica.grib2", "ecmwf_tigge.grb",
                             "regular_latlon_surface.grib2", "reduced_latlon_surface.grib2", "rap.wrfnat.grib2",
                             "flux.grb", "eta.grb", "ngm.grb", "no-radius-shapeOfEarth-7.grb2"})
        QTest::newRow(name) << kExamples + name;
    for (const char* name : {"GRIB2.tmpl", "regular_ll_sfc_grib2.tmpl", "regular_ll_pl_grib2.tmpl",
                             "regular_gg_sfc_grib2.tmpl", "regular_gg_ml_grib2.tmpl", "rotated_ll_sfc_grib2.tmpl",
                             "reduced_gg_sfc_jpeg_grib2.tmpl", "reduced_ll_sfc_grib2.tmpl",
                             "polar_stereographic_sfc_grib2.tmpl", "lambert_bf_grib2.tmpl", "sh_sfc_grib2.tmpl",
                             "ccsds_grib2.tmpl"})
        QTest::newRow(name) << kSamples + name;
    QStringList derived;
    for (const QString& packing : kPackings)
        derived << packing + ".grib2";
    derived << "south_to_north.grib2" << "east_to_west.grib2" << "both_swapped.grib2" << "gaussian_2t.grib2"
            << "gaussian_south_to_north.grib2" << "latlon_to_ed2.grib2" << "gaussian_to_ed2.grib2" << "uvt.grib1"
            << "steps.grib2" << "params.grib2" << "steps.grib1" << "params.grib1" << "mixed.grb";
    for (const QString& name : derived)
        QTest::newRow(qPrintable("derived " + name)) << tmp.filePath(name);
}

void Grib2Crosscheck::fields()
{
    QFETCH(QString, path);
    if (!QFileInfo::exists(path))
        QSKIP("source file not installed");
    std::vector<Ref> refs, messages;
    QString error;
    QVERIFY2(EccodesTools::readRefs(path, kKeys, {"-s", "stepUnits=m"}, &refs, &error), qPrintable(error));
    QVERIFY2(EccodesTools::readRefs(path, {"offset:i", "totalLength"}, {"-M"}, &messages, &error), qPrintable(error));
    const QString listing = tmp.filePath("listing");
    QVERIFY2(EccodesTools::runTool("grib_get_data", {"-m", "-9999", "-F", "%.17g", "-L", "%.6f %.6f", path}, &error,
                                   nullptr, QString(), listing), qPrintable(error));
    std::map<long long, long long> lengths;  // of each message, by offset
    for (const Ref& m : messages)
        lengths[m.n("offset")] = m.n("totalLength");

    GribFile file(QFile::encodeName(path).constData());
    QCOMPARE(file.messageCount(), int(refs.size()));
    QCOMPARE(file.fields().size(), refs.size());
    Listing values(listing);
    std::vector<Point> points;
    for (size_t i = 0; i < refs.size(); ++i) {
        const QString where = QStringLiteral("field %1").arg(i);
        const GribField& f = file.fields()[i];
        CHECK_EQ("length", f.length, lengths[f.offset]);
        CHECK_EQ("field in message", f.fieldInMessage,
                 i > 0 && refs[i - 1].n("offset") == f.offset ? file.fields()[i - 1].fieldInMessage + 1 : 0);
        CHECK("listed by grib_get_data", values.next(points));
        checkField(f, refs[i], where);
        if (!QTest::currentTestFailed())
            checkStored(file, int(i), points, where);
        if (!QTest::currentTestFailed())
            checkMap(file, int(i), points, where);
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(!values.next(points));
    checkCompounds(file, refs);
}

void Grib2Crosscheck::checkField(const GribField& f, const Ref& r, const QString& where)
{
    const bool ed2 = r.n("edition") == 2;
    CHECK_EQ("offset", qint64(f.offset), r.n("offset"));
    CHECK_EQ("edition", f.edition, r.n("edition"));
    CHECK_EQ("discipline", f.discipline, ed2 ? r.n("discipline") : -1);
    CHECK_EQ("category", f.category, ed2 ? r.n("parameterCategory") : -1);
    CHECK_EQ("number", f.number, ed2 ? r.n("parameterNumber") : -1);
    CHECK_EQ("grid type", QString::fromStdString(f.gridType), r.s("gridType"));
    CHECK_EQ("valid time", iso(f.validTime), iso(validityOf(r)));
    const QString stepType = r.s("stepType");
    if (stepType == "instant" || stepType == "accum")  // minutes, from the -s stepUnits=m
        CHECK_EQ("period start", iso(f.periodStart),
                 iso(stepType == "instant" ? QDateTime()
                                           : validityOf(r).addSecs((r.n("startStep") - r.n("endStep")) * 60)));
    const bool regular = r.s("gridType") == "regular_ll" || r.s("gridType") == "regular_gg";
    if (const unsigned key = expectedKey(r)) {
        CHECK_EQ("key", f.gct, key);
        if (isMapKey(key)) {
            CHECK("drawable exactly on regular grids", f.drawable == regular);
            CHECK("a problem exactly on other grids", f.problem.empty() == regular);
        }
    }
    CHECK("drawable only with a key on a regular grid, without problem: " + QString::fromStdString(f.problem),
          !f.drawable || (regular && f.gct != 0 && f.problem.empty()));
}

// Every value in storage order, missing points in the same places.
void Grib2Crosscheck::checkStored(GribFile& file, int n, const std::vector<Point>& points, const QString& where)
{
    std::vector<double> stored;
    std::string error;
    CHECK("stored values: " + QString::fromStdString(error), file.storedValues(n, stored, error));
    CHECK_EQ("value count", stored.size(), points.size());
    const double tolerance = 1e-6 * rangeOf(points);
    for (size_t k = 0; k < stored.size(); ++k) {
        const double ref = points[k].value;
        if (ref == kGribMissingValue ? stored[k] != ref : !(std::fabs(stored[k] - ref) <= tolerance))
            QFAIL(qPrintable(QStringLiteral("%1 value %2: ours %3, ecCodes %4").arg(where).arg(k)
                                 .arg(stored[k], 0, 'g', 17).arg(ref, 0, 'g', 17)));
    }
}

// Drawable fields: every listed point found by its position in the north-to-south, west-to-east grid, once, in
// the model's units.  Other fields carry no values.
void Grib2Crosscheck::checkMap(GribFile& file, int n, const std::vector<Point>& points, const QString& where)
{
    const GribField& f = file.fields()[size_t(n)];
    GribMsg msg;
    if (!f.drawable) {
        file.goMsg(n, msg);
        CHECK("no values when not drawable", msg.values == nullptr);
        return;
    }
    CHECK("decoded", file.goMsg(n, msg) && msg.values != nullptr);
    CHECK_EQ("message key", msg.gct, f.gct);
    CHECK_EQ("message valid time", iso(msg.validTime()), iso(f.validTime));
    CHECK_EQ("points", size_t(msg.ni) * size_t(msg.nj), points.size());
    CHECK("positive increments", msg.di > 0 && (f.gridType == "regular_gg" || msg.dj > 0));
    CHECK_EQ("row latitudes", msg.rowLats.size(), f.gridType == "regular_gg" ? size_t(msg.nj) : size_t(0));
    CHECK("row latitudes north to south",
          std::adjacent_find(msg.rowLats.begin(), msg.rowLats.end(), std::less_equal<int>()) == msg.rowLats.end());
    // ecCodes' tolerance scaled, and the float the map holds.
    const double scale = f.valueScale, offset = f.valueOffset, tolerance = 1e-6 * rangeOf(points) * std::fabs(scale);
    std::vector<bool> seen(points.size());
    for (const Point& p : points) {
        const std::pair<int, int> cell = cellOf(msg, p);
        const int row = cell.first, col = cell.second;
        const auto here = [&] {
            return QStringLiteral("%1 at (%2, %3) row %4 column %5").arg(where).arg(p.lat).arg(p.lon).arg(row).arg(col);
        };
        if (row < 0 || seen[size_t(row * msg.ni + col)])
            QFAIL(qPrintable(here() + ": outside the grid or found twice"));
        seen[size_t(row * msg.ni + col)] = true;
        const float ours = msg.getValueAtInd(row, col);
        const double expected = p.value * scale + offset;
        const double rounding = 4e-7 * (std::fabs(p.value * scale) + std::fabs(offset));
        const bool same = p.value == kGribMissingValue ? ours == kGribMissingValue
                                                       : std::fabs(ours - expected) <= tolerance + rounding;
        if (!same)
            QFAIL(qPrintable(here() + QStringLiteral(": ours %1, ecCodes %2").arg(ours).arg(expected)));
        const bool corner1 = row == 0 && col == 0, corner2 = row == msg.nj - 1 && col == msg.ni - 1;
        if ((corner1 && (std::fabs(msg.lat1 - p.lat * 1000) > 1 || !sameLon(msg.lon1, p.lon))) ||
            (corner2 && (std::fabs(msg.lat2 - p.lat * 1000) > 1 || !sameLon(msg.lon2, p.lon))))
            QFAIL(qPrintable(here() + QStringLiteral(": corner (%1, %2) to (%3, %4)").arg(msg.lat1).arg(msg.lon1)
                                        .arg(msg.lat2).arg(msg.lon2)));
    }
}

// Drawable fields grouped by ecCodes' valid time, earliest first, u wind right before v.
void Grib2Crosscheck::checkCompounds(GribFile& file, const std::vector<Ref>& refs)
{
    std::map<QDateTime, std::vector<unsigned>> times;
    for (size_t i = 0; i < refs.size(); ++i)
        if (file.fields()[i].drawable)
            times[validityOf(refs[i])].push_back(file.fields()[i].gct);
    QCOMPARE(file.getCompoundNum(), int(times.size()));
    CompoundMsg c;
    int n = 0;
    for (const auto& [time, gcts] : times) {
        const QString where = QStringLiteral("compound %1").arg(n);
        const std::vector<unsigned> keys = file.compoundKeys(n);
        CHECK("read", file.goCompound(n, c));
        CHECK_EQ("size", keys.size(), gcts.size());
        CHECK_EQ("messages", c.size(), gcts.size());
        CHECK("the drawable fields of its time", std::is_permutation(keys.begin(), keys.end(), gcts.begin()));
        const bool hasV = std::count(keys.begin(), keys.end(), GribKey::windV) > 0;
        for (size_t k = 0; k < keys.size(); ++k) {
            CHECK_EQ("message key", c[k].gct, keys[k]);
            CHECK_EQ("valid time", iso(c[k].validTime()), iso(time));
            CHECK("u right before v",
                  keys[k] != GribKey::windU || !hasV || (k + 1 < keys.size() && keys[k + 1] == GribKey::windV));
        }
        ++n;
    }
    QVERIFY(!file.goCompound(n, c));
}

QTEST_GUILESS_MAIN(Grib2Crosscheck)
#include "tst_grib2_crosscheck.moc"
