// Runs the skyvane-grib binary on files written with grib_encode and on real
// sample files, and checks its listings, values and exit codes.

#include "grib_writer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

struct ToolRun {
    bool finished = false;  // exited normally, not killed by a signal or timeout
    int code = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runProgram(const QString& program, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("SKYVANE_GRIB_TRACE"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    ToolRun r;
    if (!p.waitForStarted())
        return r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.finished = p.exitStatus() == QProcess::NormalExit;
    r.code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

ToolRun runTool(const QStringList& args)
{
    return runProgram(QStringLiteral(SKYVANE_GRIB_TOOL), args);
}

QByteArray encode(const GRIB_WRITE_PARAMS& params, const std::vector<float>& values,
                  GRIB_WRITE_LAYOUT* layout = nullptr)
{
    octets* out = nullptr;
    unsigned long len = 0;
    GRIB_WRITE_LAYOUT unused;
    char err[GRIB_ERRMSG_LEN] = "";
    if (grib_encode(&params, values.data(), values.size(), &out, &len,
                    layout ? layout : &unused, err) != 0) {
        qWarning("grib_encode: %s", err);
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(len));
    std::free(out);
    return bytes;
}

QString writeFile(const QTemporaryDir& dir, const QString& name,
                  const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

QJsonArray parseArray(const QByteArray& json, bool* ok)
{
    QJsonParseError e;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &e);
    *ok = e.error == QJsonParseError::NoError && doc.isArray();
    return doc.array();
}

std::vector<double> parseValues(const QByteArray& text)
{
    std::vector<double> v;
    for (const QByteArray& line : text.split('\n'))
        if (!line.isEmpty())
            v.push_back(line.toDouble());
    return v;
}

unsigned gct(unsigned height1, unsigned levelType, unsigned param)
{
    return height1 * 65536u + levelType * 256u + param;
}

const QStringList kJsonNames = {
    "index", "offset", "length", "edition", "centre", "subcentre", "table", "param", "levelType", "height1",
    "height2", "gct", "dataType", "ni", "nj", "lat1", "lon1", "lat2", "lon2", "di", "dj", "scanMode", "year",
    "month", "day", "hour", "minute", "century", "timeUnit", "p1", "p2", "timeRange", "decScale", "binScale",
    "reference", "bitsPerValue", "bitmap", "points", "status", "error", "discipline", "category", "number", "grid",
    "validTime", "kind", "drawable", "problem"};

QByteArray compact(const QJsonValue& v)
{
    return QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
}

// Every expected field; all mismatches are named in one failure.
void checkFields(const QJsonObject& actual, const QJsonObject& expected)
{
    QStringList mismatches;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QJsonValue got = actual.value(it.key());
        const QJsonValue want = it.value();
        const bool same = want.isDouble() ? got.isDouble() && got.toDouble() == want.toDouble()
                                          : got == want;
        if (!same)
            mismatches << QStringLiteral("%1: got %2, expected %3")
                              .arg(it.key(), compact(got), compact(want));
    }
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join("; ")));
}

QString samplePath(const char* name)
{
    return QDir(QStringLiteral(SKYVANE_GRIB_SAMPLES)).filePath(QString::fromLatin1(name));
}

// GRIB1, GRIB2 and GRIB1 samples one after the other; empty when one is missing.
QString writeMixedFile(const QTemporaryDir& dir)
{
    QByteArray bytes;
    for (const char* name : {"regular_latlon_surface.grib1", "regular_latlon_surface.grib2",
                             "CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib"}) {
        QFile f(samplePath(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        bytes += f.readAll();
    }
    return writeFile(dir, "mixed.grb", bytes);
}

const QString kGribLsKeys = "edition,discipline,parameterCategory,parameterNumber,gridType,validityDate,validityTime";

// A field as grib_ls -j describes it, under the names of list --json.
QJsonObject fromGribLs(const QJsonObject& m)
{
    auto code = [&m](const char* key) { return m.value(key).isString() ? QJsonValue() : m.value(key); };
    const int date = m.value("validityDate").toInt();
    const int time = m.value("validityTime").toInt();
    return {{"edition", m.value("edition")}, {"discipline", code("discipline")},
            {"category", code("parameterCategory")}, {"number", code("parameterNumber")},
            {"grid", m.value("gridType")},
            {"validTime", QString::asprintf("%04d-%02d-%02dT%02d:%02d:00Z", date / 10000, date / 100 % 100,
                                            date % 100, time / 100, time % 100)}};
}

}  // namespace

class TestSkyvaneGribTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void listJsonReportsWrittenFields();
    void listTableHasOneAlignedRowPerMessage();
    void valuesMatchWrittenData();
    void exitCodes_data();
    void exitCodes();
    void hugeReferenceIsNullInJson();
    void damagedFilesNeverCrash();
    void sampleFiles_data();
    void sampleFiles();
    void compoundsOfAForecast();
    void pointForecast();
    void editionsAgainstEcCodes_data();
    void editionsAgainstEcCodes();
    void grib2Forecast();

private:
    void writeMessages();

    QTemporaryDir dir_;
    QString inventory_;   // the four messages below, with junk around them
    QString undecodable_; // one message with an unknown data representation type
    std::vector<QByteArray> messages_;
    std::vector<qint64> offsets_;
    std::vector<std::vector<float>> values_;
    std::vector<unsigned char> bitmap_;
};

