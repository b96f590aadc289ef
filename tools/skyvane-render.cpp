// skyvane-render: a GRIB forecast of either edition drawn as the map draws
// it, to a PNG file or an animated WebP of its time steps, without a window:
// the same projectors, colour layer and symbols.

#include "animation_export.h"
#include "animation_frames.h"
#include "webp_animation.h"

#include "GeoProjector.h"
#include "GribFile.h"
#include "GribFileHelper.h"
#include "MeteoKinds.h"
#include "SettingsFactory.h"
#include "kind_names.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

#include <unistd.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // unreadable file, nothing to draw, unwritable picture
constexpr int kExitUsage = 2;   // bad arguments

// An animation's bounds: beyond them the encoded frames, which libwebp
// keeps until the file is written, would take too much memory and time.
constexpr int kMaxFramesPerSecond = 60;
constexpr double kMaxSecondsPerStep = 600.0;
constexpr int64_t kMaxFrames = 5000;
constexpr int64_t kMaxFramePixels = kMaxFrames * 1920 * 1080;
constexpr int kMaxAnimationSide = 4096;

const char* const kUsage =
    "Usage: skyvane-render FILE --out PICTURE.png [options]\n"
    "       skyvane-render FILE --animate MOVIE.webp [options]\n"
    "\n"
    "Draws the forecast in FILE (GRIB edition 1 or 2) as the Skyvane map shows it:\n"
    "land and sea, the colour layer of one field with its legend and the\n"
    "local-time date line, wind barbs, arrows, isobars and city names.\n"
    "\n"
    "  --out FILE           the PNG to write (required for a still picture)\n"
    "  --type KIND          wind, pressure, precipitation, temperature, wave, sst,\n"
    "                       tidal, preciprate, or combined (wind, isobars and\n"
    "                       precipitation); default: the first kind the file\n"
    "                       holds, in the order the main window picks it\n"
    "  --projection NAME    equirect (default) or mercator\n"
    "  --size WxH           picture size in pixels, default 1280x800\n"
    "  --center LAT,LON     map centre in degrees, north and east positive;\n"
    "                       default: the centre of the file's area\n"
    "  --zoom Z             1 to 64; default: the largest at which the file's\n"
    "                       area fits\n"
    "  --step N             the time step, counted from 0 (default 0)\n"
    "  --blend F            0 to 1: the animation frame between step N-1 (0) and\n"
    "                       step N (1); needs N >= 1\n"
    "\n"
    "Animation (instead of --out, --step and --blend):\n"
    "  --animate FILE       the animated WebP to write (the name ends in .webp;\n"
    "                       MP4 is not written); the steps blend into each other\n"
    "                       as the window plays them\n"
    "  --from N, --to M     the first and last time step shown, counted from 0;\n"
    "                       default: all of them\n"
    "  --fps F              frames per second, 1 to 60 (default 10)\n"
    "  --seconds-per-step S animation time from one step to the next, more than\n"
    "                       0 and at most 600; default: the window's pace, one\n"
    "                       second per forecast hour between steps\n"
    "  --quality Q          0 to 100: lossy frames; default lossless, each frame\n"
    "                       exactly the picture, and on forecast maps, with\n"
    "                       their flat colours, usually the smaller file\n"
    "  At most 5000 frames (fewer above 1920x1080: as many pixels in all) and\n"
    "  4096 pixels each way; progress goes to standard error.\n";

struct Options {
    QString input;
    QString output;
    QString type;
    bool mercator = false;
    int width = 1280;
    int height = 800;
    bool hasCenter = false;
    double centerLat = 0.0;
    double centerLon = 0.0;
    int zoom = 0;  // 0: fit the area
    int step = 0;
    bool hasStep = false;
    bool hasBlend = false;
    double blend = 0.0;
    // The animation; its options given without --animate are refused.
    QString animation;
    QStringList animationOptions;
    int fromStep = 0;
    bool hasFrom = false;
    int toStep = 0;
    bool hasTo = false;
    int framesPerSecond = 10;
    int stepMs = 0;  // 0: the window's pace
    int quality = WebpAnimation::kLossless;
};

