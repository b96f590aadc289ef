// skyvane-render: a GRIB forecast of either edition drawn as the map draws
// it, to a PNG file, without a window: the same projectors, colour layer and
// symbols.

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

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // unreadable file, nothing to draw, unwritable picture
constexpr int kExitUsage = 2;   // bad arguments

const char* const kUsage =
    "Usage: skyvane-render FILE --out PICTURE.png [options]\n"
    "\n"
    "Draws the forecast in FILE (GRIB edition 1 or 2) as the Skyvane map shows it:\n"
    "land and sea, the colour layer of one field with its legend and the\n"
    "local-time date line, wind barbs, arrows, isobars and city names.\n"
    "\n"
    "  --out FILE           the PNG to write (required)\n"
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
    "                       step N (1); needs N >= 1\n";

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
    bool hasBlend = false;
    double blend = 0.0;
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
        } else if (arg == "--blend") {
            bool ok = false;
            options.blend = value.toDouble(&ok);
            if (!ok || !(options.blend >= 0.0 && options.blend <= 1.0))
                return "--blend is 0 to 1, not " + value;
            options.hasBlend = true;
        } else {
            return "unknown option " + arg;
        }
    }
    if (options.input.isEmpty())
        return "no input file";
    if (options.output.isEmpty())
        return "--out is required";
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
    if (options.step >= steps)
        return fail(kExitFailed, QString("--step %1: the file has %2 time step(s), 0 to %3")
                                     .arg(options.step).arg(steps).arg(steps - 1));
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

    std::unique_ptr<GeoProjector> projector;
    if (options.mercator)
        projector = std::make_unique<MercatorProjector>();
    else
        projector = std::make_unique<EquirectProjector>();

    const QRectF area = helper->gribFile()->getArea();
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

    if (options.hasBlend) {
        // The frame the animation shows between two steps: the step before
        // fills the cache, which becomes the previous step.
        helper->goCompound(options.step - 1);
        projector->setData(helper.get(), type, false, 0.0f);
        projector->update(true);
        helper->goCompound(options.step);
        projector->setData(helper.get(), type, true, 0.0f);
        projector->update(true);
        projector->setData(helper.get(), type, true, float(options.blend));
    } else {
        helper->goCompound(options.step);
        projector->setData(helper.get(), type, false, 0.0f);
    }

    QImage picture(options.width, options.height, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return fail(kExitFailed, "not enough memory for a picture of that size");
    {
        QPainter painter(&picture);
        projector->render(painter);
    }
    if (!picture.save(options.output, "PNG"))
        return fail(kExitFailed, "cannot write " + options.output);
    projector.reset();
    SettingsFactory::destroy();
    return kExitOk;
}
