// Cross-check of our GRIB1 reader against ecCodes on files that were
// written by other producers: ecCodes' own samples and the example files
// shipped with pygrib's documentation.
//
// For every file:
//  - the messages our forward scan finds must be exactly the edition-1
//    messages ecCodes finds, at the same offsets and with the same octets;
//  - every message we decode must give ecCodes' values (same count, missing
//    points in the same places, within a tolerance relative to the field's
//    range);
//  - every message we refuse must be of a kind we are known not to handle,
//    with the status and error text expected for that kind.

#include <QtTest/QtTest>

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <eccodes.h>

#include "grib.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace {

// The value both sides give to points the bitmap marks absent.
constexpr double kMissing = -9999.0;

// Failures listed per file before the rest are only counted.
constexpr int kMaxListedFailures = 40;

// Points listed per message when values disagree.
constexpr int kMaxListedPoints = 5;

struct SourceDir {
    const char* dir;
    const char* label;
    const char* pattern;
};

// The GRIB1 samples of libeccodes-data and the example files of
// python-grib-doc (GRIB1 and GRIB2 mixed, whatever their names say).
const std::vector<SourceDir>& sourceDirs()
{
    static const std::vector<SourceDir> dirs = {
        {"/usr/share/eccodes/samples", "samples", "*grib1*.tmpl"},
        {"/usr/share/eccodes/samples", "samples", "GRIB1.tmpl"},
        {"/usr/share/eccodes/ifs_samples/grib1", "ifs_samples/grib1", "*.tmpl"},
        {"/usr/share/doc/python-grib-doc/examples", "examples", "*"},
    };
    return dirs;
}

// What ecCodes says about one message.
struct RefMessage {
    long offset = -1;
    long edition = 0;
    long totalLength = 0;
    QString gridType;
    QString packingType;
    long bitsPerValue = -1;
    long numberOfValues = -1;
    long dataRepresentationType = -1;
    long dataFlag = -1; // the whole BDS octet 4: flag bits and unused bits
    long bitmapPresent = 0;
    bool niMissing = false;
    QByteArray bytes; // edition 1 only
};

// Kinds of message, decided from ecCodes' keys.
enum class Kind {
    Plain,             // we decode these
    SphericalHarmonic, // GDS data type 50
    ReducedPacked,     // quasi-regular grid, bits per value > 0
    ReducedConstant,   // quasi-regular grid, bits per value 0
    NonSimplePacking,  // BDS flag bits set: complex, second-order, ...
};

const char* kindName(Kind k)
{
    switch (k) {
    case Kind::Plain: return "plain";
    case Kind::SphericalHarmonic: return "spherical harmonics";
    case Kind::ReducedPacked: return "quasi-regular packed";
    case Kind::ReducedConstant: return "quasi-regular constant";
    case Kind::NonSimplePacking: return "non-simple packing";
    }
    return "?";
}

Kind kindOf(const RefMessage& m)
{
    if (m.gridType == QLatin1String("sh") || m.dataRepresentationType == 50)
        return Kind::SphericalHarmonic;
    // The packing flag is looked at before the point count can be checked
    // against the grid, so it wins over the quasi-regular cases.
    if (m.dataFlag >= 0 && (m.dataFlag & 0xF0) != 0)
        return Kind::NonSimplePacking;
    if (m.gridType.startsWith(QLatin1String("reduced_")) || m.niMissing)
        return m.bitsPerValue > 0 ? Kind::ReducedPacked : Kind::ReducedConstant;
    return Kind::Plain;
}

QString describe(const RefMessage& m)
{
    return QStringLiteral("ecCodes: edition %1, length %2, gridType %3, packingType %4, "
                          "bitsPerValue %5, numberOfValues %6, dataRepresentationType %7, "
                          "dataFlag %8, Ni %9")
        .arg(m.edition)
        .arg(m.totalLength)
        .arg(m.gridType, m.packingType)
        .arg(m.bitsPerValue)
        .arg(m.numberOfValues)
        .arg(m.dataRepresentationType)
        .arg(m.dataFlag)
        .arg(m.niMissing ? QStringLiteral("missing") : QStringLiteral("set"));
}

