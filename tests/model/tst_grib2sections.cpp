// The section check of GRIB edition 2 messages on damaged copies of a real
// message, GribFile on files mixing them with good messages of both
// editions and with garbage, and messages of several fields: a real file,
// and fields sharing one bitmap.
#include "Grib2Sections.h"
#include "GribFile.h"
#include "modelfixtures.h"

#include <QTest>

#include <cstring>
#include <set>

using namespace modelfixtures;

namespace {

const QString kExamples = QStringLiteral("/usr/share/doc/python-grib-doc/examples/");

using Damage = void (*)(Bytes&);

Bytes readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return Bytes(all.begin(), all.end());
}

uint32_t be32(const Bytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

void putBe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}

void setTotal(Bytes& m, uint64_t total)
{
    for (int i = 0; i < 8; ++i)
        m[8 + size_t(i)] = static_cast<unsigned char>(total >> (8 * (7 - i)));
}

// Sections 1 to 7 of a sound message of one field, in order.
std::vector<Bytes> sectionsOf(const Bytes& m)
{
    std::vector<Bytes> sections;
    for (size_t at = Grib2Sections::kIndicatorLength; at + 4 < m.size(); at += be32(m, at))
        sections.emplace_back(m.begin() + long(at), m.begin() + long(at + be32(m, at)));
    return sections;
}

// m's section 0 with these sections and the end marker; the total length
// made to match.
Bytes messageOf(const Bytes& m, const std::vector<Bytes>& sections)
{
    Bytes out(m.begin(), m.begin() + long(Grib2Sections::kIndicatorLength));
    for (const Bytes& s : sections)
        out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), {'7', '7', '7', '7'});
    setTotal(out, out.size());
    return out;
}

// Rebuilds m after f changed its sections (index 0 is section 1).
template <typename F>
void editSections(Bytes& m, F f)
{
    std::vector<Bytes> s = sectionsOf(m);
    f(s);
    m = messageOf(m, s);
}

// The message as two fields sharing one bitmap: the first gives it, with
// point 0 missing; the second refers back to it with indicator 254.
Bytes sharedBitmapMessage(const Bytes& m)
{
    std::vector<Bytes> s = sectionsOf(m);
    const uint32_t points = be32(s[4], 5);  // section 5: values packed
    putBe32(s[4], 5, points - 1);
    Bytes given(6 + (points + 7) / 8, 0xff);
    putBe32(given, 0, uint32_t(given.size()));
    given[4] = 6, given[5] = 0, given[6] = 0x7f;
    const Bytes reused = {0, 0, 0, 6, 6, 254};
    return messageOf(m, {s[0], s[1], s[2], s[3], s[4], given, s[6], s[3], s[4], reused, s[6]});
}

Grib2Sections::Reader readerOf(const Bytes& m)
{
    return [&m](uint64_t offset, size_t count, unsigned char* out) {
        if (offset > m.size() || count > m.size() - offset)
            return false;
        std::memcpy(out, m.data() + offset, count);
        return true;
    };
}

// Every field decoded and every compound read: nothing listed fails.
void walkAll(GribFile& grib)
{
    GribMsg msg;
    std::vector<double> values;
    std::string error;
    for (int n = 0; n < grib.messageCount(); ++n) {
        QVERIFY(grib.goMsg(n, msg));
        QVERIFY2(grib.storedValues(n, values, error), error.c_str());
    }
    CompoundMsg c;
    for (int n = 0; n < grib.getCompoundNum(); ++n)
        QVERIFY(grib.goCompound(n, c));
}

}  // namespace

Q_DECLARE_METATYPE(Damage)

class TestGrib2Sections : public QObject {
    Q_OBJECT

    Bytes good2;  // one field, 16 x 31 points, no bitmap
    Bytes good1 = fixtures::encode(at(pressure(), 0), std::vector<float>(12, 101300.0f));

