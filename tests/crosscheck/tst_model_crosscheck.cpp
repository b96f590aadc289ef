// GribFile (index, keys, valid times, grids, point values and compounds) against ecCodes' command-line tools,
// on GRIB1 files other producers wrote and on GRIB1 files the tools convert from real GRIB2 forecasts.  Every
// reference value is read back from the files by ecCodes.
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include "EccodesTools.h"
#include "GribFile.h"
#include "GribKeys.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using EccodesTools::kExamples;
using EccodesTools::kSamples;
using EccodesTools::Ref;
using EccodesTools::runTool;

const QString kGfs = kExamples + "gfs.t12z.pgrbf120.2p5deg.grib2";
const QString kSafrica = kExamples + "safrica.grib2";

// A real message rewritten with layer level types, then with every time range and forecast time unit whose
// valid time has a rule (P1 = 1, P2 = 44 of time range 10 is the 16-bit P1 300), then across the 0° meridian.
const char* const kVariantRules =
    "set indicatorOfTypeOfLevel = 112; set topLevel = 10; set bottomLevel = 40; write \"v\";\n"
    "set indicatorOfTypeOfLevel = 116; set topLevel = 30; set bottomLevel = 0; write \"v\";\n"
    "set indicatorOfTypeOfLevel = 105; set level = 2; set dataDate = 20081231;\n"
    "set timeRangeIndicator = 10; set P1 = 1; set P2 = 44; write \"v\";\n"
    "set dataDate = 20111215; set timeRangeIndicator = 4; set unitOfTimeRange = 2;\n"
    "set P1 = 0; set P2 = 80; write \"v\";\n"
    "set timeRangeIndicator = 3; set unitOfTimeRange = 13; set P2 = 7; write \"v\";\n"
    "set timeRangeIndicator = 1; set unitOfTimeRange = 12; set P1 = 3; write \"v\";\n"
    "set timeRangeIndicator = 2; set unitOfTimeRange = 0; set P2 = 250; write \"v\";\n"
    "set timeRangeIndicator = 5; set unitOfTimeRange = 14; set P2 = 99; write \"v\";\n"
    "set timeRangeIndicator = 0; set unitOfTimeRange = 11; set P1 = 200; write \"v\";\n"
    "set longitudeOfFirstGridPoint = 350000; set longitudeOfLastGridPoint = 20000; write \"v\";\n";

const QStringList kKeys = {"indicatorOfParameter", "indicatorOfTypeOfLevel:i", "level", "topLevel", "bottomLevel",
    "timeRangeIndicator", "unitOfTimeRange", "validityDate", "validityTime", "gridType", "packingType", "Ni", "Nj",
    "latitudeOfFirstGridPoint", "longitudeOfFirstGridPoint", "latitudeOfLastGridPoint", "longitudeOfLastGridPoint",
    "iDirectionIncrement", "jDirectionIncrement", "N", "jScansPositively", "centre", "table2Version", "shortName"};

struct Point { double lat, lon, value; bool missing; };
using Field = std::vector<Point>;

bool readRefs(const QString& path, std::vector<Ref>* refs, QString* error)
{
    return EccodesTools::readRefs(path, kKeys, {"-w", "edition=1"}, refs, error);
}

// Every point of every GRIB1 message in file order, missing points kept.
bool readFields(const QString& path, std::vector<Field>* fields, QString* error)
{
    QByteArray out;
    if (!runTool("grib_get_data", {"-w", "edition=1", "-m", "MISSING", "-F", "%.9g", "-L", "%.6f %.6f", path},
                 error, &out))
        return false;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (line.startsWith("Latitude"))
            fields->emplace_back();
        else if (w.size() == 3 && !fields->empty())
            fields->back().push_back({w[0].toDouble(), w[1].toDouble(), w[2].toDouble(), w[2] == "MISSING"});
    }
    return true;
}

// ECMWF's local tables name fields by their short names, which the model
// takes by meaning; others of those tables it has no use for.
unsigned ecmwfKeyOf(const Ref& r)
{
    const QHash<QString, unsigned> known = {{"10u", GribKey::windU}, {"10v", GribKey::windV},
        {"2t", GribKey::temperature2m}, {"msl", GribKey::pressureMsl}, {"tp", GribKey::precipitation},
        {"sst", GribKey::seaTemperature}, {"swh", GribKey::waveCombined}};
    return known.value(r.s("shortName"), 0u);
}

