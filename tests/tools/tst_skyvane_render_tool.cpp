// Runs the skyvane-render binary on a forecast written by the stand-in
// server's builder and on sample files from elsewhere, and checks its
// pictures, messages and exit codes.

#include "ForecastBuilder.h"
#include "MeteoType.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <webp/demux.h>

namespace {

struct Run {
    int code = -1;  // -1: crashed or timed out
    QString err;
    QByteArray out;
};

bool reddish(QRgb c) { return qRed(c) > 200 && qGreen(c) < 150 && qBlue(c) < 150; }

bool writeForecast(const QString& path, unsigned steps)
{
    const ForecastRequest request{mtWind | mtPressure, 1, 0, 0, 3, steps, 60000, -10000, 20000, 40000};
    QByteArray grib;
    QString error;
    if (!ForecastBuilder(QDate(2024, 3, 10)).build(request, grib, error))
        qWarning("%s", qPrintable(error));
    QFile f(path);
    return !grib.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(grib) == grib.size();
}

// An animated WebP as libwebp's own decoder reads it: each frame's whole
// canvas, straight ARGB, and the time each frame ends.
struct Animation {
    QSize canvas;
    QList<QImage> frames;
    QList<int> endMs;
};

Animation decoded(const QString& path)
{
    Animation animation;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return animation;
    const QByteArray bytes = file.readAll();
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info)) {
        WebPAnimDecoderDelete(decoder);
        return animation;
    }
    animation.canvas = QSize(int(info.canvas_width), int(info.canvas_height));
    uint8_t* pixels = nullptr;
    int endMs = 0;
    while (WebPAnimDecoderGetNext(decoder, &pixels, &endMs)) {
        const QImage rgba(pixels, animation.canvas.width(), animation.canvas.height(), QImage::Format_RGBA8888);
        animation.frames << rgba.convertToFormat(QImage::Format_ARGB32);
        animation.endMs << endMs;
    }
    WebPAnimDecoderDelete(decoder);
    return animation;
}

// The frame count Debian's webpmux reports, 1 for a still picture; -1 when
// it reads no WebP.
int webpmuxFrames(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral(SKYVANE_WEBPMUX), {"-info", path});
    p.waitForFinished();
    const QString info = p.readAllStandardOutput();
    const auto match = QRegularExpression("Number of frames: (\\d+)").match(info);
    if (match.hasMatch())
        return match.captured(1).toInt();
    return info.contains("No features present") ? 1 : -1;
}

}  // namespace

