#include "Skyvane.h"

#include "ConnectionDialog.h"
#include "DownloadDlg.h"
#include "ForecastDataSets.h"
#include "ForecastUpdateTime.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MapMenu.h"
#include "MeteoKinds.h"
#include "OpenDataSources.h"
#include "PlayPanel.h"
#include "RequestDlg.h"
#include "SettingsFactory.h"
#include "StartupDlg.h"
#include "TimelineBar.h"
#include "WeatherMap.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <QFontMetrics>

#include <algorithm>
#include <ctime>

Skyvane* Skyvane::pThis = nullptr;

namespace {

const char kResourcePrefix[] = ":/Skyvane/Resources/";

// Sizes in pixels: the window was laid out for a 72 dpi screen, where a
// point is a pixel; 11pt at 96 dpi would not fit the 50-pixel buttons.
const char kWindowStyle[] =
    "background: rgb(16, 74, 184);\nbackground-color: rgb(16, 74, 184);\n"
    "font-family: Helvetica;\nfont-size: 11px;\ncolor: rgb(255, 255, 255);";

const char kParameterButtonStyle[] =
    "QToolButton { border: none; color: black; background: transparent; } "
    "QToolButton::hover { color: darkblue; background: qradialgradient(spread:pad, cx:0.5, cy:0.5, "
    "radius:0.5, fx:0.5, fy:0.5, stop:0 rgba(212, 212, 255, 192), stop:1 rgba(212, 212, 255, 0)); }";

const char kToolBarStyle[] =
    "QToolBar { border-color: black; } QToolBar::separator { height: 20px; background: transparent; }";

const int kToolButtonFontPixels = 11;
const int kSmallestToolButtonFontPixels = 8;

const char kToolButtonStyle[] =
    "QToolButton { font-family: Helvetica; font-size: 11px; width: 50px; } "
    "QToolButton::menu-indicator { image: url(:/Skyvane/Resources/menuIndicator.png); position: relative; "
    "top: 16px; left: -1px; subcontrol-origin: padding; subcontrol-position: top right; } "
    "QToolButton::menu-indicator:pressed, QToolButton::menu-indicator:open { top: 17px; left: 0px; }";

const char kMenuStyle[] =
    "QMenu { font-family: Helvetica; font-size: 11px; margin: 2px; } "
    "QMenu::item { padding: 2px 15px 2px 44px; border: 1px solid transparent; } "
    "QMenu::item:selected { border-color: darkblue; background: rgba(100, 100, 100, 150); } "
    "QMenu::icon { border: 1px outset transparent; left: 4px; } "
    "QMenu::icon:selected { border: 1px outset white; }";

constexpr int kInitialDiameter = 1125;
constexpr int kFirstFrameDelayMs = 40;
constexpr int kFramePeriodMs = 30;

QIcon resourceIcon(const QString& file)
{
    return QIcon(QString::fromLatin1(kResourcePrefix) + file);
}

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Shows the wait cursor while the GUI thread is busy.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The fixed records of the parameter buttons, in the order of
// Skyvane::attachButtonRecords.
struct ButtonRecord {
    int meteoType;
    int resolution;
    int forecastTime;
    int timeStep;
    int stepsNumber;
};

const ButtonRecord kButtonRecords[] = {
    {1, 0, 255, 3, 0},      // wind
    {2, 0, 255, 3, 0},      // pressure
    {4, 0, 255, 3, 0},      // precipitation
    {8, 0, 255, 3, 0},      // temperature
    {16, 0, 255, 3, 0},     // wave
    {7, 0, 255, 3, 0},      // wind + pressure + precipitation
    {32, 4, 0, 1, 1},       // sea-surface temperature
    {256, 128, 0, 1, 1},    // buoy observations
    {128, 26, 0, 1, 25},    // radar precipitation rate
    {64, 8, 255, 1, 12},    // tidal stream
};

}  // namespace

bool areDataPresent(GribFileHelper* helper, unsigned flags)
{
    // Any step counts: a provider's first step has no precipitation yet.
    // The buoy bit is no kind of the file.
    return helper && (helper->fileKinds() & flags & 0xFFu) != 0;
}

Skyvane* Skyvane::instance()
{
    if (!pThis)
        pThis = new Skyvane(nullptr, Qt::WindowFlags());
    return pThis;
}

void Skyvane::destroyInstance()
{
    delete pThis;
}

