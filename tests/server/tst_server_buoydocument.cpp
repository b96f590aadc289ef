// The buoy-observation KML: its structure, the description items as the
// viewer cleans and parses them, observation times, the values' units, and
// determinism.
#include "BuoyDocument.h"

#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

namespace {

struct Placemark {
    QString name, snippet, description, lat, lon, coordinates;
};

QList<Placemark> parse(const QByteArray& kml, QString* error)
{
    const QString mark = QStringLiteral("/kml/Document/Placemark");
    const QHash<QString, QString Placemark::*> fields = {
        {mark + "/name", &Placemark::name},           {mark + "/Snippet", &Placemark::snippet},
        {mark + "/description", &Placemark::description}, {mark + "/LookAt/latitude", &Placemark::lat},
        {mark + "/LookAt/longitude", &Placemark::lon}, {mark + "/Point/coordinates", &Placemark::coordinates}};
    QList<Placemark> marks;
    QXmlStreamReader xml(kml);
    QString path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path += '/' + xml.name().toString();
            if (path == mark)
                marks.append(Placemark());
        } else if (xml.isEndElement()) {
            path.truncate(path.lastIndexOf('/'));
        } else if (xml.isCharacters() && !marks.isEmpty() && !xml.isWhitespace() && fields.contains(path)) {
            marks.last().*fields[path] += xml.text().toString();
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
struct Item { QString unit; double lo, hi; };
const QHash<QString, Item> kItems = {
    {"Winds", {"kt", 0, 60}},          {"Wind Gust", {"kt", 0, 90}},   {"Air Temperature", {"&#176;F", -20, 100}},
    {"Atmospheric Pressure", {"in", 28.3, 30.8}}, {"Significant Wave Height", {"ft", 0.5, 40}},
    {"Dominant Wave period", {"sec", 3, 15}},     {"Mean Wave Direction", {"&#176;T", 0, 359}},
    {"Water Temperature", {"&#176;F", 28, 87}},   {"Tide (above MLLW)", {"ft", -2, 13}},
};

}  // namespace

class TestBuoyDocument : public QObject {
    Q_OBJECT

private slots:
    void document_data();
    void document();
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
    QVERIFY(kml.startsWith("<?xml") && kml.contains("<kml xmlns=\"http://www.opengis.net/kml/2.2\">"));
    QString error;
    const QList<Placemark> marks = parse(kml, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(marks.size() >= 30 && marks.size() <= 40, qPrintable(QString::number(marks.size())));

    int silent = 0;
    QSet<QString> names;
    for (const Placemark& m : marks) {
        const QString where = m.name;
        QVERIFY2(m.name.startsWith("Station ") && !names.contains(m.name) && !m.snippet.isEmpty(), qPrintable(where));
        names.insert(m.name);
        const double lat = m.lat.toDouble(), lon = m.lon.toDouble();
        QVERIFY2(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180, qPrintable(where));
        QCOMPARE(m.coordinates, QStringLiteral("%1,%2,0").arg(lon, 0, 'f', 2).arg(lat, 0, 'f', 2));
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

void TestBuoyDocument::deterministic()
{
    const QDateTime now(QDate(2024, 3, 10), QTime(15, 5), Qt::UTC);
    QCOMPARE(buildBuoyDocument(now), buildBuoyDocument(now));
    QCOMPARE(buildBuoyDocument(now), buildBuoyDocument(now.toOffsetFromUtc(3600)));
    QVERIFY(buildBuoyDocument(now) != buildBuoyDocument(now.addSecs(3600)));
}

QTEST_GUILESS_MAIN(TestBuoyDocument)
#include "tst_server_buoydocument.moc"