// Error texts end in a newline; show it.
QString shown(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

long refLong(codes_handle* h, const char* key, long fallback)
{
    long v = 0;
    return codes_get_long(h, key, &v) == 0 ? v : fallback;
}

QString refString(codes_handle* h, const char* key)
{
    char buf[256];
    size_t len = sizeof buf;
    if (codes_get_string(h, key, buf, &len) != 0)
        return QString();
    buf[sizeof buf - 1] = 0;
    return QString::fromLatin1(buf);
}

// Every message ecCodes finds in the file, in order.
bool readReference(const QString& path, std::vector<RefMessage>* out, QString* error)
{
    FILE* fp = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!fp) {
        *error = QStringLiteral("ecCodes side: cannot open the file");
        return false;
    }
    bool ok = true;
    for (;;) {
        int err = 0;
        codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err);
        if (!h) {
            if (err != 0) {
                *error = QStringLiteral("ecCodes stops after %1 messages: %2")
                             .arg(out->size())
                             .arg(QString::fromLatin1(codes_get_error_message(err)));
                ok = false;
            }
            break;
        }
        RefMessage m;
        m.offset = refLong(h, "offset", -1);
        m.edition = refLong(h, "edition", 0);
        m.totalLength = refLong(h, "totalLength", 0);
        if (m.edition == 1) {
            m.gridType = refString(h, "gridType");
            m.packingType = refString(h, "packingType");
            m.bitsPerValue = refLong(h, "bitsPerValue", -1);
            m.numberOfValues = refLong(h, "numberOfValues", -1);
            m.dataRepresentationType = refLong(h, "dataRepresentationType", -1);
            m.dataFlag = refLong(h, "dataFlag", -1);
            m.bitmapPresent = refLong(h, "bitmapPresent", 0);
            if (codes_is_defined(h, "Ni")) {
                int e = 0;
                m.niMissing = codes_is_missing(h, "Ni", &e) == 1 && e == 0;
            }
            const void* msg = nullptr;
            size_t len = 0;
            if (codes_get_message(h, &msg, &len) == 0 && msg)
                m.bytes = QByteArray(static_cast<const char*>(msg), static_cast<qsizetype>(len));
        }
        codes_handle_delete(h);
        out->push_back(std::move(m));
    }
    std::fclose(fp);
    return ok;
}

// ecCodes' values of one edition-1 message, with absent points at kMissing.
bool referenceValues(const RefMessage& m, std::vector<double>* values, QString* error)
{
    codes_handle* h = codes_handle_new_from_message_copy(nullptr, m.bytes.constData(),
                                                         static_cast<size_t>(m.bytes.size()));
    if (!h) {
        *error = QStringLiteral("ecCodes cannot reopen the message");
        return false;
    }
    bool ok = false;
    size_t n = 0;
    int err = codes_set_double(h, "missingValue", kMissing);
    if (err == 0)
        err = codes_get_size(h, "values", &n);
    if (err == 0) {
        values->assign(n, 0.0);
        err = codes_get_double_array(h, "values", values->data(), &n);
        values->resize(n);
    }
    if (err == 0)
        ok = true;
    else
        *error = QStringLiteral("ecCodes cannot give the values: %1")
                     .arg(QString::fromLatin1(codes_get_error_message(err)));
    codes_handle_delete(h);
    return ok;
}

