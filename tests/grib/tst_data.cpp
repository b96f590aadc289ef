// The BMS and BDS decoders and the bitmap expansion: hand-worked octets,
// writer round trips at every width, and malformed sections.
#include "gribfixtures.h"

#include <cmath>
#include <random>

using namespace fixtures;

Q_DECLARE_METATYPE(fixtures::Bytes)

class TestData : public QObject {
    Q_OBJECT

private:
    static Bytes bitmapSection(unsigned char unused, const Bytes& map, unsigned short id = 0)
    {
        Bytes b = {0, 0, 0, unused, (unsigned char)(id >> 8), (unsigned char)(id & 0xFF)};
        b.insert(b.end(), map.begin(), map.end());
        put24(b, 0, b.size());
        return b;
    }

private slots:
    // Sections laid out by hand: the PDS's decimal scale D, the BDS flag
    // octet, binary scale E, IBM reference R and packed octets, and the
    // values (R + X * 2^E) / 10^D worked out from them.
    void handPacked_data()
    {
        QTest::addColumn<Bytes>("pds");
        QTest::addColumn<Bytes>("bds");
        QTest::addColumn<std::vector<float>>("values");
        Bytes octets(256);
        for (int i = 0; i < 256; ++i)
            octets[size_t(i)] = (unsigned char)i;
        QTest::newRow("8-bit ramp") << handPds() << handBds(0, 0, 0, {0, 0, 0, 0}, 8, octets) << ramp(256);
        // Sign set, characteristic 65, mantissa 0x100000: -(16 * 2^20 / 2^24).
        QTest::newRow("IBM reference") << handPds() << handBds(0, 0, 0, {0xC1, 0x10, 0, 0}, 8, {0, 3})
                                       << std::vector<float>{-1.0f, 2.0f};
        // E = -2 (sign-and-magnitude 0x8002), D = 1, R = 100 (0x42640000), X = 8.
        QTest::newRow("binary and decimal scale")
            << handPds(1, 0, 0, 0x00, 0x01) << handBds(0, 0x80, 0x02, {0x42, 0x64, 0, 0}, 8, {8})
            << std::vector<float>{10.2f};
        // 12-bit values, 3 of them in 36 bits: 5 octets with 4 unused bits.
        QTest::newRow("unused bits limit the count")
            << handPds() << handBds(0x04, 0, 0, {0, 0, 0, 0}, 12, {0x00, 0x10, 0x02, 0xFF, 0xF0})
            << std::vector<float>{1, 2, 4095};
    }

    void handPacked()
    {
        QFETCH(Bytes, pds);
        QFETCH(Bytes, bds);
        const Decoded d = decode(handMessage(pds, {}, {}, bds));
        QCOMPARE(d.status, 0);
        QTEST(d.values, "values");
    }

    void constantField()
    {
        GRIB_WRITE_PARAMS params = smallGrid(10, 5);
        params.bits_per_value = 0;
        params.dec_scale = 1;
        const Decoded d = decode(encode(params, std::vector<float>(50, 273.5f)));
        QCOMPARE(d.status, 0);
        // R = 2735 (IBM 0x43AAF000, exact), divided by 10^D.
        QCOMPARE(d.values, std::vector<float>(50, 273.5f));
        // Without a grid there is one value.
        params.has_gds = 0;
        const Decoded single = decode(encode(params, std::vector<float>(1, 4.0f)));
        QCOMPARE(single.status, 0);
        QCOMPARE(single.values, std::vector<float>{4.0f});
    }

    void bitmapExpansion()
    {
        // 0xA0 with 3 unused bits: 1 0 1 0 0; packed 1.0 and 2.0.
        const Decoded d = decode(handMessage(handPds(), {}, bitmapSection(3, {0xA0}),
                                             handBds(0, 0, 0, {0, 0, 0, 0}, 8, {1, 2})));
        QCOMPARE(d.status, 0);
        QCOMPARE(d.bms.ulbits_set, 2u);
        QCOMPARE(d.bitmapStatus, 0);
        QCOMPARE(d.bds.ulGrid_size, 5u);
        QCOMPARE(d.values, (std::vector<float>{1.0f, -9999.0f, 2.0f, -9999.0f, -9999.0f}));
    }

