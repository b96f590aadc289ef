// The message locator: forward scanning, index mode, the message buffer and
// the error-text chaining.
#include "gribfixtures.h"

using namespace fixtures;

class TestLocator : public QObject {
    Q_OBJECT

private:
    Bytes message(int ni = 4, int nj = 3)
    {
        return encode(smallGrid(ni, nj), ramp(size_t(ni) * nj));
    }

private slots:
    void trailingGarbage_data()
    {
        QTest::addColumn<int>("garbage");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("end of data") << 0 << "";
        QTest::newRow("4 octets") << 4 << "";
        QTest::newRow("5 octets") << 5 << "grib_seek %1: skip last 5 bytes, too few for a Msg\n";
        QTest::newRow("40 octets") << 40 << "grib_seek %1: skip last 40 bytes, too few for a Msg\n";
    }

    void trailingGarbage()
    {
        QFETCH(int, garbage);
        QFETCH(QString, expectedError);
        TempFiles files;
        const Bytes a = message();
        const QString path = files.write("tail.grb", concat({a, filler(size_t(garbage))}));
        GRIB_HDR* gh = nullptr;
        char err[GRIB_ERRMSG_LEN];
        QCOMPARE(init_gribhdr(&gh, err), 0);
        Seek s = seek(gh, path, 0, 0);
        QCOMPARE(s.status, 0);
        s = seek(gh, path, s.offset + s.msgLength, 0);
        QCOMPARE(s.status, 2);
        QCOMPARE(QString::fromStdString(s.error), expectedError.isEmpty() ? "" : expectedError.arg(path));
        QCOMPARE(s.msgLength, 0L);
        free_gribhdr(&gh);
        QVERIFY(gh == nullptr);
    }

    void messageAcrossWindowBoundary_data()
    {
        QTest::addColumn<int>("padding");
        // "GRIB" and its Section 0 cut at every place by the 5004-octet
        // window, and once in a later window.
        for (int pad : {4990, 4996, 4997, 4998, 4999, 5000, 5001, 5002, 5003, 5004, 10003})
            QTest::newRow(qPrintable(QString::number(pad))) << pad;
    }

    void messageAcrossWindowBoundary()
    {
        QFETCH(int, padding);
        TempFiles files;
        const Bytes a = message();
        const QString path = files.write("pad.grb", concat({filler(size_t(padding)), a, a}));
        QCOMPARE(scanAll(path), (std::vector<long>{padding, long(padding + a.size())}));
    }

    void falseCandidatesAreSkipped()
    {
        TempFiles files;
        GRIB_WRITE_LAYOUT layout;
        // Values whose 8-bit packing spells a plausible Section 0 inside the data.
        GRIB_WRITE_PARAMS params = smallGrid(16, 1);
        params.bits_per_value = 8;
        params.auto_scale = 0;
        params.reference = 0;
        const std::vector<float> v = {'G', 'R', 'I', 'B', 0, 0, 100, 1, 0, 0, 0, 0, 0, 0, 0, 0};
        Bytes broken = encode(params, v, &layout);
        QCOMPARE(broken[layout.data_offset + 6], (unsigned char)100);
        put24(broken, 4, broken.size() + 2); // no "7777" where the length says
        const Bytes good = message();
        const Bytes edition2 = {'G', 'R', 'I', 'B', 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 40};
        const Bytes tooShort = {'G', 'R', 'I', 'B', 0, 0, 2, 1}; // total length 2
        const Bytes bare = {'G', 'R', 'I', 'X', 'G'};
        const Bytes file = concat({bare, broken, tooShort, edition2, filler(30), good});
        const QString path = files.write("false.grb", file);
        const long goodAt = long(file.size() - good.size());
        QCOMPARE(scanAll(path), std::vector<long>{goodAt});
    }

    void candidateBeyondEndOfFileDoesNotEndTheScan()
    {
        TempFiles files;
        const Bytes a = message();
        Bytes claimsTooMuch = {'G', 'R', 'I', 'B', 0x7F, 0xFF, 0xFF, 1};
        const Bytes b = message(6, 2);
        const QString path = files.write("long.grb", concat({a, claimsTooMuch, filler(60), b}));
        QCOMPARE(scanAll(path), (std::vector<long>{0, long(a.size() + claimsTooMuch.size() + 60)}));
    }

