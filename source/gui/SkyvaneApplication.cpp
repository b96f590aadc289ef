#include "SkyvaneApplication.h"

#include "Skyvane.h"

#include <QFile>
#include <QFileOpenEvent>

SkyvaneApplication::SkyvaneApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool SkyvaneApplication::event(QEvent* e)
{
    if (e->type() != QEvent::FileOpen)
        return QApplication::event(e);
    const QString path = static_cast<QFileOpenEvent*>(e)->file();
    if (mainWindow && QFile::exists(path)) {
        // A failure to open is the window's to report; nothing may escape
        // into the event loop.
        try {
            mainWindow->openGribFile(path);
        } catch (...) {
        }
    }
    return true;
}
