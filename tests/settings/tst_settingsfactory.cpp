// The settings store on a real INI file under a temporary home: defaults
// and what survives a reopen, the preset text both ways, the preset list
// as the file keeps it, the file's permissions, and preset registration
// with the stand-in server.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <utility>

#include "SettingsFactory.h"
#include "servicefixtures.h"

Q_DECLARE_METATYPE(ToviForecastParameters)

using namespace Qt::StringLiterals;

namespace {

using Entries = std::initializer_list<std::pair<const char*, const char*>>;

const char kNorthText[] =
    "name=North;resolution=4;meteoType=3;forecastDay=0;forecastTime=12;stepsNumber=8;timeStep=3;"
    "centerLat=50000000;centerLon=-5000000;zoom=8;width=900;height=600;";

// Records in declaration order: meteoType, resolution, forecastDay,
// forecastTime, timeStep, stepsNumber, top, left, right, bottom, zoom,
// centerLat, centerLon.
ToviForecastParameters north()
{
    return {3, ToviForecastParameters::grHighResolution, 0, 12, 3, 8, 0, 0, 0, 0, 8, 50000000, -5000000};
}

// What the parse cases start from: every field set.
ToviForecastParameters before()
{
    return {1, ToviForecastParameters::grMediumResolution, 2, 6, 3, 10, 11, 12, 13, 14, 5, 15, 16};
}

// A heap record told apart by its zoom.
ToviForecastParameters* record(int zoom)
{
    auto* p = new ToviForecastParameters(north());
    p->zoom = zoom;
    return p;
}

// Every field, so that one comparison shows what differs.
QString describe(const ToviForecastParameters& p)
{
    return u"meteoType %1 resolution %2 day %3 time %4 step %5 steps %6 area %7 %8 %9 %10 zoom %11 centre %12 %13"_s
        .arg(p.meteoType).arg(int(p.resolution)).arg(p.forecastDay).arg(p.forecastTime).arg(p.timeStep)
        .arg(p.stepsNumber).arg(p.top).arg(p.left).arg(p.right).arg(p.bottom).arg(p.zoom).arg(p.centerLat)
        .arg(p.centerLon);
}

int mode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

}  // namespace

class TestSettingsFactory : public QObject {
    Q_OBJECT
public:
    explicit TestSettingsFactory(const QString& home)
        : home(home), iniPath(home + u"/config/skyvane.example/Skyvane.ini"_s)
    {
    }

private:
    // Writes entries as another program would, with the store closed.
    void writeIni(Entries entries)
    {
        SettingsFactory::destroy();
        QSettings file(iniPath, QSettings::IniFormat);
        for (const auto& [key, value] : entries)
            file.setValue(QString::fromLatin1(key), QString::fromLatin1(value));
        file.sync();
    }
    // The "name=" piece of Preset0 .. PresetN-1 for the N keys of the
    // group: a gap shows as an empty piece.
    QStringList favourites()
    {
        QSettings file(iniPath, QSettings::IniFormat);
        file.beginGroup(u"Favourites"_s);
        QStringList names;
        for (int i = 0; i < file.childKeys().size(); ++i)
            names << file.value(u"Preset%1"_s.arg(i)).toString().section(QLatin1Char(';'), 0, 0);
        return names;
    }
    // "name zoom" of every stored preset, in the store's order.
    static QStringList presets()
    {
        QStringList list;
        for (int i = 0; i < SettingsFactory::presetsCount(); ++i) {
            QString name;
            ToviForecastParameters* p = nullptr;
            list << (SettingsFactory::getPreset(i, name, &p) ? name + u' ' + QString::number(p->zoom) : u"none"_s);
        }
        return list;
    }

