// The map widget, its pop-up menu, its markers and the point dialog they
// open, driven with real mouse events over a real projector; and the buoy
// layer: the KML the map reads its buoys from, including broken and hostile
// documents, and the observation read out of a description, with its unit
// conversions worked by hand.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "BuoyDocument.h"
#include "BuoyMarker.h"
#include "BuoyObservation.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MapMenu.h"
#include "MeteoDialog.h"
#include "SettingsFactory.h"
#include "WeatherMap.h"

#include <QLineEdit>
#include <QSignalSpy>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Pure-ish green: the outline's pen over sea or land, antialiased.
bool greenish(QRgb pixel)
{
    return qGreen(pixel) > qRed(pixel) + 60 && qGreen(pixel) > qBlue(pixel) + 30;
}

int greenPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += greenish(image.pixel(x, y));
    return count;
}

void drag(QWidget* widget, QPoint from, QPoint to)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), widget->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}

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

class TestMapWidgets : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> window;
    std::unique_ptr<EquirectProjector> projector;
    std::unique_ptr<GribFileHelper> helper;
    WeatherMap* map = nullptr;
    QTemporaryDir folder;

    void paint() { map->grab(); }

    // Writes a buoy document and has the map read it.
    bool load(const QString& text)
    {
        QFile file(folder.filePath(u"buoy.kml"_s));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
            return false;
        file.close();
        return map->updateBuoyData(file.fileName());
    }

