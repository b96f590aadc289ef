// Renders one of the program's SVG drawings to a bitmap of an exact size, so
// that the build can ship pixel images without a Qt SVG dependency at run
// time and without hand-exported PNGs drifting from their sources.
//
//   skyvane-iconrender [--grey] [--without ID]... [--background COLOUR]
//                      INPUT.svg OUTPUT WIDTH HEIGHT
//
// The format follows OUTPUT's extension.  Formats without alpha (BMP, JPEG)
// are composited over COLOUR, white unless given.  --grey turns the drawing
// into the neutral "no data" variant of a parameter icon; --without leaves
// out the element with that id and its children (the map icons' white halo,
// which the plain panel variants do without), so each motif has one source.
//
// Exit status: 0 done, 1 unreadable or invalid drawing or unwritable output,
// 2 bad arguments.

#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstdio>

namespace {

constexpr int kMaxSide = 4096;

void usage()
{
    std::fputs("usage: skyvane-iconrender [--grey] [--without ID]... [--background COLOUR]\n"
               "                          INPUT.svg OUTPUT WIDTH HEIGHT\n"
               "  OUTPUT's extension picks the format (png, bmp, ...); formats without\n"
               "  alpha are composited over COLOUR (default white).\n"
               "  --grey        desaturate and lighten to a neutral grey (the no-data look)\n"
               "  --without ID  leave out the element with id ID and its children\n",
               stderr);
}

QtMessageHandler defaultHandler = nullptr;

// Passes on only the critical and fatal messages.
void quietStartup(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    if (defaultHandler)
        defaultHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void fail(const QString &message)
{
    std::fprintf(stderr, "skyvane-iconrender: %s\n", qPrintable(message));
}

bool parseSide(const QString &text, int &side)
{
    bool ok = false;
    side = text.toInt(&ok);
    return ok && side > 0 && side <= kMaxSide;
}

// The drawing with the elements of the given ids left out; empty with
// *error set if it is not well-formed XML or lacks one of the ids (a
// misspelt id would otherwise pass unnoticed).
QByteArray withoutElements(const QByteArray &svg, const QStringList &ids, QString *error)
{
    QByteArray result;
    QXmlStreamReader reader(svg);
    QXmlStreamWriter writer(&result);
    int skipDepth = 0;
    QStringList found;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError())
            break;
        if (skipDepth > 0) {
            if (reader.isStartElement())
                ++skipDepth;
            else if (reader.isEndElement())
                --skipDepth;
            continue;
        }
        if (reader.isStartElement()
                && ids.contains(reader.attributes().value(QLatin1String("id")).toString())) {
            skipDepth = 1;
            found << reader.attributes().value(QLatin1String("id")).toString();
            continue;
        }
        writer.writeCurrentToken(reader);
    }
    if (reader.hasError()) {
        *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        return {};
    }
    for (const QString &id : ids) {
        if (!found.contains(id)) {
            *error = QStringLiteral("no element with id \"%1\"").arg(id);
            return {};
        }
    }
    return result;
}

// Luminance kept as shading, squeezed into a light-to-mid grey band: dark
// outlines stay visible, fills go pale, so the icon still reads as its motif
// but clearly not as an active layer on a white or transparent panel.
void makeGrey(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            if (a == 0)
                continue;
            const int lum = (qRed(px) * 299 + qGreen(px) * 587 + qBlue(px) * 114) / 1000;
            const int g = 128 + lum * 112 / 255;
            line[x] = qRgba(g, g, g, a);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    // A command-line tool: never look for a display.  The minimal platform
    // suffices for painting into images.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "minimal");
    // Build machines have no desktop, and Qt's start-up warns about that
    // once per image; keep the build log for real problems.
    defaultHandler = qInstallMessageHandler(quietStartup);
    QGuiApplication app(argc, argv);
    qInstallMessageHandler(defaultHandler);

    QStringList args = QGuiApplication::arguments();
    args.removeFirst();

    bool grey = false;
    QStringList without;
    QColor background(Qt::white);
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--grey")) {
            grey = true;
        } else if (arg == QLatin1String("--without")) {
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty()) {
                fail(QStringLiteral("--without needs an element id"));
                usage();
                return 2;
            }
            without << args.at(++i);
        } else if (arg == QLatin1String("--background")) {
            if (i + 1 >= args.size()) {
                fail(QStringLiteral("--background needs a colour"));
                usage();
                return 2;
            }
            background = QColor(args.at(++i));
            if (!background.isValid()) {
                fail(QStringLiteral("not a colour: %1").arg(args.at(i)));
                return 2;
            }
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            usage();
            return 0;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            fail(QStringLiteral("unknown option: %1").arg(arg));
            usage();
            return 2;
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 4) {
        usage();
        return 2;
    }

    const QString input = positional.at(0);
    const QString output = positional.at(1);
    int width = 0;
    int height = 0;
    if (!parseSide(positional.at(2), width) || !parseSide(positional.at(3), height)) {
        fail(QStringLiteral("WIDTH and HEIGHT must be whole numbers from 1 to %1").arg(kMaxSide));
        return 2;
    }

    const QByteArray format = QFileInfo(output).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        fail(QStringLiteral("cannot tell an image format from the name %1").arg(output));
        return 2;
    }
    const bool opaque = format == "bmp" || format == "jpg" || format == "jpeg" || format == "ppm"
            || format == "pbm" || format == "pgm";

    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read %1: %2").arg(input, file.errorString()));
        return 1;
    }
    QByteArray svg = file.readAll();
    if (!without.isEmpty()) {
        QString error;
        svg = withoutElements(svg, without, &error);
        if (svg.isEmpty()) {
            fail(QStringLiteral("cannot leave out elements of %1: %2").arg(input, error));
            return 1;
        }
    }
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        fail(QStringLiteral("%1 is not a valid SVG drawing").arg(input));
        return 1;
    }
    // The drawings are made for their target sizes; a mismatch should
    // distort visibly rather than silently leave margins.
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (grey)
        makeGrey(image);

    if (opaque) {
        QImage flat(width, height, QImage::Format_RGB32);
        flat.fill(background.rgb());
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    }

    QImageWriter writer(output, format);
    if (!writer.write(image)) {
        fail(QStringLiteral("cannot write %1: %2").arg(output, writer.errorString()));
        return 1;
    }
    return 0;
}
