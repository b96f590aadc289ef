// The interactive map in the middle of the main window, and the markers
// placed on it.  The map borrows a projector for all geometry and painting
// and turns the mouse into panning, zooming, its pop-up menu and marker
// actions.
#ifndef SKYVANE_WEATHERMAP_H
#define SKYVANE_WEATHERMAP_H

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

#include "CityNames.h"

class GeoProjector;
class GribFileHelper;
class MapMenu;
class QPainter;
class ValueReadout;

// A point of interest on the map; positions in microdegrees.  The screen
// position is written by every paint and used by the hit test.
class WeatherMarker {
public:
    WeatherMarker(int latMicro, int lonMicro);
    virtual ~WeatherMarker() = default;
    WeatherMarker(const WeatherMarker&) = delete;
    WeatherMarker& operator=(const WeatherMarker&) = delete;

    virtual bool canMove() { return false; }
    virtual int type() = 0;
    // data is the file helper of the map's projector (may be null).
    virtual void invoke(QWidget* parent, void* data) = 0;
    virtual void render(QPainter* painter, int x, int y);

    int screenX = 0;
    int screenY = 0;
    int latitude;
    int longitude;

protected:
    // A 10 x 10 pixel disc centred at (x, y), lit from its upper left:
    // a radial gradient through the three colours, outlined in black.
    static void renderDisc(QPainter* painter, int x, int y, QRgb light, QRgb middle, QRgb dark);
};

// A point the user asked a meteogram for.
class MeteoMarker : public WeatherMarker {
public:
    using WeatherMarker::WeatherMarker;
    bool canMove() override { return true; }
    int type() override { return 0; }
    void invoke(QWidget* parent, void* data) override;
};

class CityMarker : public WeatherMarker {
public:
    using WeatherMarker::WeatherMarker;
    int type() override { return 1; }
    void invoke(QWidget* parent, void* data) override;
};

class WeatherMap : public QWidget {
    Q_OBJECT
public:
    WeatherMap(QWidget* parent, GeoProjector* projector);
    ~WeatherMap() override;

    void setZoom(int zoom);
    void setDiameter(int diameter);
    int getZoom() const { return zoom; }
    int getDiameter() const { return diameter; }
    // Zooms one step in (+1) or out (-1) keeping the place under (x, y)
    // where it is; at the centre when (x, y) shows no place.  False at
    // the zoom limits.
    bool zoomAt(int x, int y, int direction);
    // Centres on the box (microdegrees) at the largest zoom at which it
    // fits in the map, or the smallest zoom when it fits at none.
    void fitBox(int southMicro, int westMicro, int northMicro, int eastMicro);
    // The new projector takes over the current view.
    void setProjection(GeoProjector* projector);
    GeoProjector* getProjector() const { return projector; }
    // Outlines a forecast coverage area and moves the map to its centre
    // (area 4 is outlined but the map stays).
    void setActiveArea(int area);
    int getActiveArea() const { return activeArea; }
    void addMarker(int latMicro, int lonMicro, int type);
    void cleanupMarkers(int type);
    WeatherMarker* getMarkerAt(int x, int y);
    const QList<WeatherMarker*>& getMarkers() const { return markers; }
    // Replaces the buoy markers with those of the document at path; an
    // empty path only removes them.  True when buoys were read.
    bool updateBuoyData(QString path);
    MapMenu* getMenu() const { return menu; }
    ValueReadout* getReadout() const { return readout; }

signals:
    void openGRIB();
    // A marker's dialog left the file at another time step.
    void timeStepChanged();

public slots:
    int zoomIn();
    int zoomOut();
    void pan(int dX, int dY);
    void emitOpenGRIB();
    void addMarkerClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The main window pauses the animation before any change of the view.
    void pauseWindowAnimation();
    void centreExactly(int latMicro, int lonMicro);
    bool boxFits(int southMicro, int westMicro, int northMicro, int eastMicro) const;
    void paintMarkers(QPainter& painter);
    void paintActiveArea(QPainter& painter);
    void centreOnPress();
    void invokeMarker(WeatherMarker* marker);
    void invokeAndShowStep(WeatherMarker* marker);
    // Runs a point dialog; the map then shows the step it was left at.
    void showStepAfter(const std::function<void(GribFileHelper*)>& dialog);
    void openCityDialog(const DrawnCity& city);
    // The read-out of the place and weather under the pointer.
    void showReadoutAt(QPoint at);
    void showMenuAtPress();

    int diameter;
    int zoom;
    MapMenu* menu;
    GeoProjector* projector;
    QList<WeatherMarker*> markers;
    bool dragging = false;
    bool moved = false;
    bool menuWasUp = false;
    bool markerPressed = false;
    // A press on a city drawn on the map opens its point dialog when it is
    // let go without a drag.
    bool cityPressed = false;
    DrawnCity pressedCity;
    int pressX = -1;
    int pressY = -1;
    int activeArea = 0;
    ValueReadout* readout;
    // Where the pointer is over the map; the read-out follows the step
    // shown there.
    QPoint pointer;
    bool pointerOver = false;
    // Wheel turns not yet making a whole step (trackpads send small ones).
    int wheelEighthDegrees = 0;
};

#endif