private slots:
    void init()
    {
        projector = std::make_unique<EquirectProjector>();
        window = std::make_unique<QWidget>();
        window->resize(800, 600);
        map = new WeatherMap(window.get(), projector.get());
        map->setGeometry(0, 0, 800, 600);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        paint();
    }

    void cleanup()
    {
        window.reset();
        projector.reset();
        helper.reset();
    }

    void clickOpensMenuClampedAndClickElsewhereClosesIt()
    {
        MapMenu* menu = map->getMenu();
        QVERIFY(!menu->isVisible());
        // Where a click puts the menu: centred on it, or clamped to the map.
        const QPair<QPoint, QPoint> cases[] = {{{400, 300}, {240, 140}}, {{10, 10}, {0, 0}}, {{790, 590}, {480, 280}}};
        for (const auto& [click, menuAt] : cases) {
            QTest::mouseClick(map, Qt::LeftButton, {}, click);
            QVERIFY(menu->isVisible());
            QCOMPARE(menu->pos(), menuAt);
            QVERIFY(menu->hasFocus());
            // A second click, anywhere, only closes it.
            QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(600, 100));
            QVERIFY(!menu->isVisible());
        }
    }

    void dragPansWithoutMenu()
    {
        const int lat = projector->getCenterLat();
        const int lon = projector->getCenterLon();
        // Zoom 8 is 50 pixels per degree: the map follows the pointer.
        drag(map, {100, 100}, {150, 120});
        QVERIFY(!map->getMenu()->isVisible());
        QVERIFY(qAbs(projector->getCenterLon() - (lon - 1000000)) <= 20000 &&
                qAbs(projector->getCenterLat() - (lat + 400000)) <= 20000);
    }

    // Each command of the menu closes it and is emitted once: zooming
    // centres on the pressed point first, and opening a file reaches the
    // map's own signal.  The focus moving elsewhere closes the menu
    // without a command.
    void menuCommands()
    {
        MapMenu* menu = map->getMenu();
        QSignalSpy zoomIn(menu, &MapMenu::zoomIn);
        QSignalSpy zoomOut(menu, &MapMenu::zoomOut);
        QSignalSpy openGRIB(map, &WeatherMap::openGRIB);
        auto commands = [&] { return QList<qsizetype>{zoomIn.count(), zoomOut.count(), openGRIB.count()}; };
        int lat = 0;
        int lon = 0;
        QVERIFY(projector->screen2Geo(200, 150, lat, lon));
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(200, 150));
        QTest::mouseClick(menu->ui.zoomInButton, Qt::LeftButton);
        QVERIFY(!menu->isVisible());
        QCOMPARE(map->getZoom(), 16);
        QVERIFY(qAbs(projector->getCenterLat() - lat) <= 20000);
        QVERIFY(qAbs(projector->getCenterLon() - lon) <= 20000);

        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(600, 450));
        QTest::mouseClick(menu->ui.zoomOutButton, Qt::LeftButton);
        QCOMPARE(map->getZoom(), 8);
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(400, 300));
        QTest::mouseClick(menu->ui.openGRIBButton, Qt::LeftButton);
        QVERIFY(!menu->isVisible());
        QCOMPARE(commands(), (QList<qsizetype>{1, 1, 1}));

        auto other = std::make_unique<QLineEdit>(window.get());
        other->setGeometry(0, 0, 10, 10);
        other->show();
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(400, 300));
        QVERIFY(menu->isVisible());
        other->setFocus(Qt::MouseFocusReason);
        QVERIFY(!menu->isVisible());
        QCOMPARE(commands(), (QList<qsizetype>{1, 1, 1}));
    }

    void zoomLimits()
    {
        map->setZoom(64);
        QCOMPARE(map->zoomIn(), 64);
        QCOMPARE(map->getDiameter(), 72000);
        map->setZoom(1);
        QCOMPARE(map->zoomOut(), 1);
        QCOMPARE(map->zoomIn(), 2);
        map->setDiameter(4500);
        QCOMPARE(map->getZoom(), 4);
        // Zooms from a damaged preset or settings line are kept to 1 ... 64.
        const QPair<int, int> damaged[] = {{0, 1}, {-3, 1}, {65, 64}, {2000000000, 64}};
        for (const auto& [asked, kept] : damaged) {
            map->setZoom(asked);
            QCOMPARE(map->getZoom(), kept);
            QCOMPARE(map->getDiameter(), kept * 1125);
        }
        SettingsFactory::setHome(SettingsFactory::getHome(), 2000000000);
        const WeatherMap fromSettings(window.get(), projector.get());
        SettingsFactory::setHome(SettingsFactory::getHome(), 8);
        QCOMPARE(fromSettings.getZoom(), 64);
    }

    // A city marker is an orange dot where its coordinates say, hit by a
    // press within five pixels.
    void cityMarkers()
    {
        QVERIFY(map->getMarkerAt(400, 300) == nullptr);
        map->addMarker(53000000, -3000000, 1);
        map->addMarker(53000000, -3000000, 1);
        const QImage image = map->grab().toImage();
        WeatherMarker* first = map->getMarkers().at(0);
        WeatherMarker* later = map->getMarkers().at(1);
        int x = 0;
        int y = 0;
        projector->geo2Screen(first->latitude, first->longitude, x, y);
        QCOMPARE(QPoint(first->screenX, first->screenY), QPoint(x, y));
        const QRgb centre = image.pixel(x, y);
        QVERIFY2(qRed(centre) > 200 && qGreen(centre) > 120 && qBlue(centre) < 100, qPrintable(QString::number(centre, 16)));
        // Two markers at one place: the later in the list wins.
        QCOMPARE(map->getMarkerAt(x - 5, y + 4), later);
        QCOMPARE(map->getMarkerAt(x + 5, y), later);
        // Five pixels in both axes is a squared distance of 50: too far.
        QCOMPARE(map->getMarkerAt(x + 5, y - 5), nullptr);
        QCOMPARE(map->getMarkerAt(x - 6, y), nullptr);
        QCOMPARE(map->getMarkerAt(x, y - 6), nullptr);
        // A press on a marker is no click on the map: no menu.  Without a
        // file its dialog asks the server, which is not there.
        {
            guifixtures::BoxWatcher failure;
            guifixtures::OnModal<MeteoDialog> closer([](MeteoDialog* dialog) { return dialog->close(); });
            QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(x - 3, y - 4));
            QCOMPARE(closer.handled, 1);
        }
        QVERIFY(!map->getMenu()->isVisible());
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(x - 6, y));
        QVERIFY(map->getMenu()->isVisible());
        // Near a Mercator pole a marker stands at the end of the int range.
        first->screenY = later->screenY = INT_MIN;
        QCOMPARE(map->getMarkerAt(x, 3), nullptr);

        map->cleanupMarkers(1);
        QVERIFY(map->getMarkers().isEmpty());
    }

    // The menu's meteo command adds a movable marker where the map was
    // pressed and opens the point dialog for it over the map; a press on
    // a city marker opens it for the city.  No other kind is made.
    void pointDialogFromMarkers()
    {
        modelfixtures::GribTestFile file;
        file.add(modelfixtures::windU(), 0.0f);
        file.add(modelfixtures::windV(), -5.0f);
        helper = modelfixtures::openHelper(file, false);
        QVERIFY(helper);
        projector->setData(helper.get(), mtWind, false, 1.0f);
        // Each point dialog closed with its close button, where it was
        // opened and what its location label said kept.
        QList<QPair<QWidget*, QString>> dialogs;
        guifixtures::OnModal<MeteoDialog> closer([&dialogs](MeteoDialog* dialog) {
            dialogs.append({dialog->parentWidget(), dialog->ui.labelLocation->text()});
            QTest::mouseClick(dialog->ui.cancelButton, Qt::LeftButton);
            return true;
        });

        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(300, 200));
        QTest::mouseClick(map->getMenu()->ui.meteogramButton, Qt::LeftButton);
        QCOMPARE(map->getMarkers().size(), 1);
        WeatherMarker* meteo = map->getMarkers().at(0);
        QCOMPARE(meteo->type(), 0);
        QVERIFY(meteo->canMove());
        int lat = 0;
        int lon = 0;
        projector->screen2Geo(300, 200, lat, lon);
        QCOMPARE(QPoint(meteo->longitude, meteo->latitude), QPoint(lon, lat));
        QCOMPARE(dialogs.size(), 1);
        QCOMPARE(dialogs.at(0).first, map);

        map->addMarker(59000000, 1000000, 1);
        paint();
        const WeatherMarker* city = map->getMarkers().at(1);
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(city->screenX, city->screenY));
        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(dialogs.at(1).second, u"LOCATION: 59N 1E"_s);
        QVERIFY(!map->getMenu()->isVisible());
        map->addMarker(0, 0, 7);
        QCOMPARE(map->getMarkers().size(), 2);
    }

    void activeAreaOutline()
    {
        projector->goTo(50000000, -20000000);
        map->setZoom(2);
        map->setActiveArea(4);
        QCOMPARE(QPoint(projector->getCenterLon(), projector->getCenterLat()), QPoint(-20000000, 50000000));
        QImage image = map->grab().toImage();
        int x = 0;
        int y = 0;
        projector->geo2Screen(30000000, -12000000, x, y);
        bool onOutline = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                onOutline = onOutline || greenish(image.pixel(x + dx, y + dy));
        QVERIFY(onOutline);

        map->setActiveArea(99);
        QCOMPARE(projector->getCenterLat(), 50000000);
        QCOMPARE(greenPixels(map->grab().toImage()), 0);
        // Any other area moves the map to its centre.
        map->setActiveArea(8);
        QCOMPARE(QPoint(projector->getCenterLon(), projector->getCenterLat()), QPoint(-2700000, 49700000));
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
        QCOMPARE((QStringList{buoys[0]->name, buoys[0]->snippet, buoys[0]->description, buoys[1]->name,
                              buoys[1]->description}),
                 (QStringList{u"Station 41001"_s, u"East Hatteras"_s,
                              u"01/29/2013 1700 UTC \nWinds: SW (225&#176;) 11.7 kt \n"
                              "Air Temperature: 59.0 &#176;F \n"_s,
                              u"second"_s, u"line oneline two"_s}));
        QCOMPARE((QList<int>{buoys[0]->latitude, buoys[0]->longitude, buoys[1]->latitude, buoys[1]->longitude,
                             buoys[2]->latitude, buoys[2]->longitude}),
                 (QList<int>{500000, -72500000, 0, 0, -1, 0}));
        QVERIFY(!buoys[0]->canMove());
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
};

int main(int argc, char** argv)
{
    return guifixtures::runInScratchHome<TestMapWidgets>(argc, argv);
}

#include "tst_mapwidgets.moc"
