#include "WeatherMap.h"

#include "BuoyMarker.h"
#include "CoverageAreas.h"
#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "MapMenu.h"
#include "MeteoDialog.h"
#include "PointReadout.h"
#include "SettingsFactory.h"
#include "ValueReadout.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <algorithm>
#include <memory>

namespace {

constexpr int kPixelsPer180AtZoom1 = 1125;
constexpr int kMaxZoom = 64;

// Zooms come from the settings file and presets too, where a damaged
// value would overflow the diameter.
int clampZoom(int zoom)
{
    return std::clamp(zoom, 1, kMaxZoom);
}

// One notch of a mouse wheel, in eighths of a degree.
constexpr int kWheelStep = 120;
constexpr int kMaxCentreLatMicro = 80000000;

// A press this close to a marker, in each axis, hits it.
constexpr int kHitReach = 5;
constexpr int kHitMaxSquaredDistance = 50;

// Degrees to microdegrees the way the coverage table is converted.
int toMicro(double degrees)
{
    return static_cast<int>(static_cast<float>(degrees) * 1e6f);
}

// The point dialog, modal.  Without a loaded file it starts on the point
// forecast from the server.
void openPointDialog(QWidget* parent, void* data, int latMicro, int lonMicro, const QString& placeName = {})
{
    auto* helper = static_cast<GribFileHelper*>(data);
    MeteoDialog dialog(parent, helper && helper->isValid() ? helper : nullptr, latMicro, lonMicro);
    if (!placeName.isEmpty())
        dialog.setPlaceName(placeName);
    dialog.exec();
}

}  // namespace

WeatherMarker::WeatherMarker(int latMicro, int lonMicro)
    : latitude(latMicro)
    , longitude(lonMicro)
{
}

void WeatherMarker::render(QPainter* painter, int x, int y)
{
    renderDisc(painter, x, y, 0xFFFFDFAC, 0xFFFFA71B, 0xFFB06C00);
}

void WeatherMarker::renderDisc(QPainter* painter, int x, int y, QRgb light, QRgb middle, QRgb dark)
{
    QPen pen = painter->pen();
    pen.setWidthF(0.5);
    pen.setColor(QColor::fromRgba(0xFF000000));
    painter->setPen(pen);
    QRadialGradient gradient(QPointF(0.5, 0.5), 0.5, QPointF(0.3, 0.4));
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor::fromRgba(light));
    gradient.setColorAt(0.5, QColor::fromRgba(middle));
    gradient.setColorAt(1, QColor::fromRgba(dark));
    painter->setBrush(gradient);
    painter->drawEllipse(QRect(x - 5, y - 5, 10, 10));
}

void MeteoMarker::invoke(QWidget* parent, void* data)
{
    openPointDialog(parent, data, latitude, longitude);
}

void CityMarker::invoke(QWidget* parent, void* data)
{
    openPointDialog(parent, data, latitude, longitude);
}

WeatherMap::WeatherMap(QWidget* parent, GeoProjector* mapProjector)
    : QWidget(parent)
    , menu(new MapMenu(this))
    , projector(mapProjector)
    , readout(new ValueReadout(this))
{
    // The read-out follows the pointer without a button held.
    setMouseTracking(true);
    menu->hide();
    connect(menu, &MapMenu::zoomIn, this, &WeatherMap::zoomIn);
    connect(menu, &MapMenu::zoomOut, this, &WeatherMap::zoomOut);
    connect(menu, &MapMenu::openGRIB, this, &WeatherMap::emitOpenGRIB);
    connect(menu, &MapMenu::displayMeteo, this, &WeatherMap::addMarkerClicked);
    zoom = clampZoom(SettingsFactory::getHomeZoom());
    diameter = zoom * kPixelsPer180AtZoom1;
    // The map paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A press must not take the focus from the open menu before the map
    // has seen that the menu was up.
    setFocusPolicy(Qt::NoFocus);
    update();
}

WeatherMap::~WeatherMap()
{
    for (int i = markers.size() - 1; i >= 0; --i)
        delete markers[i];
}

void WeatherMap::setZoom(int z)
{
    zoom = clampZoom(z);
    diameter = zoom * kPixelsPer180AtZoom1;
    update();
}

