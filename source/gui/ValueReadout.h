// The small read-out at the map's bottom-left corner: the position under
// the pointer and the weather there at the shown time step.  It lets the
// pointer through to the map.
#ifndef SKYVANE_VALUEREADOUT_H
#define SKYVANE_VALUEREADOUT_H

#include <QLabel>

#include "PointReadout.h"

class ValueReadout : public QLabel {
    Q_OBJECT
public:
    explicit ValueReadout(QWidget* map);

    void showReading(const PointReadout::Reading& reading);
    // Keeps to the corner of the map as its size changes.
    void placeInCorner();
};

#endif
