// The panel a buoy marker opens: the station, its short description and
// its latest observation.  It shares the point dialog's form layout but
// only ever shows the values column.
#ifndef SKYVANE_BUOYDIALOG_H
#define SKYVANE_BUOYDIALOG_H

#include <QDialog>

#include "ui_BuoyDialog.h"

class BuoyMarker;

class BuoyDialog : public QDialog {
    Q_OBJECT
public:
    // marker is a BuoyMarker (not owned, may be null); latitude and
    // longitude in microdegrees.
    BuoyDialog(QWidget* parent, void* marker, int latitude, int longitude);

    // Fills the labels from the marker's description.
    void updateValues();
    // Switches between the values column and the whole form.
    void toggleMeteo();

    Ui_BuoyDialog ui;

protected:
    // Keeps the dialog centred over the map that opened it.
    void resizeEvent(QResizeEvent* event) override;

private:
    BuoyMarker* marker;
    int latitude;
    int longitude;
    // The form's width, the dialog's wide layout.
    int expandedWidth = 0;
};

#endif