Skyvane::Skyvane(QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , utcNow([] { return QDateTime::currentDateTimeUtc(); })
    , monotonicNs(monotonicNanoseconds)
{
    pThis = this;
    ui.setupUi(this);
    setStyleSheet(QString::fromLatin1(kWindowStyle));
    createPlayPanel();
    createProjectors();
    createMap();
    createTimeline();
    placeParameterButtons();
    attachButtonRecords();
    connectCommands();
    createKeyCommands();
    ui.actionEquirectProjection->trigger();
    buildMenus();
    ui.actionLowResForecast->trigger();
    buildPresetsMenu();
    request.forecastDay = 0;
    request.forecastTime = 0;
    request.stepsNumber = 0;
    ui.actionAddNewRequest->setProperty("DownloadParameters", quintptr(&request));
    styleToolbarButtons();
    centreOnDesktop();
    QTimer::singleShot(0, this, &Skyvane::connectAndInitialize);
    // A coarse timer may fire a few milliseconds late, which at 30 ms per
    // frame shows as jerks.
    animationTimer.setTimerType(Qt::PreciseTimer);
    connect(&animationTimer, &QTimer::timeout, this, &Skyvane::animateNext);
    setAcceptDrops(true);
    openCommandLine(QCoreApplication::arguments());
}

Skyvane::~Skyvane()
{
    GeoProjector* current = map->getProjector();
    SettingsFactory::setHome(QPointF(current->getCenterLon() * 1e-6, current->getCenterLat() * 1e-6),
                             map->getZoom());
    animationTimer.stop();
    // The map borrows the projectors and they borrow the helper: the map
    // goes first so that nothing draws through them while they go.
    delete map;
    map = nullptr;
    qDeleteAll(projectors);
    projectors.clear();
    delete helper;
    helper = nullptr;
    qDeleteAll(buttonRecords);
    buttonRecords.clear();
    if (pThis == this)
        pThis = nullptr;
}

void Skyvane::createPlayPanel()
{
    playPanel = new PlayPanel(this);
    playPanel->setGeometry(width() - playPanel->width(), 0, playPanel->width(), playPanel->height());
    playPanel->hide();
    playPanel->setPlaying(false, false);
    connect(playPanel, &PlayPanel::play, this, &Skyvane::playAnimation);
    connect(playPanel, &PlayPanel::pause, this, &Skyvane::pauseAnimation);
    connect(playPanel, &PlayPanel::forward, this, &Skyvane::forwardAnimation);
    connect(playPanel, &PlayPanel::backward, this, &Skyvane::backwardAnimation);
    pace = AnimationPace(SettingsFactory::getAnimationSpeed(), SettingsFactory::getAnimationLoop());
    playPanel->showPace(pace.speed(), pace.loops());
    connect(playPanel, &PlayPanel::speedChosen, this, &Skyvane::setAnimationSpeed);
    connect(playPanel, &PlayPanel::loopToggled, this, &Skyvane::setAnimationLoop);
}

void Skyvane::createTimeline()
{
    timeline = new TimelineBar(ui.centralWidget);
    ui.centralWidget->layout()->addWidget(timeline);
    timeline->hide();
    connect(timeline, &TimelineBar::stepChosen, this, &Skyvane::showStep);
}

void Skyvane::createKeyCommands()
{
    struct KeyCommand {
        QList<QKeySequence> keys;
        std::function<void()> command;
    };
    const KeyCommand commands[] = {
        {{Qt::Key_Left}, [this] { panByQuarter(1, 0); }},
        {{Qt::Key_Right}, [this] { panByQuarter(-1, 0); }},
        {{Qt::Key_Up}, [this] { panByQuarter(0, 1); }},
        {{Qt::Key_Down}, [this] { panByQuarter(0, -1); }},
        {{Qt::Key_Plus, Qt::Key_Equal, Qt::KeypadModifier | Qt::Key_Plus, QKeySequence::ZoomIn},
         [this] { map->getMenu()->hide(); zoomIn(); }},
        {{Qt::Key_Minus, Qt::KeypadModifier | Qt::Key_Minus, QKeySequence::ZoomOut},
         [this] { map->getMenu()->hide(); zoomOut(); }},
        {{Qt::Key_Space}, [this] { togglePlaying(); }},
        {{Qt::Key_PageDown, Qt::Key_Period}, [this] { stepForward(); }},
        {{Qt::Key_PageUp, Qt::Key_Comma}, [this] { stepBackward(); }},
        {{Qt::Key_Home}, [this] { showStep(0); }},
        {{Qt::Key_BracketRight}, [this] { fasterAnimation(); }},
        {{Qt::Key_BracketLeft}, [this] { slowerAnimation(); }},
        {{Qt::Key_F}, [this] { fitFileArea(); }},
        {{Qt::CTRL | Qt::Key_Q}, [this] { close(); }},
    };
    for (const KeyCommand& entry : commands) {
        auto* action = new QAction(this);
        action->setShortcuts(entry.keys);
        connect(action, &QAction::triggered, this, entry.command);
        addAction(action);
    }
    // The toolbar's open command carries its key itself.
    ui.actionOpenGRIB->setShortcut(QKeySequence::Open);
    ui.actionOpenGRIB->setToolTip(ui.actionOpenGRIB->toolTip() + QStringLiteral(" (Ctrl+O)"));
    ui.actionZoomIn->setToolTip(tr("Zoom in (+ or the mouse wheel)"));
    ui.actionZoomOut->setToolTip(tr("Zoom out (- or the mouse wheel)"));
    ui.actionProjection->setToolTip(ui.actionProjection->toolTip() +
                                    tr("\nArrows pan the map, F fits it to the open file"));
}

void Skyvane::createProjectors()
{
    projectors.append(new EquirectProjector());
    projectors.append(new MercatorProjector());
    ui.actionEquirectProjection->setData(0);
    ui.actionMercatorProjection->setData(1);
    projectors[0]->update(width(), height(), kInitialDiameter);
}

void Skyvane::createMap()
{
    map = new WeatherMap(this, projectors[0]);
    auto* rows = new QVBoxLayout();
    auto* columns = new QHBoxLayout();
    rows->setContentsMargins(0, 0, 0, 0);
    columns->setContentsMargins(0, 0, 0, 0);
    ui.centralWidget->setContentsMargins(0, 0, 0, 0);
    columns->addWidget(map);
    rows->addLayout(columns);
    ui.centralWidget->setLayout(rows);
    setCentralWidget(ui.centralWidget);
    // The play panel floats over the map.
    playPanel->raise();
}

void Skyvane::placeParameterButtons()
{
    for (QToolButton* button :
         {ui.cleanButton, ui.windButton, ui.temperatureButton, ui.precipitationButton, ui.pressureButton,
          ui.waveButton, ui.windPressPrecipButton, ui.sstButton, ui.buoyButton, ui.nexradButton,
          ui.tidalStreamButton}) {
        const QRect place = button->geometry();
        button->setParent(map);
        button->setGeometry(place);
        button->setStyleSheet(QString::fromLatin1(kParameterButtonStyle));
        button->show();
    }
}

void Skyvane::attachButtonRecords()
{
    QToolButton* const buttons[] = {ui.windButton, ui.pressureButton, ui.precipitationButton,
                                    ui.temperatureButton, ui.waveButton, ui.windPressPrecipButton,
                                    ui.sstButton, ui.buoyButton, ui.nexradButton, ui.tidalStreamButton};
    for (int i = 0; i < 10; ++i) {
        auto* record = new ToviForecastParameters();
        record->meteoType = kButtonRecords[i].meteoType;
        record->resolution = ToviForecastParameters::GribResolution(kButtonRecords[i].resolution);
        record->forecastTime = kButtonRecords[i].forecastTime;
        record->timeStep = kButtonRecords[i].timeStep;
        record->stepsNumber = kButtonRecords[i].stepsNumber;
        buttonRecords.append(record);
        buttons[i]->setProperty("DownloadParameters", quintptr(record));
    }
    setAllButtonsGrey(true);
}

void Skyvane::connectCommands()
{
    connect(ui.cleanButton, &QToolButton::clicked, this, &Skyvane::cleanData);
    for (QToolButton* button : {ui.windButton, ui.temperatureButton, ui.precipitationButton, ui.pressureButton,
                                ui.waveButton, ui.windPressPrecipButton, ui.sstButton})
        connect(button, &QToolButton::clicked, this, &Skyvane::download);
    connect(ui.buoyButton, &QToolButton::clicked, this, &Skyvane::downloadBuoy);
    connect(ui.nexradButton, &QToolButton::clicked, this, &Skyvane::download);
    connect(ui.tidalStreamButton, &QToolButton::clicked, this, &Skyvane::download);

    connect(ui.actionAccount, &QAction::triggered, this, &Skyvane::connectionAccount);
    connect(ui.actionMarineMode, &QAction::triggered, this, &Skyvane::connectionModeTriggered);
    connect(ui.actionEquirectProjection, &QAction::triggered, this, &Skyvane::chooseProjection);
    connect(ui.actionMercatorProjection, &QAction::triggered, this, &Skyvane::chooseProjection);
    connect(ui.actionZoomIn, &QAction::triggered, this, &Skyvane::zoomIn);
    connect(ui.actionZoomOut, &QAction::triggered, this, &Skyvane::zoomOut);
    connect(ui.actionOpenGRIB, &QAction::triggered, this, &Skyvane::openGRIBDialog);
    connect(ui.actionAddNewRequest, &QAction::triggered, this, &Skyvane::doRequestDialog);
    connect(map, &WeatherMap::openGRIB, this, &Skyvane::openGRIBDialog);
    connect(map, &WeatherMap::timeStepChanged, this, [this] { showCurrentStep(false, 0.0f); });
}

void Skyvane::buildMenus()
{
    ui.mainToolBar->setStyleSheet(QString::fromLatin1(kToolBarStyle));
    auto menuFor = [this](QAction* owner, std::initializer_list<QAction*> entries) {
        auto* menu = new QMenu(this);
        menu->setStyleSheet(QString::fromLatin1(kMenuStyle));
        for (QAction* entry : entries)
            menu->addAction(entry);
        owner->setMenu(menu);
        return menu;
    };
    connectionMenu = menuFor(ui.actionConnection, {ui.actionAccount, ui.actionMarineMode});
    dataSetMenu = menuFor(ui.actionForecast, {ui.actionLowResForecast, ui.actionMedResForecast,
                                              ui.actionHighResForecast, ui.actionSuhighResForecast});
    highResMenu = menuFor(ui.actionHighResForecast,
                          {ui.actionNorthAtlantic, ui.actionNorthAmerica, ui.actionSouthAmerica, ui.actionSouthAfrica,
                           ui.actionAustraliaSENZ, ui.actionEastAustralia, ui.actionWestAustralia});
    superResMenu = menuFor(ui.actionSuhighResForecast, {ui.actionEnglishChannel, ui.actionWestEurope,
                                                        ui.actionEastCentreUS, ui.actionWestCentreUS,
                                                        ui.actionAlaska});
    projectionMenu = menuFor(ui.actionProjection, {ui.actionEquirectProjection, ui.actionMercatorProjection});
    presetsMenu = menuFor(ui.actionFavourites, {});
    for (QAction* owner : {ui.actionConnection, ui.actionForecast, ui.actionProjection, ui.actionFavourites}) {
        if (auto* button = qobject_cast<QToolButton*>(ui.mainToolBar->widgetForAction(owner)))
            button->setPopupMode(QToolButton::InstantPopup);
    }

    const QPair<QAction*, int> dataSets[] = {
        {ui.actionLowResForecast, 1},  {ui.actionMedResForecast, 2}, {ui.actionNorthAtlantic, 4},
        {ui.actionEnglishChannel, 8},  {ui.actionSouthAmerica, 19},  {ui.actionSouthAfrica, 20},
        {ui.actionAustraliaSENZ, 21},  {ui.actionEastAustralia, 22}, {ui.actionWestAustralia, 23},
        {ui.actionNorthAmerica, 25},   {ui.actionWestEurope, 24},    {ui.actionEastCentreUS, 16},
        {ui.actionWestCentreUS, 17},   {ui.actionAlaska, 18},
    };
    for (const auto& dataSet : dataSets) {
        dataSet.first->setProperty("Resolution", unsigned(dataSet.second));
        connect(dataSet.first, &QAction::triggered, this, &Skyvane::changeResolution);
    }
    buildOpenDataMenu();
}

void Skyvane::buildOpenDataMenu()
{
    // A submenu like the regional sets': the public services are other
    // providers, kept apart from the forecast service's own sets.
    openDataMenu = new QMenu(this);
    openDataMenu->setStyleSheet(QString::fromLatin1(kMenuStyle));
    auto* group = new QAction(resourceIcon(QStringLiteral("forecast.png")), QStringLiteral("Open data"), this);
    group->setMenu(openDataMenu);
    dataSetMenu->addAction(group);
    for (const OpenDataSource& source : openDataSources()) {
        auto* action = new QAction(resourceIcon(QStringLiteral("forecast.png")), QString::fromUtf8(source.label), this);
        action->setToolTip(QString::fromUtf8(source.attribution));
        action->setProperty("Resolution", unsigned(source.resolution));
        connect(action, &QAction::triggered, this, &Skyvane::changeResolution);
        openDataMenu->addAction(action);
    }
}

void Skyvane::noteOpenDataRun(int resolution, const QDateTime& runUtc)
{
    if (!findOpenDataSource(resolution) || !runUtc.isValid())
        return;
    openDataRuns.insert(resolution, runUtc);
    if (int(request.resolution) == resolution)
        showDataSetName(dataSetAction(resolution), resolution);
}

void Skyvane::buildPresetsMenu()
{
    presetsMenu->clear();
    const int count = SettingsFactory::presetsCount();
    for (int i = 0; i < count; ++i) {
        QString name;
        ToviForecastParameters* record = nullptr;
        if (!SettingsFactory::getPreset(i, name, &record))
            continue;
        QAction* entry = presetsMenu->addAction(ui.actionAddNewRequest->icon(), name);
        entry->setProperty("DownloadParameters", quintptr(record));
        connect(entry, &QAction::triggered, this, &Skyvane::downloadFavourites);
    }
    ui.actionFavourites->setVisible(count >= 1);
    ui.actionFavourites->setEnabled(count >= 1);
}

void Skyvane::styleToolbarButtons()
{
    for (QAction* action : ui.mainToolBar->actions()) {
        if (QWidget* button = ui.mainToolBar->widgetForAction(action))
            button->setStyleSheet(QString::fromLatin1(kToolButtonStyle));
    }
    if (auto* button = qobject_cast<QToolButton*>(ui.mainToolBar->widgetForAction(ui.actionAddNewRequest)))
        button->setText(QStringLiteral("Advanced\ndownload"));
    if (auto* button = qobject_cast<QToolButton*>(ui.mainToolBar->widgetForAction(ui.actionOpenGRIB)))
        button->setText(QStringLiteral("Open\nsaved"));
}

void Skyvane::centreOnDesktop()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->geometry();
    move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
}