int fail(int code, const QString& message)
{
    std::fprintf(stderr, "skyvane-render: %s\n", qPrintable(message));
    return code;
}

bool parseInt(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

bool isAnimationOption(const QString& arg)
{
    return arg == "--from" || arg == "--to" || arg == "--fps" || arg == "--seconds-per-step" || arg == "--quality";
}

// One of the animation's options, or an error message.
QString parseAnimationOption(const QString& arg, const QString& value, Options& options)
{
    if (arg == "--from") {
        options.hasFrom = true;
        if (!parseInt(value, options.fromStep) || options.fromStep < 0)
            return "--from is a time step counted from 0, not " + value;
    } else if (arg == "--to") {
        options.hasTo = true;
        if (!parseInt(value, options.toStep) || options.toStep < 0)
            return "--to is a time step counted from 0, not " + value;
    } else if (arg == "--fps") {
        if (!parseInt(value, options.framesPerSecond) || options.framesPerSecond < 1 ||
            options.framesPerSecond > kMaxFramesPerSecond)
            return QString("--fps is 1 to %1 frames per second, not ").arg(kMaxFramesPerSecond) + value;
    } else if (arg == "--seconds-per-step") {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        options.stepMs = ok && seconds > 0.0 && seconds <= kMaxSecondsPerStep ? int(std::lround(seconds * 1000.0)) : 0;
        if (options.stepMs < 1)
            return QString("--seconds-per-step is more than 0 and at most %1, to the millisecond, not ")
                       .arg(kMaxSecondsPerStep) + value;
    } else if (arg == "--quality") {
        if (!parseInt(value, options.quality) || options.quality < 0 || options.quality > 100)
            return "--quality is 0 to 100, not " + value;
    }
    return QString();
}

// What --animate cannot go with; an error message or nothing.
QString checkAnimationOptions(const Options& options)
{
    if (!options.output.isEmpty())
        return "--animate names the file it writes: --out is for a still picture";
    if (options.hasStep || options.hasBlend)
        return "--animate plays the steps --from N --to M: --step and --blend are for a still picture";
    if (!options.animation.endsWith(".webp", Qt::CaseInsensitive))
        return "--animate writes an animated WebP, and the name must end in .webp, not " + options.animation +
               " (MP4 is not written)";
    if (options.hasFrom && options.hasTo && options.fromStep > options.toStep)
        return QString("--from %1 comes after --to %2").arg(options.fromStep).arg(options.toStep);
    if (options.width > kMaxAnimationSide || options.height > kMaxAnimationSide)
        return QString("--size for --animate is at most %1 pixels each way").arg(kMaxAnimationSide);
    return QString();
}

// The options, or an error message.
QString parseOptions(const QStringList& args, Options& options)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith("--")) {
            if (!options.input.isEmpty())
                return "more than one input file: " + arg;
            options.input = arg;
            continue;
        }
        if (i + 1 >= args.size())
            return arg + " needs a value";
        const QString value = args[++i];
        if (arg == "--out") {
            options.output = value;
        } else if (arg == "--type") {
            options.type = value;
        } else if (arg == "--projection") {
            if (value != "equirect" && value != "mercator")
                return "--projection is equirect or mercator, not " + value;
            options.mercator = value == "mercator";
        } else if (arg == "--size") {
            const auto match = QRegularExpression("^([0-9]{1,5})x([0-9]{1,5})$").match(value);
            if (!match.hasMatch())
                return "--size is WIDTHxHEIGHT in pixels, not " + value;
            options.width = match.captured(1).toInt();
            options.height = match.captured(2).toInt();
            if (options.width < 1 || options.height < 1 || options.width > 16384 || options.height > 16384)
                return "--size must be 1 to 16384 pixels each way";
        } else if (arg == "--center") {
            const QStringList parts = value.split(',');
            bool latOk = false;
            bool lonOk = false;
            if (parts.size() == 2) {
                options.centerLat = parts[0].toDouble(&latOk);
                options.centerLon = parts[1].toDouble(&lonOk);
            }
            if (!latOk || !lonOk || std::fabs(options.centerLat) > 90.0 || std::fabs(options.centerLon) > 360.0)
                return "--center is LAT,LON in degrees, not " + value;
            options.hasCenter = true;
        } else if (arg == "--zoom") {
            if (!parseInt(value, options.zoom) || options.zoom < 1 || options.zoom > 64)
                return "--zoom is 1 to 64, not " + value;
        } else if (arg == "--step") {
            if (!parseInt(value, options.step) || options.step < 0)
                return "--step is a time step counted from 0, not " + value;
            options.hasStep = true;
        } else if (arg == "--blend") {
            bool ok = false;
            options.blend = value.toDouble(&ok);
            if (!ok || !(options.blend >= 0.0 && options.blend <= 1.0))
                return "--blend is 0 to 1, not " + value;
            options.hasBlend = true;
        } else if (arg == "--animate") {
            options.animation = value;
        } else if (isAnimationOption(arg)) {
            const QString error = parseAnimationOption(arg, value, options);
            if (!error.isEmpty())
                return error;
            options.animationOptions << arg;
        } else {
            return "unknown option " + arg;
        }
    }
    if (options.input.isEmpty())
        return "no input file";
    if (!options.animation.isEmpty())
        return checkAnimationOptions(options);
    if (options.output.isEmpty())
        return "--out is required";
    if (!options.animationOptions.isEmpty())
        return options.animationOptions.first() + " needs --animate";
    if (options.hasBlend && options.step < 1)
        return "--blend needs --step 1 or later: it blends from the step before";
    return QString();
}

