// Skyvane: a viewer for GRIB edition 1 weather forecasts.
#include "CustomStyle.h"
#include "SettingsFactory.h"
#include "Skyvane.h"
#include "SkyvaneApplication.h"

#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv)
{
    SkyvaneApplication application(argc, argv);
    QApplication::setStyle(new CustomStyle());
    QApplication::setWindowIcon(QIcon(QPixmap(QStringLiteral(":/Skyvane/Resources/Skyvane.bmp"))));
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