void Skyvane::openCommandLine(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return;
    // A path with blanks that the shell split is joined again.
    const QString path = arguments.mid(1).join(QLatin1Char(' '));
    if (QFile::exists(path)) {
        openGribFile(path);
        return;
    }
    QMessageBox::critical(nullptr, QStringLiteral("File open failed"),
                          QStringLiteral("Sorry, file %1\r\n cannot be opened. The file does not exist.").arg(path),
                          QMessageBox::Ok);
}

void Skyvane::setUtcClock(std::function<QDateTime()> clock)
{
    utcNow = std::move(clock);
}

void Skyvane::setMonotonicClock(std::function<qint64()> nanoseconds)
{
    monotonicNs = std::move(nanoseconds);
}

ToviForecastParameters* Skyvane::recordOf(QObject* source)
{
    if (!source)
        return nullptr;
    return reinterpret_cast<ToviForecastParameters*>(source->property("DownloadParameters").value<quintptr>());
}

// --- Parameter buttons -------------------------------------------------

QVector<Skyvane::KindButton> Skyvane::kindButtons() const
{
    return {
        {mtWind, ui.windButton, "wind"},
        {mtTemperature, ui.temperatureButton, "temperature"},
        {mtPressure, ui.pressureButton, "pressure"},
        {mtPrecipitation, ui.precipitationButton, "precipitation"},
        {mtWave, ui.waveButton, "wave"},
        {mtTidal, ui.tidalStreamButton, "tidal_stream"},
        {mtSST, ui.sstButton, "sst"},
        {mtPrecipRate, ui.nexradButton, "nexrad"},
    };
}

