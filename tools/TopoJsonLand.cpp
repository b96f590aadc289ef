#include "TopoJsonLand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

struct Topology {
    std::vector<std::vector<GeoPoint>> arcs;
};

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

// Arcs in degrees; quantised arcs are delta-encoded integers.
bool decodeArcs(const QJsonObject& root, Topology& topology, QString* error)
{
    double scaleX = 1, scaleY = 1, translateX = 0, translateY = 0;
    const bool quantised = root.contains(QStringLiteral("transform"));
    if (quantised) {
        const QJsonObject transform = root.value(QStringLiteral("transform")).toObject();
        const QJsonArray scale = transform.value(QStringLiteral("scale")).toArray();
        const QJsonArray translate = transform.value(QStringLiteral("translate")).toArray();
        if (scale.size() != 2 || translate.size() != 2)
            return fail(error, QStringLiteral("malformed transform"));
        scaleX = scale[0].toDouble();
        scaleY = scale[1].toDouble();
        translateX = translate[0].toDouble();
        translateY = translate[1].toDouble();
    }
    const QJsonArray arcs = root.value(QStringLiteral("arcs")).toArray();
    topology.arcs.reserve(size_t(arcs.size()));
    for (const QJsonValue& arcValue : arcs) {
        const QJsonArray arc = arcValue.toArray();
        std::vector<GeoPoint> points;
        points.reserve(size_t(arc.size()));
        double x = 0, y = 0;
        for (const QJsonValue& positionValue : arc) {
            const QJsonArray position = positionValue.toArray();
            if (position.size() < 2 || !position[0].isDouble() || !position[1].isDouble())
                return fail(error, QStringLiteral("malformed arc position"));
            if (quantised) {
                x += position[0].toDouble();
                y += position[1].toDouble();
                points.push_back({x * scaleX + translateX, y * scaleY + translateY});
            } else {
                points.push_back({position[0].toDouble(), position[1].toDouble()});
            }
        }
        topology.arcs.push_back(std::move(points));
    }
    return true;
}

// A ring from its arcs; a negative index ~i is arc i backwards.  Each arc
// after the first repeats the previous one's last point.
bool buildRing(const Topology& topology, const QJsonArray& arcIndexes, GeoRing& ring, QString* error)
{
    ring.clear();
    for (const QJsonValue& value : arcIndexes) {
        if (!value.isDouble())
            return fail(error, QStringLiteral("malformed arc index"));
        const long long index = static_cast<long long>(value.toDouble());
        const long long arcIndex = index < 0 ? ~index : index;
        if (arcIndex < 0 || arcIndex >= static_cast<long long>(topology.arcs.size()))
            return fail(error, QStringLiteral("arc index %1 out of range").arg(index));
        std::vector<GeoPoint> arc = topology.arcs[size_t(arcIndex)];
        if (index < 0)
            std::reverse(arc.begin(), arc.end());
        const size_t skip = ring.empty() ? 0 : 1;
        if (arc.size() > skip)
            ring.insert(ring.end(), arc.begin() + long(skip), arc.end());
    }
    if (ring.size() > 1 && ring.front().lon == ring.back().lon && ring.front().lat == ring.back().lat)
        ring.pop_back();
    return true;
}

bool addPolygon(const Topology& topology, const QJsonArray& ringsValue, std::vector<LandPolygon>& polygons,
                QString* error)
{
    LandPolygon polygon;
    for (const QJsonValue& ringValue : ringsValue) {
        GeoRing ring;
        if (!buildRing(topology, ringValue.toArray(), ring, error))
            return false;
        unwrapRing(ring);
        if (ring.size() >= 3)
            polygon.rings.push_back(std::move(ring));
    }
    if (polygon.rings.empty())
        return true;
    polygon.minLon = polygon.maxLon = polygon.rings.front().front().lon;
    for (const GeoRing& ring : polygon.rings) {
        for (const GeoPoint& point : ring) {
            polygon.minLon = std::min(polygon.minLon, point.lon);
            polygon.maxLon = std::max(polygon.maxLon, point.lon);
        }
    }
    polygons.push_back(std::move(polygon));
    return true;
}

bool addGeometry(const Topology& topology, const QJsonObject& geometry, std::vector<LandPolygon>& polygons,
                 QString* error)
{
    const QString type = geometry.value(QStringLiteral("type")).toString();
    const QJsonArray arcs = geometry.value(QStringLiteral("arcs")).toArray();
    if (type == QLatin1String("GeometryCollection")) {
        for (const QJsonValue& member : geometry.value(QStringLiteral("geometries")).toArray()) {
            if (!addGeometry(topology, member.toObject(), polygons, error))
                return false;
        }
        return true;
    }
    if (type == QLatin1String("Polygon"))
        return addPolygon(topology, arcs, polygons, error);
    if (type == QLatin1String("MultiPolygon")) {
        for (const QJsonValue& polygon : arcs) {
            if (!addPolygon(topology, polygon.toArray(), polygons, error))
                return false;
        }
    }
    return true;  // points and lines hold no land
}

}  // namespace

void unwrapRing(GeoRing& ring)
{
    if (ring.size() < 2)
        return;
    double shift = 0;
    for (size_t k = 1; k < ring.size(); ++k) {
        const double step = ring[k].lon + shift - ring[k - 1].lon;
        if (step > 180)
            shift -= 360;
        else if (step < -180)
            shift += 360;
        ring[k].lon += shift;
    }
    // The closing edge may jump as well.  A ring whose longitudes do not
    // come back goes round a pole: its closing edge is taken the short way,
    // to the start 360° on, then down to the pole and back along it.
    const double closing = ring.front().lon - ring.back().lon;
    if (std::fabs(closing) <= 180)
        return;
    double latSum = 0;
    for (const GeoPoint& point : ring)
        latSum += point.lat;
    const double pole = latSum < 0 ? -90 : 90;
    const GeoPoint start = ring.front();
    const double turnedLon = start.lon + (closing > 0 ? -360 : 360);
    ring.push_back({turnedLon, start.lat});
    ring.push_back({turnedLon, pole});
    ring.push_back({start.lon, pole});
}

bool readTopoJsonLand(const QString& path, const QString& objectName, std::vector<LandPolygon>& polygons,
                      QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, path + QStringLiteral(": ") + file.errorString());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull())
        return fail(error, path + QStringLiteral(": ") + parseError.errorString());
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("type")).toString() != QLatin1String("Topology"))
        return fail(error, path + QStringLiteral(": not a TopoJSON topology"));
    Topology topology;
    if (!decodeArcs(root, topology, error))
        return false;
    const QJsonObject objects = root.value(QStringLiteral("objects")).toObject();
    if (!objectName.isEmpty() && !objects.contains(objectName))
        return fail(error, path + QStringLiteral(": no object named ") + objectName);
    polygons.clear();
    for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
        if (!objectName.isEmpty() && it.key() != objectName)
            continue;
        if (!addGeometry(topology, it.value().toObject(), polygons, error))
            return false;
    }
    return true;
}
