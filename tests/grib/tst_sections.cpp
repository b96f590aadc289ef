// The bit reader and the PDS and GDS decoders, on octets laid out by hand
// from the GRIB edition 1 code form, and grib_dec's own checks.
#include "gribfixtures.h"

using namespace fixtures;

class TestSections : public QObject {
    Q_OBJECT

private:
    static Bytes plainBds() { return handBds(0, 0, 0, {0, 0, 0, 0}, 8, {1, 2, 3, 4}); }

    // A 32-octet (or longer) latitude/longitude GDS for a 2 x 2 grid.
    static Bytes latlonGds(size_t length, unsigned char dataType = 0)
    {
        Bytes g(length, 0);
        put24(g, 0, length);
        g[4] = 255, g[5] = dataType;
        g[7] = 2, g[9] = 2;                       // Ni, Nj
        g[10] = 0x80, g[12] = 0x01;             // lat1 = -1 millidegree
        g[13] = 0x01, g[14] = 0x86, g[15] = 0xA0; // lon1 = 100000
        g[17] = 0x00, g[18] = 0x07, g[19] = 0xD0; // lat2 = 2000
        g[20] = 0x81, g[21] = 0x86, g[22] = 0xA0; // lon2 = -100000
        g[23] = 0x00, g[24] = 0x03, g[26] = 0x04; // Di = 3, Dj = 4
        g[16] = 128, g[27] = 0x40;                // resolution flag, scan mode
        return g;
    }

private slots:
    // Every width at every alignment against a one-bit-at-a-time reading of
    // a buffer of exactly its size, through both entry points.
    void bitReader()
    {
        const std::vector<unsigned char> buf = {0xA5, 0x0F, 0xF0, 0x81, 0x23, 0x45, 0x67};
        for (unsigned long width = 1; width <= 32; ++width)
            for (unsigned long start = 0; start + width <= buf.size() * 8; ++start) {
                unsigned long expected = 0;
                for (unsigned long b = start; b < start + width; ++b)
                    expected = (expected << 1) | ((buf[b / 8] >> (7 - b % 8)) & 1);
                unsigned long pos = start, got = 0;
                (width % 2 ? gbyte : gbyte_quiet)(buf.data(), &got, &pos, width);
                QCOMPARE(got, expected);
                QCOMPARE(pos, start + width);
            }
        // Wider than 32 bits: neither reads nor advances.
        unsigned long out = 77, bit = 0;
        gbyte(buf.data(), &out, &bit, 33);
        QCOMPARE(out, 77UL);
        QCOMPARE(bit, 0UL);
    }

    void productDefinitionFields()
    {
        Bytes pds = handPds(105, 0, 2, 0x80, 0x03);
        pds[5] = 96, pds[6] = 3, pds[16] = 45;                   // process, grid id, minute
        pds[18] = 6, pds[19] = 9, pds[20] = 4;                   // P1, P2, time range
        pds[21] = 0x01, pds[22] = 0x02, pds[23] = 7, pds[25] = 98;  // in average, missing, sub-centre
        const Decoded d = decode(handMessage(pds, {}, {}, plainBds()));
        QCOMPARE(d.status, 0);
        const PDS_INPUT& p = d.pds;
        compareFields({{"length", p.uslength, 28}, {"edition", p.usEd_num, 1}, {"table", p.usParm_tbl, 2},
                       {"centre", p.usCenter_id, 7}, {"process", p.usProc_id, 96}, {"grid", p.usGrid_id, 3},
                       {"parameter", p.usParm_id, 11}, {"year", p.usYear, 9}, {"month", p.usMonth, 1},
                       {"day", p.usDay, 31}, {"hour", p.usHour, 18}, {"minute", p.usMinute, 45},
                       {"unit", p.usFcst_unit_id, 1}, {"P1", p.usP1, 6}, {"P2", p.usP2, 9},
                       {"time range", p.usTime_range, 4}, {"in average", p.usTime_range_avg, 258},
                       {"level type", p.usLevel_id, 105}, {"height", p.usHeight1, 2}, {"second height", p.usHeight2, 0},
                       {"missing", p.usTime_range_mis, 7}, {"century", p.usCentury, 21},
                       {"sub-centre", p.usCenter_sub, 98}, {"decimal scale", p.sDec_sc_fctr, -3},
                       {"extension", p.usExt_flag, 0},
                       {"no GDS decoded", d.gds.head.usData_type, 255}});
    }

