// The main window: the map with its parameter buttons, the toolbar with
// the connection indicator, data-set chooser, presets, file opening,
// projection chooser and zoom; opening files and the animation through
// the time steps.  One per process, reached through instance().
#ifndef SKYVANE_SKYVANE_H
#define SKYVANE_SKYVANE_H

#include <QDateTime>
#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <QVector>

#include <functional>

#include "AnimationPace.h"
#include "ToviForecastParameters.h"
#include "ui_Skyvane.h"

class GeoProjector;
class GribFileHelper;
class PlayPanel;
class QMenu;
class QToolButton;
class TimelineBar;
class WeatherMap;

// Whether the helper's current time step holds any of the kinds in the
// low eight bits of flags.
bool areDataPresent(GribFileHelper* helper, unsigned flags);

// Milliseconds to wait before the next animation frame, so that a frame
// takes about 30 ms with the projector's last drawing time included.
int animationFrameInterval(int renderMs);

class Skyvane : public QMainWindow {
    Q_OBJECT
public:
    Skyvane(QWidget* parent, Qt::WindowFlags flags);
    ~Skyvane() override;

    // The main window, created on first use.
    static Skyvane* instance();
    // Deletes the main window (it saves the home view).
    static void destroyInstance();

    // Opens a GRIB file and shows its first kind of weather.
    void openGribFile(QString path);
    // The arguments after the program name, joined with blanks, name a
    // file to open.
    void openCommandLine(const QStringList& arguments);

    // Where the clocks come from; tests set fixed ones.
    void setUtcClock(std::function<QDateTime()> clock);
    void setMonotonicClock(std::function<qint64()> nanoseconds);
    std::function<QDateTime()> getUtcClock() const { return utcNow; }

    // Fills the window's request from the command that is running (the
    // sender's record) and the visible map area; its address.
    ToviForecastParameters* currentParameters();
    // An open-data download fetched this run of the source with this
    // code: the data-set button names it from now on.
    void noteOpenDataRun(int resolution, const QDateTime& runUtc);

    Ui_SkyvaneClass ui;

    WeatherMap* getMap() const { return map; }
    PlayPanel* getPlayPanel() const { return playPanel; }
    TimelineBar* getTimeline() const { return timeline; }
    const AnimationPace& getPace() const { return pace; }
    GribFileHelper* getHelper() const { return helper; }
    const QVector<GeoProjector*>& getProjectors() const { return projectors; }
    const ToviForecastParameters& getRequest() const { return request; }
    int getDisplayedFlags() const { return displayedFlags; }
    bool isConnected() const { return connected; }
    bool isForceDownload() const { return forceDownload; }
    QMenu* getPresetsMenu() const { return presetsMenu; }
    QMenu* getOpenDataMenu() const { return openDataMenu; }
    const QTimer& getAnimationTimer() const { return animationTimer; }

public slots:
    void zoomIn();
    void zoomOut();
    void download();
    void downloadBuoy();
    void downloadFavourites();
    void cleanData();
    void changeResolution();
    void chooseProjection();
    void connectAndInitialize();
    void connectionModeTriggered();
    void connectionAccount();
    void doRequestDialog();
    void animateNext();
    void showMeteo(int flags);
    void openGRIBDialog();
    void rewind();
    void playAnimation();
    void pauseAnimation();
    void forwardAnimation();
    void backwardAnimation();

    // Keyboard commands; each pauses the animation first.
    void togglePlaying();
    void showStep(int step);
    void stepForward();
    void stepBackward();
    void panByQuarter(int columns, int rows);
    void fitFileArea();
    void setAnimationSpeed(int speed);
    void setAnimationLoop(bool loop);
    void fasterAnimation();
    void slowerAnimation();

public:
    void resizeEvent(QResizeEvent* event) override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct KindButton {
        int kind;
        QToolButton* button;
        const char* icon;
    };

    void createPlayPanel();
    void createTimeline();
    void createKeyCommands();
    // The play panel and the timeline, shown for a file of several steps.
    void showPlayControls(bool shown);
    // Goes back to the first step and plays on, when the animation loops.
    void restartLoop();
    void keepPace();
    void createProjectors();
    void createMap();
    void placeParameterButtons();
    void attachButtonRecords();
    void connectCommands();
    void buildMenus();
    void buildOpenDataMenu();
    void buildPresetsMenu();
    void styleToolbarButtons();
    void centreOnDesktop();

    QVector<KindButton> kindButtons() const;
    void setButtonIcon(QToolButton* button, const char* icon, bool coloured);
    void setAllButtonsGrey(bool includingBuoy);
    void refreshButtonIcons();
    void centreOnFileArea();
    // Feeds the map's projector the current time step and repaints.
    void showCurrentStep(bool interpolate, float fraction);
    // Draws one animation frame, blended by fraction into the current
    // step, and waits for the next.
    void showAnimationFrame(float fraction);
    void reportUnreadable(const QString& path);
    // Runs the download dialog for record and opens the saved file; false
    // when nothing new is shown.
    bool fetchForecast(ToviForecastParameters* record);
    // The data-set button names the set a download really used.
    void showDataSetUsed();
    void rewindTo(int compound);
    // Shows a data-set action's name and icon on the data-set button and
    // the toolbar and map as that set needs them.
    void showDataSet(const QAction* dataSet, int resolution);
    // The data-set button's icon, text and tool tip.
    void showDataSetName(const QAction* dataSet, int resolution);
    // The data-set button's font, smaller when a line of its text would be cut.
    void fitDataSetButtonFont(const QString& text);
    QAction* dataSetAction(int resolution) const;
    // Shows the first kind that record asks for and the file holds.
    void showDownloadedKind(const ToviForecastParameters& record);
    void takeCommandRecord(const ToviForecastParameters& record);
    void takeAreaFromMap();
    static int columnLongitude(GeoProjector* projector, int x);
    static ToviForecastParameters* recordOf(QObject* source);
    qint64 elapsedMs() const;
    int stepDurationMs() const;

    QTimer animationTimer;
    PlayPanel* playPanel = nullptr;
    TimelineBar* timeline = nullptr;
    AnimationPace pace;
    qint64 animationStartNs = 0;
    int animationStartIndex = 0;
    int displayedFlags = 16;
    WeatherMap* map = nullptr;
    QVector<GeoProjector*> projectors;
    ToviForecastParameters request{};
    bool connected = false;
    GribFileHelper* helper = nullptr;
    bool forceDownload = true;

    QVector<ToviForecastParameters*> buttonRecords;
    // The record of the download command that is running; null between
    // commands, when the sender's record is used.
    ToviForecastParameters* commandRecord = nullptr;
    QMenu* connectionMenu = nullptr;
    QMenu* dataSetMenu = nullptr;
    QMenu* highResMenu = nullptr;
    QMenu* superResMenu = nullptr;
    QMenu* projectionMenu = nullptr;
    QMenu* presetsMenu = nullptr;
    QMenu* openDataMenu = nullptr;
    // The run each open-data source's last download fetched.
    QHash<int, QDateTime> openDataRuns;
    std::function<QDateTime()> utcNow;
    std::function<qint64()> monotonicNs;

    static Skyvane* pThis;
};

#endif
