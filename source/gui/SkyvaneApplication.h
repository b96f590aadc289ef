// The application object: hands the desktop's requests to open a document
// to the main window.
#ifndef SKYVANE_SKYVANEAPPLICATION_H
#define SKYVANE_SKYVANEAPPLICATION_H

#include <QApplication>

class Skyvane;

class SkyvaneApplication : public QApplication {
public:
    SkyvaneApplication(int& argc, char** argv);

    // Not owned; null until start-up has created the window.
    Skyvane* mainWindow = nullptr;

protected:
    bool event(QEvent* e) override;
};

#endif