    void truncatedLastMessageEndsAsEndOfData()
    {
        TempFiles files;
        const Bytes a = message(), b = message(20, 20);
        const Bytes cut(b.begin(), b.begin() + long(b.size() / 2));
        int status = -1;
        const QString path = files.write("cut.grb", concat({a, cut}));
        QCOMPARE(scanAll(path, &status), std::vector<long>{0});
        QCOMPARE(status, 2);
    }

    void corruptSectionLengthsDropTheCandidate_data()
    {
        QTest::addColumn<int>("sectionOffset");
        QTest::addColumn<QString>("text");
        QTest::newRow("PDS") << 8 << "grib_seek %1:  corrupt PDSlen= %2, Totlen=%3, drop msg @0;\n";
        QTest::newRow("GDS") << 36 << "grib_seek %1: corrupt GDSlen= %2, Totlen=%3, drop msg @0\n";
        QTest::newRow("BDS") << 68 << "grib_seek %1:  corrupt BDSlen= %2, Totlen=%3, drop msg @0\n";
    }

    void corruptSectionLengthsDropTheCandidate()
    {
        QFETCH(int, sectionOffset);
        QFETCH(QString, text);
        TempFiles files;
        Bytes a = message();
        put24(a, size_t(sectionOffset), 5000);
        const QString path = files.write("corrupt.grb", concat({a, message()}));
        // Forward: dropped, the next message is found.
        QCOMPARE(scanAll(path), std::vector<long>{long(a.size())});
        // Index mode: status 0, no message, the text names the section.
        Header gh;
        const Seek s = seek(gh, path, 0, 1);
        QCOMPARE(s.status, 0);
        QCOMPARE(s.msgLength, 0L);
        QVERIFY(gh->pds_ptr == nullptr && gh->bds_ptr == nullptr);
        QCOMPARE(QString::fromStdString(s.error), text.arg(path).arg(5000).arg(a.size()));
    }

    void sectionPointersFollowEachOther()
    {
        TempFiles files;
        GRIB_WRITE_PARAMS params = smallGrid(3, 3);
        const unsigned char present[9] = {1, 0, 1, 1, 1, 0, 1, 1, 1};
        params.bitmap = present;
        GRIB_WRITE_LAYOUT layout;
        const Bytes a = encode(params, ramp(9), &layout);
        const QString path = files.write("bitmap.grb", concat({filler(100), a}));
        Header gh;
        const Seek s = seek(gh, path, 0, 0);
        QCOMPARE(s.status, 0);
        const long bms = long(layout.bms_offset), bds = long(layout.bds_offset);
        compareFields({{"offset", s.offset, 100}, {"length", gh->msg_length, long(a.size())}, {"IS", gh->ids_len, 8},
                       {"PDS at", gh->pds_ptr - gh->entire_msg, long(layout.pds_offset)}, {"PDS", gh->pds_len, 28},
                       {"GDS at", gh->gds_ptr - gh->entire_msg, long(layout.gds_offset)}, {"GDS", gh->gds_len, 32},
                       {"BMS at", gh->bms_ptr - gh->entire_msg, bms}, {"BMS", gh->bms_len, bds - bms},
                       {"BDS at", gh->bds_ptr - gh->entire_msg, bds}, {"ES", gh->eds_len, 4},
                       {"ES at", gh->eds_ptr - gh->entire_msg, long(a.size() - 4)}});
        QVERIFY(memcmp(gh->eds_ptr, "7777", 4) == 0);
    }

    // Index mode reads only a whole message at the offset given; anything
    // else gives status 0, no message and a text saying why.
    void indexMode_data()
    {
        QTest::addColumn<int>("content");  // 0: 10 octets then a message; 1: broken messages
        QTest::addColumn<long>("offset");
        QTest::addColumn<QString>("text");  // %1 the path
        QTest::newRow("at the message") << 0 << 10L << "";
        for (long wrong : {9L, 11L, 0L})
            QTest::newRow(qPrintable(QString("at %1").arg(wrong)))
                << 0 << wrong
                << "grib_seek %1:  No Grib Msg found at IndexFile's offset = " + QString::number(wrong)
                       + ";  Check Index File\n";
        QTest::newRow("no 7777") << 1 << 0L << "grib_seek %1:  no 7777 found for msg at 0, check indexfile\n";
        QTest::newRow("total length too short") << 1 << long(message().size()) << "too short";
    }

