// Runs the skyvane-render binary on a forecast written by the stand-in
// server's builder and on sample files from elsewhere, and checks its
// pictures, messages and exit codes.

#include "ForecastBuilder.h"
#include "MeteoType.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int code = -1;  // -1: crashed or timed out
    QString err;
};

bool reddish(QRgb c) { return qRed(c) > 200 && qGreen(c) < 150 && qBlue(c) < 150; }

}  // namespace

class TestSkyvaneRenderTool : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;      // the settings store of the runs
    QTemporaryDir work;      // inputs and pictures
    QString forecast;        // wind and pressure over western Europe, 3 steps

    Run run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SKYVANE_RENDER_TOOL), args);
        Run r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        if (p.exitStatus() == QProcess::NormalExit)
            r.code = p.exitCode();
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    // A picture of the forecast; null when the run failed.
    QImage picture(const QString& name, const QStringList& options)
    {
        const QString out = work.filePath(name);
        const Run r = run(QStringList{forecast, "--out", out} + options);
        if (r.code != 0)
            qWarning("exit %d: %s", r.code, qPrintable(r.err));
        return r.code == 0 ? QImage(out) : QImage();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid() && work.isValid());
        const ForecastRequest request{mtWind | mtPressure, 1, 0, 0, 3, 3, 60000, -10000, 20000, 40000};
        QByteArray grib;
        QString error;
        QVERIFY2(ForecastBuilder(QDate(2024, 3, 10)).build(request, grib, error), qPrintable(error));
        forecast = work.filePath("forecast.grb");
        QFile f(forecast);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(grib) == grib.size());
    }

    // A pressure picture of the requested size: the colour layer, the
    // legend squares of the pressure scale (1040 hPa at the top) and a
    // city at the centre asked for.
    void pressurePicture()
    {
        // Zoom 8: 50 pixels per degree; Paris (48.853°N 2.349°E) lies
        // within a pixel of the centre (200, 150).
        const QStringList pressure{"--type", "pressure", "--size", "400x300", "--zoom", "8", "--center"};
        const QImage image = picture("pressure.png", pressure + QStringList{"48.85,2.34"});
        QCOMPARE(image.size(), QSize(400, 300));
        QCOMPARE(image.pixel(350, 53), qRgb(240, 0, 0));    // R - 49, first square
        QCOMPARE(image.pixel(350, 215), qRgb(161, 0, 199)); // tenth square, 950 hPa
        QVERIFY(reddish(image.pixel(199, 149)));

        // Half a degree further east the city is 24 pixels left of centre.
        const QImage east = picture("east.png", pressure + QStringList{"48.85,2.84"});
        QVERIFY(reddish(east.pixel(175, 149)) && !reddish(east.pixel(199, 149)));

        // Mercator keeps the centre where it is, and draws another map.
        const QImage mercator =
            picture("mercator.png", pressure + QStringList{"48.85,2.34", "--projection", "mercator"});
        QVERIFY(!mercator.isNull() && mercator != image && reddish(mercator.pixel(199, 149)));
    }

    // --blend 0 at step 1 is the frame of step 0: its colours and its time.
    void blendZeroShowsStepBefore()
    {
        const QStringList common{"--type", "pressure", "--size", "320x240"};
        const QImage before = picture("step0.png", common + QStringList{"--step", "0"});
        const QImage after = picture("step1.png", common + QStringList{"--step", "1"});
        const QImage blended = picture("blend0.png", common + QStringList{"--step", "1", "--blend", "0"});
        QVERIFY(!before.isNull() && !after.isNull() && !blended.isNull());
        QVERIFY(before != after);
        QVERIFY(blended == before);
        const QImage half = picture("blend05.png", common + QStringList{"--step", "2", "--blend", "0.5"});
        QVERIFY(!half.isNull());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");  // split at spaces
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");  // part of stderr; %1 = the work directory
        const struct {
            const char *name, *args;
            int code;
            const char* message;
        } rows[] = {
            {"step beyond the file", "forecast.grb --out x.png --step 3", 1, "the file has 3 time step(s), 0 to 2"},
            {"blend without a step", "forecast.grb --out x.png --blend 0.5", 2, "--blend needs --step 1"},
            {"blend beyond 1", "forecast.grb --out x.png --step 1 --blend 2", 2, "--blend is 0 to 1"},
            {"missing file", "absent.grb --out x.png", 1, "%1/absent.grb"},
            {"corrupt file", "corrupt.grb --out x.png", 1, "%1/corrupt.grb"},
            {"unknown option", "forecast.grb --out x.png --colour red", 2, "unknown option --colour"},
            {"unknown type", "forecast.grb --out x.png --type fog", 2, "unknown --type fog"},
            {"no output", "forecast.grb", 2, "--out is required"},
            {"bad size", "forecast.grb --out x.png --size 400", 2, "--size"},
            {"unwritable output", "forecast.grb --out no/such/dir/x.png", 1, "cannot write %1/no/such/dir/x.png"},
        };
        for (const auto& row : rows)
            QTest::newRow(row.name) << QString::fromLatin1(row.args).split(' ') << row.code
                                    << QString::fromLatin1(row.message);
    }

    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFile corrupt(work.filePath("corrupt.grb"));
        QVERIFY(corrupt.open(QIODevice::WriteOnly));
        corrupt.write(QByteArray(4000, '\x5a'));
        corrupt.close();
        for (QString& arg : args)
            if (arg.endsWith(".grb") || arg.endsWith(".png"))
                arg = work.filePath(arg);
        const Run r = run(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(QString(message).replace("%1", work.path())), qPrintable(r.err));
        QVERIFY(!QFile::exists(work.filePath("x.png")));
    }

    // Sample files from elsewhere: ECMWF's 2 m temperature in either
    // edition, a GFS forecast in edition 2, and fields on a grid the map
    // does not draw, refused with the reason.
    void samples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");  // part of stderr
        QTest::newRow("edition 1") << "regular_latlon_surface.grib1" << 0 << "";
        QTest::newRow("edition 2") << "regular_latlon_surface.grib2" << 0 << "";
        QTest::newRow("GFS edition 2") << "gfs.t12z.pgrbf120.2p5deg.grib2" << 0 << "";
        QTest::newRow("polar stereographic") << "safrica.grib2" << 1 << "(polar_stereographic)";
    }

    void samples()
    {
        QFETCH(QString, file);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QString sample = QStringLiteral(SKYVANE_GRIB_SAMPLES "/") + file;
        if (!QFile::exists(sample))
            QSKIP("sample file not installed");
        const QString out = work.filePath(file + ".png");
        const Run r = run({sample, "--out", out, "--size", "400x300"});
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(QImage(out).size(), code == 0 ? QSize(400, 300) : QSize(0, 0));
    }

    // The two editions of the same field draw the same picture.
    void editionsDrawAlike()
    {
        const QString grib1 = work.filePath("regular_latlon_surface.grib1.png");
        const QString grib2 = work.filePath("regular_latlon_surface.grib2.png");
        if (!QFile::exists(grib1) || !QFile::exists(grib2))
            QSKIP("sample files not installed");
        const QImage image(grib1);
        QVERIFY(!image.isNull() && image == QImage(grib2));
        QCOMPARE(image.pixel(5, 295), 0xFF5497D8);  // the Atlantic off Sierra Leone, outside the grid
        QVERIFY(image.pixel(200, 250) != 0xFF5497D8);  // the Sahara under the colour layer
    }
};

QTEST_GUILESS_MAIN(TestSkyvaneRenderTool)
#include "tst_skyvane_render_tool.moc"