void TestSkyvaneGribTool::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY2(QFile::exists(QStringLiteral(SKYVANE_GRIB_TOOL)), SKYVANE_GRIB_TOOL);
    writeMessages();
}

// Message 0: 12 x 7 isobaric field, automatic scaling of whole numbers.
// Message 1: 5 x 4 layer field with a bitmap and explicit reference and scale.
// Message 2: 50 points without a grid description, decimal scale 1.
// Message 3: constant 3 x 2 field at 0 bits per value.
// The writer's defaults fill the rest.
void TestSkyvaneGribTool::writeMessages()
{
    GRIB_WRITE_PARAMS p[4];
    for (GRIB_WRITE_PARAMS& s : p)
        init_grib_write_params(&s);

    p[0].table_version = 128; p[0].centre = 98; p[0].subcentre = 3;
    p[0].param = 130; p[0].level_type = 100; p[0].level_value = 500;
    p[0].year = 2010; p[0].month = 5; p[0].day = 24; p[0].hour = 6; p[0].minute = 30; p[0].p1 = 12;
    p[0].ni = 12; p[0].nj = 7; p[0].lat1 = 60000; p[0].lon1 = -10000; p[0].lat2 = 54000; p[0].lon2 = 1000;
    p[0].di = p[0].dj = 1000; p[0].bits_per_value = 12;
    std::vector<float> v0(12 * 7);
    for (size_t i = 0; i < v0.size(); ++i)
        v0[i] = float((i * 7) % 83);

    p[1].param = 61; p[1].level_type = 112; p[1].level_value = (10 << 8) | 40;
    p[1].year = 1999; p[1].month = 12; p[1].day = 31; p[1].hour = 23; p[1].minute = 59;
    p[1].p2 = 6; p[1].time_range = 4;
    p[1].ni = 5; p[1].nj = 4; p[1].lat1 = -23000; p[1].lon1 = -30000; p[1].lat2 = -20000; p[1].lon2 = -26000;
    p[1].di = p[1].dj = 1000; p[1].scan_mode = 64;
    bitmap_.resize(20);
    for (size_t i = 0; i < bitmap_.size(); ++i)
        bitmap_[i] = (i % 3 != 1);
    p[1].bitmap = bitmap_.data();
    p[1].bits_per_value = 10; p[1].auto_scale = 0; p[1].bin_scale = -2; p[1].reference = -12.5;
    std::vector<float> v1(20);
    for (size_t i = 0; i < v1.size(); ++i)
        v1[i] = bitmap_[i] ? float(-12.5 + 0.25 * double(i * 37 % 1000)) : 1e6f;

    p[2].centre = 34; p[2].level_type = 1; p[2].level_value = 0;
    p[2].year = 2000; p[2].month = 1; p[2].day = 1; p[2].hour = 0;
    p[2].time_unit = 0; p[2].p1 = 45; p[2].dec_scale = 1; p[2].has_gds = 0;
    std::vector<float> v2(50);
    for (size_t i = 0; i < v2.size(); ++i)
        v2[i] = float(double(i) * 0.3 - 5.0);

    p[3].ni = 3; p[3].nj = 2; p[3].lat2 = p[3].lat1 - p[3].dj; p[3].lon2 = p[3].lon1 + 2 * p[3].di;
    p[3].bits_per_value = 0;

    values_ = {v0, v1, v2, std::vector<float>(6, 273.0f)};
    const QByteArray junk[] = {"abcde", "", "no message here", QByteArray("\0\0\0", 3), "tail"};
    QByteArray file;
    for (size_t i = 0; i < values_.size(); ++i) {
        messages_.push_back(encode(p[i], values_[i]));
        QVERIFY(!messages_[i].isEmpty());
        file += junk[i];
        offsets_.push_back(file.size());
        file += messages_[i];
    }
    file += junk[4];
    inventory_ = writeFile(dir_, "inventory.grb", file);
    QVERIFY(!inventory_.isEmpty());

    GRIB_WRITE_PARAMS s;
    GRIB_WRITE_LAYOUT layout;
    init_grib_write_params(&s);
    QByteArray bad = encode(s, std::vector<float>(size_t(s.ni) * size_t(s.nj), 1.0f), &layout);
    QVERIFY(!bad.isEmpty() && layout.gds_offset != 0);
    bad[qsizetype(layout.gds_offset + 5)] = char(50);
    undecodable_ = writeFile(dir_, "undecodable.grb", bad);
    QVERIFY(!undecodable_.isEmpty());
}