    void predefinedBitmapLeavesValuesPacked()
    {
        const Decoded d = decode(handMessage(handPds(), {}, bitmapSection(0, {}, 5),
                                             handBds(0, 0, 0, {0, 0, 0, 0}, 8, {7, 8, 9})));
        QCOMPARE(d.status, 0);
        QCOMPARE(int(d.bms.usBMS_id), 5);
        QVERIFY(d.bms.bit_map == nullptr);
        QCOMPARE(d.bitmapStatus, 0);
        QCOMPARE(d.values, (std::vector<float>{7, 8, 9}));
    }

    // Messages refused, with the status and the start of the text (all of
    // it where it ends in a newline).
    void refused_data()
    {
        QTest::addColumn<Bytes>("message");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        GRIB_WRITE_PARAMS params = smallGrid(2, 2);
        params.bits_per_value = 0;
        GRIB_WRITE_LAYOUT layout;
        Bytes huge = encode(params, std::vector<float>(4, 1.0f), &layout);
        // A few dozen octets claiming 65534 x 65534 points.
        grib_put_uint(&huge[layout.gds_offset + 6], 65534, 2);
        grib_put_uint(&huge[layout.gds_offset + 8], 65534, 2);
        QTest::newRow("constant field too large") << huge << 4 << "grib_dec: gribgetbds: failed to create array";
        Bytes reduced = huge;
        grib_put_uint(&reduced[layout.gds_offset + 6], 0xFFFF, 2);
        grib_put_uint(&reduced[layout.gds_offset + 8], 96, 2);
        QTest::newRow("constant quasi-regular") << reduced << 5
                                                << "grib_dec:  constant field on a quasi-regular grid";
        // A packing other than simple is reported as such first.
        reduced[layout.bds_offset + 3] |= 0x80;
        const QString unrecognised = "grib_dec: gribgetbds:  unrecognized packing algorithm\n";
        QTest::newRow("quasi-regular, not simple") << reduced << 1 << unrecognised;
        const Bytes pds = handPds(), noBms, noGds, zero = {0, 0, 0, 0};
        Bytes gds(32, 0);  // 2 x 2 points
        put24(gds, 0, 32);
        gds[7] = 2, gds[9] = 2;
        QTest::newRow("more bitmap bits than points")
            << handMessage(pds, gds, bitmapSection(0, {0xF0}), handBds(0, 0, 0, zero, 8, {1, 2, 3, 4})) << 1
            << "grib_dec: gribgetbms: corrupted BMS, gds_flag set but totbits 8 != ulgrid_sz 4\n";
        QTest::newRow("more unused bits than the bitmap")
            << handMessage(pds, noGds, bitmapSection(200, {0xF0}), handBds(0, 0, 0, zero, 8, {1})) << 1
            << "grib_dec: gribgetbms: corrupted BMS";
        QTest::newRow("set bits and packed values disagree")
            << handMessage(pds, noGds, bitmapSection(4, {0xE0}), handBds(0, 0, 0, zero, 8, {1, 2})) << 2
            << "grib_dec: gribgetbds:  BMS present, #datapts calculated (2) not same as BMS's set bits (3)\n";
        QTest::newRow("grid and packed values disagree")
            << handMessage(pds, gds, noBms, handBds(0, 0, 0, zero, 8, {1, 2, 3})) << 3
            << "grib_dec: gribgetbds:  GDS present, #datapts calculated (3) not same as GDS's grid size (4)\n";
        QTest::newRow("harmonics") << handMessage(pds, noGds, noBms, handBds(0x80, 0, 0, zero, 8, {1})) << 1
                                   << unrecognised;
        QTest::newRow("complex packing") << handMessage(pds, noGds, noBms, handBds(0x40, 0, 0, zero, 8, {1})) << 1
                                         << unrecognised;
        QTest::newRow("33 bits") << handMessage(pds, noGds, noBms, handBds(0, 0, 0, zero, 33, Bytes(40, 1))) << 5
                                 << "grib_dec: gribgetbds:  33 bits per value not supported (at most 32)\n";
    }

