// The point dialog and its meteogram over GRIB files written with chosen
// values, driven with real events: the value and unit of every row, the
// wind and wave bearings, the location and date, the time-step slider, the
// meteogram toggle and the online source, which has nothing to offer yet;
// the meteogram's series and axes by hand, and its picture at places whose
// colour follows from the layout; every label of the dialogs drawn on fixed
// places showing its longest text whole.
#include "guifixtures.h"
#include "modelfixtures.h"

#include "BuoyDialog.h"
#include "BuoyMarker.h"
#include "ConnectionDialog.h"
#include "DownloadDlg.h"
#include "GribFileHelper.h"
#include "GribKeys.h"
#include "MeteoDialog.h"
#include "StartupDlg.h"
#include "WeatherMeteogram.h"

#include <QTextDocument>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

using namespace modelfixtures;
using namespace Qt::StringLiterals;

namespace {

// 59°N 1°E: the second row and column of the fixtures' 4 x 3 grid.
constexpr int kLat = 59000000;
constexpr int kLon = 1000000;
constexpr unsigned kWavePeriod = 364;

// One time step's fields; every value is the same over the grid but the
// pressure, which rises by 1 hPa from point to point so that only the
// point's own grid point gives the expected text.
struct Step {
    float u = 0.0f;
    float v = -5.0f;              // from the north, 9.72 knots
    float pressure = 100000.0f;   // at the first grid point; 1005 hPa at the point
    float temperature = 288.6f;   // 15.6 °C
    float sst = 283.4f;           // 10.4 °C
    float precipitation = 2.7f;
    float swellHeight = 2.6f;
    float windWaveHeight = 7.0f;
    float combinedHeight = 9.0f;
    float swellDirection = 359.6f;
    float windWaveDirection = 90.0f;
    float period = 8.7f;
};

void addStep(GribTestFile& file, int hours, const Step& s, const QList<unsigned>& without = {})
{
    auto put = [&](unsigned key, const GRIB_WRITE_PARAMS& params, float value) {
        if (!without.contains(key))
            file.add(at(params, hours), value);
    };
    put(GribKey::windU, windU(), s.u);
    put(GribKey::windV, windV(), s.v);
    if (!without.contains(GribKey::pressureMsl))
        file.add(at(pressure(), hours), fixtures::ramp(12, s.pressure, 100.0f));
    put(GribKey::temperature2m, temperature(), s.temperature);
    put(GribKey::seaTemperature, field(11, 1, 0), s.sst);
    put(GribKey::precipitation, precipitation(), s.precipitation);
    put(GribKey::swellHeight, field(100, 1, 1), s.swellHeight);
    put(GribKey::windWaveHeight, field(102, 1, 0), s.windWaveHeight);
    put(GribKey::waveCombined, field(100, 1, 0), s.combinedHeight);
    put(GribKey::swellDirection, field(101, 1, 1), s.swellDirection);
    put(GribKey::windWaveDirection, field(101, 1, 0), s.windWaveDirection);
    put(kWavePeriod, field(108, 1, 0), s.period);
}

const QStringList kRows = {u"WindDirection"_s, u"Wind"_s,          u"Temperature"_s,
                           u"Pressure"_s,      u"Precipitation"_s, u"SST"_s,
                           u"WaveHeight"_s,    u"WaveDirection"_s, u"WavePeriod"_s};
// What each row shows for a Step() at the point, rounded.
const QStringList kStepTexts = {u"0"_s, u"10"_s, u"16"_s, u"1005"_s, u"3"_s, u"10"_s, u"3"_s, u"360"_s, u"9"_s};

// Every label's text and whether it is shown.
QStringList snapshot(MeteoDialog& dialog)
{
    QStringList all;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        all << label->objectName() + '=' + label->text() + (label->isHidden() ? " hidden" : "");
    return all;
}

constexpr int kWidth = 660;  // a plot of 600 pixels
constexpr int kHeight = 372;
constexpr double kMetresPerKnot = 1.0 / 1.944012421496605;

// A meteogram's whole-field messages of one step; those left NaN are not
// written.
struct Series {
    float kelvin = NAN;
    float pascal = NAN;
    float millimetres = NAN;
    float u = NAN;
    float v = NAN;
    float waveHeight = NAN;
    float waveDirection = NAN;
    float wavePeriod = NAN;
};

void addSeries(GribTestFile& file, const Series& s, int hours)
{
    if (!std::isnan(s.u)) {
        file.add(at(windU(), hours), s.u);
        file.add(at(windV(), hours), s.v);
    }
    if (!std::isnan(s.pascal))
        file.add(at(pressure(), hours), s.pascal);
    if (!std::isnan(s.millimetres))
        file.add(at(precipitation(), hours), s.millimetres);
    if (!std::isnan(s.kelvin))
        file.add(at(temperature(), hours), s.kelvin);
    if (!std::isnan(s.waveHeight)) {
        file.add(at(field(100, 1, 1), hours), s.waveHeight);     // swell height
        file.add(at(field(101, 1, 1), hours), s.waveDirection);  // swell direction
        file.add(at(field(108, 1, 0), hours), s.wavePeriod);     // mean period
    }
}

QRgb pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

bool hasColour(const QImage& image, const QRect& area, QRgb colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pixel(image, x, y) == colour)
                return true;
    return false;
}