void TestSkyvaneGribTool::listJsonReportsWrittenFields()
{
    const ToolRun r = runTool({"list", "--json", inventory_});
    QVERIFY2(r.finished && r.code == 0 && r.err.isEmpty(), r.err.constData());
    bool ok = false;
    const QJsonArray list = parseArray(r.out, &ok);
    QVERIFY2(ok && list.size() == qsizetype(messages_.size()), r.out.constData());
    QStringList names = kJsonNames;
    names.sort();
    for (int i = 0; i < list.size(); ++i) {
        QCOMPARE(list[i].toObject().keys(), names);
        checkFields(list[i].toObject(), QJsonObject{{"index", i}, {"offset", double(offsets_[size_t(i)])},
                                                    {"length", double(messages_[size_t(i)].size())},
                                                    {"edition", 1}, {"status", 0}, {"error", QJsonValue::Null}});
    }
    // Between them the messages show every header field.
    checkFields(list[0].toObject(), QJsonObject{
        {"centre", 98}, {"subcentre", 3}, {"table", 128}, {"param", 130}, {"levelType", 100}, {"height1", 500},
        {"height2", 0}, {"gct", double(gct(500, 100, 130))}, {"dataType", 0}, {"ni", 12}, {"nj", 7},
        {"di", 1000}, {"dj", 1000}, {"year", 10}, {"century", 21}, {"minute", 30}, {"timeUnit", 1}, {"p1", 12},
        {"decScale", 0}, {"bitsPerValue", 12}, {"bitmap", false}, {"points", 84}});
    checkFields(list[1].toObject(), QJsonObject{
        {"centre", 7}, {"subcentre", 0}, {"table", 2}, {"param", 61}, {"levelType", 112}, {"height1", 10},
        {"height2", 40}, {"gct", double(gct(10, 112, 61))}, {"ni", 5}, {"nj", 4}, {"lat1", -23000},
        {"lon1", -30000}, {"lat2", -20000}, {"lon2", -26000}, {"scanMode", 64}, {"year", 99}, {"century", 20},
        {"month", 12}, {"day", 31}, {"hour", 23}, {"minute", 59}, {"p1", 0}, {"p2", 6}, {"timeRange", 4},
        {"binScale", -2}, {"reference", -12.5}, {"bitsPerValue", 10}, {"bitmap", true}, {"points", 20}});
    checkFields(list[2].toObject(), QJsonObject{
        {"centre", 34}, {"param", 11}, {"levelType", 1}, {"height1", 0}, {"gct", double(gct(0, 1, 11))},
        {"dataType", 255}, {"ni", 0}, {"nj", 0}, {"lat1", 0}, {"lon2", 0}, {"di", 0}, {"year", 100},
        {"century", 20}, {"timeUnit", 0}, {"p1", 45}, {"decScale", 1}, {"bitsPerValue", 16}, {"bitmap", false},
        {"points", 50}});
    checkFields(list[3].toObject(), QJsonObject{{"ni", 3}, {"nj", 2}, {"bitsPerValue", 0}, {"points", 6}});
}

