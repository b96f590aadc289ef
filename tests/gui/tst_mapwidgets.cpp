// The map widget, its pop-up menu and the point dialog its markers open,
// driven with real mouse events over a real projector.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MapMenu.h"
#include "MeteoDialog.h"
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

// Closes each point dialog a modal call opens with its close button, and
// keeps where it was opened and what its location label said.
struct PointDialogCloser {
    QList<QPair<QWidget*, QString>> dialogs;
    guifixtures::OnModal<MeteoDialog> closer{[this](MeteoDialog* dialog) {
        dialogs.append({dialog->parentWidget(), dialog->ui.labelLocation->text()});
        QTest::mouseClick(dialog->ui.cancelButton, Qt::LeftButton);
        return true;
    }};
};

}  // namespace

class TestMapWidgets : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> window;
    std::unique_ptr<EquirectProjector> projector;
    std::unique_ptr<GribFileHelper> helper;
    WeatherMap* map = nullptr;

    void paint() { map->grab(); }

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
        QVERIFY(qAbs(projector->getCenterLon() - (lon - 1000000)) <= 20000);
        QVERIFY(qAbs(projector->getCenterLat() - (lat + 400000)) <= 20000);
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
        // A press on a marker is no click on the map: no menu.
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(x - 3, y - 4));
        QVERIFY(!map->getMenu()->isVisible());
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(x - 6, y));
        QVERIFY(map->getMenu()->isVisible());

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
        PointDialogCloser closer;

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
        QCOMPARE(closer.dialogs.size(), 1);
        QCOMPARE(closer.dialogs.at(0).first, map);

        map->addMarker(59000000, 1000000, 1);
        paint();
        const WeatherMarker* city = map->getMarkers().at(1);
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(city->screenX, city->screenY));
        QCOMPARE(closer.dialogs.size(), 2);
        QCOMPARE(closer.dialogs.at(1).second, u"LOCATION: 59N 1E"_s);
        QVERIFY(!map->getMenu()->isVisible());
        map->addMarker(0, 0, 7);
        QCOMPARE(map->getMarkers().size(), 2);
    }

    void activeAreaOutline()
    {
        projector->goTo(50000000, -20000000);
        map->setZoom(2);
        map->setActiveArea(4);
        QCOMPARE(projector->getCenterLat(), 50000000);
        QCOMPARE(projector->getCenterLon(), -20000000);
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
        QCOMPARE(projector->getCenterLat(), 49700000);
        QCOMPARE(projector->getCenterLon(), -2700000);
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runInScratchHome<TestMapWidgets>(argc, argv);
}

#include "tst_mapwidgets.moc"