    // A file laid out as the characters say: 2 and 1 a good message of that
    // edition, d the damaged one, x garbage, g garbage that opens like an
    // edition 2 message.  offsets gets where the good ones start.
    QByteArray writeFile(GribTestFile& file, const QByteArray& layout, const Bytes& damaged,
                         std::vector<long>& offsets)
    {
        const Bytes falseStart = {'G', 'R', 'I', 'B', 0xff, 0xff, 0, 2, 0, 0, 0, 0, 0, 0, 0, 40, 'x', 'x'};
        for (const char part : layout) {
            if (part == '1' || part == '2')
                offsets.push_back(long(file.octets().size()));
            file.addRaw(part == '2' ? good2 : part == '1' ? good1 : part == 'd' ? damaged
                        : part == 'g' ? falseStart : fixtures::filler(37));
        }
        return file.write();
    }

    // GribFile lists exactly the good messages of layout, in order, and
    // reads each of them.
    void checkFile(const QByteArray& layout, const Bytes& damaged = {})
    {
        GribTestFile file;
        std::vector<long> offsets;
        GribFile grib(writeFile(file, layout, damaged, offsets).constData());
        std::vector<long> found;
        QByteArray editions;
        for (const GribField& field : grib.fields()) {
            found.push_back(field.offset);
            editions += char('0' + field.edition);
        }
        QCOMPARE(editions, QByteArray(layout).replace('x', "").replace('g', "").replace('d', ""));
        QCOMPARE(found, offsets);
        walkAll(grib);
    }

private slots:
    void initTestCase()
    {
        good2 = readFile(kExamples + "regular_latlon_surface.grib2");
        if (good2.empty())
            QSKIP("python-grib-doc's examples are not installed");
    }

