// Skyvane: a viewer for GRIB weather forecasts of either edition.
#include "CustomStyle.h"
#include "SettingsFactory.h"
#include "Skyvane.h"
#include "SkyvaneApplication.h"

#include <QIcon>
#include <QPixmap>
#include <QSocketNotifier>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop reads it.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

// Ctrl-C or a termination request ends the event loop the normal way, so
// that the window still saves the home view.
void quitOnTerminationSignals(QApplication& application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[1], &byte, 1);
        notifier->setEnabled(false);
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    SkyvaneApplication application(argc, argv);
    QApplication::setStyle(new CustomStyle());
    QApplication::setWindowIcon(QIcon(QPixmap(QStringLiteral(":/Skyvane/Resources/Skyvane.bmp"))));
    quitOnTerminationSignals(application);
    // The window's constructor reads the presets and the home view.
    SettingsFactory::login();
    application.mainWindow = Skyvane::instance();
    application.mainWindow->setVisible(true);
    const int result = QApplication::exec();
    application.mainWindow = nullptr;
    Skyvane::destroyInstance();
    SettingsFactory::destroy();
    return result;
}