void WeatherMap::setDiameter(int d)
{
    diameter = d;
    zoom = d / kPixelsPer180AtZoom1;
    update();
}

void WeatherMap::setProjection(GeoProjector* next)
{
    if (next == projector)
        return;
    next->update(width(), height(), diameter, projector->getCenterLat(), projector->getCenterLon());
    projector = next;
    update();
}

void WeatherMap::pan(int dX, int dY)
{
    projector->move(dX, dY);
    update();
}

void WeatherMap::setActiveArea(int area)
{
    activeArea = area;
    if (area != 4) {
        if (const CoverageArea* coverage = findCoverageArea(area))
            projector->goTo(toMicro(coverage->centreLat), toMicro(coverage->centreLon));
    }
    update();
}

void WeatherMap::addMarker(int latMicro, int lonMicro, int type)
{
    WeatherMarker* marker = nullptr;
    switch (type) {
    case 0: marker = new MeteoMarker(latMicro, lonMicro); break;
    case 1: marker = new CityMarker(latMicro, lonMicro); break;
    case 2: marker = new BuoyMarker(latMicro, lonMicro); break;
    default: return;
    }
    markers.append(marker);
    update();
    if (marker->type() == 0)
        invokeAndShowStep(marker);
}

void WeatherMap::cleanupMarkers(int type)
{
    for (int i = markers.size() - 1; i >= 0; --i) {
        if (markers[i]->type() == type)
            delete markers.takeAt(i);
    }
    update();
}

WeatherMarker* WeatherMap::getMarkerAt(int x, int y)
{
    WeatherMarker* best = nullptr;
    int bestDistance = kHitMaxSquaredDistance;
    for (int i = markers.size() - 1; i >= 0; --i) {
        WeatherMarker* marker = markers[i];
        // Markers near a pole of the Mercator map stand at the ends of
        // the int range.
        const long long dx = (long long)marker->screenX - x;
        const long long dy = (long long)marker->screenY - y;
        if (std::llabs(dx) > kHitReach || std::llabs(dy) > kHitReach)
            continue;
        const int distance = int(dx * dx + dy * dy);
        if (distance < bestDistance) {
            best = marker;
            bestDistance = distance;
        }
    }
    return best;
}

bool WeatherMap::updateBuoyData(QString path)
{
    cleanupMarkers(2);
    QFile file(path);
    if (path.isEmpty() || !file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    // The reader streams from the file and caps what one entity may expand
    // to, so a hostile document costs neither memory nor stack.
    QXmlStreamReader reader(&file);
    bool result = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"Placemark")
            continue;
        auto buoy = std::make_unique<BuoyMarker>();
        result = buoy->parse(reader);
        if (result)
            markers.append(buoy.release());
    }
    update();
    return result;
}

void WeatherMap::emitOpenGRIB()
{
    emit openGRIB();
}

void WeatherMap::addMarkerClicked()
{
    int lat = 0;
    int lon = 0;
    if (!projector->screen2Geo(pressX, pressY, lat, lon)) {
        lat = 0;
        lon = 0;
    }
    addMarker(lat, lon, 0);
}

int WeatherMap::zoomIn()
{
    if (menu->isVisible())
        centreOnPress();
    setFocus();
    if (zoom >= kMaxZoom)
        return zoom;
    setZoom(zoom * 2);
    return zoom;
}

int WeatherMap::zoomOut()
{
    if (menu->isVisible())
        centreOnPress();
    setFocus();
    if (zoom < 2)
        return zoom;
    setZoom(zoom / 2);
    return zoom;
}

bool WeatherMap::zoomAt(int x, int y, int direction)
{
    const int next = direction > 0 ? zoom * 2 : zoom / 2;
    if (next < 1 || next > kMaxZoom)
        return false;
    // The widget may have changed size since the last paint.
    projector->update(width(), height(), diameter);
    int latMicro = 0;
    int lonMicro = 0;
    if (!projector->screen2Geo(x, y, latMicro, lonMicro)) {
        x = width() >> 1;
        y = height() >> 1;
        latMicro = projector->getCenterLat();
        lonMicro = projector->getCenterLon();
    }
    // The place goes to the centre, the zoom changes, and the map is moved
    // so that the place comes back under (x, y).  Not rounded to 0.01° as
    // a pan is: at the largest zooms that would be several pixels.
    centreExactly(latMicro, lonMicro);
    setZoom(next);
    projector->update(width(), height(), diameter);
    if (projector->screen2Geo(2 * (width() >> 1) - x, 2 * (height() >> 1) - y, latMicro, lonMicro))
        centreExactly(latMicro, lonMicro);
    return true;
}

