// The base map data as the viewer loads it: the city-list reader on
// hand-made files, the masks' bit order and row/column arithmetic on a
// hand-made mask, and the generated files beside this executable.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <QImageReader>

#include <atomic>
#include <clocale>
#include <thread>
#include <locale.h>
#include <cstring>

#include "LandMaskImage.h"
#include "SharedData.h"

namespace {

QList<CityData> cityList(const SharedData& data)
{
    QList<CityData> list;
    for (const CityData* city = data.cities; city; city = city->next)
        list.append(*city);
    return list;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage blankMask()
{
    QImage mask(LandMaskImage::kWidth, LandMaskImage::kHeight, QImage::Format_Mono);
    mask.fill(0);
    return mask;
}

void setBit(QImage& mask, int column, int row)
{
    mask.scanLine(row)[column / 8] |= static_cast<uchar>(0x80 >> (column % 8));
}

// A comma-decimal locale, compiled into dir when the system has none.
bool useCommaLocale(const QTemporaryDir& dir)
{
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        return true;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {"-i", "de_DE", "-f", "UTF-8", dir.filePath(QStringLiteral("de_DE.UTF-8"))});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0)
        return false;
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    return std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

// A line of the city file and what it reads as.
struct CityLine {
    QByteArray line;
    bool parsed;
    QByteArray name;
    int population, latMicro, lonMicro;
};

}  // namespace

Q_DECLARE_METATYPE(CityLine)

class TestSharedData : public QObject {
    Q_OBJECT

private slots:
    void cityLines_data()
    {
        QTest::addColumn<CityLine>("c");
        auto row = [](const char* name, const CityLine& c) { QTest::newRow(name) << c; };
        auto refused = [&](const char* name, const char* line) { row(name, {line, false, {}, 0, 0, 0}); };
        // The degrees are scaled in single precision: -34.61315 is -34.6131515... as a float, times 1e6 rounds
        // to -34613152.
        row("plain", {"London\t8961989\t51.507\t-0.1278", true, "London", 8961989, 51507000, -127800});
        row("blanks", {"Buenos Aires\t13076300\t-34.61315\t-58.37723", true, "Buenos Aires", 13076300, -34613152,
                       -58377232});
        row("bang", {"Yahoo!City\t50000\t1\t2", true, "Yahoo City", 50000, 1000000, 2000000});
        row("utf8", {"S\xc3\xa3o Paulo\t10021295\t-23.5475\t-46.63611", true, "S\xc3\xa3o Paulo", 10021295, -23547500,
                     -46636108});
        refused("missing field", "Nowhere\t1000\t10");
        refused("not a number", "Nowhere\tmany\t10\t20");
        refused("empty", "");
        refused("population too big", "Big\t99999999999\t1\t2");
        refused("position overflows", "Far\t10\t1e30\t2");
        refused("not a position", "Far\t10\tnan\t2");
        // %i reads a leading zero as octal, as the format always has.
        row("octal population", {"Octal\t010\t0\t0", true, "Octal", 8, 0, 0});
        // 62 ASCII bytes then a two-byte character: 64 bytes do not fit a 64-byte field with its NUL, so the
        // whole character goes.
        row("name cut at a character", {QByteArray(62, 'x') + "\xc3\xa9tail\t40000\t10.5\t20.25", true,
                                        QByteArray(62, 'x'), 40000, 10500000, 20250000});
        row("63-byte name fits", {QByteArray(63, 'y') + "\t1\t0\t0", true, QByteArray(63, 'y'), 1, 0, 0});
        row("200-byte name cut", {QByteArray(200, 'z') + "\t1\t0\t0", true, QByteArray(63, 'z'), 1, 0, 0});
    }

    void cityLines()
    {
        QFETCH(CityLine, c);
        QByteArray buffer = c.line;
        CityData city;
        std::memset(&city, 0x55, sizeof city);  // the name must end in its own NUL
        QCOMPARE(SharedData::parseCityLine(buffer.data(), city), c.parsed);
        if (c.parsed) {
            QCOMPARE(QByteArray(city.name), c.name);
            QCOMPARE(QList<int>({city.population, city.latMicro, city.lonMicro}),
                     QList<int>({c.population, c.latMicro, c.lonMicro}));
        }
    }