    void refused()
    {
        QFETCH(Bytes, message);
        QFETCH(QString, text);
        const Decoded d = decode(message);
        QTEST(d.status, "status");
        const QString error = QString::fromStdString(d.error);
        QVERIFY2(text.endsWith('\n') ? error == text : error.startsWith(text), qPrintable(error));
        QVERIFY(d.values.empty());
    }

    void applyBitmapFailures()
    {
        BMS_INPUT bms = {};
        BDS_HEAD_INPUT bds = {};
        char err[GRIB_ERRMSG_LEN] = "";
        float* data = static_cast<float*>(malloc(4 * sizeof(float)));
        bds.ulGrid_size = 4;
        bms.uslength = 7;
        QCOMPARE(apply_bitmap(&bms, &data, -9999.0f, &bds, err), 1); // no bitmap pointer
        QCOMPARE(std::string(err), std::string());

        const octets none[] = {0x00};
        bms.bit_map = none;
        QCOMPARE(apply_bitmap(&bms, &data, -9999.0f, &bds, err), 4);
        QCOMPARE(std::string(err), std::string("apply_bitmap: No bits set in bitmap.  No data retrieved!!\n"));

        // More set bits than packed values: refused, the packed array kept.
        const octets all[] = {0xFF};
        bms.bit_map = all;
        bms.ulbits_set = 8;
        err[0] = '\0';
        float* before = data;
        QCOMPARE(apply_bitmap(&bms, &data, -9999.0f, &bds, err), 3);
        QCOMPARE(std::string(err), std::string("apply_bitmap:  accessing more than 4 elements in Grib_data[]\n"));
        QCOMPARE(data, before);
        QCOMPARE(bds.ulGrid_size, 4u);
        free(data);
    }

    void wholeMessageDecoding()
    {
        GRIB_MESSAGE m;
        char err[GRIB_ERRMSG_LEN] = "";
        const Bytes withMap = handMessage(handPds(), {}, bitmapSection(3, {0xA0}),
                                          handBds(0, 0, 0, {0, 0, 0, 0}, 8, {1, 2}));
        QCOMPARE(grib_decode_message(withMap.data(), -1.0f, &m, err), 0);
        QCOMPARE(std::vector<float>(m.values, m.values + m.bds.ulGrid_size),
                 (std::vector<float>{1.0f, -1.0f, 2.0f, -1.0f, -1.0f}));
        grib_release_message(&m);
        QVERIFY(m.values == nullptr);

        // A bitmap with no bit set: decoded, then refused by the expansion.
        const Bytes empty = handMessage(handPds(), {}, bitmapSection(0, {0x00}),
                                        handBds(0, 0, 0, {0, 0, 0, 0}, 8, {}));
        QCOMPARE(grib_decode_message(empty.data(), -1.0f, &m, err), 4);
        QVERIFY(m.values == nullptr);
        QCOMPARE(std::string(err), std::string("apply_bitmap: No bits set in bitmap.  No data retrieved!!\n"));
    }

    void writerRoundTripAtEveryWidth()
    {
        std::mt19937 rng(42);
        std::uniform_real_distribution<float> dist(-50.0f, 150.0f);
        for (int bits = 1; bits <= 32; ++bits) {
            GRIB_WRITE_PARAMS params = smallGrid(13, 7); // odd count: values cross octets
            params.bits_per_value = bits;
            params.dec_scale = bits > 20 ? 2 : 0;
            std::vector<float> v(91);
            for (float& x : v)
                x = dist(rng);
            const Decoded d = decode(encode(params, v));
            QCOMPARE(d.status, 0);
            QCOMPARE(d.values.size(), v.size());
            const double step = std::ldexp(1.0, d.bds.Bin_sc_fctr) / std::pow(10.0, params.dec_scale);
            const double tolerance = step / 2 + 1e-4 * 150.0 + 1e-6;
            for (size_t i = 0; i < v.size(); ++i)
                QVERIFY2(std::fabs(d.values[i] - v[i]) <= tolerance,
                         qPrintable(QString("bits %1 point %2: %3 vs %4").arg(bits).arg(i)
                                        .arg(d.values[i]).arg(v[i])));
        }
    }
};

QTEST_APPLESS_MAIN(TestData)
#include "tst_data.moc"