void WeatherMap::centreExactly(int latMicro, int lonMicro)
{
    latMicro = std::clamp(latMicro, -kMaxCentreLatMicro, kMaxCentreLatMicro);
    projector->update(width(), height(), diameter, latMicro, lonMicro);
    update();
}

void WeatherMap::fitBox(int southMicro, int westMicro, int northMicro, int eastMicro)
{
    int fitting = 1;
    for (int candidate = kMaxZoom; candidate > 1; candidate /= 2) {
        projector->update(width(), height(), candidate * kPixelsPer180AtZoom1);
        if (boxFits(southMicro, westMicro, northMicro, eastMicro)) {
            fitting = candidate;
            break;
        }
    }
    setZoom(fitting);
    projector->update(width(), height(), diameter);
}

bool WeatherMap::boxFits(int southMicro, int westMicro, int northMicro, int eastMicro) const
{
    // The map shows no more than 80° north and south.
    const int north = std::min(std::max(northMicro, southMicro), kMaxCentreLatMicro);
    const int south = std::max(std::min(northMicro, southMicro), -kMaxCentreLatMicro);
    int left = 0, top = 0, right = 0, bottom = 0;
    projector->geo2Screen(north, westMicro, left, top);
    projector->geo2Screen(south, eastMicro, right, bottom);
    return std::min(left, right) >= 0 && std::max(left, right) < width() && top >= 0 && bottom < height();
}

void WeatherMap::wheelEvent(QWheelEvent* event)
{
    const int turned = event->angleDelta().y();
    event->accept();
    if (turned == 0)
        return;
    pauseWindowAnimation();
    menu->hide();
    // A turn back starts afresh rather than paying off what was left.
    if ((wheelEighthDegrees > 0) != (turned > 0))
        wheelEighthDegrees = 0;
    wheelEighthDegrees += turned;
    const QPoint at = event->position().toPoint();
    while (std::abs(wheelEighthDegrees) >= kWheelStep) {
        const int direction = wheelEighthDegrees > 0 ? 1 : -1;
        wheelEighthDegrees -= direction * kWheelStep;
        if (!zoomAt(at.x(), at.y(), direction))
            wheelEighthDegrees = 0;
    }
}

void WeatherMap::centreOnPress()
{
    projector->move((width() >> 1) - pressX, (height() >> 1) - pressY);
    update();
}

void WeatherMap::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (width() < 1 || height() < 1)
        return;
    projector->update(width(), height(), diameter);
    projector->render(painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    paintMarkers(painter);
    paintActiveArea(painter);
    // The step or the view may have changed under a still pointer.
    if (pointerOver)
        showReadoutAt(pointer);
}

void WeatherMap::paintMarkers(QPainter& painter)
{
    for (int i = markers.size() - 1; i >= 0; --i) {
        WeatherMarker* marker = markers[i];
        int x = 0;
        int y = 0;
        projector->geo2Screen(marker->latitude, marker->longitude, x, y);
        marker->render(&painter, x, y);
        marker->screenX = x;
        marker->screenY = y;
    }
}

void WeatherMap::paintActiveArea(QPainter& painter)
{
    const CoverageArea* coverage = findCoverageArea(activeArea);
    if (!coverage || coverage->pointCount < 1)
        return;
    painter.setPen(Qt::green);
    QPoint previous;
    QPoint first;
    for (int i = 0; i < coverage->pointCount; ++i) {
        int x = 0;
        int y = 0;
        projector->geo2Screen(toMicro(coverage->points[i][0]), toMicro(coverage->points[i][1]), x, y);
        const QPoint vertex(x, y);
        if (i == 0)
            first = vertex;
        else
            painter.drawLine(previous, vertex);
        previous = vertex;
    }
    painter.drawLine(previous, first);
}