    // Line endings, an over-long line and a last line without its newline.
    void cityFileEnds()
    {
        QTemporaryDir dir;
        const QByteArray longLine = QByteArray("Long\t1\t0\t0") + QByteArray(256 - 10, ' ');
        QVERIFY(longLine.size() == 256);
        QByteArray longestAccepted = QByteArray("Edge\t3\t0\t0") + QByteArray(255 - 10, ' ');
        struct Case {
            QByteArray content;
            QStringList names;
        } cases[] = {
            {"A\t3\t1\t1\nB\t2\t1\t1\nC\t1\t1\t1", {"A", "B"}},                 // last line lost
            {"A\t3\t1\t1\nbroken line\nB\t2\t1\t1\n", {"A", "B"}},              // skipped, goes on
            {"A\t3\t1\t1\n" + longLine + "\nB\t2\t1\t1\n", {"A"}},              // 256 bytes end it
            {"A\t3\t1\t1\n" + longestAccepted + "\nB\t2\t1\t1\n", {"A", "Edge", "B"}},
            {"A\t3\t1\t1\r\nB\t2\t1\t1\n", {"A", "B"}},                         // CR left, harmless
            {"\n\nA\t3\t1\t1\n", {"A"}},
            {"", {}},
        };
        for (const Case& c : cases) {
            QVERIFY(writeBytes(dir.filePath("Skyvane.02"), c.content));
            const SharedData data(dir.path());
            QStringList names;
            for (const CityData& city : cityList(data))
                names.append(QString::fromUtf8(city.name));
            QCOMPARE(names, c.names);
        }
    }

    void numbersIgnoreUserLocale()
    {
        // A desktop in a comma locale must still read "52.5".
        const QByteArray saved(std::setlocale(LC_NUMERIC, nullptr));
        QTemporaryDir dir;
        if (!useCommaLocale(dir))
            QSKIP("no German locale and no localedef to make one");
        QCOMPARE(std::localeconv()->decimal_point[0], ',');
        QByteArray line("Berlin\t3644826\t52.5\t13.25");
        CityData city;
        const bool parsed = SharedData::parseCityLine(line.data(), city);
        std::setlocale(LC_NUMERIC, saved.constData());
        QVERIFY(parsed);
        QCOMPARE(city.latMicro, 52500000);
        QCOMPARE(city.lonMicro, 13250000);
    }