// Whether anything darker than the column backgrounds was drawn there.
bool hasInk(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 150)
                return true;
    return false;
}

// Whether the label shows all of its text: inside its window, clear of the
// buttons shown there, and its text, laid out apart from the label in the
// label's font (wrapped at its width when it wraps), no wider and no
// higher than the label's room for it.
bool showsWhole(const QLabel* label)
{
    const QWidget* window = label->window();
    const QRect area(label->mapTo(window, QPoint()), label->size());
    const auto buttons = window->findChildren<QAbstractButton*>();
    if (!window->rect().contains(area) || std::any_of(buttons.cbegin(), buttons.cend(), [&](QAbstractButton* b) {
            return b->isVisible() && area.intersects(QRect(b->mapTo(window, QPoint()), b->size()));
        }))
        return false;
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                      -label->margin());
    QTextDocument text;
    text.setDocumentMargin(0);
    text.setDefaultFont(label->font());
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    rich ? text.setHtml(label->text()) : text.setPlainText(label->text());
    if (label->wordWrap())
        text.setTextWidth(room.width());
    return text.idealWidth() <= room.width() && text.size().height() <= room.height();
}

// The most a buoy of the server's document reports, at its longest.
const QString kStormyBuoy =
    u"<b>02/04/2026 2350 UTC</b><br /><b>Winds:</b> WSW (248&#176;) 99.9 kt<br />"
    "<b>Air Temperature:</b> -49.9 &#176;F<br /><b>Atmospheric Pressure:</b> 31.99 in<br />"
    "<b>Significant Wave Height:</b> 99.9 ft<br /><b>Dominant Wave period:</b> 25 sec<br />"
    "<b>Mean Wave Direction:</b> WSW (248&#176;) 248 &#176;T<br /><b>Water Temperature:</b> 28.4 &#176;F<br />"
    "<b>Tide (above MLLW):</b> -10.5 ft<br />"_s;

}  // namespace

class TestMeteoDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> parent;
    std::unique_ptr<GribTestFile> file;
    std::unique_ptr<GribFileHelper> helper;
    std::unique_ptr<WeatherMeteogram> meteogram;
    std::unique_ptr<BuoyMarker> buoy;

    // A meteogram of the point, 660 x 372 (a plot of 600 pixels), over a
    // file of the series, stepHours apart.
    void openMeteogram(const std::vector<Series>& steps, int stepHours = 3)
    {
        meteogram.reset();
        file = std::make_unique<GribTestFile>();
        for (size_t k = 0; k < steps.size(); ++k)
            addSeries(*file, steps[k], int(k) * stepHours);
        helper = openHelper(*file, false);
        QVERIFY(helper);
        meteogram = std::make_unique<WeatherMeteogram>(nullptr, kWidth, kHeight, kLat, kLon, helper.get());
    }

    QImage picture() { return meteogram->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // x of the centre of step i's column in widget coordinates.
    int columnCentre(int i) const { return 20 + int((float(i) + 0.5f) * meteogram->columnWidth()); }

    // An axis as {minimum, maximum}.
    QList<float> axis(MeteogramType type) const
    {
        return {meteogram->record(type)->minimum, meteogram->record(type)->maximum};
    }

    // Opens a file of the steps, six hours apart, without the keys given.
    void load(const QList<Step>& steps, const QList<unsigned>& without = {})
    {
        file = std::make_unique<GribTestFile>();
        for (int i = 0; i < steps.size(); ++i)
            addStep(*file, 6 * i, steps[i], without);
        helper = openHelper(*file);
        QVERIFY(helper);
    }

    // The dialog for the point over the parent, shown when show.
    std::unique_ptr<MeteoDialog> dialogAt(int lat = kLat, int lon = kLon, bool show = false)
    {
        auto dialog = std::make_unique<MeteoDialog>(parent.get(), helper.get(), lat, lon);
        if (show) {
            dialog->show();
            if (!QTest::qWaitForWindowExposed(dialog.get()))
                qWarning("the point dialog was not exposed");
        }
        return dialog;
    }

    // The dialog with its longest texts: the point dialog at the point on a
    // Wednesday with the strongest weather a forecast holds, the buoy
    // dialog of the longest station, the download of the largest file.
    std::unique_ptr<QDialog> dialogWithLongestTexts(const QString& kind, int lat, int lon)
    {
        if (kind == u"point") {
            file = std::make_unique<GribTestFile>();
            // From WNW at 136 knots, 1085 hPa, -45 °C, 250 mm, waves of 25 m
            // from WNW every 25 s.
            addStep(*file, 96,
                    {65.0f, -26.0f, 108000.0f, 228.0f, 271.0f, 250.0f, 25.0f, 7.0f, 9.0f, 292.0f, 90.0f, 25.0f});
            helper = openHelper(*file);
            return dialogAt(lat, lon);
        }
        if (kind == u"buoy") {
            buoy = std::make_unique<BuoyMarker>();
            buoy->name = u"Station 8518750"_s;
            buoy->snippet = u"Luke Offshore Test Platform - 63 NM South of Dauphin Island, AL"_s;
            buoy->description = cleanBuoyDescription(kStormyBuoy);
            return std::make_unique<BuoyDialog>(parent.get(), buoy.get(), 0, 0);
        }
        if (kind == u"download") {
            auto dialog = std::make_unique<DownloadDlg>(parent.get());
            dialog->setProgress(1023, INT_MAX);
            return dialog;
        }
        if (kind == u"connection")
            return std::make_unique<ConnectionDialog>(nullptr);
        return std::make_unique<StartupDlg>(nullptr);
    }

private slots:
    void cleanupTestCase() { SettingsFactory::destroy(); }

    void init()
    {
        parent = std::make_unique<QWidget>();
        parent->setGeometry(100, 50, 900, 600);
        parent->show();
        QVERIFY(QTest::qWaitForWindowExposed(parent.get()));
    }

    void cleanup()
    {
        meteogram.reset();
        parent.reset();
        helper.reset();
        file.reset();
    }

    // Every row rounded, with its unit shown; a row without data shows a
    // dash and hides its unit (every row when the point is off the grid),
    // and some take their value from another message then.
    void rows_data()
    {
        QTest::addColumn<QList<unsigned>>("without");
        QTest::addColumn<int>("lat");
        // Rows whose text differs from kStepTexts, as "row=text".
        QTest::addColumn<QStringList>("texts");
        namespace K = GribKey;
        QTest::newRow("all present") << QList<unsigned>{} << kLat << QStringList{};
        QTest::newRow("wind") << QList<unsigned>{K::windU, K::windV} << kLat
                              << QStringList{"Wind=-", "WindDirection=-"};
        QTest::newRow("v only: speed from u") << QList<unsigned>{K::windV} << kLat
                                              << QStringList{"WindDirection=-", "Wind=0"};
        QTest::newRow("swell: wind waves") << QList<unsigned>{K::swellHeight, K::swellDirection} << kLat
                                           << QStringList{"WaveHeight=7", "WaveDirection=90"};
        QTest::newRow("swell and wind waves: combined sea")
            << QList<unsigned>{K::swellHeight, K::windWaveHeight} << kLat << QStringList{"WaveHeight=9"};
        QTest::newRow("wave height") << QList<unsigned>{K::swellHeight, K::windWaveHeight, K::waveCombined} << kLat
                                     << QStringList{"WaveHeight=-"};
        QTest::newRow("wave direction") << QList<unsigned>{K::swellDirection, K::windWaveDirection} << kLat
                                        << QStringList{"WaveDirection=-"};
        QStringList allBlank;
        for (const QString& row : kRows)
            allBlank << row + u"=-"_s;
        QTest::newRow("point outside the grid") << QList<unsigned>{} << -10000000 << allBlank;
    }

    void rows()
    {
        QFETCH(QList<unsigned>, without);
        QFETCH(int, lat);
        QFETCH(QStringList, texts);
        load({Step()}, without);
        auto dialog = dialogAt(lat);
        for (int i = 0; i < kRows.size(); ++i) {
            QString expected = kStepTexts[i];
            for (const QString& text : texts)
                if (text.startsWith(kRows[i] + u'='))
                    expected = text.section(u'=', 1);
            QCOMPARE(dialog->findChild<QLabel*>("label" + kRows[i])->text(), expected);
            QVERIFY2(dialog->findChild<QLabel*>("label" + kRows[i] + "Unit")->isHidden() == (expected == u"-"_s),
                     qPrintable(kRows[i]));
        }
    }

    // Each bearing with its unit and compass sector.
    void windAndWaveBearings_data()
    {
        QTest::addColumn<float>("u");
        QTest::addColumn<float>("v");
        QTest::addColumn<QString>("wind");
        QTest::addColumn<float>("wave");
        QTest::addColumn<QString>("waveText");
        QTest::newRow("from N") << 0.0f << -5.0f << u"0 &deg; (N)"_s << 359.6f << u"360 &deg; (N)"_s;
        QTest::newRow("from S") << 0.0f << 5.0f << u"180 &deg; (S)"_s << 11.25f << u"11 &deg; (NNE)"_s;
        QTest::newRow("from E") << -5.0f << 0.0f << u"90 &deg; (E)"_s << 11.0f << u"11 &deg; (N)"_s;
        QTest::newRow("from W") << 5.0f << 0.0f << u"270 &deg; (W)"_s << 190.6f << u"191 &deg; (S)"_s;
        QTest::newRow("from NE") << -3.5f << -3.5f << u"45 &deg; (NE)"_s << 0.0f << u"0 &deg; (N)"_s;
    }

    void windAndWaveBearings()
    {
        QFETCH(float, u);
        QFETCH(float, v);
        QFETCH(float, wave);
        Step step;
        step.u = u;
        step.v = v;
        step.swellDirection = wave;
        load({step});
        auto dialog = dialogAt();
        const auto& ui = dialog->ui;
        QTEST(ui.labelWindDirection->text() + u' ' + ui.labelWindDirectionUnit->text(), "wind");
        QTEST(ui.labelWaveDirection->text() + u' ' + ui.labelWaveDirectionUnit->text(), "waveText");
    }

    // The sector edges either side of north, then angles out of range:
    // once round the circle, then taken as they are.
    void compassSectors()
    {
        const QList<QPair<float, QString>> cases = {
            {std::nextafter(11.25f, 0.0f), u"N"_s}, {11.25f, u"NNE"_s}, {std::nextafter(326.25f, 0.0f), u"NW"_s},
            {326.25f, u"NNW"_s}, {348.75f, u"N"_s}, {360.0f, u"N"_s}, {-10.0f, u"N"_s}, {-348.0f, u"NNE"_s},
            {450.0f, u"E"_s}, {725.0f, u"N"_s}, {std::nanf(""), u"N"_s}};
        for (const auto& [degrees, name] : cases)
            QCOMPARE(angle2Annotation(degrees), name);
    }

    // A place goes before the position; in the narrow dialog a long one is cut short, never the position.
    void locationAndDate_data()
    {
        QTest::addColumn<int>("lat");
        QTest::addColumn<int>("lon");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("location");  // with the meteogram shown
        QTest::addColumn<bool>("cutNarrow");
        QTest::newRow("south west") << -33500000 << -70250000 << QString() << u"LOCATION: 33.5S 70.25W"_s << false;
        QTest::newRow("six digits") << 12345678 << -123456 << QString() << u"LOCATION: 12.3457N 0.123456W"_s << false;
        QTest::newRow("place") << -33500000 << -70250000 << u"Valparaíso"_s << u"Valparaíso  33.5S 70.25W"_s << false;
        QTest::newRow("long place") << 12345678 << -123456 << u"Santa Cruz de la\nSierra"_s
                                    << u"Santa Cruz de la Sierra  12.3457N 0.123456W"_s << true;
    }

    void locationAndDate()
    {
        QFETCH(int, lat);
        QFETCH(int, lon);
        QFETCH(QString, place);
        QFETCH(QString, location);
        QFETCH(bool, cutNarrow);
        load({Step()});
        auto dialog = dialogAt(lat, lon, true);
        dialog->setPlaceName(place);
        const QLabel* header = dialog->ui.labelLocation;
        const QString shown = header->text();
        QCOMPARE(shown != location, cutNarrow);
        const QString kept = u"\u2026  "_s + location.section(u' ', -2);  // the place cut short, the position whole
        QVERIFY2(!cutNarrow || (shown.endsWith(kept) && location.startsWith(shown.chopped(kept.size()))),
                 qPrintable(shown));
        QVERIFY(showsWhole(header));
        QTest::mouseClick(dialog->ui.meteogramButton, Qt::LeftButton);
        QCOMPARE(header->text(), location);
        QVERIFY(showsWhole(header));
        // 18:00 UTC is 20:00 in the tests' zone.
        QCOMPARE(dialog->ui.labelDate->text(), u"Sat, 31-01-2009, 20:00"_s);
        // A text that fits keeps the form's font.
        QCOMPARE(QFontInfo(dialog->ui.labelDate->font()).pixelSize(), 13);
    }

    // Whatever font stands in for the one a form names; the point dialog
    // both compact and with its meteogram.
    void labelsShowTheirLongestTextsWhole_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("lat");
        QTest::addColumn<int>("lon");
        QTest::newRow("point at 89.9999S 179.999W") << u"point"_s << -89999900 << -179999000;
        QTest::newRow("point at 0.123456S 0.123456W") << u"point"_s << -123456 << -123456;
        QTest::newRow("point in the storm") << u"point"_s << kLat << kLon;
        for (const char* kind : {"buoy", "download", "connection", "startup"})
            QTest::newRow(kind) << QString::fromLatin1(kind) << 0 << 0;
    }

    void labelsShowTheirLongestTextsWhole()
    {
        QFETCH(QString, kind);
        QFETCH(int, lat);
        QFETCH(int, lon);
        const std::unique_ptr<QDialog> dialog = dialogWithLongestTexts(kind, lat, lon);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto* toggle = dialog->findChild<QToolButton*>(u"meteogramButton"_s);
        for (int pass = toggle && toggle->isVisible() ? 2 : 1; pass > 0; --pass) {
            QCoreApplication::processEvents();
            for (const QLabel* label : dialog->findChildren<QLabel*>()) {
                const QString shown = u"%1 \"%2\" at %3 px"_s.arg(label->objectName(), label->text()).arg(dialog->width());
                QVERIFY2(!label->isVisible() || showsWhole(label), qPrintable(shown));
            }
            if (toggle)
                QTest::mouseClick(toggle, Qt::LeftButton);
        }
    }

    void sliderStepsTheHelper()
    {
        // 15.6, 5.2, -4.6 and -0.2 °C.
        QList<Step> steps(4);
        const float temperatures[] = {288.6f, 278.2f, 268.4f, 272.8f};
        for (int i = 0; i < 4; ++i)
            steps[i].temperature = temperatures[i];
        load(steps);
        // The dialog opens at the helper's step.
        QVERIFY(helper->goCompound(1));
        auto dialog = dialogAt(kLat, kLon, true);
        QTest::mouseClick(dialog->ui.meteogramButton, Qt::LeftButton);
        QSlider* slider = dialog->ui.horizontalSlider;
        QCOMPARE(slider->maximum(), 3);
        // The helper's step, the temperature and the local time shown.
        auto shown = [&] {
            return u"%1: %2 %3"_s.arg(helper->currentCompoundNum())
                .arg(dialog->ui.labelTemperature->text(), dialog->ui.labelDate->text());
        };
        QCOMPARE(shown(), u"1: 5 Sun, 01-02-2009, 02:00"_s);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(shown(), u"2: -5 Sun, 01-02-2009, 08:00"_s);
        QTest::keyClick(slider, Qt::Key_End);
        QCOMPARE(shown(), u"3: 0 Sun, 01-02-2009, 14:00"_s);
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(shown(), u"0: 16 Sat, 31-01-2009, 20:00"_s);
    }

    void meteogramToggleKeepsTheDialogCentred()
    {
        load({Step()});
        auto dialog = dialogAt(kLat, kLon, true);
        WeatherMeteogram* meteogram = dialog->getMeteogram();
        QVERIFY(meteogram);
        QToolButton* close = dialog->ui.cancelButton;
        for (int width : {210, 700, 210}) {
            QCOMPARE(dialog->size(), QSize(width, 448));
            QTRY_COMPARE(dialog->pos(), parent->mapToGlobal(QPoint((900 - width) / 2, (600 - 448) / 2)));
            // The close button keeps its corner, as far from the right as from the top.
            QCOMPARE(close->x() + close->width() + close->y(), width);
            QCOMPARE(dialog->rect().contains(meteogram->geometry()), width == 700);
            QCOMPARE(dialog->ui.meteogramButton->toolTip(), width == 700 ? u"Hide meteogram"_s : u"Show meteogram"_s);
            QTest::mouseClick(dialog->ui.meteogramButton, Qt::LeftButton);
        }
    }

    // With no forecast server to ask, the online source changes nothing:
    // the offline source stays chosen, with its values and meteogram.
    void onlineWithoutForecastChangesNothing()
    {
        load({Step(), Step()});
        auto dialog = dialogAt(kLat, kLon, true);
        QTest::mouseClick(dialog->ui.meteogramButton, Qt::LeftButton);
        const QStringList before = snapshot(*dialog);
        const QImage meteogram = dialog->getMeteogram()->grab().toImage();

        QTest::mouseClick(dialog->ui.onlineButton, Qt::LeftButton);
        QVERIFY(!dialog->getOnlineHelper());
        QCOMPARE(dialog->getCurrentHelper(), helper.get());
        QVERIFY(dialog->ui.offlineButton->isChecked());
        QCOMPARE(snapshot(*dialog), before);
        QCOMPARE(dialog->getMeteogram()->grab().toImage(), meteogram);
        QTest::mouseClick(dialog->ui.offlineButton, Qt::LeftButton);
        QVERIFY(dialog->ui.offlineButton->isChecked());
        QCOMPARE(snapshot(*dialog), before);
    }

    void noDataNoCrash()
    {
        GribFileHelper unopened;
        for (GribFileHelper* none : {static_cast<GribFileHelper*>(nullptr), &unopened}) {
            MeteoDialog dialog(parent.get(), none, kLat, kLon);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QTest::mouseClick(dialog.ui.onlineButton, Qt::LeftButton);
            QTest::mouseClick(dialog.ui.offlineButton, Qt::LeftButton);
            QTest::mouseClick(dialog.ui.meteogramButton, Qt::LeftButton);
            dialog.ui.horizontalSlider->setFocus();
            QTest::keyClick(dialog.ui.horizontalSlider, Qt::Key_End);
            QCOMPARE(dialog.getCurrentHelper(), none);
            QVERIFY(dialog.ui.offlineButton->isChecked());
            QCOMPARE(dialog.ui.labelTemperature->text(), u"-"_s);
        }
    }

    // Each axis by hand from the layout's rules: temperatures -3 … 12 °C,
    // winds 3 … 20 knots, pressure 1008 … 1017 hPa (lo 100500, hi 102000:
    // 15 steps of 100 Pa against 20 degrees, so the range is doubled about
    // its centre), precipitation up to 1.3 mm, waves 0.8 … 2.1 m.
    void seriesAndAxes()
    {
        const float knots3 = float(3.0 * kMetresPerKnot);
        const float knots20 = float(20.0 * kMetresPerKnot);
        openMeteogram({{270.0f, 100800.0f, 0.0f, knots3, 0.0f, 0.8f, 200.0f, 7.0f},
              {285.0f, 101700.0f, 1.3f, 0.0f, -knots20, 2.1f, 10.0f, 9.0f},
              {278.0f, 101000.0f, 0.5f, knots3, 0.0f, 1.0f, 20.0f, 8.0f}});
        QCOMPARE(meteogram->record(mgTemperature)->values[1], 12.0f);
        QVERIFY(qAbs(meteogram->record(mgWind)->values[1] - 20.0f) < 1e-4f);
        QCOMPARE(axis(mgTemperature), (QList<float>{-5.0f, 15.0f}));
        QCOMPARE(axis(mgWind), (QList<float>{2.0f, 6.0f}));
        QCOMPARE(axis(mgPressure), (QList<float>{99750.0f, 102750.0f}));
        QCOMPARE(axis(mgPrecipitation), (QList<float>{0.0f, 3.0f}));
        QCOMPARE(axis(mgWaves), (QList<float>{0.0f, 4.0f}));
    }

    void pressureAloneKeepsItsOwnAxis()
    {
        openMeteogram({{NAN, 100800.0f}, {NAN, 101700.0f}});
        QCOMPARE(axis(mgPressure), (QList<float>{100500.0f, 102000.0f}));
    }

    // 10 °C throughout would give an axis from 10 to 10; both curves then
    // run through the middle of the band, pressure drawn last.
    void constantSeriesStillHaveAnAxis()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        openMeteogram({{283.0f, 101000.0f}, {283.0f, 101000.0f}});
        QCOMPARE(axis(mgTemperature), (QList<float>{5.0f, 15.0f}));
        QCOMPARE(axis(mgPressure), (QList<float>{100500.0f, 101500.0f}));
        QCOMPARE(pixel(picture(), columnCentre(1), 178), qRgb(153, 22, 50));
        openMeteogram({{283.0f}, {283.0f}});
        QCOMPARE(pixel(picture(), columnCentre(1), 178), qRgb(215, 102, 37));
    }

    void readingLeavesTheHelperAtItsStep()
    {
        openMeteogram({{270.0f}, {280.0f}, {290.0f}});
        QVERIFY(helper->goCompound(1));
        meteogram->updateData(helper.get(), kLat, kLon);
        QCOMPARE(helper->currentCompoundNum(), 1);
        // Stepping on must find step 2's values, not run past the end.
        QVERIFY(helper->nextCompound());
        float kelvin = 0.0f;
        QVERIFY(helper->getCurrentCompound().front().getValueAt(59000, 1000, kelvin));
        QCOMPARE(kelvin, 290.0f);
    }

    void pointOutsideTheGridDrawsSafely()
    {
        openMeteogram({{270.0f, 100800.0f, 1.0f, 3.0f, 4.0f}, {280.0f, 101000.0f, 2.0f, 3.0f, 4.0f}});
        meteogram->updateData(helper.get(), -40000000, 100000000);
        // Outside the grid every message reads 0, i.e. 0 K.
        QCOMPARE(meteogram->record(mgTemperature)->values[0], -273.0f);
        QVERIFY(!picture().isNull());
    }

    // In the empty band the current step is grey, other even steps white,
    // odd steps the background; the grey follows the helper.
    void currentColumn()
    {
        openMeteogram({{270.0f}, {280.0f}, {275.0f}, {272.0f}});
        QVERIFY(helper->goCompound(2));
        meteogram->update();
        const QImage image = picture();
        const QRgb grey = qRgb(222, 222, 222);
        QCOMPARE(pixel(image, columnCentre(2), 260), grey);
        QCOMPARE(pixel(image, columnCentre(0), 260), qRgb(255, 255, 255));
        QCOMPARE(pixel(image, columnCentre(3), 260), qRgb(0xEB, 0xEB, 0xEB));
        QVERIFY(helper->goCompound(0));
        meteogram->update();
        QCOMPARE(pixel(picture(), columnCentre(0), 260), grey);
    }

    void precipitationBarsAboveTheGridStepOnly()
    {
        // Axis 0 … 4 mm over 105 pixels from y = 126.
        openMeteogram({{NAN, NAN, 0.4f}, {NAN, NAN, 0.5f}, {NAN, NAN, 0.0f}, {NAN, NAN, 2.0f}});
        const QImage image = picture();
        const QRgb bar = qRgb(0, 65, 129);
        QVERIFY(!hasColour(image, QRect(columnCentre(0) - 3, 126, 6, 105), bar));
        QCOMPARE(pixel(image, columnCentre(1), 227), bar);
        // The bar of 2 mm starts half way down the axis, at y = 178.5.
        QCOMPARE(pixel(image, columnCentre(3), 185), bar);
        QVERIFY(pixel(image, columnCentre(3), 140) != bar);
        QVERIFY(!hasColour(image, QRect(columnCentre(2) - 3, 126, 6, 105), bar));
    }

    void narrowColumnsLabelEvenStepsOnly_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("oddLabelled");
        QTest::newRow("30 steps, 20 pixels") << 30 << true;
        QTest::newRow("60 steps, 10 pixels") << 60 << false;
    }

    void narrowColumnsLabelEvenStepsOnly()
    {
        QFETCH(int, steps);
        QFETCH(bool, oddLabelled);
        std::vector<Series> series(size_t(steps), Series{280.0f, NAN, NAN, 0.0f, -5.0f});
        openMeteogram(series, 1);
        const QImage image = picture();
        const QRgb arrow = qRgb(83, 128, 38);
        for (int i : {4, 5, 20, 21}) {
            // The middle of the column: a label two digits wide reaches
            // into its neighbours' edges.
            const int middle = columnCentre(i) - 2;
            const bool expected = i % 2 == 0 || oddLabelled;
            // Hour labels in the lower part of the header, arrows in the
            // upper half of the wind band.
            QCOMPARE(hasInk(image, QRect(middle, 30, 5, 20)), expected);
            QCOMPARE(hasColour(image, QRect(middle, 56, 5, 26), arrow), expected);
        }
    }

    void singleStepShowsTheHint()
    {
        openMeteogram({{280.0f, 101000.0f, 2.0f, 3.0f, 4.0f}});
        const QImage image = picture();
        QVERIFY(hasColour(image, QRect(100, 12, kWidth - 200, 30), qRgb(0, 0, 0)));
        QVERIFY(!hasColour(image, QRect(20, 112, 600, 130), qRgb(215, 102, 37)));

        openMeteogram({{280.0f}, {281.0f}});
        QVERIFY(!hasColour(picture(), QRect(100, 12, kWidth - 200, 30), qRgb(0, 0, 0)));
    }
};

int main(int argc, char** argv)
{
    return guifixtures::runInScratchHome<TestMeteoDialog>(argc, argv, true);
}

#include "tst_meteodialog.moc"
