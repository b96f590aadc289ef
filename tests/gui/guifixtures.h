// Shared by the GUI tests: a private settings home, forecast files written
// by the stand-in server's own builder, the stand-in server and the main
// window, and handlers that act on the modal windows a call opens.
#pragma once

#include "ForecastBuilder.h"
#include "MeteoType.h"
#include "SettingsFactory.h"
#include "Skyvane.h"
#include "SkyvaneApplication.h"
#include "servicefixtures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace guifixtures {

// Makes home the test's scratch home (HOME and the configuration and data
// folders), the local zone at UTC+2 without summer time when fixedZone;
// call before anything touches the settings store.  False when home could
// not be made.
inline bool enterScratchHome(QTemporaryDir& home, bool fixedZone)
{
    if (!home.isValid())
        return false;
    const QByteArray path = QFile::encodeName(home.path());
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/config");
    qputenv("XDG_DATA_HOME", path + "/data");
    if (fixedZone)
        qputenv("TZ", "XST-2");
    return true;
}

// A forecast of the stand-in server's synthetic atmosphere over Biscay
// (50..40 N, 10 W..0) on the 1-degree set, written to path.
inline bool writeForecast(const QString& path, unsigned meteoType, int steps, int stepHours)
{
    const ForecastRequest request{meteoType, 1, 0, 0, stepHours, unsigned(steps), 50000, -10000, 0, 40000};
    QByteArray grib;
    QString error;
    if (!ForecastBuilder(QDate(2024, 3, 10)).build(request, grib, error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(grib) == grib.size();
}

// Acts on each modal window of type Dialog that opens while a modal call
// runs, from inside its event loop; act returns false to be called again
// on the same window at the next poll.
template <class Dialog>
class OnModal : public QObject {
public:
    explicit OnModal(std::function<bool(Dialog*)> act, int everyMs = 20) : act(std::move(act))
    {
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start(everyMs);
    }
    int handled = 0;

private:
    void poll()
    {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (busy || !dialog || dialog == done)
            return;
        busy = true;
        if (act(dialog)) {
            done = dialog;
            ++handled;
        }
        busy = false;
    }
    std::function<bool(Dialog*)> act;
    QTimer timer;
    QPointer<Dialog> done;
    bool busy = false;
};

// Records the title and text of each message box a modal call opens and
// closes it with the Enter key, as a user would.
class BoxWatcher {
public:
    QStringList titles;
    QStringList texts;

private:
    OnModal<QMessageBox> watcher{[this](QMessageBox* box) {
        titles << box->windowTitle();
        texts << box->text();
        QTest::keyClick(box, Qt::Key_Enter);
        return true;
    }};
};

// The stand-in server on host:30080, the port the settings always name.
inline std::unique_ptr<StandInServer> serverOnSettingsPort(const char* host, const QStringList& options = {})
{
    return std::make_unique<StandInServer>(QStringList{"--host", host, "--port", "30080"} + options);
}

// Skips the test when another process holds the server's address, fails
// when the server did not start for another reason.
#define GUI_REQUIRE_SERVER(server)                                                   \
    do {                                                                             \
        if (!(server)->running()) {                                                  \
            if ((server)->log().contains("cannot listen"))                           \
                QSKIP("the server's address is taken; the settings name port 30080"); \
            QFAIL((server)->log().constData());                                      \
        }                                                                            \
    } while (false)

// The main window as the program makes it, shown and logged in.
inline void showMainWindow(Skyvane*& window)
{
    window = Skyvane::instance();
    static_cast<SkyvaneApplication*>(qApp)->mainWindow = window;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY_WITH_TIMEOUT(window->isConnected(), 10000);
}

// Deletes the main window as the program's end does (it saves the view).
inline void closeMainWindow(Skyvane*& window)
{
    static_cast<SkyvaneApplication*>(qApp)->mainWindow = nullptr;
    Skyvane::destroyInstance();
    window = nullptr;
}

// Runs a widget test in a scratch home, the local zone at UTC+2 without
// summer time when fixedZone.
template <class Test>
int runInScratchHome(int argc, char** argv, bool fixedZone = false)
{
    QTemporaryDir home;
    if (!enterScratchHome(home, fixedZone))
        return 1;
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

// The settings file the store reads, with the demo account on host,
// written into the scratch home before the store opens it.
inline bool writeDemoSettings(const QTemporaryDir& home, const QString& host)
{
    if (!QDir().mkpath(home.path() + "/config/skyvane.example"))
        return false;
    QFile settings(home.path() + "/config/skyvane.example/Skyvane.ini");
    const QByteArray text = QStringLiteral("[Download]\nusername=demo\npassword=demo\nserver=%1\n").arg(host).toUtf8();
    return settings.open(QIODevice::WriteOnly) && settings.write(text) == text.size();
}

// Runs a window test as the program would start: a scratch home whose
// settings hold the demo account on host, the local zone at UTC+2 without
// summer time when fixedZone, and no file named on the command line (the
// window reads the program's own arguments).
template <class Test>
int runWithDemoAccount(int argc, char** argv, const QString& host, bool fixedZone = true)
{
    QTemporaryDir home;
    if (!enterScratchHome(home, fixedZone) || !writeDemoSettings(home, host))
        return 1;
    int appArgc = 1;
    SkyvaneApplication app(appArgc, argv);
    int result = 0;
    {
        Test test;
        result = QTest::qExec(&test, argc, argv);
    }
    SettingsFactory::destroy();
    return result;
}

}  // namespace guifixtures