    void pdsExtension_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("parameter");
        QTest::addColumn<int>("ext");
        QTest::addColumn<QList<int>>("decoded");  // second, track number, sub-parameter, sub-table
        QTest::newRow("41 octets: flag only") << 41 << 11 << 99 << QList<int>{0, 0, 0, 0};
        QTest::newRow("46 octets, extension 99") << 46 << 11 << 99 << QList<int>{30, 513, 0, 4};
        QTest::newRow("46 octets, parameter 250") << 46 << 250 << 99 << QList<int>{30, 513, 5, 4};
        QTest::newRow("46 octets, other extension") << 46 << 250 << 98 << QList<int>{0, 0, 0, 0};
    }

    void pdsExtension()
    {
        QFETCH(int, length);
        QFETCH(int, parameter);
        QFETCH(int, ext);
        Bytes pds = handPds(1, 0, 0, 0, 0, size_t(length));
        pds[8] = (unsigned char)parameter;
        pds[40] = (unsigned char)ext;
        if (length >= 46) {
            pds[41] = 30;
            pds[42] = 0x02, pds[43] = 0x01;
            pds[44] = 5;
            pds[45] = 4;
        }
        const Decoded d = decode(handMessage(pds, {}, {}, plainBds()));
        QCOMPARE(d.status, 0);
        QCOMPARE(int(d.pds.usExt_flag), ext);
        QTEST((QList<int>{d.pds.usSecond, d.pds.usTrack_num, d.pds.usParm_sub, d.pds.usSub_tbl}), "decoded");
        QCOMPARE(d.values, (std::vector<float>{1, 2, 3, 4}));
    }

    void latlonGrid()
    {
        const Decoded d = decode(handMessage(handPds(), latlonGds(32), {}, plainBds()));
        QCOMPARE(d.status, 0);
        const GDS_LATLON_INPUT& g = d.gds.llg;
        compareFields({{"data type", d.gds.head.usData_type, 0}, {"length", d.gds.head.uslength, 32},
                       {"PV/PL", d.gds.head.usPl_Pv, 255}, {"Ni", g.usNi, 2}, {"Nj", g.usNj, 2},
                       {"lat1", g.lLat1, -1}, {"lon1", g.lLon1, 100000}, {"resolution", g.usRes_flag, 128},
                       {"lat2", g.lLat2, 2000}, {"lon2", g.lLon2, -100000}, {"Di", g.iDi, 3}, {"Dj", g.iDj, 4},
                       {"scan mode", g.usScan_mode, 0x40}, {"south pole lat", g.lLat_southpole, 0},
                       {"south pole lon", g.lLon_southpole, 0}, {"rotation", g.lRotate, 0},
                       {"points", long(d.bds.ulGrid_size), 4}});
    }

    void rotatedGridTail()
    {
        Bytes gds = latlonGds(42, 10);
        gds[32] = 0x81, gds[33] = 0x5F, gds[34] = 0x90; // -90000
        gds[35] = 0x00, gds[36] = 0x27, gds[37] = 0x10; // 10000
        gds[38] = 0x12, gds[39] = 0x34, gds[40] = 0x56, gds[41] = 0x78;
        const Decoded d = decode(handMessage(handPds(), gds, {}, plainBds()));
        QCOMPARE(d.status, 0);
        const GDS_LATLON_INPUT& g = d.gds.llg;
        compareFields({{"data type", g.usData_type, 10}, {"south pole lat", g.lLat_southpole, -90000},
                       {"south pole lon", g.lLon_southpole, 10000}, {"rotation", g.lRotate, 0x12345678},
                       {"pole lat", g.lPole_lat, 0}});
    }

    void polarStereographicGrid()
    {
        Bytes g(32, 0);
        put24(g, 0, 32);
        g[5] = 5;
        g[7] = 2, g[9] = 2;
        g[10] = 0x00, g[11] = 0x4E, g[12] = 0x20;  // lat1 20000
        g[13] = 0x83, g[14] = 0x0D, g[15] = 0x40;  // lon1 -200000
        g[17] = 0x80, g[18] = 0x00, g[19] = 0x05;  // orientation -5
        g[20] = 0x00, g[21] = 0xEA, g[22] = 0x60;  // Dx 60000 m
        g[25] = 0x07, g[26] = 0x80;                // Dy 7; south pole on the plane
        const Decoded d = decode(handMessage(handPds(), g, {}, plainBds()));
        QCOMPARE(d.status, 0);
        const GDS_PS_INPUT& ps = d.gds.pol;
        compareFields({{"Nx", ps.usNx, 2}, {"lat1", ps.lLat1, 20000}, {"lon1", ps.lLon1, -200000},
                       {"orientation", ps.lLon_orient, -5}, {"Dx", long(ps.ulDx), 60000}, {"Dy", long(ps.ulDy), 7},
                       {"projection", ps.usProj_flag, 0x80}, {"lat/lon block stays zero", d.gds.llg.usNi, 0},
                       {"points", long(d.bds.ulGrid_size), 4}});
    }

    void shortGdsIsReportedAfterLoading()
    {
        Bytes gds = latlonGds(32);
        gds.resize(26);
        put24(gds, 0, 26);
        const Decoded d = decode(handMessage(handPds(), gds, {}, plainBds()));
        QCOMPARE(d.status, 2);
        QCOMPARE(d.error, std::string("grib_dec: GDS length too short (26).  Will attempt to load "
                                      "struct grid_desc_sec\n"));
        // What the section holds is still decoded; what lies beyond it is not.
        QCOMPARE(d.gds.llg.lLat1, -1);
        QCOMPARE(d.gds.llg.iDi, 3);
        QCOMPARE(d.gds.llg.iDj, 0);
        QCOMPARE(int(d.gds.llg.usScan_mode), 0);
        QVERIFY(d.values.empty());
    }

    // One octet changed; a message without "GRIB" is noted and decoded all the same.
    void messageLevelChecks()
    {
        const Bytes msg = handMessage(handPds(), {}, {}, plainBds());
        const struct { size_t at; unsigned char octet; int status; const char* error; size_t values; } rows[] = {
            {msg.size() - 2, '6', 2, "grib_dec:  no '7777' at end of this msg\n", 0},
            {7, 2, 3, "grib_dec:  not Grib Edition 1 \n", 0},
            {0, 'g', 0, "grib_dec:  no 'GRIB' at beg. of this msg\n", 4}};
        for (const auto& r : rows) {
            Bytes changed = msg;
            changed[r.at] = r.octet;
            const Decoded d = decode(changed);
            QCOMPARE(d.status, r.status);
            QCOMPARE(d.error, std::string(r.error));
            QCOMPARE(d.values.size(), r.values);
        }
        QCOMPARE(decode(Bytes{'G', 'R', 'I', 'B', 0, 0, 3, 1}).status, 2);
    }

    void sectionsThatDoNotFitAreRefused_data()
    {
        QTest::addColumn<int>("sectionOffset"); // 0 = PDS, 1 = GDS, 2 = BMS, 3 = BDS
        QTest::addColumn<unsigned>("statedLength");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("PDS past the end") << 0 << 4000u << 5 << "grib_dec:  PDS of 4000 octets";
        QTest::newRow("PDS too short") << 0 << 20u << 5 << "grib_dec:  PDS of 20 octets is shorter";
        QTest::newRow("GDS past the end") << 1 << 70000u << 5 << "grib_dec:  GDS of 70000 octets";
        QTest::newRow("BMS past the end") << 2 << 9000u << 5 << "grib_dec:  BMS of 9000 octets";
        QTest::newRow("BMS too short") << 2 << 4u << 5 << "grib_dec:  BMS of 4 octets is shorter";
        QTest::newRow("BDS claiming more octets") << 3 << 2000u << 5 << "grib_dec:  BDS of 2000";
        QTest::newRow("BDS without header") << 3 << 7u << 6 << "grib_dec: gribgetbds:  BDS length 7";
    }

    void sectionsThatDoNotFitAreRefused()
    {
        QFETCH(int, sectionOffset);
        QFETCH(unsigned, statedLength);
        QFETCH(int, status);
        QFETCH(QString, text);
        GRIB_WRITE_PARAMS params = smallGrid(4, 4);
        const unsigned char present[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
        params.bitmap = present;
        GRIB_WRITE_LAYOUT layout;
        Bytes msg = encode(params, ramp(16), &layout);
        const unsigned long at[] = {layout.pds_offset, layout.gds_offset, layout.bms_offset,
                                    layout.bds_offset};
        put24(msg, at[sectionOffset], statedLength);
        const Decoded d = decode(msg);
        QCOMPARE(d.status, status);
        QVERIFY2(QString::fromStdString(d.error).startsWith(text), d.error.c_str());
        QVERIFY(d.error.back() == '\n' && d.error.find('\n') == d.error.size() - 1);
        QVERIFY(d.values.empty());
    }
};

QTEST_APPLESS_MAIN(TestSections)
#include "tst_sections.moc"
