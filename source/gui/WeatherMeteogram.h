// The meteogram of one point: the whole forecast of a file as time series
// in bands, a header of hours and days, wind speed with arrows, the
// temperature and pressure curves with precipitation bars, and waves.
#ifndef SKYVANE_WEATHERMETEOGRAM_H
#define SKYVANE_WEATHERMETEOGRAM_H

#include "Meteogram.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QWidget>

#include <array>
#include <memory>

class ColourScale;
class CompoundMsg;
class GribFileHelper;
class QPainter;

// Which series a record holds; also its index among the records.
enum MeteogramType {
    mgWind = 0,
    mgPressure = 1,
    mgPrecipitation = 2,
    mgTemperature = 3,
    mgWaves = 4
};

// Which side of the plot an axis is drawn on.
enum AnnotationPos {
    apLeft = 1,
    apRight = 2
};

class WeatherMeteogram : public QWidget {
    Q_OBJECT
public:
    // lat and lon in microdegrees.
    WeatherMeteogram(QWidget* parent, int width, int height, int lat, int lon, GribFileHelper* helper);
    ~WeatherMeteogram() override;

    // Another file and/or point: rebuilds the series and repaints.
    void updateData(GribFileHelper* helper, int lat, int lon);
    // Reads every time step's values at the point (degrees).
    void createMeteogram(float lat, float lon);

    bool windExist() const;
    bool pressExist() const;
    bool precipExist() const;
    bool tempExist() const;
    bool swellExist() const;

    // The series of one kind; null before a file has been read.
    const Meteogram* record(MeteogramType type) const { return records[type].get(); }
    int getPlotWidth() const { return plotWidth; }
    // Width of one time step's column.
    float columnWidth() const;

    void drawDateTimeMeteogram(QPainter* painter);
    void drawWindMeteogram(QPainter* painter, int top, int height, Meteogram* record, QColor text, QColor arrow);
    void drawSwellMeteogram(QPainter* painter, int top, int height, Meteogram* record, QColor text, QColor arrow);
    void drawMeteogram(QPainter* painter, int top, int height, Meteogram* record, QColor line, QColor marker);
    void drawCurvePlot(QPainter* painter, Meteogram* record, QColor line, QColor marker, float hoursPerPixel,
                       float valuePerPixel, bool markers, float (*transform)(float));
    void drawBarPlot(QPainter* painter, int top, int height, Meteogram* record, QColor colour);
    void drawVerticalAnnotation(MeteogramType type, Meteogram* record, QPainter* painter, int top, int height,
                                QColor colour, AnnotationPos position, bool grid);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool contains(unsigned gct, MeteogramType type) const;
    int steps() const;
    // Whether step i gets a label and an arrow: all do in wide columns,
    // only the even ones in narrow columns.
    bool labelled(int step) const;
    void allocateRecords(int count, float hoursPerStep);
    struct Extremes;
    void readStep(const CompoundMsg& compound, int step, float lat, float lon, Extremes& extremes);
    void setAxes(const Extremes& extremes);
    void paintBandSeparators(QPainter& painter);
    void paintSingleStepHint(QPainter& painter);
    void fillCells(QPainter* painter, const Meteogram* record, const ColourScale& scale, float cellTop,
                   float cellHeight);
    void beginSymbolBand(QPainter* painter, int top, int height, QColor text);
    static void setArrowStyle(QPainter* painter, QColor arrow);
    static void drawArrow(QPainter* painter, float x, float y, float degrees);

    QImage image;
    GribFileHelper* helper = nullptr;
    std::array<std::unique_ptr<Meteogram>, 5> records;
    float latitude = 0.0f;
    float longitude = 0.0f;
    int plotWidth = 0;
    // Valid time of the file's first step, UTC.
    QDateTime startTime;
};

#endif