    void damagedMessage_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("total length past the file")
            << Damage([](Bytes& m) { setTotal(m, m.size() + 1); }) << QByteArray("runs past the end of the file");
        QTest::newRow("total length short of the sections")
            << Damage([](Bytes& m) { setTotal(m, m.size() - 100); }) << QByteArray("does not fit the message");
        QTest::newRow("section length 0")
            << Damage([](Bytes& m) { editSections(m, [](auto& s) { putBe32(s[2], 0, 0); }); })
            << QByteArray("section 3 at octet 54 states length 0");
        QTest::newRow("section length 4")
            << Damage([](Bytes& m) { editSections(m, [](auto& s) { putBe32(s[2], 0, 4); }); })
            << QByteArray("section 3 at octet 54 states length 4");
        QTest::newRow("section running past the end")
            << Damage([](Bytes& m) { editSections(m, [](auto& s) { putBe32(s[6], 0, be32(s[6], 0) + 100); }); })
            << QByteArray("section 7 at octet 187 states length 1097, which does not fit the message");
        QTest::newRow("sections out of order")
            << Damage([](Bytes& m) { editSections(m, [](auto& s) { std::swap(s[3], s[4]); }); })
            << QByteArray("section 5 out of order after section 3");
        QTest::newRow("no data section")
            << Damage([](Bytes& m) { editSections(m, [](auto& s) { s.pop_back(); }); })
            << QByteArray("message ends before a data section");
        QTest::newRow("no end marker")
            << Damage([](Bytes& m) { m.back() = '8'; }) << QByteArray("no end marker 7777");
        QTest::newRow("bitmap 254 without an earlier bitmap")
            << Damage([](Bytes& m) { editSections(m, [](auto& s) { s[5][5] = 254; }); })
            << QByteArray("earlier bitmap the message never gave");
        QTest::newRow("cut in the middle")
            << Damage([](Bytes& m) { m.resize(m.size() / 2); }) << QByteArray("runs past the end of the file");
    }

    // Refused with its reason alone; skipped among good messages of both
    // editions, which are all read.
    void damagedMessage()
    {
        QFETCH(Damage, damage);
        QFETCH(QByteArray, reason);
        Bytes damaged = good2;
        damage(damaged);
        Grib2Sections::Layout layout;
        std::string error;
        QVERIFY(!Grib2Sections::readLayout(readerOf(damaged), damaged.size(), layout, error));
        QVERIFY2(error.find(reason.constData()) != std::string::npos, error.c_str());
        checkFile("2d12", damaged);
        checkFile("1d", damaged);
    }

    void mixedFile_data()
    {
        QTest::addColumn<QByteArray>("layout");
        QTest::newRow("edition 2 then edition 1") << QByteArray("21");
        QTest::newRow("edition 1 then edition 2") << QByteArray("12");
        QTest::newRow("garbage between and after") << QByteArray("2x1x2x");
        QTest::newRow("false starts around an edition 1 message") << QByteArray("g1g2g");
        QTest::newRow("garbage before everything") << QByteArray("xg221");
    }

    void mixedFile()
    {
        QFETCH(QByteArray, layout);
        checkFile(layout);
    }

    // Refused before the decoders see them: a template ecCodes does not
    // define (it would lose the handle it was making), and an 84-octet
    // edition 1 constant field of 65280 x 1793 points.
    void refusedBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("message");
        Bytes unknownTemplate = good2;
        editSections(unknownTemplate, [](std::vector<Bytes>& sections) {
            sections[3][7] = 0x12, sections[3][8] = 0x00;  // product template 4.4608
        });
        QTest::newRow("product template unknown to ecCodes")
            << QByteArray(reinterpret_cast<const char*>(unknownTemplate.data()), int(unknownTemplate.size()));
        QTest::newRow("huge constant field") << QByteArray::fromBase64(
            "R1JJQgAAVAEAABwCB2D/gAtpAAIJAR9SAAEAAAAAAAAVAAAAAAAgACAA/wAHAQAEkAhfAAAAgOAANgEAYvAEO0QNAAAAAAwIAADBoAAAAAA3Nzc3");
    }

    void refusedBeforeDecoding()
    {
        QFETCH(QByteArray, message);
        GribTestFile file;
        file.addRaw(Bytes(message.begin(), message.end()));
        GribFile grib(file.write().constData());
        QCOMPARE(grib.messageCount(), 1);
        GribMsg msg;
        QVERIFY(grib.goMsg(0, msg));
        QVERIFY(!msg.values);
        std::vector<double> values;
        std::string error;
        QVERIFY(!grib.storedValues(0, values, error) && values.empty());
    }

    void sound()
    {
        Grib2Sections::Layout layout;
        std::string error;
        QVERIFY2(Grib2Sections::readLayout(readerOf(good2), good2.size(), layout, error), error.c_str());
        QCOMPARE(layout.fields.size(), size_t(1));
        QCOMPARE(layout.fields[0].data.at, uint64_t(187));
        QCOMPARE(layout.fields[0].data.length, uint32_t(997));
    }

    // The second field's bitmap is the first one's: both have point 0
    // missing and the packed values spread over the other points.
    void sharedBitmap()
    {
        GribTestFile plain, shared;
        plain.addRaw(good2);
        shared.addRaw(sharedBitmapMessage(good2));
        GribFile original(plain.write().constData());
        GribFile grib(shared.write().constData());
        QCOMPARE(grib.messageCount(), 2);
        std::vector<double> packed, first, second;
        std::string error;
        QVERIFY2(original.storedValues(0, packed, error), error.c_str());
        QVERIFY2(grib.storedValues(0, first, error), error.c_str());
        QVERIFY2(grib.storedValues(1, second, error), error.c_str());
        QCOMPARE(first.size(), size_t(496));
        QCOMPARE(first[0], double(kGribMissingValue));
        QCOMPARE(first[1], packed[0]);
        QCOMPARE(first[495], packed[494]);
        QVERIFY(second == first);
        walkAll(grib);
    }

    // 308 messages, 36 of them carrying a second field.
    void severalFieldsAMessage()
    {
        GribFile grib(QFile::encodeName(kExamples + "gfs.grb").constData());
        if (grib.messageCount() == 0)
            QSKIP("gfs.grb is not installed");
        QCOMPARE(grib.messageCount(), 344);
        std::set<long> messages;
        std::vector<double> values;
        std::string error;
        for (int n = 0; n < grib.messageCount(); ++n) {
            const GribField& field = grib.fields()[size_t(n)];
            const bool second = !messages.insert(field.offset).second;
            QCOMPARE(field.fieldInMessage, second ? 1 : 0);
            if (field.fieldInMessage == 1)
                QVERIFY2(grib.storedValues(n, values, error) && !values.empty(), error.c_str());
        }
        QCOMPARE(messages.size(), size_t(308));
        QCOMPARE(grib.unreadableCount(), 0);
    }
};

QTEST_APPLESS_MAIN(TestGrib2Sections)
#include "tst_grib2sections.moc"
