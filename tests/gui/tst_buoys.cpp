// The buoy layer: the KML the map reads its buoys from, including broken
// and hostile documents; the observation read out of a description, with
// its unit conversions worked by hand; the buoy dialog.
#include "guifixtures.h"

#include "BuoyDialog.h"
#include "BuoyDocument.h"
#include "BuoyMarker.h"
#include "BuoyObservation.h"
#include "GeoProjector.h"
#include "WeatherMap.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString kml(const QString& body, const QString& doctype = QString())
{
    return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"_s + doctype +
           u"<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><name>Buoys</name>\n"_s + body +
           u"</Document></kml>\n"_s;
}

QString placemark(const QString& name, const QString& lat, const QString& lon)
{
    return u"<Placemark><name>%1</name><LookAt><longitude>%3</longitude><latitude>%2</latitude></LookAt>"
           "</Placemark>\n"_s.arg(name, lat, lon);
}

QList<BuoyMarker*> buoysOf(const WeatherMap& map)
{
    QList<BuoyMarker*> buoys;
    for (WeatherMarker* marker : map.getMarkers())
        if (marker->type() == 2)
            buoys.append(static_cast<BuoyMarker*>(marker));
    return buoys;
}

QStringList namesOf(const WeatherMap& map)
{
    QStringList names;
    for (const BuoyMarker* buoy : buoysOf(map))
        names.append(buoy->name);
    return names;
}

bool bluish(QRgb pixel)
{
    return qBlue(pixel) > qRed(pixel) + 50;
}

}  // namespace

class TestBuoys : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<EquirectProjector> projector;
    WeatherMap* map = nullptr;

    QString write(const QString& text, const QString& name = u"buoy.kml"_s)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(text.toUtf8());
        return path;
    }

    bool load(const QString& text) { return map->updateBuoyData(write(text)); }