void Skyvane::setButtonIcon(QToolButton* button, const char* icon, bool coloured)
{
    const QString file = QString::fromLatin1(icon) + (coloured ? QStringLiteral(".png") : QStringLiteral("_gray.png"));
    button->setIcon(resourceIcon(file));
    // Tests and scripts read which variant a button shows.
    button->setProperty("coloured", coloured);
}

void Skyvane::setAllButtonsGrey(bool includingBuoy)
{
    for (const KindButton& entry : kindButtons())
        setButtonIcon(entry.button, entry.icon, false);
    setButtonIcon(ui.windPressPrecipButton, "windpressprecip", false);
    if (includingBuoy)
        setButtonIcon(ui.buoyButton, "buoy", false);
}

void Skyvane::refreshButtonIcons()
{
    setAllButtonsGrey(false);
    if (!helper || !helper->isValid())
        return;
    const unsigned fileKinds = helper->fileKinds();
    for (const KindButton& entry : kindButtons()) {
        if (!(fileKinds & entry.kind))
            continue;
        setButtonIcon(entry.button, entry.icon, true);
        if (entry.kind == mtWind || entry.kind == mtPressure || entry.kind == mtPrecipitation)
            setButtonIcon(ui.windPressPrecipButton, "windpressprecip", true);
    }
}