    void indexMode()
    {
        QFETCH(int, content);
        QFETCH(long, offset);
        QFETCH(QString, text);
        TempFiles files;
        const Bytes a = message();
        Bytes noEnd = a;
        noEnd[noEnd.size() - 1] = 'X';
        const Bytes shortLength = {'G', 'R', 'I', 'B', 0, 0, 3, 1, 'x', 'x', 'x', 'x'};
        const QString path = files.write("index.grb", content == 0 ? concat({filler(10), a})
                                                                   : concat({noEnd, shortLength, filler(50)}));
        Header gh;
        const Seek s = seek(gh, path, offset, 1);
        QCOMPARE(s.status, 0);
        QCOMPARE(s.msgLength, text.isEmpty() ? long(a.size()) : 0L);
        const QString error = QString::fromStdString(s.error);
        QVERIFY2(text.contains("%1") ? error == text.arg(path) : error.contains(text), qPrintable(error));
    }

    void openAndBufferFailures()
    {
        GRIB_HDR* gh = nullptr;
        char err[GRIB_ERRMSG_LEN] = "";
        init_gribhdr(&gh, err);
        Seek s = seek(gh, "/nonexistent/skyvane.grb", 0, 0);
        QCOMPARE(s.status, 4);
        QCOMPARE(s.error, std::string("grib_seek: Cannot open input file '/nonexistent/skyvane.grb'\n"));
        s = seek(gh, "/nonexistent/" + QString(3000, 'n'), 0, 0);  // the text cut to fit
        QCOMPARE(s.status, 4);
        QCOMPARE(s.error.size(), size_t(GRIB_ERRMSG_LEN - 1));
        free(gh->entire_msg);
        gh->entire_msg = nullptr;
        s = seek(gh, "/dev/null", 0, 0);
        QCOMPARE(s.status, 3);
        QCOMPARE(s.error, std::string("grib_seek:  expecting non-NULL Grib Hdr;\n"));
        free_gribhdr(&gh);
        free_gribhdr(&gh); // a null record is accepted
    }

    void expandMovesSectionPointers()
    {
        TempFiles files;
        const Bytes a = message();
        const QString path = files.write("expand.grb", a);
        Header gh;
        char err[GRIB_ERRMSG_LEN] = "";
        seek(gh, path, 0, 0);
        const long bdsAt = gh->bds_ptr - gh->entire_msg;
        QCOMPARE(Expand_gribhdr(gh, 1000, err), 0); // smaller: nothing changes
        QCOMPARE(gh->abs_size, int32_t(GRIB_INITIAL_MSG_SIZE));
        QCOMPARE(Expand_gribhdr(gh, 123457, err), 0);
        QCOMPARE(gh->abs_size, 123457);
        QCOMPARE(gh->bds_ptr - gh->entire_msg, bdsAt);
        QCOMPARE(gh->ids_ptr, gh->entire_msg);
        QVERIFY(memcmp(gh->entire_msg, a.data(), a.size()) == 0);
        QVERIFY(gh->bms_ptr == nullptr);
        err[0] = '\0';
        QCOMPARE(Expand_gribhdr(nullptr, 10, err), 1);
        QCOMPARE(std::string(err), std::string("Expand_gribhdr: either GRIB_HDR or Entire_msg is Null\n"));
    }

    void childErrorTexts()
    {
        char err[GRIB_ERRMSG_LEN] = "";
        upd_child_errmsg("caller", err);
        QCOMPARE(std::string(err), std::string("caller:  no Error msg avail!\n"));
        strcpy(err, "callee:  broken\n");
        upd_child_errmsg("caller", err);
        QCOMPARE(std::string(err), std::string("caller: callee:  broken\n"));
        memset(err, 'e', 1500);
        err[1500] = '\0';
        upd_child_errmsg("caller", err);
        QCOMPARE(std::string(err), "caller: " + std::string(500, 'e'));
    }
};

QTEST_APPLESS_MAIN(TestLocator)
#include "tst_locator.moc"
