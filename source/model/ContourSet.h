// Isolines of one grid field as straight segments in degrees, by level,
// after the CONREC contouring algorithm (four triangles per grid cell).
#ifndef SKYVANE_CONTOURSET_H
#define SKYVANE_CONTOURSET_H

#include <QPointF>

#include <map>
#include <vector>

class GribMsg;

class ContourSet {
public:
    // Points 2k and 2k + 1 of a level are the ends of one segment; x is a
    // longitude, y a latitude.  Only levels with a segment are present.
    using Map = std::map<float, std::vector<QPointF>>;

    // Replaces the content by the isolines of msg at min, min + step, …
    // up to max.  Levels are contoured as level + 0.0001.
    void analyze(const GribMsg& msg, float min, float max, float step);
    // The contouring core over d[ilb..iub][jlb..jub] (row length jub + 1);
    // x holds the row coordinates, y the column ones, z the nc ascending
    // levels.
    void findContours(const float* d, int ilb, int iub, int jlb, int jub,
                      const float* x, const float* y, int nc, const float* z);
    void addVertex(double x1, double y1, double x2, double y2, double z);
    void clear() { contours.clear(); }
    int contourNum() const { return static_cast<int>(contours.size()); }
    const Map& getContours() const { return contours; }

private:
    Map contours;
};

#endif
