// An observing buoy on the map, read from one placemark of the buoy
// document (KML); a click opens its latest observation.
#ifndef SKYVANE_BUOYMARKER_H
#define SKYVANE_BUOYMARKER_H

#include "WeatherMap.h"

#include <QString>

class QXmlStreamReader;

class BuoyMarker : public WeatherMarker {
public:
    // A buoy read from a placemark starts at 0°, 0°.
    explicit BuoyMarker(int latMicro = 0, int lonMicro = 0);

    int type() override { return 2; }
    void invoke(QWidget* parent, void* data) override;
    void render(QPainter* painter, int x, int y) override;

    // Reads the placemark the reader has just entered, up to its end.
    // False when the document ends or breaks first.
    bool parse(QXmlStreamReader& reader);

    QString name;
    QString snippet;
    // Plain text, one observation item per line, each line ending in a
    // space.
    QString description;
};

// The description's markup turned into that plain text.
QString cleanBuoyDescription(QString html);

#endif
