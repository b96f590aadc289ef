// The buoy-observation KML: its structure, the description items as the
// viewer cleans and parses them, observation times, the values' units and
// their agreement with the forecast, and determinism.
#include "BuoyDocument.h"
#include "ForecastBuilder.h"
#include "GribFile.h"
#include "MeteoType.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

namespace {

struct Placemark {
    QString name, snippet, description;
    double lat = 1e9, lon = 1e9;
    QString coordinates;
};

QList<Placemark> parse(const QByteArray& kml, QString* error)
{
    QList<Placemark> marks;
    QXmlStreamReader xml(kml);
    QString path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path += '/' + xml.name().toString();
            if (path == "/kml/Document/Placemark")
                marks.append(Placemark());
        } else if (xml.isEndElement()) {
            path.truncate(path.lastIndexOf('/'));
        } else if (xml.isCharacters() && !marks.isEmpty() && !xml.isWhitespace()) {
            Placemark& m = marks.last();
            const QString text = xml.text().toString();
            if (path == "/kml/Document/Placemark/name")
                m.name += text;
            else if (path == "/kml/Document/Placemark/Snippet")
                m.snippet += text;
            else if (path == "/kml/Document/Placemark/description")
                m.description += text;
            else if (path == "/kml/Document/Placemark/LookAt/latitude")
                m.lat = text.toDouble();
            else if (path == "/kml/Document/Placemark/LookAt/longitude")
                m.lon = text.toDouble();
            else if (path == "/kml/Document/Placemark/Point/coordinates")
                m.coordinates += text;
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return marks;
}

// The viewer's cleaning of a description, split into its lines.
QStringList cleanedLines(QString d)
{
    d.remove(QStringLiteral("<b>")).remove(QStringLiteral("</b>")).remove('\r').remove('\n');
    d.replace(QStringLiteral("<br />"), QStringLiteral(" \n"));
    QStringList lines = d.split('\n');
    lines.removeAll(QString());
    return lines;
}

const QRegularExpression kDate(QStringLiteral(R"((\d{2})/(\d{2})/(\d{4}) (\d{2})(\d{2}) UTC)"));
const QRegularExpression kLine(QRegularExpression::anchoredPattern(QStringLiteral(
    R"(([A-Za-z\(\) ]+): ?(([SENW]+) \((([+-]?[0-9]+)&#176;)\))?(.*) ([+-]?[0-9]+\.?[0-9]*) ((&#176;)?([A-Za-z]+))( )+(.*))")));

QString compassOf(int degrees)
{
    static const char* const kPoints[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                          "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
    return QString::fromLatin1(kPoints[int(std::floor((degrees + 11.25) / 22.5)) % 16]);
}

// The unit every item is given in, and its plausible range in that unit.
struct Item {
    QString unit;
    double lo, hi;
};
const QHash<QString, Item> kItems = {
    {"Winds", {"kt", 0, 60}},
    {"Wind Gust", {"kt", 0, 90}},
    {"Air Temperature", {"&#176;F", -20, 100}},
    {"Atmospheric Pressure", {"in", 28.3, 30.8}},
    {"Significant Wave Height", {"ft", 0.5, 40}},
    {"Dominant Wave period", {"sec", 3, 15}},
    {"Mean Wave Direction", {"&#176;T", 0, 359}},
    {"Water Temperature", {"&#176;F", 28, 87}},
    {"Tide (above MLLW)", {"ft", -2, 13}},
};

}  // namespace

class TestBuoyDocument : public QObject {
    Q_OBJECT

private slots:
    void document_data();
    void document();
    void agreesWithTheForecast();
    void deterministic();
};

void TestBuoyDocument::document_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::newRow("winter afternoon") << QDateTime(QDate(2013, 1, 29), QTime(17, 23, 5), Qt::UTC);
    QTest::newRow("summer, on the hour") << QDateTime(QDate(2024, 7, 15), QTime(6, 0), Qt::UTC);
    QTest::newRow("just after new year") << QDateTime(QDate(2024, 1, 1), QTime(0, 30), Qt::UTC);
}