// Right-aligned columns end where their header ends.
void TestSkyvaneGribTool::listTableHasOneAlignedRowPerMessage()
{
    const ToolRun r = runTool({"list", inventory_});
    QVERIFY2(r.finished && r.code == 0 && r.out.endsWith('\n'), r.err.constData());
    const QList<QByteArray> lines = r.out.chopped(1).split('\n');
    QCOMPARE(lines.size(), qsizetype(messages_.size() + 1));
    const qsizetype gctEnd = lines[0].indexOf(" gct ") + 4;
    QVERIFY(gctEnd > 4);
    const std::pair<unsigned, QList<QByteArray>> rows[] = {
        {gct(500, 100, 130), {" 12x7 ", " 60.000,-10.000 ", " 2010-05-24 06:30 "}},
        {gct(10, 112, 61), {" 1999-12-31 23:59 ", " yes "}},
        {gct(0, 1, 11), {" 2000-01-01 00:00 "}}};
    for (int i = 0; i < 3; ++i) {
        const QByteArray key = QByteArray::number(rows[i].first);
        QCOMPARE(lines[i + 1].mid(gctEnd - key.size(), key.size()), key);
        for (const QByteArray& part : rows[i].second)
            QVERIFY2(lines[i + 1].contains(part), lines[i + 1].constData());
    }
    // Message 2 has no grid, so its sea temperature cannot be drawn.
    for (int i = 1; i < lines.size(); ++i)
        QVERIFY2(lines[i].endsWith(i == 3 ? "sst  grid none is not drawn" : " ok"), lines[i].constData());
}

void TestSkyvaneGribTool::valuesMatchWrittenData()
{
    for (size_t m = 0; m < messages_.size(); ++m) {
        const ToolRun r = runTool({"values", inventory_, QString::number(m)});
        QVERIFY2(r.finished && r.code == 0, r.err.constData());
        const std::vector<double> got = parseValues(r.out);
        const std::vector<float>& want = values_[m];
        QCOMPARE(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            double expected = want[i];
            if (m == 1 && !bitmap_[i])
                expected = -9999.0;
            // Message 2 is packed at a tenth, the others exactly.
            const double tolerance = m == 2 ? 1e-5 : 0.0;
            QVERIFY2(std::fabs(got[i] - expected) <= tolerance,
                     qPrintable(QStringLiteral("message %1 point %2: %3, expected %4")
                                    .arg(m).arg(i).arg(got[i]).arg(expected)));
        }
    }
}

void TestSkyvaneGribTool::exitCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("message"); // part of the error line

    // Arguments split at spaces; @good, @bad, @missing and @dir stand for
    // files set up in the test.
    const struct {
        const char *name, *args;
        int code;
        const char* message;
    } rows[] = {
        {"help", "--help", 0, ""},
        {"list undecodable", "list --json @bad", 0, ""},
        {"dump", "dump @good 1", 0, ""},
        {"compounds", "compounds @good", 0, ""},
        {"compounds of junk", "compounds --json @bad", 0, ""},
        {"point", "point @good 89.5 1", 0, ""},
        {"values undecodable", "values @bad 0", 1, "unknown datatype=50"},
        {"index past end", "values @good 4", 1, "no field 4"},
        {"huge index", "values @good 99999999999999999999999", 1, "no field"},
        {"point outside every grid", "point @good -80 100", 1, "outside every grid"},
        {"point without LON", "point @good 55", 2, "LAT and LON"},
        {"point beyond the pole", "point @good 90.5 0", 2, "LAT must be"},
        {"point not a number", "point @good 55 east", 2, "LON must be"},
        {"point nan", "point @good nan 0", 2, "LAT must be"},
        {"no arguments", "", 2, "missing command"},
        {"unknown command", "show @good", 2, "unknown command show"},
        {"list without file", "list", 2, "FILE"},
        {"unknown option", "list --xml @good", 2, "--xml"},
        {"values without index", "values @good", 2, "INDEX"},
        {"negative index", "values @good -1", 2, "INDEX"},
        {"missing file", "list @missing", 2, "missing.grb"},
        {"values of missing file", "values @missing 0", 2, "missing.grb"},
        {"directory", "list --json @dir", 2, "directory"},
    };
    for (const auto& row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.args).split(' ', Qt::SkipEmptyParts) << row.code
                                << QByteArray(row.message);
}

void TestSkyvaneGribTool::exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, message);
    for (QString& a : args) {
        a.replace("@good", inventory_);
        a.replace("@bad", undecodable_);
        a.replace("@missing", dir_.filePath("missing.grb"));
        a.replace("@dir", dir_.path());
    }
    const ToolRun r = runTool(args);
    QVERIFY(r.finished);
    QCOMPARE(r.code, code);
    if (code == 0) {
        QVERIFY2(r.err.isEmpty() && !r.out.isEmpty(), r.err.constData());
    } else {
        const QByteArray first = r.err.left(r.err.indexOf('\n'));
        QVERIFY2(first.startsWith("skyvane-grib: ") && first.contains(message),
                 r.err.constData());
    }
}

