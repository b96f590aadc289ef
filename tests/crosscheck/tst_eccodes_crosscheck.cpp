// Our GRIB1 reader against ecCodes on files other producers wrote (ecCodes' samples, pygrib's examples):
// our forward scan finds exactly ecCodes' edition-1 messages, at the same offsets with the same octets;
// each message we decode gives ecCodes' values; each we refuse is of a kind we are known not to handle,
// with the status and error text expected for that kind.
#include <QtTest/QtTest>

#include <eccodes.h>

#include "grib.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

namespace {

constexpr double kMissing = -9999.0;  // both sides give it to points the bitmap marks absent

// What ecCodes says about one message.
struct RefMessage {
    long offset = -1, edition = 0, totalLength = 0;
    QString gridType, packingType;
    long bitsPerValue = -1, numberOfValues = -1, dataRepresentationType = -1;
    long dataFlag = -1;  // the whole BDS octet 4: flag bits and unused bits
    bool niMissing = false;
    QByteArray bytes;  // edition 1 only
};

enum class Kind { Plain, SphericalHarmonic, ReducedPacked, ReducedConstant, NonSimplePacking };

Kind kindOf(const RefMessage& m)
{
    if (m.gridType == QLatin1String("sh") || m.dataRepresentationType == 50)
        return Kind::SphericalHarmonic;
    // The packing flag is looked at before the point count is checked against the grid, so it wins over the
    // quasi-regular cases.
    if (m.dataFlag >= 0 && (m.dataFlag & 0xF0) != 0)
        return Kind::NonSimplePacking;
    if (m.gridType.startsWith(QLatin1String("reduced_")) || m.niMissing)
        return m.bitsPerValue > 0 ? Kind::ReducedPacked : Kind::ReducedConstant;
    return Kind::Plain;
}

QString describe(const RefMessage& m)
{
    return QString("ecCodes: %1, %2, %3 bits, BDS flag %4").arg(m.gridType, m.packingType).arg(m.bitsPerValue)
        .arg(m.dataFlag);
}

long refLong(codes_handle* h, const char* key, long fallback)
{
    long v = 0;
    return codes_get_long(h, key, &v) == 0 ? v : fallback;
}

QString refString(codes_handle* h, const char* key)
{
    char buf[256] = "";
    size_t len = sizeof buf - 1;  // the last octet stays the end
    return codes_get_string(h, key, buf, &len) == 0 ? QString::fromLatin1(buf) : QString();
}

// Every message ecCodes finds in the file, in order.
bool readReference(const QString& path, std::vector<RefMessage>* out, QString* error)
{
    FILE* fp = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!fp) {
        *error = QStringLiteral("ecCodes side: cannot open the file");
        return false;
    }
    int err = 0;
    while (codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err)) {
        RefMessage m;
        m.offset = refLong(h, "offset", -1), m.edition = refLong(h, "edition", 0);
        m.totalLength = refLong(h, "totalLength", 0);
        if (m.edition == 1) {
            m.gridType = refString(h, "gridType");
            m.packingType = refString(h, "packingType");
            m.bitsPerValue = refLong(h, "bitsPerValue", -1);
            m.numberOfValues = refLong(h, "numberOfValues", -1);
            m.dataRepresentationType = refLong(h, "dataRepresentationType", -1);
            m.dataFlag = refLong(h, "dataFlag", -1);
            int e = 0;
            m.niMissing = codes_is_defined(h, "Ni") && codes_is_missing(h, "Ni", &e) == 1 && e == 0;
            const void* msg = nullptr;
            size_t len = 0;
            if (codes_get_message(h, &msg, &len) == 0 && msg)
                m.bytes = QByteArray(static_cast<const char*>(msg), static_cast<qsizetype>(len));
        }
        codes_handle_delete(h);
        out->push_back(std::move(m));
    }
    std::fclose(fp);
    if (err != 0)
        *error = QStringLiteral("ecCodes stops after %1 messages: %2").arg(out->size())
                     .arg(codes_get_error_message(err));
    return err == 0;
}