// The meteo flags for a --type name; 0 for an unknown name.
int typeOfName(const QString& name)
{
    if (name == "combined")
        return mtWind | mtPressure | mtPrecipitation;
    return KindNames::typeOf(name.toStdString());
}

// The largest zoom at which the area (degrees) fits the picture.
int fittingZoom(const QRectF& area, int width, int height)
{
    const double spanLon = std::fabs(area.width());
    const double spanLat = std::fabs(area.height());
    for (int zoom = 64; zoom > 1; --zoom) {
        const double pixelsPerDegree = zoom * 1125.0 / 180.0;
        if (spanLon * pixelsPerDegree <= width && spanLat * pixelsPerDegree <= height)
            return zoom;
    }
    return 1;
}

// The map's view of the picture: the projection, the zoom given or the one
// at which the file's area fits, centred where asked or on the area.
std::unique_ptr<GeoProjector> projectorFor(const Options& options, const QRectF& area)
{
    std::unique_ptr<GeoProjector> projector;
    if (options.mercator)
        projector = std::make_unique<MercatorProjector>();
    else
        projector = std::make_unique<EquirectProjector>();
    const int zoom = options.zoom ? options.zoom : fittingZoom(area, options.width, options.height);
    projector->update(options.width, options.height, zoom * 1125);
    if (options.hasCenter) {
        projector->goTo(int(options.centerLat * 1e6), int(options.centerLon * 1e6));
    } else {
        // The centre of the file's area, as opening a file centres the map.
        const int lat = int((area.y() + area.height() + area.y()) * 1e6) / 2;
        const int lon = int((area.x() + area.width() + area.x()) * 1e6) / 2;
        projector->goTo(lat, lon);
    }
    return projector;
}

// False, with the exit status, when the step is not in the file.
bool stepInFile(const char* option, int step, int steps, int& status)
{
    if (step < steps)
        return true;
    status = fail(kExitFailed, QString("%1 %2: the file has %3 time step(s), 0 to %4")
                                   .arg(option).arg(step).arg(steps).arg(steps - 1));
    return false;
}