// The largest IBM reference does not fit a float.
void TestSkyvaneGribTool::hugeReferenceIsNullInJson()
{
    GRIB_WRITE_PARAMS s;
    init_grib_write_params(&s);
    GRIB_WRITE_LAYOUT layout;
    QByteArray msg = encode(s, std::vector<float>(size_t(s.ni) * size_t(s.nj), 1.0f), &layout);
    QVERIFY(!msg.isEmpty());
    msg.replace(qsizetype(layout.bds_offset + 6), 4, QByteArray("\x7f\xff\xff\xff", 4));
    const ToolRun r = runTool({"list", "--json", writeFile(dir_, "huge-reference.grb", msg)});
    bool ok = false;
    const QJsonArray list = parseArray(r.out, &ok);
    QVERIFY2(r.finished && r.code == 0 && ok && list.size() == 1, r.out.constData());
    QVERIFY(list[0].toObject().value("reference").isNull());
}

void TestSkyvaneGribTool::damagedFilesNeverCrash()
{
    QRandomGenerator rng(20240611);
    auto randomBytes = [&](qsizetype n) {
        QByteArray b(n, '\0');
        for (char& c : b)
            c = char(rng.bounded(256));
        return b;
    };

    std::vector<std::pair<QString, QByteArray>> files;
    files.emplace_back("empty", QByteArray());
    files.emplace_back("random", randomBytes(64 * 1024));
    QByteArray magic = randomBytes(16 * 1024);
    for (int at = 100; at + 8 < magic.size(); at += 997)
        magic.replace(at, 8, QByteArray("GRIB\x00\x10\x00\x01", 8));
    files.emplace_back("random with magic", magic);
    files.emplace_back("header only", QByteArray("GRIB\x00\x01\x00\x01", 8));
    files.emplace_back("huge length", QByteArray("GRIB\xff\xff\xff\x01", 8) + randomBytes(300));
    files.emplace_back("false start", QByteArray("GRIB\0\0\0\x01", 8) + messages_[0]);
    for (size_t m = 0; m < messages_.size(); ++m)
        for (qsizetype cut : {qsizetype(4), qsizetype(20), messages_[m].size() / 2,
                              messages_[m].size() - 1})
            files.emplace_back(QStringLiteral("message %1 cut at %2").arg(m).arg(cut),
                               messages_[m].left(cut));
    QFile sample(samplePath("CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib"));
    if (sample.open(QIODevice::ReadOnly))
        files.emplace_back("sample cut", sample.read(9000));
    for (int i = 0; i < 60; ++i) {
        QByteArray mutant = messages_[size_t(i) % messages_.size()];
        for (int k = 0; k < 1 + i % 4; ++k)
            mutant[rng.bounded(mutant.size())] = char(rng.bounded(256));
        files.emplace_back(QStringLiteral("mutant %1").arg(i), mutant);
    }

    // Every command ends with one of its exit codes; a listing in JSON is
    // valid JSON even when it stops at damage.
    for (size_t f = 0; f < files.size(); ++f) {
        const QString path = writeFile(dir_, QStringLiteral("damaged%1.grb").arg(f), files[f].second);
        QVERIFY(!path.isEmpty());
        for (const QStringList& args : {QStringList{"list", path}, QStringList{"list", "--json", path},
                                        QStringList{"values", path, "0"}, QStringList{"dump", path, "0"},
                                        QStringList{"compounds", "--json", path},
                                        QStringList{"point", path, "55", "0"}}) {
            const ToolRun r = runTool(args);
            bool json = true;
            if (args[1] == "--json" && args[0] == "list" && r.code != 2)
                parseArray(r.out, &json);
            QVERIFY2(r.finished && r.code >= 0 && r.code <= 2 && json,
                     qPrintable(files[f].first + ": " + args.first() + " " + QString::fromLatin1(r.out.left(200))));
        }
    }
}