// ecCodes' values of one edition-1 message, with absent points at kMissing.
bool referenceValues(const RefMessage& m, std::vector<double>* values, QString* error)
{
    codes_handle* h = codes_handle_new_from_message_copy(nullptr, m.bytes.constData(), size_t(m.bytes.size()));
    if (!h) {
        *error = QStringLiteral("ecCodes cannot reopen the message");
        return false;
    }
    size_t n = 0;
    int err = codes_set_double(h, "missingValue", kMissing);
    if (err == 0 && (err = codes_get_size(h, "values", &n)) == 0) {
        values->assign(n, 0.0);
        err = codes_get_double_array(h, "values", values->data(), &n);
        values->resize(n);
    }
    if (err != 0)
        *error = QStringLiteral("ecCodes cannot give the values: %1").arg(codes_get_error_message(err));
    codes_handle_delete(h);
    return err == 0;
}

// Empty when our values agree with ecCodes', else the count or the first points that differ.  The tolerance
// is 1e-6 of the field's range; a constant field gets an allowance for the single-precision rounding of its
// value instead.
QString compareValues(const float* ours, unsigned long count, const std::vector<double>& ref)
{
    if (count != ref.size())
        return QStringLiteral("%1 values, ecCodes has %2").arg(count).arg(ref.size());
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (double v : ref)
        if (v != kMissing)
            lo = std::min(lo, v), hi = std::max(hi, v);
    const double range = hi > lo ? hi - lo : 0.0;
    QStringList points;
    for (unsigned long i = 0; i < count && points.size() < 5; ++i) {
        const double r = ref[i], o = ours[i];
        const bool refMissing = r == kMissing;
        const double tol = range > 0.0 ? 1e-6 * range : 1e-6 * std::max(1.0, std::fabs(r));
        if (refMissing != (ours[i] == float(kMissing)) || (!refMissing && !(std::fabs(o - r) <= tol)))
            points << QStringLiteral("point %1: ours %2, ecCodes %3").arg(i).arg(o, 0, 'g', 9).arg(r, 0, 'g', 17);
    }
    return points.join(QLatin1String("; "));
}

// Empty when our refusal is the one expected for the kind: its status and the start of its text (the whole
// text where it ends in a newline).
QString checkRefusal(Kind kind, const RefMessage& m, int status, const QString& text)
{
    const std::map<Kind, std::pair<int, QString>> refusals = {
        {Kind::SphericalHarmonic, {1, "grib_dec: gribgetgds:  unknown datatype=50\n"}},
        {Kind::ReducedPacked,
         {3, QString("grib_dec: gribgetbds:  GDS present, #datapts calculated (%1)").arg(m.numberOfValues)}},
        {Kind::ReducedConstant, {5, "grib_dec:  constant field on a quasi-regular grid"}},
        {Kind::NonSimplePacking, {1, "grib_dec: gribgetbds:  unrecognized packing algorithm\n"}}};
    const auto it = refusals.find(kind);
    if (it == refusals.end())
        return QStringLiteral("a plain message is expected to decode");
    const auto& [wantStatus, want] = it->second;
    if (status == wantStatus && (want.endsWith('\n') ? text == want : text.startsWith(want)))
        return QString();
    return QStringLiteral("expected status %1 with \"%2\"").arg(wantStatus).arg(want.trimmed());
}

// The GRIB1 samples of libeccodes-data and the example files of python-grib-doc (GRIB1 and GRIB2 mixed,
// whatever their names say), as (row name, path).
QList<QPair<QString, QString>> fileRows()
{
    const struct { const char *dir, *label, *pattern; } sources[] = {
        {"/usr/share/eccodes/samples", "samples", "*grib1*.tmpl"},
        {"/usr/share/eccodes/samples", "samples", "GRIB1.tmpl"},
        {"/usr/share/eccodes/ifs_samples/grib1", "ifs_samples/grib1", "*.tmpl"},
        {"/usr/share/doc/python-grib-doc/examples", "examples", "*"}};
    QList<QPair<QString, QString>> rows;
    for (const auto& source : sources) {
        const QDir dir(QString::fromLatin1(source.dir));
        for (const QString& n : dir.entryList({QString::fromLatin1(source.pattern)}, QDir::Files, QDir::Name))
            rows.append({QString::fromLatin1(source.label) + QLatin1Char('/') + n, dir.filePath(n)});
    }
    return rows;
}

}  // namespace