    const QString home;
    const QString iniPath;

private slots:
    void initTestCase()
    {
        // Everything below writes to this file: it must not be the
        // developer's own.
        const QSettings probe(QSettings::IniFormat, QSettings::UserScope, u"skyvane.example"_s, u"Skyvane"_s);
        if (probe.fileName() != iniPath)
            QFAIL(qPrintable(u"settings would go to %1, not %2"_s.arg(probe.fileName(), iniPath)));
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), home + u"/Documents"_s);
    }

    void init()
    {
        SettingsFactory::destroy();
        QDir(QFileInfo(iniPath).path()).removeRecursively();
    }

    void cleanupTestCase() { SettingsFactory::destroy(); }

    void accountHomeAndServerPersist()
    {
        QCOMPARE(SettingsFactory::server(), u"http://localhost:30080"_s);
        QCOMPARE(SettingsFactory::getHome(), QPointF(-3, 53));
        SettingsFactory::setAccount(u"alice"_s, u"p4ss word"_s);
        SettingsFactory::setHome(QPointF(12.5, -33.25), 11);
        SettingsFactory::destroy();

        QFile file(iniPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        for (const char* line : {"[Download]", "username=alice", "password=p4ss word", "[Map]", "home%20lon=12.5",
                                 "home%20lat=-33.25", "home%20zoom=11"})
            QVERIFY2(text.contains(line), line);
        QVERIFY2(!text.contains("server="), "the host is never written");
        QCOMPARE(SettingsFactory::login() + u':' + SettingsFactory::password(), u"alice:p4ss word"_s);
        QCOMPARE(SettingsFactory::getHome(), QPointF(12.5, -33.25));
        QCOMPARE(SettingsFactory::getHomeZoom(), 11);

        // A host written by hand.
        writeIni({{"Download/server", "forecast.example.org"}});
        QCOMPARE(SettingsFactory::server(), u"http://forecast.example.org:30080"_s);
        QCOMPARE(SettingsFactory::login(), u"alice"_s);
    }

    void documentsPath()
    {
        QCOMPARE(SettingsFactory::getMyDocumentsPath(), home + u"/Documents/skyvane.example/Skyvane/"_s);
        QVERIFY(QFileInfo(home + u"/Documents/skyvane.example/Skyvane/"_s).isDir());
    }

    // Written in full; read back by the parse table below.
    void presetText()
    {
        SettingsFactory::setMapSize(QSize(900, 600));
        ToviForecastParameters example = north();
        QCOMPARE(SettingsFactory::preset2String(u"North"_s, &example), QString::fromLatin1(kNorthText));
        // An open-data preset also names its source, after the map size.
        example.resolution = ToviForecastParameters::GribResolution(203);
        QVERIFY(SettingsFactory::preset2String(u"North"_s, &example).endsWith(u"height=600;source=ecmwf;"_s));
        example.resolution = ToviForecastParameters::grHighResolution;
        // The text has no escapes: a name keeps what precedes a ';' (or '=').
        QString name;
        ToviForecastParameters* target = &example;
        QVERIFY(SettingsFactory::string2Preset(SettingsFactory::preset2String(u"North;East"_s, &example), name,
                                               &target));
        QCOMPARE(name, u"North"_s);
        ToviForecastParameters* none = nullptr;
        QVERIFY(!SettingsFactory::string2Preset(QString::fromLatin1(kNorthText), name, &none));
        QVERIFY(!SettingsFactory::string2Preset(QString::fromLatin1(kNorthText), name, nullptr));
    }

    void parsePresetText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<ToviForecastParameters>("expected");
        // What the text lacks is kept, except the map view.
        auto with = [](const std::function<void(ToviForecastParameters&)>& change) {
            ToviForecastParameters p = before();
            p.centerLat = 0, p.centerLon = 0, p.zoom = 8;
            change(p);
            return p;
        };
        ToviForecastParameters full = north();
        full.top = 11, full.left = 12, full.right = 13, full.bottom = 14;
        QTest::newRow("full text") << QString::fromLatin1(kNorthText) << "North" << full;
        QTest::newRow("value ends at '='") << "name=a=b;zoom=3=4" << "a" << with([](auto& p) { p.zoom = 3; });
        QTest::newRow("no zoom") << "centerLat=5;centerLon=-6" << "before"
                                 << with([](auto& p) { p.centerLat = 5, p.centerLon = -6; });
        QTest::newRow("no centre") << "zoom=4" << "before" << with([](auto& p) { p.zoom = 4; });
        QTest::newRow("empty text") << "" << "before" << with([](auto&) {});
        QTest::newRow("not numbers") << "resolution=high;meteoType=;forecastDay=1.5;centerLon=x;zoom=9x;timeStep=3h"
                                     << "before" << with([](auto& p) {
                                            p.resolution = ToviForecastParameters::GribResolution(0);
                                            p.meteoType = 0, p.forecastDay = 0, p.zoom = 0, p.timeStep = 0;
                                        });
        QTest::newRow("whole keys, case matters")
            << "Zoom=5;xzoom=6;zoom =7;Name=y;name;centerLat5;Resolution=4" << "before" << with([](auto&) {});
        QTest::newRow("first piece wins") << "zoom=3;name=first;zoom=4;name=second" << "first"
                                          << with([](auto& p) { p.zoom = 3; });
        QTest::newRow("steps are unsigned") << "stepsNumber=-3;timeStep=-1;forecastDay=-2;centerLon=-7" << "before"
                                            << with([](auto& p) {
                                                   p.stepsNumber = 0, p.timeStep = 0, p.forecastDay = -2;
                                                   p.centerLon = -7;
                                               });
        QTest::newRow("only its own keys") << "width=1;height=2;top=9;left=9" << "before" << with([](auto&) {});
        QTest::newRow("empty name") << "name=;zoom=2" << "" << with([](auto& p) { p.zoom = 2; });
        // A known source sets the code; an unknown one leaves the line's.
        auto code = [](int resolution) { return ToviForecastParameters::GribResolution(resolution); };
        QTest::newRow("open-data source") << "name=e;resolution=201;source=ecmwf;" << "e"
                                          << with([&](auto& p) { p.resolution = code(203); });
        QTest::newRow("source alone") << "source=gfs-wave" << "before"
                                      << with([&](auto& p) { p.resolution = code(202); });
        QTest::newRow("unknown source") << "resolution=7;source=noaa;Source=gfs" << "before"
                                        << with([&](auto& p) { p.resolution = code(7); });
    }

    void parsePresetText()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(ToviForecastParameters, expected);
        QString parsedName = u"before"_s;
        ToviForecastParameters parsed = before();
        ToviForecastParameters* target = &parsed;
        QVERIFY(SettingsFactory::string2Preset(text, parsedName, &target));
        QCOMPARE(parsedName, name);
        QCOMPARE(describe(parsed), describe(expected));
    }

    void presetList()
    {
        SettingsFactory::setMapSize(QSize(800, 500));
        ToviForecastParameters* b = record(2);
        ToviForecastParameters* a = record(1);
        QVERIFY(SettingsFactory::savePreset(u"b"_s, b));
        QVERIFY(SettingsFactory::savePreset(u"a"_s, a));
        QCOMPARE(presets(), QStringList({"a 1", "b 2"}));
        QString name;
        ToviForecastParameters* stored = nullptr;
        QVERIFY(SettingsFactory::getPreset(0, name, &stored) && stored == a);
        QVERIFY(!SettingsFactory::getPreset(-1, name, &stored) && !SettingsFactory::getPreset(2, name, &stored));
        QCOMPARE(QSettings(iniPath, QSettings::IniFormat).value(u"Favourites/Preset1"_s).toString(),
                 SettingsFactory::preset2String(u"b"_s, b));

        // Replaced and deleted records go back to the caller.
        ToviForecastParameters* a2 = record(7);
        QVERIFY(SettingsFactory::savePreset(u"a"_s, a2));
        std::unique_ptr<ToviForecastParameters> oldA(a);
        QCOMPARE(presets(), QStringList({"a 7", "b 2"}));
        QVERIFY(SettingsFactory::savePreset(u"c"_s, record(3)));
        QVERIFY(SettingsFactory::deletePreset(u"b"_s));
        std::unique_ptr<ToviForecastParameters> oldB(b);
        QVERIFY(SettingsFactory::deletePreset(u"missing"_s));
        QCOMPARE(favourites(), QStringList({"name=a", "name=c"}));

        // One record under two names is freed once.
        QVERIFY(SettingsFactory::savePreset(u"d"_s, a2));
        SettingsFactory::destroy();
        QCOMPARE(favourites(), QStringList({"name=a", "name=c", "name=d"}));
        QCOMPARE(presets(), QStringList({"a 7", "c 3", "d 7"}));
    }

    void presetLoading()
    {
        writeIni({{"Favourites/Preset0", "name=one;zoom=1;"},
                  {"Favourites/Preset1", "name=two;zoom=2;"},
                  {"Favourites/Preset3", "name=four;zoom=4;"}});
        QCOMPARE(presets(), QStringList({"one 1", "two 2"}));
        // The entry past the gap is dropped, not revived once the list
        // grows over it.
        QVERIFY(SettingsFactory::savePreset(u"three"_s, record(3)));
        SettingsFactory::destroy();
        QCOMPARE(favourites(), QStringList({"name=one", "name=three", "name=two"}));

        QFile::remove(iniPath);
        writeIni({{"Favourites/Preset0", "name=dup;zoom=3;"},
                  {"Favourites/Preset1", "zoom=6;"},
                  {"Favourites/Preset2", "name=dup;zoom=5;"}});
        QCOMPARE(presets(), QStringList({" 6", "dup 5"}));  // the later of a name wins
    }

    void filePermissions()
    {
        const QString folder = QFileInfo(iniPath).path();
        SettingsFactory::setAccount(u"alice"_s, u"secret"_s);
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(iniPath), 0600);

        // Modes an older version, or a copy, may have left.
        SettingsFactory::destroy();
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        SettingsFactory::login();
        QCOMPARE(mode(folder), 0700);
        ToviForecastParameters* kept = record(1);
        const std::function<void()> writes[] = {
            [] { SettingsFactory::setAccount(u"bob"_s, u"secret"_s); },
            [] { SettingsFactory::setHome(QPointF(1, 2), 3); },
            [&] { SettingsFactory::savePreset(u"p"_s, kept); },
            [] { SettingsFactory::deletePreset(u"p"_s); },
        };
        for (const auto& write : writes) {
            ::chmod(QFile::encodeName(iniPath).constData(), 0644);
            write();
            QCOMPARE(mode(iniPath), 0600);
        }
        delete kept;
    }

    void registerWithServer()
    {
        QTemporaryDir scratch;
        const QString recordPath = scratch.filePath(u"requests.jsonl"_s);
        StandInServer server({"--host", "127.0.0.2", "--port", "30080", "--record", recordPath});
        if (!server.running()) {
            if (server.log().contains("cannot listen"))
                QSKIP("127.0.0.2:30080 is taken; the store always calls port 30080");
            QFAIL(qPrintable(u"the stand-in server did not start: "_s + QString::fromUtf8(server.log())));
        }
        writeIni({{"Download/server", "127.0.0.2"}});
        SettingsFactory::setAccount(u"demo"_s, u"demo"_s);
        SettingsFactory::setMapSize(QSize(900, 600));
        ToviForecastParameters example = north();
        QVERIFY(SettingsFactory::addPreset(u"North"_s, 3, &example));
        QFile requests(recordPath);
        QVERIFY(requests.open(QIODevice::ReadOnly));
        const QJsonObject sent = QJsonDocument::fromJson(requests.readLine()).object();
        const QJsonObject account = sent.value("credentials").toObject();
        QCOMPARE((QStringList{sent.value("presetData").toString(), QString::number(sent.value("daysActive").toInt()),
                              account.value("login").toString() + u':' + account.value("password").toString()}),
                 (QStringList{QString::fromLatin1(kNorthText), u"3"_s, u"demo:demo"_s}));
        // A refusal is reported.
        SettingsFactory::setAccount(u"demo"_s, u"wrong"_s);
        QVERIFY(!SettingsFactory::addPreset(u"North"_s, 3, &example));
    }
};

int main(int argc, char** argv)
{
    // The store reads the environment when it first opens: the home is
    // replaced before anything can.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    const QByteArray path = QFile::encodeName(home.path());
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/config");
    qputenv("XDG_DATA_HOME", path + "/data");
    QCoreApplication app(argc, argv);
    TestSettingsFactory test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsfactory.moc"