unsigned keyOf(const Ref& r)
{
    if (r.s("centre") == "ecmf" && r.n("table2Version") >= 128)
        return ecmwfKeyOf(r);
    const long long type = r.n("indicatorOfTypeOfLevel");
    long long level = r.n("level");
    switch (type) {
    case 101: case 104: case 106: case 108: case 110:
    case 112: case 114: case 121: case 128: case 141:
        level = r.n("topLevel");  // layers: our key holds the first of the two levels
        break;
    case 116: case 120:  // layers to ecCodes, one 16-bit level to our decoder
        level = r.n("topLevel") * 256 + r.n("bottomLevel");
        break;
    }
    return unsigned(level * 65536 + type * 256 + r.n("indicatorOfParameter"));
}

QDateTime validityOf(const Ref& r)
{
    const long long d = r.n("validityDate"), t = r.n("validityTime");
    return QDateTime(QDate(int(d / 10000), int(d / 100 % 100), int(d % 100)), QTime(int(t / 100), int(t % 100)),
                     Qt::UTC);
}

QString iso(const QDateTime& t) { return t.toString(Qt::ISODate); }

// Time ranges with an offset rule, forecast time units of a fixed length.
bool timeComparable(const Ref& r)
{
    return QList<long long>{0, 1, 2, 3, 4, 5, 10}.contains(r.n("timeRangeIndicator")) &&
           QList<long long>{0, 1, 2, 10, 11, 12, 13, 14}.contains(r.n("unitOfTimeRange"));
}

bool latLonFamily(const Ref& r)
{
    return QStringList{"regular_ll", "rotated_ll", "regular_gg", "rotated_gg"}.contains(r.s("gridType"));
}

// Float decoding against ecCodes' doubles, relative to the field's range.
double toleranceOf(const Field& f)
{
    double lo = std::numeric_limits<double>::max(), hi = -lo;
    for (const Point& p : f)
        if (!p.missing)
            lo = std::min(lo, p.value), hi = std::max(hi, p.value);
    return hi < lo ? 0.0 : 1e-5 * (hi - lo) + 2e-7 * std::max(std::fabs(hi), std::fabs(lo));
}

// ecCodes' value at a grid point, longitudes compared modulo 360°.
double refValue(const Field& f, double lat, double lon)
{
    for (const Point& p : f) {
        const double dl = std::fmod(p.lon - lon + 720.0, 360.0);
        if (std::fabs(p.lat - lat) < 1e-6 && (dl < 1e-6 || dl > 360.0 - 1e-6))
            return p.value;
    }
    return std::nan("");
}

}  // namespace

// Fails with the place and both values when ours differs from ecCodes'.
#define CHECK_EQ(what, ours, ref) \
    QVERIFY2((ours) == (ref), qPrintable(QString("%1 %2: ours %3, ecCodes %4").arg(where, what).arg(ours).arg(ref)))

class ModelCrosscheck : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString gfsFile;       // u, v, pressure, temperature (+ precipitation) per step
    QString safricaFile;   // three parameters, 25 steps every 3 hours
    QString pvFile;        // fields with bitmaps
    QString variantsFile;  // level types and time ranges

    bool convert(const QString& src, const QString& select, const QString& rules, QString* error);
    bool makeGfs(QString* error);
    void checkValues(const GribMsg& msg, const Ref& r, const Field& f, const QString& where);
    void checkCompounds(const QString& path, const std::vector<std::pair<float, float>>& points);

private slots:
    void initTestCase();
    void messages_data();
    void messages();
    // Rainy points among them; longitudes west of 0° must find 180° and 307.5°.
    void gfsCompounds() { checkCompounds(gfsFile, {{-22.5f, -180}, {-15.0f, -52.5f}, {90.0f, 0}, {-90.0f, 357.5f}}); }
    void safricaCompounds() { checkCompounds(safricaFile, {}); }  // polar stereographic
};

