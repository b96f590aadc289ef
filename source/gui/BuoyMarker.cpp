#include "BuoyMarker.h"

#include "BuoyDialog.h"

#include <QXmlStreamReader>

#include <cmath>

namespace {

// A coordinate in degrees as microdegrees, in single precision like the
// rest of the map; text that is no usable number reads as 0.
int toMicro(const QString& degreesText)
{
    const float micro = degreesText.toFloat() * 1000000.0f;
    // The cast is defined only for values an int holds.
    if (!std::isfinite(micro) || std::fabs(micro) >= 2147483520.0f)
        return 0;
    return static_cast<int>(micro);
}

// The text of the element the reader has just entered, up to its end; the
// text of markup nested in it is included.  Iterative, where the reader's
// own readElementText recurses into nested elements and a deep document
// would exhaust the stack.  A broken document leaves the reader on its
// error.
QString readText(QXmlStreamReader& reader)
{
    QString text;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::Characters:
            text += reader.text();
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 0)
                return text;
            --depth;
            break;
        default:
            break;
        }
    }
    return text;
}

}  // namespace

QString cleanBuoyDescription(QString html)
{
    for (const char* tag : {"<b>", "</b>", "<B>", "</B>", "\r", "\n"})
        html.remove(QLatin1String(tag));
    html.replace(QLatin1String("<br />"), QLatin1String(" \n"));
    html.replace(QLatin1String("<BR />"), QLatin1String(" \n"));
    return html;
}

BuoyMarker::BuoyMarker(int latMicro, int lonMicro)
    : WeatherMarker(latMicro, lonMicro)
{
}

bool BuoyMarker::parse(QXmlStreamReader& reader)
{
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QStringView element = reader.name();
            if (element == u"name")
                name = readText(reader);
            else if (element == u"Snippet")
                snippet = readText(reader);
            else if (element == u"longitude")
                longitude = toMicro(readText(reader));
            else if (element == u"latitude")
                latitude = toMicro(readText(reader));
            else if (element == u"description")
                description = cleanBuoyDescription(readText(reader));
            break;
        }
        case QXmlStreamReader::EndElement:
            if (reader.name() == u"Placemark")
                return true;
            break;
        case QXmlStreamReader::Invalid:
            return false;
        default:
            break;
        }
    }
    return false;
}

void BuoyMarker::render(QPainter* painter, int x, int y)
{
    renderDisc(painter, x, y, qRgb(172, 223, 255), qRgb(27, 167, 255), qRgb(0, 108, 176));
}

void BuoyMarker::invoke(QWidget* parent, void*)
{
    BuoyDialog dialog(parent, this, latitude, longitude);
    dialog.exec();
}