private slots:
    void init()
    {
        projector = std::make_unique<EquirectProjector>();
        window = std::make_unique<QWidget>();
        window->resize(800, 600);
        map = new WeatherMap(window.get(), projector.get());
        map->setGeometry(0, 0, 800, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window.reset();
        projector.reset();
    }

    void placemarkFields()
    {
        const QString body =
            u"<Placemark id=\"p1\"><name>Station 41001</name>"
            "<Snippet maxLines=\"1\">East Hatteras</Snippet>"
            "<description><![CDATA[<b>01/29/2013 1700 UTC</b><br />\r\n<B>Winds:</B> SW (225&#176;) 11.7 kt<BR />"
            "<b>Air Temperature:</b> 59.0 &#176;F<br />]]></description>"
            "<LookAt><longitude>-72.5</longitude><latitude>0.5</latitude><range>4</range></LookAt>"
            "<Point><coordinates>10,20,0</coordinates></Point></Placemark>\n"
            // No position: 0, 0.  A later name replaces the first; markup
            // nested deeper is looked through.
            "<Placemark><name>first</name><ExtendedData><Data><value>9</value></Data></ExtendedData>"
            "<name>second</name><description>line one\nline two\r\n</description></Placemark>\n"
            // Numbers that are not, or that no coordinate can be, read as 0;
            // a tiny value truncates toward zero.
            "<Placemark><name>odd</name><latitude>north</latitude><longitude>1e30</longitude>"
            "<LookAt><latitude>-0.0000015</latitude></LookAt></Placemark>\n"_s;
        QVERIFY(load(kml(body)));
        const QList<BuoyMarker*> buoys = buoysOf(*map);
        QCOMPARE(buoys.size(), 3);

        QCOMPARE(buoys[0]->name, u"Station 41001"_s);
        QCOMPARE(buoys[0]->snippet, u"East Hatteras"_s);
        QCOMPARE(buoys[0]->latitude, 500000);
        QCOMPARE(buoys[0]->longitude, -72500000);
        QCOMPARE(buoys[0]->description,
                 u"01/29/2013 1700 UTC \nWinds: SW (225&#176;) 11.7 kt \nAir Temperature: 59.0 &#176;F \n"_s);
        QVERIFY(!buoys[0]->canMove());

        QCOMPARE(buoys[1]->name, u"second"_s);
        QCOMPARE(buoys[1]->latitude, 0);
        QCOMPARE(buoys[1]->longitude, 0);
        QCOMPARE(buoys[1]->description, u"line oneline two"_s);

        QCOMPARE(buoys[2]->latitude, -1);
        QCOMPARE(buoys[2]->longitude, 0);
    }

    void documentsReplaceEachOtherAndAnEmptyPathClears()
    {
        map->addMarker(10000000, 10000000, 1);
        QVERIFY(load(kml(placemark(u"a"_s, u"1"_s, u"2"_s) + placemark(u"b"_s, u"3"_s, u"4"_s))));
        QCOMPARE(namesOf(*map), (QStringList{u"a"_s, u"b"_s}));
        QVERIFY(load(kml(placemark(u"c"_s, u"5"_s, u"6"_s))));
        QCOMPARE(namesOf(*map), QStringList{u"c"_s});

        QVERIFY(!map->updateBuoyData(QString()));
        QVERIFY(buoysOf(*map).isEmpty());
        QVERIFY(load(kml(placemark(u"d"_s, u"5"_s, u"6"_s))));
        QVERIFY(!map->updateBuoyData(folder.filePath(u"missing.kml"_s)));
        QVERIFY(buoysOf(*map).isEmpty());
        // Other markers stay.
        QCOMPARE(map->getMarkers().size(), 1);
        QVERIFY(!load(kml(QString())));
    }

    void brokenDocumentsKeepWhatWasReadBeforeTheBreak()
    {
        const QString good = placemark(u"a"_s, u"1"_s, u"2"_s) + placemark(u"b"_s, u"3"_s, u"4"_s);
        QVERIFY(!load(kml(good + u"<Placemark><name>c</nme></Placemark>"_s)));
        QCOMPARE(namesOf(*map), (QStringList{u"a"_s, u"b"_s}));
        const QString whole = kml(good + placemark(u"c"_s, u"5"_s, u"6"_s));
        QVERIFY(!load(whole.left(whole.indexOf(u"<name>c"_s) + 8)));
        QCOMPARE(namesOf(*map), (QStringList{u"a"_s, u"b"_s}));
        // A break after the last placemark: that one was read completely.
        QVERIFY(load(kml(good + u"<broken"_s)));
        QCOMPARE(namesOf(*map).size(), 2);
        QVERIFY(!load(u"not xml at all"_s));
        QVERIFY(buoysOf(*map).isEmpty());

        // The server's document cut anywhere: the stations before the cut.
        const QString document =
            QString::fromUtf8(buildBuoyDocument(QDateTime(QDate(2026, 3, 10), QTime(14, 0), Qt::UTC)));
        const qsizetype ends = document.count(u"</Placemark>"_s);
        QVERIFY(load(document));
        QCOMPARE(buoysOf(*map).size(), ends);
        for (qsizetype cut = 0; cut < document.size(); cut += 97) {
            const QString part = document.left(cut);
            load(part);
            QCOMPARE(buoysOf(*map).size(), part.count(u"</Placemark>"_s));
        }
    }

    void hostileDocuments()
    {
        // Entities expanding to 10^9 characters are refused by the reader.
        QString doctype = u"<!DOCTYPE kml [\n<!ENTITY lol0 \"lollollollol\">\n"_s;
        for (int i = 1; i <= 9; ++i)
            doctype += u"<!ENTITY lol%1 \"%2\">\n"_s.arg(i).arg(u"&lol%1;"_s.arg(i - 1).repeated(10));
        doctype += u"]>\n"_s;
        const QString first = placemark(u"a"_s, u"1"_s, u"2"_s);
        QVERIFY(!load(kml(first + placemark(u"&lol9;"_s, u"1"_s, u"2"_s), doctype)));
        QCOMPARE(namesOf(*map), QStringList{u"a"_s});

        // 200 000 nested elements around a placemark: read with no
        // recursion.
        constexpr int kDepth = 200000;
        const QString deep = u"<g>"_s.repeated(kDepth) + placemark(u"deep"_s, u"1"_s, u"2"_s) +
                             u"</g>"_s.repeated(kDepth);
        QVERIFY(load(kml(deep)));
        QCOMPARE(namesOf(*map), QStringList{u"deep"_s});
        // The same depth inside a placemark's description.
        const QString nested = u"<Placemark><name>n</name><description>"_s + u"<i>x"_s.repeated(kDepth) +
                               u"</i>"_s.repeated(kDepth) + u"</description></Placemark>"_s;
        QVERIFY(load(kml(nested)));
        QCOMPARE(buoysOf(*map).at(0)->description.size(), kDepth);
    }

    void markersAreBlueDiscsWhereTheirCoordinatesSay()
    {
        QVERIFY(load(kml(placemark(u"a"_s, u"53.5"_s, u"-2.5"_s))));
        const QImage image = map->grab().toImage();
        const BuoyMarker* buoy = buoysOf(*map).at(0);
        int x = 0;
        int y = 0;
        projector->geo2Screen(53500000, -2500000, x, y);
        QCOMPARE(QPoint(buoy->screenX, buoy->screenY), QPoint(x, y));
        // Lit from the upper left, dark at the lower right; inside the
        // 10 x 10 disc only.
        QVERIFY(bluish(image.pixel(x - 1, y - 1)));
        QVERIFY(bluish(image.pixel(x + 2, y + 2)));
        QVERIFY(qBlue(image.pixel(x - 2, y - 1)) > qBlue(image.pixel(x + 2, y + 2)));
        QVERIFY(!bluish(image.pixel(x + 7, y)));
    }

    void observation_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        const QString date = u"<b>01/29/2013 1700 UTC</b><br />"_s;
        auto row = [&](const char* tag, const QString& items, const char* field, const QString& shown) {
            QTest::newRow(tag) << date + items << QString::fromLatin1(field) << shown;
        };
        row("date", QString(), "date", u"29.01.2013 17:00 UTC"_s);
        row("air 59 F", u"<b>Air Temperature:</b> 59.0 &#176;F<br />"_s, "temperature", u"15"_s);
        // -0.56 °C rounds away from zero.
        row("air 31 F", u"<b>Air Temperature:</b> 31.0 &#176;F<br />"_s, "temperature", u"-1"_s);
        row("air 31.5 F", u"<b>Air Temperature:</b> 31.5 &#176;F<br />"_s, "temperature", u"0"_s);
        row("water", u"<b>Water Temperature:</b> 50.0 &#176;F<br />"_s, "sst", u"10"_s);
        row("pressure", u"<b>Atmospheric Pressure:</b> 29.92 in<br />"_s, "pressure", u"1013"_s);
        row("wave height", u"<b>Significant Wave Height:</b> 5.0 ft<br />"_s, "waveHeight", u"1.5"_s);
        row("tide", u"<b>Tide (above MLLW):</b> -0.3 ft<br />"_s, "tide", u"-0.1"_s);
        row("tide near 0", u"<b>Tide (above MLLW):</b> -0.1 ft<br />"_s, "tide", u"0.0"_s);
        row("period", u"<b>Dominant Wave period:</b> 8 sec<br />"_s, "wavePeriod", u"8"_s);
        const QString winds = u"<b>Winds:</b> SW (225&#176;) 11.7 kt<br />"_s;
        row("wind speed", winds, "wind", u"12"_s);
        row("wind direction", winds, "windDirection", u"225"_s);
        row("wave direction", u"<b>Mean Wave Direction:</b> SE (135&#176;) 135 &#176;T<br />"_s, "waveDirection",
            u"135"_s);
        row("wave direction bare", u"<b>Mean Wave Direction:</b> 135 &#176;T<br />"_s, "waveDirection", u"0"_s);
        row("later line wins",
            u"<b>Air Temperature:</b> 59.0 &#176;F<br /><b>Air Temperature:</b> 50.0 &#176;F<br />"_s,
            "temperature", u"10"_s);
        // The last item has no break, so no space after its unit.
        row("no trailing space", u"<b>Air Temperature:</b> 59.0 &#176;F"_s, "temperature", u"-"_s);
        row("other items ignored", u"<b>Wind Gust:</b> 15.2 kt<br />"_s, "wind", u"-"_s);
        QTest::newRow("before the date") << u"<b>Air Temperature:</b> 59.0 &#176;F<br />"_s + date
                                         << u"temperature"_s << u"-"_s;
        QTest::newRow("no date") << u"<b>Air Temperature:</b> 59.0 &#176;F<br />"_s << u"date"_s
                                 << u"No data available"_s;
        QTest::newRow("no recent data") << u"<b>No recent data</b><br />"_s + date << u"date"_s
                                        << u"No recent data"_s;
    }

    void observation()
    {
        QFETCH(QString, html);
        QFETCH(QString, field);
        QFETCH(QString, shown);
        const BuoyObservation o = BuoyObservation::fromDescription(cleanBuoyDescription(html));
        const QMap<QString, QString> fields{
            {u"date"_s, o.date},           {u"wind"_s, o.wind},
            {u"windDirection"_s, o.windDirection}, {u"temperature"_s, o.temperature},
            {u"pressure"_s, o.pressure},   {u"sst"_s, o.sst},
            {u"waveHeight"_s, o.waveHeight}, {u"wavePeriod"_s, o.wavePeriod},
            {u"waveDirection"_s, o.waveDirection}, {u"tide"_s, o.tide}};
        QVERIFY(fields.contains(field));
        QCOMPARE(fields.value(field), shown);
    }

    // A buoy has no forecast: the dialog opens compact, without meteogram
    // or sources, and shows the observation.
    void dialogOpensCompactWithTheObservation()
    {
        BuoyMarker buoy(12000000, -34000000);
        buoy.name = u"Station 8518750"_s;
        buoy.snippet = u"The Battery, NY"_s;
        buoy.description = cleanBuoyDescription(
            u"<b>07/04/2026 0930 UTC</b><br /><b>Winds:</b> NW (315&#176;) 4.0 kt<br />"
            "<b>Tide (above MLLW):</b> 5.0 ft<br />"_s);
        BuoyDialog dialog(map, &buoy, buoy.latitude, buoy.longitude);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(210, 448));
        const auto& ui = dialog.ui;
        QVERIFY(ui.meteogramButton->isHidden() && ui.onlineButton->isHidden() && ui.offlineButton->isHidden());
        QCOMPARE((QStringList{ui.labelLocation->text(), ui.labelBuoyInfo->text(), ui.labelDate->text(),
                              ui.labelWind->text(), ui.labelWindDirection->text(), ui.labelTide->text(),
                              ui.labelPressure->text()}),
                 (QStringList{u"Buoy: Station 8518750"_s, u"The Battery, NY"_s, u"04.07.2026 09:30 UTC"_s, u"4"_s,
                              u"315"_s, u"1.5"_s, u"-"_s}));
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runInScratchHome<TestBuoys>(argc, argv);
}

#include "tst_buoys.moc"