// grib_filter rules run in the temporary directory on src, or, for GRIB2 input, on the selected messages
// repacked simply (GRIB1 has no JPEG or spatial differencing).
bool ModelCrosscheck::convert(const QString& src, const QString& select, const QString& rules, QString* error)
{
    QFile rulesFile(tmp.filePath("rules"));
    if (!rulesFile.open(QIODevice::WriteOnly) || rulesFile.write(rules.toLatin1()) < 0)
        return false;
    rulesFile.close();
    if (!select.isEmpty() && !(runTool("grib_copy", {"-w", select, src, tmp.filePath("sel.grib2")}, error) &&
                               runTool("grib_set", {"-r", "-s", "packingType=grid_simple", tmp.filePath("sel.grib2"),
                                                    tmp.filePath("simple.grib2")}, error)))
        return false;
    return runTool("grib_filter", {"rules", select.isEmpty() ? src : "simple.grib2"}, error, nullptr, tmp.path());
}

// The forecast holds one step (120 h); copies with other forecast times make five, the first without
// precipitation, the last incomplete (u and v only).  Units of 6 and 3 hours and a reference time four days
// before a leap day exercise the valid time rules.
bool ModelCrosscheck::makeGfs(QString* error)
{
    struct Param { int id, type, level; };
    const Param params[] = {{33, 105, 10}, {34, 105, 10}, {2, 102, 0}, {11, 105, 2}, {61, 1, 0}};
    struct Step { int unit, end, tpStart, count; };
    const Step steps[] = {{1, 120, 0, 4}, {1, 126, 120, 5}, {11, 22, 21, 5}, {10, 46, 44, 5}, {1, 144, 0, 2}};
    // GRIB1 has no code for NCEP's "pressure reduced to MSL" of GRIB2; its plain pressure converts, and the
    // GRIB1 keys are set afterwards anyway.
    QString rules = "if (shortName is \"prmsl\") { set parameterNumber = 0; }\n"
                    "set edition = 1;\nset dataDate = 20120225;\n";
    for (int j = 0; j < 5; ++j) {
        rules += QString("if (indicatorOfParameter == %1) {\n set indicatorOfTypeOfLevel = %2; set level = %3;\n")
                     .arg(params[j].id).arg(params[j].type).arg(params[j].level);
        const bool tp = params[j].id == 61;  // accumulated from P1 to P2
        for (int k = 0; k < 5; ++k)
            if (j < steps[k].count)
                rules += QString(" set unitOfTimeRange = %1; set P1 = %2; set P2 = %3; write \"step%4_%5\";\n")
                             .arg(steps[k].unit).arg(tp ? steps[k].tpStart : steps[k].end).arg(tp ? steps[k].end : 0)
                             .arg(k).arg(j);
        rules += "}\n";
    }
    if (!convert(kGfs, "shortName=10u/10v/prmsl/2t/tp", rules, error))
        return false;
    // The pieces' names sort time step by time step, in the order above.
    QFile all(tmp.filePath("gfs_steps.grib1"));
    if (!all.open(QIODevice::WriteOnly))
        return false;
    for (const QString& name : QDir(tmp.path()).entryList({"step*"}, QDir::Files, QDir::Name)) {
        QFile piece(tmp.filePath(name));
        if (!piece.open(QIODevice::ReadOnly) || all.write(piece.readAll()) <= 0)
            return false;
    }
    gfsFile = all.fileName();
    return true;
}

