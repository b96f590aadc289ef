// The ring-shaped pop-up menu the map shows where the user clicks: zoom in,
// zoom out, add a meteo marker, open a saved file.
#ifndef SKYVANE_MAPMENU_H
#define SKYVANE_MAPMENU_H

#include <QWidget>

#include "ui_MapMenu.h"

class MapMenu : public QWidget {
    Q_OBJECT
public:
    explicit MapMenu(QWidget* parent = nullptr);

    Ui_MapMenu ui;

signals:
    void zoomIn();
    void zoomOut();
    void openGRIB();
    void displayMeteo();

public slots:
    // Each emits its signal while the menu is still visible (the map
    // zooms at the clicked point only then), then hides the menu.
    void emitZoomIn();
    void emitZoomOut();
    void showMeteo();
    void emitOpenGRIB();

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

#endif