// Compares our values with ecCodes'; empty when they agree.  *worst gets
// the largest difference as a fraction of the field's range (or of the
// value, for a constant field).
QString compareValues(const float* ours, unsigned long count, const std::vector<double>& ref,
                      double* worst)
{
    if (count != ref.size())
        return QStringLiteral("%1 values, ecCodes has %2").arg(count).arg(ref.size());

    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (double v : ref) {
        if (v != kMissing) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    const double range = hi > lo ? hi - lo : 0.0;

    QStringList points;
    unsigned long missingMismatch = 0, valueMismatch = 0;
    double maxDiff = 0.0;
    for (unsigned long i = 0; i < count; ++i) {
        const double r = ref[i];
        const double o = ours[i];
        const bool refMissing = r == kMissing;
        const bool ourMissing = ours[i] == static_cast<float>(kMissing);
        if (refMissing != ourMissing) {
            if (++missingMismatch <= kMaxListedPoints)
                points << QStringLiteral("point %1: ours %2, ecCodes %3")
                              .arg(i)
                              .arg(o, 0, 'g', 9)
                              .arg(r, 0, 'g', 17);
            continue;
        }
        if (refMissing)
            continue;
        // 1e-6 of the field's range; a constant field gets an allowance for
        // the single-precision rounding of its value instead.
        const double tol = range > 0.0 ? 1e-6 * range : 1e-6 * std::max(1.0, std::fabs(r));
        const double diff = std::fabs(o - r);
        maxDiff = std::max(maxDiff, diff);
        *worst = std::max(*worst, diff / (range > 0.0 ? range : std::max(1.0, std::fabs(r))));
        if (!(diff <= tol)) {
            if (++valueMismatch <= kMaxListedPoints)
                points << QStringLiteral("point %1: ours %2, ecCodes %3, difference %4 > %5")
                              .arg(i)
                              .arg(o, 0, 'g', 9)
                              .arg(r, 0, 'g', 17)
                              .arg(diff, 0, 'g', 3)
                              .arg(tol, 0, 'g', 3);
        }
    }
    if (missingMismatch == 0 && valueMismatch == 0)
        return QString();
    return QStringLiteral("%1 points missing on one side only, %2 values off (range %3, "
                          "largest difference %4): %5")
        .arg(missingMismatch)
        .arg(valueMismatch)
        .arg(range, 0, 'g', 9)
        .arg(maxDiff, 0, 'g', 3)
        .arg(points.join(QLatin1String("; ")));
}

// Empty when our refusal is the one expected for the kind: its status and
// the start of its text (the whole text where it ends in a newline).
QString checkRefusal(Kind kind, const RefMessage& m, int status, const QString& text)
{
    int wantStatus = 0;
    QString want;
    switch (kind) {
    case Kind::SphericalHarmonic:
        wantStatus = 1;
        want = QStringLiteral("grib_dec: gribgetgds:  unknown datatype=50\n");
        break;
    case Kind::ReducedPacked:
        wantStatus = 3;
        want = QStringLiteral("grib_dec: gribgetbds:  GDS present, #datapts calculated (%1)")
                   .arg(m.numberOfValues);
        break;
    case Kind::ReducedConstant:
        wantStatus = 5;
        want = QStringLiteral("grib_dec:  constant field on a quasi-regular grid");
        break;
    case Kind::NonSimplePacking:
        wantStatus = 1;
        want = QStringLiteral("grib_dec: gribgetbds:  unrecognized packing algorithm\n");
        break;
    case Kind::Plain:
        return QStringLiteral("a plain message is expected to decode");
    }
    const bool textOk = want.endsWith(QLatin1Char('\n')) ? text == want : text.startsWith(want);
    if (status == wantStatus && textOk)
        return QString();
    return QStringLiteral("expected status %1 with %2").arg(wantStatus).arg(shown(want));
}

struct FileRow {
    QString name;
    QString path;
};

std::vector<FileRow> fileRows()
{
    std::vector<FileRow> rows;
    for (const SourceDir& d : sourceDirs()) {
        const QDir dir(QString::fromLatin1(d.dir));
        for (const QString& n :
             dir.entryList(QStringList{QString::fromLatin1(d.pattern)}, QDir::Files, QDir::Name))
            rows.push_back({QString::fromLatin1(d.label) + QLatin1Char('/') + n, dir.filePath(n)});
    }
    return rows;
}

} // namespace

class EccodesCrosscheck : public QObject {
    Q_OBJECT

private slots:
    void referenceFilesPresent();
    void file_data();
    void file();
};

void EccodesCrosscheck::referenceFilesPresent()
{
    const size_t present = fileRows().size();
    QVERIFY2(present > 0,
             "none of the reference files exist: install libeccodes-data and python-grib-doc");
    qInfo("%zu reference files present", present);
}

void EccodesCrosscheck::file_data()
{
    QTest::addColumn<QString>("path");
    for (const FileRow& r : fileRows())
        QTest::newRow(qPrintable(r.name)) << r.path;
}