void TestBuoyDocument::document()
{
    QFETCH(QDateTime, now);
    const QByteArray kml = buildBuoyDocument(now);
    QVERIFY(kml.startsWith("<?xml"));
    QVERIFY(kml.contains("<kml xmlns=\"http://www.opengis.net/kml/2.2\">"));
    QString error;
    const QList<Placemark> marks = parse(kml, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(marks.size() >= 30 && marks.size() <= 40, qPrintable(QString::number(marks.size())));

    int silent = 0;
    QSet<QString> names;
    for (const Placemark& m : marks) {
        const QString where = m.name;
        QVERIFY2(m.name.startsWith("Station ") && !names.contains(m.name), qPrintable(where));
        names.insert(m.name);
        QVERIFY2(!m.snippet.isEmpty(), qPrintable(where));
        QVERIFY2(m.lat >= -90 && m.lat <= 90 && m.lon >= -180 && m.lon <= 180, qPrintable(where));
        QCOMPARE(m.coordinates, QStringLiteral("%1,%2,0").arg(m.lon, 0, 'f', 2).arg(m.lat, 0, 'f', 2));
        const QStringList lines = cleanedLines(m.description);
        QVERIFY2(!lines.isEmpty(), qPrintable(where));
        if (lines.first().trimmed() == "No recent data") {
            QCOMPARE(lines.size(), 1);
            ++silent;
            continue;
        }
        const QRegularExpressionMatch date = kDate.match(lines.first());
        QVERIFY2(date.hasMatch(), qPrintable(where + ": " + lines.first()));
        const QDateTime observed(QDate(date.captured(3).toInt(), date.captured(1).toInt(), date.captured(2).toInt()),
                                 QTime(date.captured(4).toInt(), date.captured(5).toInt()), Qt::UTC);
        QVERIFY2(observed <= now && observed >= now.addSecs(-4 * 3600), qPrintable(where));
        QCOMPARE(observed.time().minute() % 10, 0);
        QVERIFY2(lines.size() >= 4, qPrintable(where));
        for (int k = 1; k < lines.size(); ++k) {
            const QRegularExpressionMatch item = kLine.match(lines[k]);
            QVERIFY2(item.hasMatch(), qPrintable(where + ": " + lines[k]));
            const QString name = item.captured(1);
            QVERIFY2(kItems.contains(name), qPrintable(where + ": " + name));
            QCOMPARE(item.captured(8), kItems[name].unit);
            const double value = item.captured(7).toDouble();
            QVERIFY2(value >= kItems[name].lo && value <= kItems[name].hi, qPrintable(where + ": " + lines[k]));
            if (!item.captured(3).isEmpty())
                QCOMPARE(item.captured(3), compassOf(item.captured(5).toInt()));
            if (name == "Winds" || name == "Mean Wave Direction")
                QVERIFY2(!item.captured(3).isEmpty(), qPrintable(where + ": " + lines[k]));
        }
    }
    QVERIFY2(silent >= 3 && silent <= 5, qPrintable(QString::number(silent)));
}

// The Channel Lightship reports the forecast's pressure and sea temperature
// at its place and time, converted to inches and °F.
void TestBuoyDocument::agreesWithTheForecast()
{
    const QDateTime now(QDate(2024, 3, 10), QTime(15, 5), Qt::UTC);
    QString error;
    const QList<Placemark> marks = parse(buildBuoyDocument(now), &error);
    const auto lightship = std::find_if(marks.begin(), marks.end(),
                                        [](const Placemark& m) { return m.name == "Station 62103"; });
    QVERIFY(lightship != marks.end());
    const QStringList lines = cleanedLines(lightship->description);
    const QRegularExpressionMatch date = kDate.match(lines.first());
    QVERIFY(date.hasMatch());
    const QTime observed(date.captured(4).toInt(), date.captured(5).toInt());
    QHash<QString, double> values;
    for (const QString& line : lines.mid(1)) {
        const QRegularExpressionMatch item = kLine.match(line);
        values.insert(item.captured(1), item.captured(7).toDouble());
    }
    QVERIFY(values.contains("Atmospheric Pressure") && values.contains("Water Temperature"));
    QVERIFY(values.contains("Winds") && values.contains("Significant Wave Height"));
    QVERIFY(!values.contains("Tide (above MLLW)"));

    // Ten-minute steps from the observation's hour up to its minute.
    const ForecastRequest r{mtPressure | mtSST, 8, 0, observed.hour(), 10, unsigned(observed.minute() / 10 + 1),
                            50000, -3000, -2800, 49800};
    QByteArray grib;
    QVERIFY(ForecastBuilder(QDate(2024, 3, 10)).build(r, grib, error));
    QTemporaryDir dir;
    QFile f(dir.filePath("f.grb"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(grib);
    f.close();
    GribFile file(QFile::encodeName(f.fileName()).constData());
    GribMsg pressure, sea;
    QVERIFY(file.goMsg(file.messageCount() - 2, pressure));
    QVERIFY(file.goMsg(file.messageCount() - 1, sea));
    QCOMPARE(pressure.validTime().time(), observed);
    float pa = 0, kelvin = 0;
    QVERIFY(pressure.getValueAt(49900, -2900, pa));
    QVERIFY(sea.getValueAt(49900, -2900, kelvin));
    QVERIFY2(std::fabs(values["Atmospheric Pressure"] * 3386.389 - pa) < 60,
             qPrintable(QStringLiteral("%1 in, %2 Pa").arg(values["Atmospheric Pressure"]).arg(pa)));
    const double fahrenheit = (kelvin - 273.15) * 9 / 5 + 32;
    QVERIFY2(std::fabs(values["Water Temperature"] - fahrenheit) < 0.4,
             qPrintable(QStringLiteral("%1 °F, %2 K").arg(values["Water Temperature"]).arg(kelvin)));
}

void TestBuoyDocument::deterministic()
{
    const QDateTime now(QDate(2024, 3, 10), QTime(15, 5), Qt::UTC);
    QCOMPARE(buildBuoyDocument(now), buildBuoyDocument(now));
    QCOMPARE(buildBuoyDocument(now), buildBuoyDocument(now.toOffsetFromUtc(3600)));
    QVERIFY(buildBuoyDocument(now) != buildBuoyDocument(now.addSecs(3600)));
}

QTEST_GUILESS_MAIN(TestBuoyDocument)
#include "tst_server_buoydocument.moc"