// --- Opening files -----------------------------------------------------

void Skyvane::openGRIBDialog()
{
    pauseAnimation();
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open GRIB file"), SettingsFactory::getMyDocumentsPath(),
                                     QStringLiteral("GRIB files (*.grb *.grib *.grb1 *.grib1 *.grb2 *.grib2);;All files (*.*)"));
    openGribFile(path);
}

void Skyvane::openGribFile(QString path)
{
    if (path.isEmpty())
        return;
    pauseAnimation();
    if (!helper)
        helper = new GribFileHelper();
    forceDownload = false;
    request.stepsNumber = 0;
    bool opened = false;
    {
        BusyCursor busy;
        opened = helper->openGribFile(path, true);
    }
    if (opened)
        centreOnFileArea();
    refreshButtonIcons();
    const int kind = opened ? MeteoKinds::firstPresent(helper->getCurrentCompound()) : 0;
    if (kind != 0) {
        // Rewinding also shows the play panel for several steps only.
        displayedFlags = kind;
        rewind();
        map->update();
    } else {
        // Whatever was drawn belonged to the file the helper dropped.
        showCurrentStep(false, 0.0f);
        showPlayControls(false);
        reportUnreadable(path);
    }
}

void Skyvane::reportUnreadable(const QString& path)
{
    QString reason;
    if (!QFileInfo(path).isReadable())
        reason = QStringLiteral("The file cannot be read.");
    else if (!helper->isValid())
        reason = QStringLiteral("It holds no GRIB data.");
    else
        reason = QString::fromStdString(helper->gribFile()->openProblem());
    if (reason.isEmpty())
        reason = QStringLiteral("It holds no weather parameter that Skyvane can show.");
    QMessageBox::critical(this, QStringLiteral("File open failed"),
                          QStringLiteral("Sorry, file %1\r\n cannot be opened. %2").arg(path, reason),
                          QMessageBox::Ok);
}

void Skyvane::centreOnFileArea()
{
    const QRectF& area = helper->gribFile()->getArea();
    // Computed as the map has always placed files: the sum in single
    // precision, truncated, then halved.
    const float y = float(area.y());
    const float h = float(area.height());
    const float x = float(area.x());
    const float w = float(area.width());
    const int latMicro = int((y + h + y) * 1e6f) / 2;
    const int lonMicro = int((x + w + x) * 1e6f) / 2;
    map->getProjector()->goTo(latMicro, lonMicro);
}

void Skyvane::cleanData()
{
    pauseAnimation();
    ui.actionLowResForecast->trigger();
    displayedFlags = 0;
    forceDownload = true;
    map->getProjector()->setData(nullptr, 0, false, 0.0f);
    setAllButtonsGrey(true);
    map->updateBuoyData(QString());
    map->update();
}

void Skyvane::showMeteo(int flags)
{
    // Rewinding plays again only from a pause: playing on would keep the
    // step and the time it started at from before.
    pauseAnimation();
    if (!helper || !helper->isValid())
        return;
    displayedFlags = flags;
    rewind();
    map->update();
}

// --- Download commands -------------------------------------------------

void Skyvane::download()
{
    pauseAnimation();
    ToviForecastParameters* record = commandRecord ? commandRecord : recordOf(sender());
    if (!record)
        return;
    const bool present = areDataPresent(helper, unsigned(record->meteoType));
    forceDownload = forceDownload || !present;
    if (forceDownload && !fetchForecast(record))
        return;
    showDownloadedKind(*record);
}

bool Skyvane::fetchForecast(ToviForecastParameters* record)
{
    QString path;
    {
        DownloadDlg dialog(this);
        commandRecord = record;
        const int result = dialog.download();
        commandRecord = nullptr;
        if (result != 1)
            return false;
        path = dialog.getFileName();
    }
    if (!helper)
        helper = new GribFileHelper();
    showDataSetUsed();
    forceDownload = false;
    request.stepsNumber = 0;
    bool opened = false;
    {
        BusyCursor busy;
        opened = helper->openGribFile(path, true);
    }
    if (opened && helper->isValid())
        return true;
    // What the server sent is no forecast: nothing is loaded now.
    forceDownload = true;
    refreshButtonIcons();
    showCurrentStep(false, 0.0f);
    showPlayControls(false);
    reportUnreadable(path);
    return false;
}

void Skyvane::showDataSetUsed()
{
    const int resolution = int(request.resolution);
    // Sea temperature, radar and tidal streams come from one set each:
    // the button names the group they belong to.
    if (resolution == 4 && request.meteoType == mtSST)
        showDataSet(ui.actionHighResForecast, resolution);
    else if ((resolution == 26 && request.meteoType == mtPrecipRate) || (resolution == 8 && request.meteoType == mtTidal))
        showDataSet(ui.actionSuhighResForecast, resolution);
    else  // a preset may have its own
        showDataSet(dataSetAction(resolution), resolution);
}

QAction* Skyvane::dataSetAction(int resolution) const
{
    const auto actions = findChildren<QAction*>();
    const auto found = std::find_if(actions.cbegin(), actions.cend(), [resolution](const QAction* action) {
        return action->property("Resolution").toInt() == resolution;
    });
    return found != actions.cend() ? *found : nullptr;
}

void Skyvane::showDataSet(const QAction* dataSet, int resolution)
{
    if (!dataSet)
        return;
    showDataSetName(dataSet, resolution);
    ui.waveButton->setVisible(resolution != 16 && resolution != 17 && resolution != 18 && resolution != 25);
    map->setActiveArea(resolution);
}