    void missingFilesGiveEmptyData()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("Skyvane.00"), "not a png"));
        const SharedData data(dir.path());
        QVERIFY(data.westernMask.isNull());
        QVERIFY(data.easternMask.isNull());
        QVERIFY(!data.cities);
        QVERIFY(!data.isLand(10000000, -10000000));
        QVERIFY(!data.isLand(10000000, 10000000));
    }

    // One bit set per mask at known places, checked through the row and column
    // arithmetic in both directions.
    void handMadeMaskArithmetic()
    {
        QTemporaryDir dir;
        QImage western = blankMask();
        QImage eastern = blankMask();
        setBit(western, 0, 0);          // -180° at the northern edge
        setBit(western, 17999, 15999);  // just west of 0° at the southern edge
        setBit(western, 9, 100);        // -179.91°, 79.00° N: bit 6 of byte 1
        setBit(eastern, 0, 8000);       // 0° at the equator
        setBit(eastern, 12345, 5000);   // 123.45° E, 30° N
        QVERIFY(LandMaskImage::write(western, dir.filePath("Skyvane.00")));
        QVERIFY(LandMaskImage::write(eastern, dir.filePath("Skyvane.01")));
        const SharedData data(dir.path());
        QCOMPARE(data.westernMask.format(), QImage::Format_Mono);
        QCOMPARE(data.westernMask.size(), QSize(18000, 16000));
        // Most significant bit first: column 9 is 0x40 of byte 1.
        QCOMPARE(int(data.westernMask.constScanLine(100)[1]), 0x40);
        QCOMPARE(int(data.westernMask.constScanLine(0)[0]), 0x80);
        QCOMPARE(int(data.easternMask.constScanLine(8000)[0]), 0x80);

        // Rows: (80000000 - lat) / 10000.  Columns: lon / 10000 (+ 18000 west).
        const struct { int lat, lon; bool land; } probes[] = {
            {79999999, -180000000, 1}, {79990001, -180000000, 1}, {79990000, -180000000, 0},  // row 0, not row 1
            {79000000, -179910000, 1}, {78990001, -179919999, 1},                              // row 100, column 9
            {79000000, -179900000, 0}, {79000000, -179920000, 0},                              // columns 10 and 8
            {-79999999, -10000, 1}, {-79990001, -19999, 1}, {-79990001, -20000, 0},  // column 17999, not 17998
            {-79990001, -1, 1},                                         // just west of 0°: the last column
            {0, 0, 1}, {0, 9999, 1}, {0, 10000, 0}, {1, 0, 0},          // row 8000, column 0; row 7999
            {-9999, 0, 1}, {-10000, 0, 0},                              // row 8000 runs down to -0.01 exclusive
            {30000000, 123450000, 1}, {30000000, 123459999, 1}, {30000000, 123450000 - 360000000, 1},  // folded
            {30000000, 123460000, 0}, {80000000, -180000000, 0}, {-80000000, -10000, 0}};  // none at ±80°
        for (const auto& p : probes)
            QVERIFY2(data.isLand(p.lat, p.lon) == p.land, qPrintable(QString("%1, %2").arg(p.lat).arg(p.lon)));
    }

    // Masks loaded on several threads at once all load, and the reader's
    // process-wide allocation limit is what it was before.
    void concurrentLoadsKeepReaderLimit()
    {
        QTemporaryDir dir;
        QVERIFY(LandMaskImage::write(blankMask(), dir.filePath("Skyvane.00")));
        QVERIFY(QFile::copy(dir.filePath("Skyvane.00"), dir.filePath("Skyvane.01")));
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(77);
        std::atomic<int> failures{0};
        const auto loadTwice = [&] {
            for (int round = 0; round < 2; ++round) {
                const SharedData data(dir.path());
                failures += data.westernMask.isNull() + data.easternMask.isNull();
            }
        };
        std::thread other(loadTwice);
        loadTwice();
        other.join();
        const int after = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(limit);
        QCOMPARE(failures.load(), 0);
        QCOMPARE(after, 77);
    }

    // The generated city list beside this executable, through the default
    // constructor as the program uses it.
    void installedCities()
    {
        const SharedData data;
        const QList<CityData> cities = cityList(data);
        QVERIFY2(cities.size() > 10000, "the generated city list is missing or short");
        QCOMPARE(QByteArray(cities.first().name), QByteArray("Shanghai"));
        bool buenosAires = false, saoPaulo = false;
        for (int k = 0; k < cities.size(); ++k) {
            const CityData& city = cities[k];
            QVERIFY(city.population >= 30000);
            if (k > 0)
                QVERIFY2(city.population <= cities[k - 1].population, city.name);
            QVERIFY(QString::fromUtf8(city.name).toUtf8() == QByteArray(city.name));  // whole UTF-8
            QVERIFY(city.latMicro >= -90000000 && city.latMicro <= 90000000);
            QVERIFY(city.lonMicro >= -180000000 && city.lonMicro <= 180000000);
            buenosAires |= QByteArray(city.name) == "Buenos Aires";
            saoPaulo |= QByteArray(city.name) == "S\xc3\xa3o Paulo";
        }
        QVERIFY(buenosAires);
        QVERIFY(saoPaulo);
        // The smallest city ever drawn (31 250 at zoom 64) is in the list.
        QVERIFY(cities.last().population < 31250);
    }
};

QTEST_GUILESS_MAIN(TestSharedData)
#include "tst_shareddata.moc"
