// The program's settings: the forecast account, the map's home view and the
// named forecast presets, kept in an INI file in the user's configuration
// folder ($XDG_CONFIG_HOME/skyvane.example/Skyvane.ini), together with the
// shared map data.  One store per process, created by the first call that
// needs it.
//
// The file holds the account password in plain text: its folder is kept
// at mode 0700 and the file at 0600.
//
// Threads: there is no lock.  Worker threads may call login(), password(),
// server() and getMyDocumentsPath() while the GUI thread waits for them;
// everything else, and the first call that creates the store, belongs to
// the GUI thread.
#ifndef SKYVANE_SETTINGSFACTORY_H
#define SKYVANE_SETTINGSFACTORY_H

#include <QMap>
#include <QPointF>
#include <QSize>
#include <QString>

#include "ToviForecastParameters.h"

class QSettings;
class SharedData;

class SettingsFactory {
public:
    // Download/username and Download/password, empty by default.
    static QString login();
    static QString password();
    // "http://" + Download/server (default Provider::defaultServerHost)
    // + ":" + Provider::servicePort.  The program never writes the host.
    static QString server();
    static void setAccount(QString login, QString password);

    // Key of group, or defaultValue when the key is absent.
    static QString getParameter(const char* group, const char* key, const char* defaultValue);

    // Map/"home lon" as x and Map/"home lat" as y, in degrees (default
    // -3, 53); Map/"home zoom" (default 8).
    static QPointF getHome();
    static int getHomeZoom();
    static void setHome(const QPointF& home, int zoom);

    // Animation/speed: how many times faster than one second per forecast
    // hour the animation plays, 1, 2, 4 or 8 (anything else reads as 1);
    // Animation/loop: whether it starts again after the last step.
    static int getAnimationSpeed();
    static bool getAnimationLoop();
    static void setAnimation(int speed, bool loop);

    // Documents/skyvane.example/Skyvane/, created when missing; ends with
    // "/".  Does not open the store.
    static QString getMyDocumentsPath();
    // The cache of open-data step files, shared by the window and the
    // tools: ~/.cache/skyvane.example/Skyvane/opendata/, created when
    // missing; ends with "/".  Does not open the store.
    static QString getOpenDataCachePath();

    // Presets, ordered by name.
    //
    // Ownership: a record handed to savePreset, or created while loading,
    // belongs to the store while it is stored under at least one name, and
    // the store deletes it when it is destroyed.  getPreset lends the
    // stored pointer.  A record that savePreset replaces or deletePreset
    // removes is not freed: it goes back to whoever holds it, as callers
    // may still be using it.
    static int presetsCount();
    // The index-th preset in name order; false for an index outside
    // 0 .. presetsCount() - 1.
    static bool getPreset(int index, QString& name, ToviForecastParameters** parameters);
    // Stores parameters under name (replacing the pointer stored there)
    // and rewrites the Favourites group.
    static bool savePreset(QString name, ToviForecastParameters* parameters);
    // Removes name, if stored, and rewrites the Favourites group.
    static bool deletePreset(QString name);

    // The preset text: "name=...;resolution=...;" and so on, then the
    // width and height the map widget last reported, and for an open-data
    // source "source=<id>;".  parameters must not be null.
    static QString preset2String(QString name, ToviForecastParameters* parameters);
    // Reads the preset text into name and *parameters.  A key that is
    // missing leaves name and the forecast fields as they are, and sets
    // centerLat and centerLon to 0 and zoom to 8; width and height are
    // ignored.  A known source id sets the resolution to that source's
    // code; an unknown one leaves the line's.  False only for a null
    // record.
    static bool string2Preset(QString text, QString& name, ToviForecastParameters** parameters);

    // Registers the preset for daily e-mail delivery with the stored
    // account; true when the forecast service accepted it.  Blocks for the
    // call.
    static bool addPreset(QString name, int daysActive, ToviForecastParameters* parameters);

    // The map widget reports its size here on every resize (0 x 0 until
    // then): preset texts carry it.
    static void setMapSize(const QSize& size);

    // The land masks, cities and coverage areas every view shares.
    static SharedData* getSharedData();

    // Deletes the store, flushing the file; the next call opens it again.
    // The application calls it at exit.
    static void destroy();

    ~SettingsFactory();
    SettingsFactory(const SettingsFactory&) = delete;
    SettingsFactory& operator=(const SettingsFactory&) = delete;

private:
    SettingsFactory();
    static SettingsFactory* instance();

    void loadPresets();
    void writePresets();
    // Flushes the file and keeps it private to the user.
    void commit();

    static SettingsFactory* pThis;
    static QSize mapSize;

    QSettings* settings;
    SharedData* sharedData;
    QMap<QString, ToviForecastParameters*> presets;
};

#endif