void Skyvane::showDataSetName(const QAction* dataSet, int resolution)
{
    if (!dataSet)
        return;
    ui.actionForecast->setIcon(dataSet->icon());
    const OpenDataSource* source = findOpenDataSource(resolution);
    if (!source) {
        ui.actionForecast->setText(dataSet->toolTip());
        fitDataSetButtonFont(dataSet->toolTip());
        ui.actionForecast->setToolTip(ForecastUpdateTime::toolTip(resolution, utcNow()));
        return;
    }
    // The run shown once one is known; the credit the source's licence
    // asks for wherever its data are named.
    const QString label = QString::fromUtf8(source->label);
    const auto run = openDataRuns.constFind(resolution);
    QString text = run != openDataRuns.constEnd() ? openDataRunLabel(*source, *run) : label;
    // Two lines, as the other data sets' names: the toolbar is narrow.
    const qsizetype cut = label.lastIndexOf(QLatin1Char(' '));
    if (cut > 0)
        text[cut] = QLatin1Char('\n');
    ui.actionForecast->setText(text);
    fitDataSetButtonFont(text);
    ui.actionForecast->setToolTip(QString::fromUtf8(source->attribution));
}

void Skyvane::fitDataSetButtonFont(const QString& text)
{
    QWidget* button = ui.mainToolBar->widgetForAction(ui.actionForecast);
    if (!button)
        return;
    // The longest word the other buttons show whole is the room a line has;
    // a longer name is set smaller rather than cut.
    auto widest = [&text](int pixels) {
        QFont font(QStringLiteral("Helvetica"));
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        int width = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            width = std::max(width, metrics.horizontalAdvance(line));
        return width;
    };
    QFont reference(QStringLiteral("Helvetica"));
    reference.setPixelSize(kToolButtonFontPixels);
    const int room = QFontMetrics(reference).horizontalAdvance(QStringLiteral("Projection"));
    int pixels = kToolButtonFontPixels;
    while (pixels > kSmallestToolButtonFontPixels && widest(pixels) > room)
        --pixels;
    button->setStyleSheet(QString::fromLatin1(kToolButtonStyle)
                              .replace(QStringLiteral("font-size: %1px").arg(kToolButtonFontPixels),
                                       QStringLiteral("font-size: %1px").arg(pixels)));
}

void Skyvane::showDownloadedKind(const ToviForecastParameters& record)
{
    refreshButtonIcons();
    if (helper && helper->isValid()) {
        int chosen = 0;
        if (record.meteoType == 7) {
            chosen = 7;
        } else {
            for (MeteoType kind : MeteoKinds::displayOrder()) {
                const bool asked = kind == mtPrecipRate ? record.meteoType >= 128 : (record.meteoType & kind) != 0;
                if (asked && (helper->fileKinds() & kind)) {
                    chosen = kind;
                    break;
                }
            }
        }
        if (chosen != 0) {
            displayedFlags = chosen;
            // From the first step that has it.
            rewindTo(std::max(helper->firstCompoundWith(unsigned(chosen)), 0));
            map->update();
        }
    }
    const bool several = helper && helper->getCompoundNum() > 1;
    showPlayControls(several);
    if (several)
        playAnimation();
}

ToviForecastParameters* Skyvane::currentParameters()
{
    ToviForecastParameters* record = commandRecord ? commandRecord : recordOf(sender());
    if (record && record != &request)
        takeCommandRecord(*record);
    takeAreaFromMap();
    return &request;
}

void Skyvane::takeCommandRecord(const ToviForecastParameters& record)
{
    request.forecastTime = record.forecastTime == 255 ? utcNow().toUTC().time().hour() : record.forecastTime;
    request.forecastDay = record.forecastDay;
    request.meteoType = record.meteoType;
    request.timeStep = record.timeStep;
    if (record.resolution != 0)
        request.resolution = record.resolution;
    // A preset without a time step gets no count: the server's default.
    request.stepsNumber =
        record.stepsNumber != 0 ? record.stepsNumber : defaultStepsNumber(request.resolution, record.timeStep);
}

void Skyvane::takeAreaFromMap()
{
    GeoProjector* projector = map->getProjector();
    const int centreLon = projector->getCenterLon();
    const int lastX = map->width() - 1;
    const int lastY = map->height() - 1;
    int topLat = 0, leftLon = 0, bottomLat = 0, rightLon = 0;
    if (!projector->screen2Geo(0, 0, topLat, leftLon)) {
        topLat = 80000000;
        leftLon = columnLongitude(projector, 0);
    }
    if (!projector->screen2Geo(lastX, lastY, bottomLat, rightLon)) {
        bottomLat = -80000000;
        rightLon = columnLongitude(projector, lastX);
    }
    // The left edge west of the centre and the right edge east of it,
    // also across the date line; in 64 bits, as the sum may pass 2^31.
    const long long left = leftLon >= centreLon ? leftLon - 360000000LL : leftLon;
    const long long right = rightLon <= centreLon ? rightLon + 360000000LL : rightLon;
    request.top = topLat / 1000;
    request.left = int(left / 1000);
    request.right = int(right / 1000);
    request.bottom = bottomLat / 1000;
}

int Skyvane::columnLongitude(GeoProjector* projector, int x)
{
    // A column's longitude does not depend on the row; the centre row lies
    // in the drawn world.
    int lat = 0, lon = projector->getCenterLon();
    projector->screen2Geo(x, projector->getCenterY(), lat, lon);
    return lon;
}

