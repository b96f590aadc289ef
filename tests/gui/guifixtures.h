// Shared by the GUI tests: a private settings home, forecast files written
// by the stand-in server's own builder, and a watcher that reads and
// answers the message boxes a modal call opens.
#pragma once

#include "ForecastBuilder.h"
#include "MeteoType.h"
#include "SettingsFactory.h"
#include "SkyvaneApplication.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <type_traits>

namespace guifixtures {

// Points HOME and the configuration folder at a scratch directory; call
// before anything touches the settings store.
inline QString makeScratchHome(QTemporaryDir& dir)
{
    const QByteArray path = QFile::encodeName(dir.path());
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/config");
    qputenv("XDG_DATA_HOME", path + "/data");
    return dir.path();
}

// The settings file the store reads, written before the store opens it.
inline bool writeSettings(const QString& home, const QString& text)
{
    QDir().mkpath(home + "/config/skyvane.example");
    QFile file(home + "/config/skyvane.example/Skyvane.ini");
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

// A forecast of the stand-in server's synthetic atmosphere over the given
// area (millidegrees), written to path.
inline bool writeForecast(const QString& path, unsigned meteoType, int steps, int stepHours, int topMilli,
                          int leftMilli, int bottomMilli, int rightMilli, int resolution = 1)
{
    ForecastRequest request;
    request.meteoType = meteoType;
    request.resolution = resolution;
    request.timeStep = stepHours;
    request.stepsNumber = unsigned(steps);
    request.topMilli = topMilli;
    request.leftMilli = leftMilli;
    request.rightMilli = rightMilli;
    request.bottomMilli = bottomMilli;
    QByteArray grib;
    QString error;
    if (!ForecastBuilder(QDate(2024, 3, 10)).build(request, grib, error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(grib) == grib.size();
}

// What a message box said.
struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
};

// Watches for message boxes while a modal call runs, records each and
// closes it with the Enter key, as a user would.
class BoxWatcher : public QObject {
public:
    BoxWatcher()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { answer(); });
        timer.start();
    }
    QList<Box> boxes;

private:
    void answer()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == answered)
            return;
        answered = box;
        boxes.append({box->windowTitle(), box->text(), box->icon()});
        QTest::keyClick(box, Qt::Key_Enter);
    }
    QTimer timer;
    QPointer<QMessageBox> answered;
};

// Makes home the test's scratch home, the local zone at UTC+2 without
// summer time when fixedZone.  False when home could not be made.
inline bool enterScratchHome(QTemporaryDir& home, bool fixedZone)
{
    if (!home.isValid())
        return false;
    makeScratchHome(home);
    if (fixedZone)
        qputenv("TZ", "XST-2");
    return true;
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

// Runs a window test as the program would start: a scratch home whose
// settings hold the demo account on host, the local zone at UTC+2 without
// summer time when fixedZone, and no file named on the command line (the
// window reads the program's own arguments).  Test takes the home path
// when it wants it.
template <class Test>
int runWithDemoAccount(int argc, char** argv, const QString& host, bool fixedZone = true)
{
    QTemporaryDir home;
    if (!enterScratchHome(home, fixedZone))
        return 1;
    if (!writeSettings(home.path(), QStringLiteral("[Download]\nusername=demo\npassword=demo\nserver=%1\n").arg(host)))
        return 1;
    int appArgc = 1;
    SkyvaneApplication app(appArgc, argv);
    int result = 0;
    if constexpr (std::is_constructible_v<Test, QString>) {
        Test test(home.path());
        result = QTest::qExec(&test, argc, argv);
    } else {
        Test test;
        result = QTest::qExec(&test, argc, argv);
    }
    SettingsFactory::destroy();
    return result;
}

}  // namespace guifixtures