void TestSkyvaneGribTool::sampleFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("ni");
    QTest::addColumn<int>("nj");
    QTest::addColumn<bool>("withEcCodes");  // the printed values agree with grib_get_data's

    QTest::newRow("regular lat/lon") << "regular_latlon_surface.grib1" << 1 << 0 << 16 << 31 << true;
    QTest::newRow("rotated lat/lon") << "rotated_ll.grib1" << 1 << 10 << 496 << 372 << false;
    QTest::newRow("ecoclimap") << "cl00010000_ecoclimap_rot.grib1" << 22 << 10 << 186 << 186 << false;
    QTest::newRow("polar stereographic")
        << "CMC_reg_WIND_ISBL_300_ps60km_2010052400_P012.grib" << 1 << 5 << 135 << 95 << true;
    QTest::newRow("spherical harmonics") << "spherical_pressure_level.grib1" << 1 << -1 << 0 << 0 << false;
}

void TestSkyvaneGribTool::sampleFiles()
{
    QFETCH(QString, file);
    QFETCH(int, messages);
    QFETCH(int, dataType);
    QFETCH(int, ni);
    QFETCH(int, nj);
    QFETCH(bool, withEcCodes);
    const QString path = samplePath(qPrintable(file));
    if (!QFile::exists(path))
        QSKIP("sample file not installed");

    const ToolRun r = runTool({"list", "--json", path});
    bool ok = false;
    const QJsonArray list = parseArray(r.out, &ok);
    QVERIFY2(r.finished && r.code == 0 && ok && list.size() == messages, r.out.constData());
    if (dataType < 0)
        checkFields(list[0].toObject(), QJsonObject{
            {"status", 1}, {"error", "grib_dec: gribgetgds:  unknown datatype=50"}, {"points", 0}});
    if (dataType < 0 || messages == 0)
        return;
    for (const QJsonValue& v : list)
        checkFields(v.toObject(), QJsonObject{{"status", 0}, {"edition", 1}, {"dataType", dataType}, {"ni", ni},
                                              {"nj", nj}, {"points", double(ni) * nj}, {"bitmap", false}});
    const ToolRun table = runTool({"list", path});
    QVERIFY2(table.code == 0 && table.out.count('\n') == messages + 1, table.err.constData());

    const ToolRun values = runTool({"values", path, QString::number(messages - 1)});
    QVERIFY2(values.finished && values.code == 0, values.err.constData());
    const std::vector<double> got = parseValues(values.out);
    QCOMPARE(qsizetype(got.size()), qsizetype(ni) * nj);
    const QString gribGetData = QStandardPaths::findExecutable(QStringLiteral("grib_get_data"));
    if (!withEcCodes || gribGetData.isEmpty())
        return;
    // ecCodes reads the file independently: one line of titles, then
    // latitude, longitude and value of each point.
    const ToolRun theirs = runProgram(gribGetData, {"-F", "%.9g", path});
    QVERIFY(theirs.finished && theirs.code == 0);
    const QList<QByteArray> lines = theirs.out.trimmed().split('\n').mid(1);
    QCOMPARE(qsizetype(got.size()), lines.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const double want = lines[qsizetype(i)].simplified().split(' ').value(2).toDouble();
        QVERIFY2(std::fabs(got[i] - want) <= 1e-6 * std::max(1.0, std::fabs(want)),
                 qPrintable(QStringLiteral("point %1: %2, ecCodes %3").arg(i).arg(got[i]).arg(want)));
    }
}

// A forecast of three steps 6 hours apart: 10 m u and v wind, then
// mean-sea-level pressure, on a 3 x 2 grid from 50N 10W in 1-degree steps.
// Values at column c, row r, step k: u = 3 + k, v = 4 (+ c), pressure
// 101000 + 100 * r.
QString writeForecast(const QTemporaryDir& dir)
{
    QByteArray file;
    for (int k = 0; k < 3; ++k) {
        for (int field = 0; field < 3; ++field) {
            GRIB_WRITE_PARAMS s;
            init_grib_write_params(&s);
            s.ni = 3; s.nj = 2; s.lat1 = 50000; s.lon1 = -10000; s.lat2 = 49000; s.lon2 = -8000;
            s.di = s.dj = 1000; s.p1 = 6 * k; s.bits_per_value = 24;
            s.param = field == 0 ? 33 : field == 1 ? 34 : 2;
            s.level_type = field < 2 ? 105 : 102;
            s.level_value = field < 2 ? 10 : 0;
            std::vector<float> v;
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 3; ++c)
                    v.push_back(field == 0 ? float(3 + k) : field == 1 ? float(4 + c) : float(101000 + 100 * r));
            file += encode(s, v);
        }
    }
    return writeFile(dir, "forecast.grb", file);
}