void Skyvane::downloadBuoy()
{
    pauseAnimation();
    ToviForecastParameters* record = recordOf(sender());
    if (!record)
        return;
    const ToviForecastParameters::GribResolution dataSet = request.resolution;
    DownloadDlg dialog(this);
    commandRecord = record;
    const int result = dialog.download();
    commandRecord = nullptr;
    if (result == 1) {
        setButtonIcon(ui.buoyButton, "buoy", false);
        if (map->updateBuoyData(dialog.getFileName()))
            setButtonIcon(ui.buoyButton, "buoy", true);
    }
    request.resolution = dataSet;
}

void Skyvane::downloadFavourites()
{
    pauseAnimation();
    ToviForecastParameters* record = recordOf(sender());
    if (!record)
        return;
    map->getProjector()->goTo(record->centerLat, record->centerLon);
    map->setZoom(record->zoom);
    download();
}

void Skyvane::doRequestDialog()
{
    pauseAnimation();
    {
        RequestDlg dialog(this, utcNow);
        map->getProjector()->setData(nullptr, displayedFlags, false, 0.0f);
        map->update();
        if (dialog.createRequest(&request)) {
            // The user asked for these steps: a loaded file that holds one
            // of the kinds is no reason to skip the download.
            forceDownload = true;
            commandRecord = &request;
            download();
            commandRecord = nullptr;
        }
    }
    // Cancelled, or a download that failed: the loaded file comes back.
    if (helper && !map->getProjector()->getHelper()) {
        map->getProjector()->setData(helper, displayedFlags, false, 0.0f);
        map->update();
    }
    // The dialog may have added or deleted presets.
    buildPresetsMenu();
}

// --- Data set, projection, connection ----------------------------------

void Skyvane::changeResolution()
{
    pauseAnimation();
    auto* source = qobject_cast<QAction*>(sender());
    if (!source)
        return;
    const int resolution = int(source->property("Resolution").toUInt());
    request.resolution = ToviForecastParameters::GribResolution(resolution);
    showDataSet(source, resolution);
    forceDownload = true;
}

void Skyvane::chooseProjection()
{
    auto* source = qobject_cast<QAction*>(sender());
    if (!source)
        return;
    pauseAnimation();
    ui.actionProjection->setIcon(source->icon());
    ui.actionProjection->setText(source->statusTip() + QStringLiteral("\nProjection"));
    const int index = source->data().toInt();
    if (index < 0 || index >= projectors.size())
        return;
    map->setProjection(projectors[index]);
    projectors[index]->setData(helper, displayedFlags, false, 0.0f);
    map->update();
}

void Skyvane::connectAndInitialize()
{
    connected = false;
    StartupDlg startup(this);
    if (startup.doStartup() == 1 && startup.startupState() >= 0)
        connected = true;
    connectionModeTriggered();
    // The keys go to the map's window once the start-up dialog has gone,
    // also where no window manager hands the focus back.
    activateWindow();
}

void Skyvane::connectionModeTriggered()
{
    if (ui.actionMarineMode->isChecked() && connected) {
        ui.actionConnection->setIcon(ui.actionMarineMode->icon());
        ui.actionConnection->setToolTip(QStringLiteral("Using marine mode"));
    } else if (connected) {
        ui.actionConnection->setIcon(ui.actionConnected->icon());
        ui.actionConnection->setToolTip(ui.actionConnected->toolTip());
    } else {
        ui.actionConnection->setIcon(ui.actionNotConnected->icon());
        ui.actionConnection->setToolTip(ui.actionNotConnected->toolTip());
    }
}

void Skyvane::connectionAccount()
{
    ConnectionDialog account(nullptr);
    if (account.exec() == QDialog::Accepted)
        connectAndInitialize();
}

void Skyvane::zoomIn()
{
    pauseAnimation();
    map->zoomIn();
}

void Skyvane::zoomOut()
{
    pauseAnimation();
    map->zoomOut();
}

void Skyvane::resizeEvent(QResizeEvent* event)
{
    pauseAnimation();
    if (playPanel)
        playPanel->move(width() - playPanel->width(), 0);
    QMainWindow::resizeEvent(event);
}

void Skyvane::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void Skyvane::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    openGribFile(urls.first().toLocalFile());
}

// --- Animation ---------------------------------------------------------

void Skyvane::showCurrentStep(bool interpolate, float fraction)
{
    map->getProjector()->setData(helper, displayedFlags, interpolate, fraction);
    map->update();
    if (helper)
        timeline->showStep(helper->currentCompoundNum());
}

void Skyvane::showPlayControls(bool shown)
{
    if (shown && helper) {
        QVector<QDateTime> times;
        for (int i = 0; i < helper->getCompoundNum(); ++i)
            times.append(helper->gribFile()->compoundValidTime(i));
        timeline->setSteps(times);
        timeline->showStep(helper->currentCompoundNum());
    }
    playPanel->setVisible(shown);
    timeline->setVisible(shown);
}

void Skyvane::rewind()
{
    rewindTo(0);
}

// Shows compound and plays on from it when there are more.
void Skyvane::rewindTo(int compound)
{
    if (!helper)
        return;
    if (compound <= 0 || !helper->goCompound(compound))
        helper->firstCompound();
    showCurrentStep(false, 0.0f);
    const bool several = helper->getCompoundNum() > 1;
    showPlayControls(several);
    if (several)
        playAnimation();
}

void Skyvane::playAnimation()
{
    if (playPanel->isPlaying() || !helper)
        return;
    animationStartIndex = helper->currentCompoundNum();
    map->getProjector()->update(true);
    animationStartNs = monotonicNs();
    playPanel->setPlaying(true, false);
    animationTimer.start(kFirstFrameDelayMs);
}

qint64 Skyvane::elapsedMs() const
{
    return (monotonicNs() - animationStartNs) / 1000000;
}