void EccodesCrosscheck::file()
{
    QFETCH(QString, path);

    std::vector<RefMessage> ref;
    QString refError;
    const bool refOk = readReference(path, &ref, &refError);
    QVERIFY2(refOk, qPrintable(path + QLatin1String(": ") + refError));

    std::map<long, const RefMessage*> refEd1;
    int otherEditions = 0;
    for (const RefMessage& m : ref) {
        if (m.edition == 1)
            refEd1[m.offset] = &m;
        else
            ++otherEditions;
    }

    QStringList failures;
    int failureCount = 0;
    auto fail = [&](long offset, const QString& what) {
        ++failureCount;
        const QString line = offset >= 0
            ? QStringLiteral("%1 at offset %2: %3").arg(path).arg(offset).arg(what)
            : QStringLiteral("%1: %2").arg(path, what);
        if (failures.size() < kMaxListedFailures)
            failures << line;
    };

    char err[GRIB_ERRMSG_LEN];
    err[0] = 0;
    GRIB_HDR* gh = nullptr;
    const int initStatus = init_gribhdr(&gh, err);
    QVERIFY2(initStatus == 0 && gh, err);

    const QByteArray fileName = QFile::encodeName(path);
    int found = 0, accepted = 0;
    double worst = 0.0;
    std::map<Kind, int> refused;
    int unexpected = 0;
    std::set<long> ourOffsets;

    long offset = 0;
    int endStatus = 0;
    QString endText;
    for (;;) {
        err[0] = 0;
        const int st = grib_seek(fileName.constData(), &offset, 0, gh, err);
        if (st != 0) {
            endStatus = st;
            endText = QString::fromLatin1(err);
            break;
        }
        if (gh->msg_length <= 0 || err[0] != 0) {
            ++offset;
            continue;
        }
        const long at = offset;
        const long length = gh->msg_length;
        offset += length;
        ++found;
        ourOffsets.insert(at);

        const auto it = refEd1.find(at);
        if (it == refEd1.end()) {
            const auto other = std::find_if(ref.begin(), ref.end(),
                                            [at](const RefMessage& m) { return m.offset == at; });
            if (other != ref.end())
                fail(at, QStringLiteral("our scan returns a message of %1 octets; ecCodes reads "
                                        "an edition %2 message there")
                             .arg(length)
                             .arg(other->edition));
            else
                fail(at, QStringLiteral("our scan returns a message of %1 octets; ecCodes finds "
                                        "no message there")
                             .arg(length));
            ++unexpected;
            continue;
        }
        const RefMessage& m = *it->second;
        if (length != m.totalLength
            || QByteArray::fromRawData(reinterpret_cast<const char*>(gh->entire_msg),
                                       static_cast<qsizetype>(length))
                   != m.bytes) {
            fail(at, QStringLiteral("our scan holds %1 octets that differ from ecCodes' "
                                    "message (%2)")
                         .arg(length)
                         .arg(describe(m)));
        }

        GRIB_MESSAGE decoded;
        err[0] = 0;
        const int st2 = grib_decode_message(gh->entire_msg, static_cast<float>(kMissing),
                                            &decoded, err);
        const QString text = QString::fromLatin1(err);
        const bool ok = st2 == 0;
        const float* data = decoded.values;
        const BDS_HEAD_INPUT& bds = decoded.bds;

        const Kind kind = kindOf(m);
        if (ok) {
            ++accepted;
            if (kind != Kind::Plain)
                fail(at, QStringLiteral("decoded %1 values although the message is %2 (%3)")
                             .arg(bds.ulGrid_size)
                             .arg(QLatin1String(kindName(kind)), describe(m)));
            std::vector<double> values;
            QString valueError;
            if (!referenceValues(m, &values, &valueError)) {
                fail(at, valueError);
            } else {
                const QString diff = compareValues(data, bds.ulGrid_size, values, &worst);
                if (!diff.isEmpty())
                    fail(at, QStringLiteral("values differ: %1 (%2)").arg(diff, describe(m)));
            }
        } else {
            const QString why = checkRefusal(kind, m, st2, text);
            if (why.isEmpty()) {
                ++refused[kind];
            } else {
                ++unexpected;
                fail(at, QStringLiteral("refused with status %1 %2; %3 for a %4 message (%5)")
                             .arg(st2)
                             .arg(shown(text), why, QLatin1String(kindName(kind)), describe(m)));
            }
        }
        grib_release_message(&decoded);
    }
    free_gribhdr(&gh);

    if (endStatus != 2)
        fail(-1, QStringLiteral("our scan ended with status %1 %2 instead of 2 (end of data) "
                                "after offset %3")
                     .arg(endStatus)
                     .arg(shown(endText))
                     .arg(offset));
    for (const auto& [at, m] : refEd1)
        if (!ourOffsets.count(at))
            fail(at, QStringLiteral("ecCodes finds an edition-1 message our scan misses (%1)")
                         .arg(describe(*m)));

    qInfo("%s: %d messages found (ecCodes: %d edition 1, %d other editions), %d decoded, "
          "refused: %d spherical harmonics, %d quasi-regular packed, %d quasi-regular constant, "
          "%d non-simple packing, %d unexpected; largest difference %.3g relative to the range",
          qPrintable(QFileInfo(path).fileName()), found, int(refEd1.size()), otherEditions,
          accepted, refused[Kind::SphericalHarmonic], refused[Kind::ReducedPacked],
          refused[Kind::ReducedConstant], refused[Kind::NonSimplePacking], unexpected, worst);

    if (failureCount > 0) {
        if (failureCount > failures.size())
            failures << QStringLiteral("... and %1 more").arg(failureCount - failures.size());
        QFAIL(qPrintable(failures.join(QLatin1Char('\n'))));
    }
}

QTEST_GUILESS_MAIN(EccodesCrosscheck)

#include "tst_eccodes_crosscheck.moc"