void TestSkyvaneGribTool::compoundsOfAForecast()
{
    const QString path = writeForecast(dir_);
    const ToolRun r = runTool({"compounds", "--json", path});
    QVERIFY2(r.finished && r.code == 0, r.err.constData());
    // The keys: v, pressure, then u again opening the second step.
    checkFields(QJsonDocument::fromJson(r.out).object(),
                QJsonObject{{"messages", 9}, {"compoundSize", 3}, {"compounds", 3}, {"shortFirstCompound", false},
                            {"timeStep", 6}, {"gcts", QJsonArray{682274, 26114, 682273}},
                            {"area", QJsonObject{{"lon", -10}, {"lat", 50}, {"width", 2}, {"height", -1}}}});

    const ToolRun text = runTool({"compounds", path});
    QVERIFY2(text.code == 0 && text.out.contains("timeStep            6 h"), text.out.constData());
}

void TestSkyvaneGribTool::pointForecast()
{
    const QString path = writeForecast(dir_);
    // 49.5N 8.5W lies in column 1 of row 0: v = 5.
    const ToolRun r = runTool({"point", "--json", path, "49.5", "-8.5"});
    bool ok = false;
    const QJsonArray steps = parseArray(r.out, &ok);
    QVERIFY2(r.finished && r.code == 0 && ok && steps.size() == 3, r.out.constData());
    const char* times[] = {"2009-01-31 18:00", "2009-02-01 00:00", "2009-02-01 06:00"};
    for (int k = 0; k < 3; ++k) {
        checkFields(steps[k].toObject(), QJsonObject{{"compound", k}, {"time", times[k]}});
        const QJsonArray rows = steps[k].toObject().value("rows").toArray();
        QCOMPARE(rows.size(), 2);
        checkFields(rows[0].toObject(), QJsonObject{{"label", "Wind speed"}});
        const double speed = std::sqrt((3 + k) * (3 + k) + 25.0);
        QVERIFY(std::fabs(rows[0].toObject().value("value").toDouble() - speed) < 1e-5);
        checkFields(rows[1].toObject(), QJsonObject{{"label", "Pressure"}, {"value", 101000}});
    }
    // The text form, one line per step; the same place written as 351.5E.
    const ToolRun text = runTool({"point", path, "49", "351.5"});
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    QVERIFY2(text.code == 0 && lines.size() == 3, text.out.constData());
    QCOMPARE(lines[0], QByteArray("2009-01-31 18:00  Wind speed 5.83095  Pressure 101100"));
}

void TestSkyvaneGribTool::editionsAgainstEcCodes_data()
{
    QTest::addColumn<QString>("file");  // empty: the mixed file
    QTest::addColumn<int>("fields");
    QTest::addColumn<int>("probe");     // the field whose kind, status, values and sections are checked
    QTest::addColumn<QString>("kind");  // empty: null
    QTest::addColumn<bool>("drawable");
    QTest::addColumn<QString>("status");  // the end of its line in the table

    QTest::newRow("10 m u") << "gfs.grb" << 344 << 222 << "wind" << true << " ok";
    QTest::newRow("under a bitmap") << "gfs.grb" << 344 << 207 << "" << false << " ok";
    QTest::newRow("second field of a message") << "gfs.grb" << 344 << 4 << "" << false << " ok";
    QTest::newRow("one field") << "regular_latlon_surface.grib2" << 1 << 0 << "temperature" << true << " ok";
    QTest::newRow("polar stereographic") << "safrica.grib2" << 75 << 2 << "preciprate" << false
                                         << "  grid polar_stereographic is not drawn";
    QTest::newRow("mixed editions") << "" << 3 << 1 << "temperature" << true << " ok";
}