int animationFrameInterval(int renderMs)
{
    if (renderMs == 0)
        renderMs = 1;
    return renderMs > kFramePeriodMs ? 0 : kFramePeriodMs - renderMs;
}

void Skyvane::animateNext()
{
    animationTimer.stop();
    if (!helper || !helper->isValid()) {
        pauseAnimation();
        return;
    }
    const float fraction = float(elapsedMs()) / float(stepDurationMs());
    const int count = helper->getCompoundNum();
    const int index = helper->currentCompoundNum();
    if (index >= count - 1 && (fraction >= 1.0f || index == animationStartIndex)) {
        if (pace.loops() && count > 1)
            restartLoop();
        else
            pauseAnimation();
        return;
    }
    if (index != animationStartIndex && fraction < 1.0f) {
        showAnimationFrame(fraction);
        return;
    }
    animationStartNs = monotonicNs();
    if (index >= count - 1) {
        pauseAnimation();
        return;
    }
    helper->nextCompound();
    showAnimationFrame(0.0f);
}

int Skyvane::stepDurationMs() const
{
    return pace.stepDurationMs(helper ? helper->gribFile()->getTimeStep() : 0);
}

void Skyvane::restartLoop()
{
    helper->firstCompound();
    animationStartIndex = 0;
    GeoProjector* projector = map->getProjector();
    projector->setData(helper, displayedFlags, false, 0.0f);
    // The first step fills the caches, so that the next blends from it.
    projector->update(true);
    timeline->showStep(0);
    map->repaint();
    animationStartNs = monotonicNs();
    animationTimer.start(animationFrameInterval(projector->getRenderTime()));
}

void Skyvane::showAnimationFrame(float fraction)
{
    timeline->showStep(helper->currentCompoundNum());
    map->getProjector()->setData(helper, displayedFlags, true, fraction);
    // Drawn now rather than at the next paint event, which would come
    // during the wait: the drawing and the wait together make the frame.
    map->repaint();
    animationTimer.start(animationFrameInterval(map->getProjector()->getRenderTime()));
}

void Skyvane::pauseAnimation()
{
    if (!playPanel || !playPanel->isPlaying())
        return;
    animationTimer.stop();
    playPanel->setPlaying(false, false);
    showCurrentStep(false, 0.0f);
}

void Skyvane::forwardAnimation()
{
    if (!helper || helper->currentCompoundNum() >= helper->getCompoundNum() - 1)
        return;
    helper->goCompound(helper->currentCompoundNum() + 1);
    showCurrentStep(false, 0.0f);
}

void Skyvane::backwardAnimation()
{
    if (!helper || helper->currentCompoundNum() < 1)
        return;
    helper->goCompound(helper->currentCompoundNum() - 1);
    showCurrentStep(false, 0.0f);
}

// --- Keyboard commands ------------------------------------------------------

void Skyvane::togglePlaying()
{
    if (!helper || helper->getCompoundNum() < 2)
        return;
    if (playPanel->isPlaying()) {
        pauseAnimation();
        return;
    }
    // From the last step, as a player does, it starts over.
    if (helper->currentCompoundNum() >= helper->getCompoundNum() - 1) {
        helper->firstCompound();
        showCurrentStep(false, 0.0f);
    }
    playAnimation();
}

void Skyvane::showStep(int step)
{
    pauseAnimation();
    if (!helper || step == helper->currentCompoundNum() || !helper->goCompound(step))
        return;
    showCurrentStep(false, 0.0f);
}

void Skyvane::stepForward()
{
    pauseAnimation();
    forwardAnimation();
}

void Skyvane::stepBackward()
{
    pauseAnimation();
    backwardAnimation();
}

void Skyvane::panByQuarter(int columns, int rows)
{
    pauseAnimation();
    map->getMenu()->hide();
    map->pan(columns * (map->width() / 4), rows * (map->height() / 4));
}

void Skyvane::fitFileArea()
{
    pauseAnimation();
    if (!helper || !helper->isValid())
        return;
    const QRectF& area = helper->gribFile()->getArea();
    // A file round the whole globe has no middle in longitude: the map
    // keeps its own.
    const int keptLonMicro = map->getProjector()->getCenterLon();
    centreOnFileArea();
    if (std::fabs(area.width()) + helper->gribFile()->getGridStep() >= 360.0) {
        GeoProjector* projector = map->getProjector();
        projector->goTo(projector->getCenterLat(), keptLonMicro);
    }
    const auto micro = [](double degrees) { return int(std::clamp(degrees, -1000.0, 1000.0) * 1e6); };
    map->fitBox(micro(area.y()), micro(area.x()), micro(area.y() + area.height()), micro(area.x() + area.width()));
}

void Skyvane::setAnimationSpeed(int speed)
{
    const qint64 elapsed = elapsedMs();
    const int before = stepDurationMs();
    if (!pace.setSpeed(speed))
        return;
    keepPace();
    // The step under way goes on from where it was, at the new pace.
    if (playPanel->isPlaying() && before > 0)
        animationStartNs = monotonicNs() - elapsed * stepDurationMs() / before * 1000000;
}

void Skyvane::setAnimationLoop(bool loop)
{
    pace.setLoop(loop);
    keepPace();
}

void Skyvane::fasterAnimation()
{
    setAnimationSpeed(pace.speed() * 2);
}

void Skyvane::slowerAnimation()
{
    setAnimationSpeed(pace.speed() / 2);
}

void Skyvane::keepPace()
{
    playPanel->showPace(pace.speed(), pace.loops());
    SettingsFactory::setAnimation(pace.speed(), pace.loops());
}