void WeatherMap::invokeMarker(WeatherMarker* marker)
{
    menuWasUp = true;
    dragging = false;
    menu->hide();
    invokeAndShowStep(marker);
    menuWasUp = false;
}

// The point dialog's slider moves the file's time step: the map shows the
// step it was left at.
void WeatherMap::invokeAndShowStep(WeatherMarker* marker)
{
    showStepAfter([this, marker](GribFileHelper* helper) { marker->invoke(this, helper); });
}

void WeatherMap::showStepAfter(const std::function<void(GribFileHelper*)>& dialog)
{
    GribFileHelper* helper = projector->getHelper();
    const int step = helper ? helper->currentCompoundNum() : 0;
    dialog(helper);
    if (helper && helper->isValid() && helper->currentCompoundNum() != step)
        emit timeStepChanged();
}

void WeatherMap::openCityDialog(const DrawnCity& city)
{
    showStepAfter([this, &city](GribFileHelper* helper) {
        openPointDialog(this, helper, city.latMicro, city.lonMicro, city.name);
    });
}

void WeatherMap::mousePressEvent(QMouseEvent* event)
{
    pauseWindowAnimation();
    const QPoint position = event->position().toPoint();
    WeatherMarker* marker = getMarkerAt(position.x(), position.y());
    markerPressed = marker && !menuWasUp;
    if (markerPressed) {
        invokeMarker(marker);
    } else {
        menuWasUp = menu->isVisible();
        cityPressed = projector->drawnCityAt(position.x(), position.y(), pressedCity);
        dragging = true;
        menu->hide();
    }
    pressX = position.x();
    pressY = position.y();
}

void WeatherMap::pauseWindowAnimation()
{
    QWidget* top = window();
    if (top->metaObject()->indexOfSlot("pauseAnimation()") >= 0)
        QMetaObject::invokeMethod(top, "pauseAnimation", Qt::DirectConnection);
}

void WeatherMap::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    pointer = position;
    pointerOver = true;
    if (dragging && (position.x() != pressX || position.y() != pressY)) {
        moved = true;
        projector->move(position.x() - pressX, position.y() - pressY);
        update();
        pressX = position.x();
        pressY = position.y();
    }
    showReadoutAt(position);
}

void WeatherMap::leaveEvent(QEvent* event)
{
    pointerOver = false;
    readout->hide();
    QWidget::leaveEvent(event);
}

void WeatherMap::showReadoutAt(QPoint at)
{
    GribFileHelper* helper = projector->getHelper();
    if (helper && helper->isValid()) {
        readout->showReading(PointReadout::at(*projector, *helper, at.x(), at.y()));
        return;
    }
    PointReadout::Reading reading;
    int latMicro = 0;
    int lonMicro = 0;
    if (projector->screen2Geo(at.x(), at.y(), latMicro, lonMicro))
        reading.position = PointReadout::positionText(latMicro, lonMicro);
    readout->showReading(reading);
}

void WeatherMap::mouseReleaseEvent(QMouseEvent*)
{
    // A press that invoked a marker is not a click on the map.
    const bool clicked = !moved && !menuWasUp && !markerPressed;
    const bool onCity = cityPressed;
    markerPressed = false;
    cityPressed = false;
    dragging = false;
    moved = false;
    menuWasUp = false;
    if (clicked && onCity)
        openCityDialog(pressedCity);
    else if (clicked)
        showMenuAtPress();
}

void WeatherMap::showMenuAtPress()
{
    const int left = std::min(std::max(pressX - menu->width() / 2, 0), width() - menu->width());
    const int top = std::min(height() - menu->height(), std::max(pressY - menu->height() / 2, 0));
    menu->move(left, top);
    menu->raise();
    menu->show();
    menu->setFocus();
}

void WeatherMap::mouseDoubleClickEvent(QMouseEvent* event)
{
    projector->move((width() >> 1) - pressX, (height() >> 1) - pressY);
    update();
    QWidget::mouseDoubleClickEvent(event);
}

void WeatherMap::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SettingsFactory::setMapSize(size());
    readout->placeInCorner();
}