void ModelCrosscheck::initTestCase()
{
    for (const char* tool : {"grib_get", "grib_get_data", "grib_copy", "grib_set", "grib_filter"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);  // libeccodes-tools
    QVERIFY(tmp.isValid());
    QString error;
    if (QFileInfo::exists(kGfs)) {
        QVERIFY2(makeGfs(&error), qPrintable(error));
        QVERIFY2(convert(kGfs, "typeOfLevel=potentialVorticity,level=2,shortName=u/v/t",
                         "set edition = 1;\nwrite \"pv.grib1\";\n", &error), qPrintable(error));
        pvFile = tmp.filePath("pv.grib1");
    }
    // Parameter numbers convert as they are; the level types are set, and a reference time of 29 December
    // makes the steps cross the year end.
    if (QFileInfo::exists(kSafrica)) {
        QVERIFY2(convert(kSafrica, "edition=2",
                         "set edition = 1;\nset dataDate = 20101229;\n"
                         "if (indicatorOfParameter == 54) { set indicatorOfTypeOfLevel = 200; }\n"
                         "if (indicatorOfParameter == 118) { set indicatorOfTypeOfLevel = 3; }\n"
                         "write \"safrica.grib1\";\n", &error),
                 qPrintable(error));
        safricaFile = tmp.filePath("safrica.grib1");
    }
    if (QFileInfo::exists(kExamples + "regular_latlon_surface.grib1")) {
        QVERIFY2(convert(kExamples + "regular_latlon_surface.grib1", {}, kVariantRules, &error), qPrintable(error));
        variantsFile = tmp.filePath("v");
    }
}

void ModelCrosscheck::messages_data()
{
    QTest::addColumn<QString>("path");
    for (const char* name : {"regular_latlon_surface.grib1", "rotated_ll.grib1", "cl00010000_ecoclimap_rot.grib1",
                             "CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib", "spherical_pressure_level.grib1",
                             "ngm.grb"})  // the last one is GRIB2 despite its name
        QTest::newRow(name) << kExamples + name;
    for (const char* name : {"GRIB1.tmpl", "regular_ll_pl_grib1.tmpl", "regular_ll_sfc_grib1.tmpl",
                             "clusters_grib1.tmpl", "rotated_ll_sfc_grib1.tmpl", "regular_gg_pl_grib1.tmpl",
                             "reduced_gg_pl_grib1.tmpl", "reduced_ll_sfc_grib1.tmpl",
                             "polar_stereographic_pl_grib1.tmpl", "sh_sfc_grib1.tmpl"})
        QTest::newRow(name) << kSamples + name;
    QTest::newRow("ifs gg_sfc") << QStringLiteral("/usr/share/eccodes/ifs_samples/grib1/gg_sfc.tmpl");
    QTest::newRow("gfs converted") << gfsFile;
    QTest::newRow("safrica converted") << safricaFile;
    QTest::newRow("gfs bitmaps converted") << pvFile;
    QTest::newRow("level and time variants") << variantsFile;
}

void ModelCrosscheck::messages()
{
    QFETCH(QString, path);
    if (path.isEmpty() || !QFileInfo::exists(path))
        QSKIP("file not installed");
    std::vector<Ref> refs;
    std::vector<Field> fields;
    QString error;
    QVERIFY2(readRefs(path, &refs, &error), qPrintable(error));
    GribFile file(QFile::encodeName(path).constData());
    std::vector<int> edition1;
    for (int n = 0; n < file.messageCount(); ++n)
        if (file.fields()[size_t(n)].edition == 1)
            edition1.push_back(n);
    QCOMPARE(int(edition1.size()), int(refs.size()));
    if (std::any_of(refs.begin(), refs.end(), latLonFamily)) {
        QVERIFY2(readFields(path, &fields, &error), qPrintable(error));
        QCOMPARE(fields.size(), refs.size());
    }
    for (size_t i = 0; i < refs.size(); ++i) {
        const Ref& r = refs[i];
        const QString where = QStringLiteral("message %1").arg(i);
        const QString grid = r.s("gridType");
        GribMsg msg;
        msg.gct = 0xDEADu;  // must stay when decoding fails
        QVERIFY(file.goMsg(edition1[i], msg));
        if (grid.startsWith("reduced_") || grid == "sh") {  // quasi-regular, harmonics
            CHECK_EQ("not decoded", msg.gct == 0xDEADu && !msg.values, true);
            continue;
        }
        CHECK_EQ("key", msg.gct, keyOf(r));
        if (timeComparable(r))
            CHECK_EQ("valid time", iso(msg.validTime()), iso(validityOf(r)));
        if (!latLonFamily(r)) {
            CHECK_EQ("grid fields", msg.ni | msg.nj | msg.lat1 | msg.lon1 | msg.lat2 | msg.lon2 | msg.di, 0);
            continue;
        }
        // The model's grid starts in the north whichever way the file runs; Gaussian rows lie where they are.
        const bool southFirst = r.n("jScansPositively") == 1;
        const std::pair<int, const char*> gridKeys[] = {{msg.ni, "Ni"}, {msg.nj, "Nj"},
            {msg.lat1, southFirst ? "latitudeOfLastGridPoint" : "latitudeOfFirstGridPoint"},
            {msg.lon1, "longitudeOfFirstGridPoint"},
            {msg.lat2, southFirst ? "latitudeOfFirstGridPoint" : "latitudeOfLastGridPoint"},
            {msg.lon2, "longitudeOfLastGridPoint"}, {msg.di, "iDirectionIncrement"},
            grid == "regular_gg" ? std::pair<int, const char*>{int(msg.rowLats.size()), "Nj"}
                                 : std::pair<int, const char*>{msg.dj, grid == "rotated_gg" ? "N" : "jDirectionIncrement"}};
        for (const auto& [ours, key] : gridKeys) {
            bool isNumber = false;
            if (const long long ref = r.n(key, &isNumber); isNumber)
                CHECK_EQ(key, ours, ref);
        }
        CHECK_EQ("has values", msg.values != nullptr, r.s("packingType") == "grid_simple");
        if (msg.values)
            checkValues(msg, r, fields[i], where);
        if (QTest::currentTestFailed())
            return;
    }
}

// Values at a few grid points found by their position (Gaussian rows by their latitude), and through
// getValueAt on regular grids (also 360° further west), whichever way the file stores the grid.
void ModelCrosscheck::checkValues(const GribMsg& msg, const Ref& r, const Field& f, const QString& where)
{
    const int count = msg.ni * msg.nj;
    CHECK_EQ("point count", int(f.size()), count);
    const double tol = toleranceOf(f);
    std::vector<int> picks = {0, msg.ni - 1, count / 2, msg.nj / 3 * msg.ni + msg.ni / 3, count - 1};
    const auto gap = std::find_if(f.begin(), f.end(), [](const Point& p) { return p.missing; });
    if (gap != f.end())
        picks.push_back(int(gap - f.begin()));
    for (int idx : picks) {
        const Point& p = f[size_t(idx)];
        const int latMilli = qRound(p.lat * 1000.0), lonMilli = qRound(p.lon * 1000.0);
        const auto rowLat = std::find_if(msg.rowLats.begin(), msg.rowLats.end(),
                                         [&](int lat) { return std::abs(lat - latMilli) <= 1; });
        // Rotated grids: ecCodes gives geographic positions, so the stored order is followed instead.
        const bool rotated = r.s("gridType").startsWith("rotated");
        const int storedRow = r.n("jScansPositively") == 1 ? msg.nj - 1 - idx / msg.ni : idx / msg.ni;
        const int row = rotated ? storedRow
                        : msg.rowLats.empty() ? qRound(double(msg.lat1 - latMilli) / msg.dj)
                                              : int(rowLat - msg.rowLats.begin());
        const int column = rotated ? idx % msg.ni
                                   : qRound(double(((lonMilli - msg.lon1) % 360000 + 360000) % 360000) / msg.di);
        CHECK_EQ("point on the grid", row >= 0 && row < msg.nj && column >= 0 && column < msg.ni, true);
        const float ours = msg.getValueAtInd(row, column);
        const QString here = where + QStringLiteral(" at (%1, %2): ours %3, ecCodes %4").arg(p.lat).arg(p.lon).arg(ours)
                                         .arg(p.missing ? QStringLiteral("missing") : QString::number(p.value));
        QVERIFY2(p.missing ? ours == kGribMissingValue : std::fabs(ours - p.value) <= tol, qPrintable(here));
        if (r.s("gridType") != "regular_ll")
            continue;
        for (int shift : {0, -360000}) {
            float at = 0.0f;
            const bool inside = msg.getValueAt(latMilli, lonMilli + shift, at);
            QVERIFY2(inside && at == ours,
                     qPrintable(here + QString("; getValueAt shifted by %1: %2 %3").arg(shift).arg(inside).arg(at)));
        }
    }
}

void ModelCrosscheck::checkCompounds(const QString& path, const std::vector<std::pair<float, float>>& points)
{
    if (path.isEmpty())
        QSKIP("source forecast not installed");
    std::vector<Ref> refs;
    std::vector<Field> fields;
    QString error;
    QVERIFY2(readRefs(path, &refs, &error), qPrintable(error));
    if (!points.empty()) {
        QVERIFY2(readFields(path, &fields, &error), qPrintable(error));
        QCOMPARE(fields.size(), refs.size());
    }
    std::vector<unsigned> keys;
    for (const Ref& r : refs)
        keys.push_back(keyOf(r));
    const int m = int(keys.size());
    // Layout from ecCodes' keys: the first step ends where the first key comes again; it is short when only the
    // next step has precipitation.
    const int first = int(std::find(keys.begin() + 1, keys.end(), keys[0]) - keys.begin());
    QVERIFY2(first < m, "the converted file holds a single step");
    const auto hasTp = [&](int from, int to) {
        return std::count(keys.begin() + from, keys.begin() + std::min(to, m), GribKey::precipitation) > 0;
    };
    const bool isShort = !hasTp(0, first) && hasTp(first + 1, 2 * first + 1);
    const int f = isShort ? 1 : 0, s = first + f;
    GribFile file(QFile::encodeName(path).constData());
    QCOMPARE(file.messageCount(), m);
    QCOMPARE(file.getCompoundSize(), s);
    QCOMPARE(file.isShortFirstCompound(), isShort);
    QCOMPARE(file.getCompoundNum(), (m + f) / s);
    QCOMPARE(file.getTimeStep(), int(validityOf(refs[0]).secsTo(validityOf(refs[size_t(first)])) / 3600));
    std::vector<unsigned> gcts(keys.begin() + 1, keys.begin() + first + 1);
    if (isShort)
        gcts.push_back(GribKey::precipitation);
    QVERIFY(file.getGcts() == gcts);
    for (unsigned key : keys)
        QVERIFY(file.containsGct(key));
    QVERIFY(!file.containsGct(0xFFFFFFFFu));
    const Ref& r0 = refs[0];
    const auto deg = [&](const char* key) { return latLonFamily(r0) ? r0.n(key) * 0.001 : 0.0; };
    const double lon1 = deg("longitudeOfFirstGridPoint"), lat1 = deg("latitudeOfFirstGridPoint");
    const QRectF a = file.getArea();
    QVERIFY(std::fabs(file.getGridStep() - deg("iDirectionIncrement")) < 1e-6);
    QVERIFY2(std::fabs(a.x() - lon1) + std::fabs(a.y() - lat1) + std::fabs(a.right() - deg("longitudeOfLastGridPoint"))
                     + std::fabs(a.bottom() - deg("latitudeOfLastGridPoint")) < 1e-3,
             qPrintable(QStringLiteral("area (%1, %2, %3, %4)").arg(a.x()).arg(a.y()).arg(a.width()).arg(a.height())));

    const QHash<unsigned, QString> labels = {{GribKey::windU, "Wind speed"}, {GribKey::pressureMsl, "Pressure"},
        {GribKey::temperature2m, "Temperature"}, {GribKey::precipitation, "Precipitation"}};
    CompoundMsg c;
    const int num = file.getCompoundNum();
    for (int n = 0; n < num; ++n) {
        const QString where = QStringLiteral("compound %1").arg(n);
        QVERIFY(file.goCompound(n, c));
        const int start = n == 0 ? 0 : n * s - f, size = n == 0 ? s - f : s;
        CHECK_EQ("size", int(c.size()), size);
        for (int k = 0; k < size; ++k) {
            CHECK_EQ("key", c[size_t(k)].gct, keys[size_t(start + k)]);
            CHECK_EQ("valid time", iso(c[size_t(k)].validTime()), iso(validityOf(refs[size_t(start + k)])));
        }
        for (const auto& [lat, lon] : points) {
            std::list<CompoundMsg::Row> rows;
            c.getValueTableAt(lat, lon, rows);
            CHECK_EQ("row count", c.getValueTableRowNum(), unsigned(rows.size()));
            auto row = rows.begin();
            for (int k = 0; k < size; ++k, ++row) {
                const QString here = where + QStringLiteral(" at (%1, %2) message %3").arg(lat).arg(lon).arg(k);
                QVERIFY2(row != rows.end(), qPrintable(here + " has no row"));
                const size_t i = size_t(start + k);
                double value = refValue(fields[i], lat, lon), tol = toleranceOf(fields[i]);
                if (keys[i] == GribKey::windU && k + 1 < size) {  // v follows: the speed
                    value = std::hypot(value, refValue(fields[i + 1], lat, lon));
                    tol += toleranceOf(fields[i + 1]);
                    ++k;
                }
                QVERIFY2(row->first == labels.value(keys[i]) && std::fabs(row->second - value) <= tol,
                         qPrintable(here + QStringLiteral(": ours %1 %2, ecCodes %3 %4").arg(row->first)
                                               .arg(row->second).arg(labels.value(keys[i])).arg(value)));
            }
            QVERIFY(row == rows.end());
        }
    }
    QVERIFY(!file.goCompound(num, c));
}

QTEST_GUILESS_MAIN(ModelCrosscheck)
#include "tst_model_crosscheck.moc"