class TestSkyvaneRenderTool : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;      // the settings store of the runs
    QTemporaryDir work;      // inputs and pictures
    QString forecast;        // wind and pressure over western Europe, 3 steps
    QString longForecast;    // the same, 16 three-hourly steps
    Animation stepsTwoToFive;  // of longForecast at 4 frames a second, a second a step

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
        r.out = p.readAllStandardOutput();
        return r;
    }

    // A picture of the forecast; null when the run failed.
    QImage picture(const QString& name, const QStringList& options, const QString& file = QString())
    {
        const QString out = work.filePath(name);
        const Run r = run(QStringList{file.isEmpty() ? forecast : file, "--out", out} + options);
        if (r.code != 0)
            qWarning("exit %d: %s", r.code, qPrintable(r.err));
        return r.code == 0 ? QImage(out) : QImage();
    }

    // An animation of the 16-step forecast, decoded; empty when the run failed.
    Animation animation(const QString& name, const QStringList& options)
    {
        const QString out = work.filePath(name);
        const Run r = run(QStringList{longForecast, "--animate", out, "--size", "160x100"} + options);
        if (r.code != 0 || !r.out.isEmpty())
            qWarning("exit %d: %s", r.code, qPrintable(r.err));
        return r.code == 0 && r.out.isEmpty() ? decoded(out) : Animation();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid() && work.isValid());
        forecast = work.filePath("forecast.grb");
        longForecast = work.filePath("long.grb");
        QVERIFY(writeForecast(forecast, 3) && writeForecast(longForecast, 16));
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

    // Animations of the 16-step forecast: the frames and canvas libwebp's
    // decoder finds, the frames webpmux counts and when the last one ends.
    void animations_data()
    {
        QTest::addColumn<QString>("options");  // split at spaces
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("endMs");
        QTest::newRow("steps 2 to 5 at 4 fps") << "--from 2 --to 5 --fps 4 --seconds-per-step 1" << 13 << 3250;
        QTest::newRow("whole file at the window's pace") << "--fps 1" << 46 << 46000;
        // One frame is a still WebP picture, which has no duration.
        QTest::newRow("one step") << "--from 7 --to 7" << 1 << 0;
        QTest::newRow("uneven pace, lossy") << "--to 3 --fps 3 --seconds-per-step 0.5 --quality 60" << 6 << 2000;
        QTest::newRow("last two, mercator") << "--from 14 --fps 5 --seconds-per-step 0.4 --projection mercator"
                                           << 3 << 600;
    }

    void animations()
    {
        QFETCH(QString, options);
        QFETCH(int, frames);
        QFETCH(int, endMs);
        const QString name = QString("anim-%1.webp").arg(QTest::currentDataTag()).replace(' ', '-');
        const Animation decoded = animation(name, options.split(' ') + QStringList{"--type", "pressure"});
        QCOMPARE(decoded.canvas, QSize(160, 100));
        QCOMPARE(decoded.frames.size(), frames);
        QCOMPARE(decoded.endMs.last(), endMs);
        QCOMPARE(webpmuxFrames(work.filePath(name)), frames);
    }

    // Each frame is the still picture of its moment, pixel for pixel.
    void framesMatchStills_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<QString>("still");  // options of the still, split at spaces
        QTest::newRow("first") << 0 << "--step 2";
        QTest::newRow("a quarter into step 3") << 1 << "--step 3 --blend 0.25";
        QTest::newRow("half-way into step 3") << 2 << "--step 3 --blend 0.5";
        QTest::newRow("step 3 reached") << 4 << "--step 3";
        QTest::newRow("half-way into step 4") << 6 << "--step 4 --blend 0.5";
        QTest::newRow("last") << 12 << "--step 5";
    }

    void framesMatchStills()
    {
        QFETCH(int, frame);
        QFETCH(QString, still);
        const QStringList common{"--type", "pressure", "--size", "160x100"};
        const QStringList pace = QString("--from 2 --to 5 --fps 4 --seconds-per-step 1").split(' ');
        if (stepsTwoToFive.frames.isEmpty())
            stepsTwoToFive = animation("steps2to5.webp", common + pace);
        QCOMPARE(stepsTwoToFive.frames.size(), 13);
        const QImage expected = picture("still.png", common + still.split(' '), longForecast);
        QVERIFY(!expected.isNull());
        QVERIFY(stepsTwoToFive.frames[frame] == expected.convertToFormat(QImage::Format_ARGB32));
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
            {"animation with a step", "forecast.grb --animate x.webp --step 1", 2, "--step and --blend are for a still"},
            {"animation with a blend", "forecast.grb --animate x.webp --blend 0.5", 2, "--step and --blend are for"},
            {"animation and a still", "forecast.grb --animate x.webp --out x.png", 2, "--out is for a still picture"},
            {"animation to MP4", "forecast.grb --animate x.mp4", 2, "must end in .webp, not %1/x.mp4 (MP4 is not"},
            {"animation option alone", "forecast.grb --out x.png --fps 5", 2, "--fps needs --animate"},
            {"no frames per second", "forecast.grb --animate x.webp --fps 0", 2, "--fps is 1 to 60"},
            {"too many per second", "forecast.grb --animate x.webp --fps 61", 2, "--fps is 1 to 60"},
            {"no time per step", "forecast.grb --animate x.webp --seconds-per-step 0", 2, "--seconds-per-step is more"},
            {"quality beyond 100", "forecast.grb --animate x.webp --quality 101", 2, "--quality is 0 to 100"},
            {"from after to", "forecast.grb --animate x.webp --from 2 --to 1", 2, "--from 2 comes after --to 1"},
            {"to beyond the file", "forecast.grb --animate x.webp --to 3", 1, "--to 3: the file has 3 time step(s)"},
            {"too many frames", "forecast.grb --animate x.webp --fps 60 --seconds-per-step 600", 2,
             "would have 72001 frames, more than 5000"},
            {"animation too large", "forecast.grb --animate x.webp --size 5000x100", 2, "at most 4096 pixels"},
            {"too many large frames", "forecast.grb --animate x.webp --size 4096x4096 --fps 60 --seconds-per-step 6", 2,
             "would have 721 frames, more than 617 at 4096x4096"},
            {"unwritable animation", "forecast.grb --animate no/such/dir/x.webp", 1,
             "cannot write %1/no/such/dir/x.webp"},
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
            if (arg.contains(QRegularExpression("\\.(grb|png|webp|mp4)$")))
                arg = work.filePath(arg);
        const Run r = run(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(QString(message).replace("%1", work.path())), qPrintable(r.err));
        QCOMPARE(QDir(work.path()).entryList({"x.*"}), QStringList());
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
