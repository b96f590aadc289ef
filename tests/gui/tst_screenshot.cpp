// The whole window on a real X server (Xvfb) with a forecast open, as a
// person sees it: the screenshot is checked at known places and saved
// beside the test for a person to look at.
#include "guifixtures.h"

#include "CustomStyle.h"
#include "GeoProjector.h"
#include "MapMenu.h"
#include "WeatherMap.h"

#include <QScreen>

using namespace Qt::StringLiterals;

namespace {

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The share of the icon's opaque pixels that the screenshot shows at the
// best placement inside the button.
double iconMatch(const QImage& shot, const QRect& button, const QString& resource)
{
    const QImage icon = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    double best = 0;
    for (int top = button.top(); top + icon.height() <= button.bottom() + 1; ++top) {
        for (int left = button.left(); left + icon.width() <= button.right() + 1; ++left) {
            int opaque = 0;
            int matching = 0;
            for (int y = 0; y < icon.height(); ++y) {
                for (int x = 0; x < icon.width(); ++x) {
                    const QRgb pixel = icon.pixel(x, y);
                    if (qAlpha(pixel) < 255)
                        continue;
                    ++opaque;
                    matching += near(shot.pixel(left + x, top + y), pixel, 8);
                }
            }
            if (opaque > 0)
                best = qMax(best, double(matching) / opaque);
        }
    }
    return best;
}

}  // namespace

class TestScreenshot : public QObject {
    Q_OBJECT

    QTemporaryDir work;

private slots:
    void windowWithAForecast()
    {
        QApplication::setStyle(new CustomStyle());
        auto server = guifixtures::serverOnSettingsPort("127.0.0.5");
        GUI_REQUIRE_SERVER(server);
        const QString forecast = work.filePath("biscay.grb");
        QVERIFY(guifixtures::writeForecast(forecast, mtWind | mtPressure, 2, 3));

        Skyvane* window = nullptr;
        guifixtures::showMainWindow(window);
        window->openGribFile(forecast);
        window->pauseAnimation();
        window->repaint();
        // Let the X server catch up with the last paint.
        QTest::qWait(300);
        const QImage shot = window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(shot.save(QStringLiteral(SKYVANE_SCREENSHOT_PATH)));
        QCOMPARE(shot.size(), window->size());

        WeatherMap* map = window->getMap();
        const QPoint origin = map->mapTo(window, QPoint(0, 0));
        // The lower left corner of the map lies off Portugal, outside the
        // file: open sea.
        QCOMPARE(shot.pixel(origin + QPoint(5, map->height() - 5)), qRgb(0x54, 0x97, 0xD8));
        // Inside the file's area the frame shows wind colours, and the
        // screen shows the frame wherever no barb or label is drawn over it.
        const QImage& frame = map->getProjector()->lastFrame();
        int sampled = 0;
        int shown = 0;
        int weather = 0;
        for (int y = map->height() / 2 - 150; y <= map->height() / 2 + 150; y += 30) {
            for (int x = map->width() / 2 - 150; x <= map->width() / 2 + 150; x += 30) {
                ++sampled;
                shown += near(shot.pixel(origin + QPoint(x, y)), frame.pixel(x, y), 2);
                weather += (frame.pixel(x, y) & 0xFFFFFF) != 0x5497D8 && (frame.pixel(x, y) & 0xFFFFFF) != 0xF2EFE9;
            }
        }
        QVERIFY(shown >= sampled * 8 / 10 && weather >= sampled * 9 / 10);
        // The wind button shows its coloured icon, temperature its grey one.
        const QRect wind(window->ui.windButton->mapTo(window, QPoint(0, 0)), window->ui.windButton->size());
        const QRect temperature(window->ui.temperatureButton->mapTo(window, QPoint(0, 0)),
                                window->ui.temperatureButton->size());
        QVERIFY(iconMatch(shot, wind, u":/Skyvane/Resources/wind.png"_s) > 0.9);
        QVERIFY(iconMatch(shot, temperature, u":/Skyvane/Resources/temperature_gray.png"_s) > 0.9);
        // The toolbar's blue.
        QCOMPARE(shot.pixel(3, window->height() - 3), qRgb(16, 74, 184));
        // A click opens the ring menu over the map, its icons on it.
        QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(map->width() / 2, map->height() / 2));
        MapMenu* menu = map->getMenu();
        QVERIFY(menu->isVisible());
        QTest::qWait(300);
        const QImage withMenu =
            window->screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(withMenu.save(QStringLiteral(SKYVANE_MENU_SCREENSHOT_PATH)));
        const QRect zoomIn(menu->ui.zoomInButton->mapTo(window, QPoint(0, 0)), menu->ui.zoomInButton->size());
        QVERIFY(iconMatch(withMenu, zoomIn, u":/Skyvane/Resources/zoomin.png"_s) > 0.9);
        // The ring's centre is open: the map shows through.
        const QPoint centre = menu->mapTo(window, QPoint(160, 160));
        QVERIFY(near(withMenu.pixel(centre), shot.pixel(centre), 2));

        guifixtures::closeMainWindow(window);
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runWithDemoAccount<TestScreenshot>(argc, argv, u"127.0.0.5"_s, false);
}

#include "tst_screenshot.moc"