class EccodesCrosscheck : public QObject {
    Q_OBJECT

private slots:
    void referenceFilesPresent()
    {
        QVERIFY2(!fileRows().isEmpty(),
                 "none of the reference files exist: install libeccodes-data and python-grib-doc");
    }

    void file_data()
    {
        QTest::addColumn<QString>("path");
        for (const auto& [name, path] : fileRows())
            QTest::newRow(qPrintable(name)) << path;
    }

    void file();
};

void EccodesCrosscheck::file()
{
    QFETCH(QString, path);
    std::vector<RefMessage> ref;
    QString refError;
    QVERIFY2(readReference(path, &ref, &refError), qPrintable(path + QLatin1String(": ") + refError));
    std::map<long, const RefMessage*> atOffset;
    for (const RefMessage& m : ref)
        atOffset[m.offset] = &m;
    QStringList failures;
    auto fail = [&](long at, const QString& what) { failures << QStringLiteral("offset %1: %2").arg(at).arg(what); };
    char err[GRIB_ERRMSG_LEN] = "";
    GRIB_HDR* gh = nullptr;
    QVERIFY2(init_gribhdr(&gh, err) == 0 && gh, err);
    const QByteArray fileName = QFile::encodeName(path);
    std::set<long> found;
    long offset = 0;
    int status = 0;
    while ((status = grib_seek(fileName.constData(), &offset, 0, gh, err)) == 0) {
        if (gh->msg_length <= 0 || err[0] != 0) {
            ++offset, err[0] = 0;
            continue;
        }
        const long at = offset, length = gh->msg_length;
        offset += length;
        found.insert(at);
        const auto it = atOffset.find(at);
        if (it == atOffset.end() || it->second->edition != 1) {
            fail(at, QStringLiteral("our scan returns %1 octets; ecCodes has no edition-1 message there").arg(length));
            continue;
        }
        const RefMessage& m = *it->second;
        if (QByteArray(reinterpret_cast<const char*>(gh->entire_msg), qsizetype(length)) != m.bytes)
            fail(at, QStringLiteral("our %1 octets differ from ecCodes' %2").arg(length).arg(m.totalLength));
        GRIB_MESSAGE decoded;
        const int decodeStatus = grib_decode_message(gh->entire_msg, float(kMissing), &decoded, err);
        const Kind kind = kindOf(m);
        std::vector<double> values;
        QString why;
        if (decodeStatus != 0)
            why = checkRefusal(kind, m, decodeStatus, QString::fromLatin1(err));
        else if (kind != Kind::Plain)
            why = QStringLiteral("decoded although ecCodes shows a kind we do not handle");
        else if (referenceValues(m, &values, &why))
            why = compareValues(decoded.values, decoded.bds.ulGrid_size, values);
        if (!why.isEmpty())
            fail(at, QStringLiteral("status %1 \"%2\": %3 (%4)").arg(decodeStatus)
                         .arg(QString(err).trimmed(), why, describe(m)));
        grib_release_message(&decoded);
        err[0] = 0;
    }
    free_gribhdr(&gh);
    if (status != 2)
        fail(offset, QStringLiteral("our scan ended with status %1 \"%2\", not 2 (end of data)").arg(status).arg(err));
    for (const RefMessage& m : ref)
        if (m.edition == 1 && !found.count(m.offset))
            fail(m.offset, QStringLiteral("our scan misses this message (%1)").arg(describe(m)));
    QVERIFY2(failures.isEmpty(), qPrintable(path + QLatin1Char('\n') + failures.mid(0, 40).join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(EccodesCrosscheck)
#include "tst_eccodes_crosscheck.moc"
