// The land polygons of a TopoJSON topology (as Natural Earth's land-10m.json
// in the npm package world-atlas carries them), made ready for a planar
// fill in longitude/latitude degrees.
#ifndef SKYVANE_TOPOJSONLAND_H
#define SKYVANE_TOPOJSONLAND_H

#include <QString>

#include <vector>

struct GeoPoint {
    double lon;
    double lat;
};

// A closed ring, its first point not repeated at the end.  Longitudes are
// continuous along the ring: where the source jumps across ±180° the rest
// of the ring is shifted by 360°, so a ring may reach beyond ±180°.  A ring
// round a pole is closed along that pole.
using GeoRing = std::vector<GeoPoint>;

// The outer ring first, then its holes.
struct LandPolygon {
    std::vector<GeoRing> rings;
    double minLon = 0;
    double maxLon = 0;
};

// Reads every polygon of the named object (all objects when the name is
// empty); false with the reason on a file that is no such topology.
bool readTopoJsonLand(const QString& path, const QString& objectName, std::vector<LandPolygon>& polygons,
                      QString* error);

// Makes a ring's longitudes continuous and closes a ring that goes round a
// pole; exposed for the tests.
void unwrapRing(GeoRing& ring);

#endif