// Every field's codes, grid and valid time as grib_ls -j gives them; the
// probe's values as grib_get_data prints them and its sections' lengths as
// grib_get reads them.
void TestSkyvaneGribTool::editionsAgainstEcCodes()
{
    QFETCH(QString, file);
    QFETCH(int, fields);
    QFETCH(int, probe);
    QFETCH(QString, kind);
    QFETCH(bool, drawable);
    QFETCH(QString, status);
    const QString gribLs = QStandardPaths::findExecutable("grib_ls");
    const QString gribGet = QStandardPaths::findExecutable("grib_get");
    const QString gribGetData = QStandardPaths::findExecutable("grib_get_data");
    const QString path = file.isEmpty() ? writeMixedFile(dir_) : samplePath(qPrintable(file));
    if (gribLs.isEmpty() || gribGet.isEmpty() || gribGetData.isEmpty() || !QFile::exists(path))
        QSKIP("ecCodes' tools or the sample files not installed");

    bool ok = false;
    const QJsonArray list = parseArray(runTool({"list", "--json", path}).out, &ok);
    const QJsonArray theirs = QJsonDocument::fromJson(runProgram(gribLs, {"-j", "-p", kGribLsKeys, path}).out)
                                  .object().value("messages").toArray();
    QVERIFY2(ok && list.size() == fields && theirs.size() == fields, qPrintable(path));
    QStringList names = kJsonNames;
    names.sort();
    for (int i = 0; i < fields; ++i) {
        const QJsonObject field = list[i].toObject();
        QCOMPARE(field.keys(), names);
        QCOMPARE(field.value("centre").isNull(), field.value("edition") == 2);
        checkFields(field, fromGribLs(theirs[i].toObject()));
    }
    checkFields(list[probe].toObject(), {{"kind", kind.isEmpty() ? QJsonValue() : kind}, {"drawable", drawable}});
    const QList<QByteArray> table = runTool({"list", path}).out.trimmed().split('\n');
    QVERIFY(table.size() == fields + 1 && table[probe + 1].endsWith(status.toLatin1()));

    const QString count = QStringLiteral("count=%1").arg(probe + 1);
    const ToolRun values = runTool({"values", path, QString::number(probe)});
    QByteArray expected;
    for (const QByteArray& line : runProgram(gribGetData, {"-m", "-9999", "-F", "%.9g", "-w", count, path})
                                      .out.trimmed().split('\n').mid(1))
        expected += line.simplified().split(' ').value(2) + '\n';
    QVERIFY(values.code == 0 && !values.out.isEmpty());
    QCOMPARE(values.out, expected);

    if (list[probe].toObject().value("edition") != 2)
        return;
    QByteArray lengths;  // dump's lines of sections 3 to 7
    for (const QByteArray& line : runTool({"dump", path, QString::number(probe)}).out.split('\n').mid(5, 5))
        lengths += line.simplified().split(' ').last() + ' ';
    const ToolRun theirLengths = runProgram(
        gribGet, {"-w", count, "-p", "section3Length,section4Length,section5Length,section6Length,section7Length", path});
    QCOMPARE(lengths.trimmed(), theirLengths.out.trimmed());
}

// The time steps of GRIB2 files, and the wind at 50N 10E, a grid point,
// as the speed of the 10 m u and v values stored there.
void TestSkyvaneGribTool::grib2Forecast()
{
    const QString gfs = samplePath("gfs.grb");
    if (!QFile::exists(gfs) || !QFile::exists(samplePath("safrica.grib2")))
        QSKIP("sample files not installed");
    checkFields(QJsonDocument::fromJson(runTool({"compounds", "--json", gfs}).out).object(),
                {{"messages", 308}, {"fields", 344}, {"compounds", 1}, {"unreadable", 0}, {"problem", QJsonValue()}});
    const QJsonObject safrica =
        QJsonDocument::fromJson(runTool({"compounds", "--json", samplePath("safrica.grib2")}).out).object();
    QVERIFY(safrica.value("compounds") == 0 && safrica.value("problem").toString().contains("polar_stereographic"));

    const std::vector<double> u = parseValues(runTool({"values", gfs, "222"}).out);
    const std::vector<double> v = parseValues(runTool({"values", gfs, "223"}).out);
    const size_t at = 16 * 144 + 4;  // row 16 from 90N, column 4 from 0E, 2.5 degrees apart
    bool ok = false;
    const QJsonArray steps = parseArray(runTool({"point", "--json", gfs, "50", "10"}).out, &ok);
    QVERIFY(ok && steps.size() == 1 && u.size() == 144 * 73 && v.size() == u.size());
    const QJsonObject wind = steps[0].toObject().value("rows").toArray().at(0).toObject();
    QCOMPARE(wind.value("label"), "Wind speed");
    QVERIFY(std::fabs(wind.value("value").toDouble() - std::hypot(u[at], v[at])) < 1e-4);
}

QTEST_GUILESS_MAIN(TestSkyvaneGribTool)
#include "tst_skyvane_grib_tool.moc"