int writeStill(const Options& options, ForecastPictures& pictures)
{
    if (options.hasBlend)
        pictures.showBlend(options.step, options.blend);
    else
        pictures.showStep(options.step);
    QImage picture(options.width, options.height, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return fail(kExitFailed, "not enough memory for a picture of that size");
    pictures.paint(picture);
    if (!picture.save(options.output, "PNG"))
        return fail(kExitFailed, "cannot write " + options.output);
    return kExitOk;
}

// "frame 12 of 451" on standard error: one line rewritten on a terminal, a
// line every 5 per cent into a file or pipe.
std::function<void(int64_t, int64_t)> progressLine()
{
    const bool terminal = isatty(fileno(stderr)) == 1;
    return [terminal, shownPercent = int64_t(-5)](int64_t done, int64_t total) mutable {
        if (terminal) {
            std::fprintf(stderr, "\rframe %lld of %lld%s", (long long)done, (long long)total,
                         done == total ? "\n" : "");
            return;
        }
        const int64_t percent = done * 100 / total;
        if (percent < shownPercent + 5 && done != total)
            return;
        shownPercent = percent;
        std::fprintf(stderr, "frame %lld of %lld\n", (long long)done, (long long)total);
    };
}

int writeAnimation(const Options& options, ForecastPictures& pictures, int steps, int hoursPerStep)
{
    int status = kExitOk;
    const int first = options.hasFrom ? options.fromStep : 0;
    const int last = options.hasTo ? options.toStep : steps - 1;
    if (!stepInFile("--from", first, steps, status) || !stepInFile("--to", last, steps, status))
        return status;
    // The window's pace: a second per forecast hour, a second when the file
    // does not say.
    const int stepMs = options.stepMs ? options.stepMs : 1000 * std::max(1, hoursPerStep);
    const AnimationFrames frames(first, last, stepMs, options.framesPerSecond);
    const int64_t maxFrames = std::min(kMaxFrames, kMaxFramePixels / (int64_t(options.width) * options.height));
    if (frames.count() > maxFrames)
        return fail(kExitUsage, QString("the animation would have %1 frames, more than %2 at %3x%4: lower --fps "
                                        "or --seconds-per-step, or choose fewer steps with --from and --to")
                                    .arg(frames.count()).arg(maxFrames).arg(options.width).arg(options.height));
    AnimationExport out;
    out.path = options.animation;
    out.width = options.width;
    out.height = options.height;
    out.quality = options.quality;
    out.progress = progressLine();
    const QString error = exportAnimation(pictures, frames, out);
    if (!error.isEmpty())
        return fail(kExitFailed, error);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    // Pictures need fonts but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    Options options;
    const QString error = parseOptions(args, options);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "skyvane-render: %s\n\n%s", qPrintable(error), kUsage);
        return kExitUsage;
    }
    if (!QFileInfo(options.input).isFile())
        return fail(kExitFailed, "cannot open " + options.input + ": no such file");

    auto helper = std::make_unique<GribFileHelper>();
    if (!helper->openGribFile(options.input, true))
        return fail(kExitFailed, options.input + " holds no GRIB message that can be read");
    const int steps = helper->getCompoundNum();
    if (steps == 0) {
        const std::string why = helper->gribFile()->openProblem();
        return fail(kExitFailed, options.input + " cannot be drawn: " +
                                     (why.empty() ? QString("it holds no whole time step") : QString::fromStdString(why)));
    }
    int status = kExitOk;
    if (!stepInFile("--step", options.step, steps, status))
        return status;
    int type = 0;
    if (!options.type.isEmpty()) {
        type = typeOfName(options.type);
        if (type == 0) {
            std::fprintf(stderr, "skyvane-render: unknown --type %s\n\n%s", qPrintable(options.type), kUsage);
            return kExitUsage;
        }
    } else {
        type = MeteoKinds::firstPresent(helper->getCurrentCompound());
        if (type == 0)
            return fail(kExitFailed, options.input + " holds no field the map can show");
    }

    std::unique_ptr<GeoProjector> projector = projectorFor(options, helper->gribFile()->getArea());
    {
        ForecastPictures pictures(*projector, *helper, type);
        status = options.animation.isEmpty()
                     ? writeStill(options, pictures)
                     : writeAnimation(options, pictures, steps, helper->gribFile()->getTimeStep());
    }
    projector.reset();
    SettingsFactory::destroy();
    return status;
}
