#include "LandRasteriser.h"

#include "LandMaskImage.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

constexpr int kWidth = LandMaskImage::kWidth;
constexpr int kHeight = LandMaskImage::kHeight;

struct Edge {
    double lon0, lat0, lon1, lat1;
    int polygon;
    int firstRow;  // rows whose centre latitude the edge may cross
    int lastRow;
};

struct Crossing {
    int polygon;
    double lon;
    bool operator<(const Crossing& other) const
    {
        return polygon != other.polygon ? polygon < other.polygon : lon < other.lon;
    }
};

double rowCentreLat(int row)
{
    return 80.0 - (row + 0.5) / 100.0;
}

// A row's centre crosses the edge when it lies in [lower, upper) of the
// edge's latitudes, so a vertex on the row counts once.
bool crosses(const Edge& edge, double lat)
{
    return (edge.lat0 <= lat) != (edge.lat1 <= lat);
}

void addEdge(std::vector<Edge>& edges, const GeoPoint& a, const GeoPoint& b, double shift, int polygon)
{
    if (a.lat == b.lat)
        return;
    const double lower = std::min(a.lat, b.lat);
    const double upper = std::max(a.lat, b.lat);
    // One row of slack on each side; crosses() decides exactly.
    const int first = std::max(0, int(std::floor((80.0 - upper) * 100.0 - 0.5)) - 1);
    const int last = std::min(kHeight - 1, int(std::ceil((80.0 - lower) * 100.0 - 0.5)) + 1);
    if (first > last)
        return;
    edges.push_back({a.lon + shift, a.lat, b.lon + shift, b.lat, polygon, first, last});
}

// Every polygon's edges, once for each copy shifted by a multiple of 360°
// that reaches the masks' longitudes.
std::vector<Edge> collectEdges(const std::vector<LandPolygon>& polygons)
{
    std::vector<Edge> edges;
    for (size_t p = 0; p < polygons.size(); ++p) {
        const LandPolygon& polygon = polygons[p];
        for (int copy = -2; copy <= 2; ++copy) {
            const double shift = copy * 360.0;
            if (polygon.maxLon + shift < -180.02 || polygon.minLon + shift > 180.02)
                continue;
            for (const GeoRing& ring : polygon.rings) {
                for (size_t k = 0; k < ring.size(); ++k)
                    addEdge(edges, ring[k], ring[(k + 1) % ring.size()], shift, int(p));
            }
        }
    }
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    return edges;
}

void setBits(uchar* line, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, kWidth - 1);
    for (int column = first; column <= last;) {
        if ((column & 7) == 0 && column + 7 <= last) {
            line[column >> 3] = 0xFF;
            column += 8;
        } else {
            line[column >> 3] |= static_cast<uchar>(0x80 >> (column & 7));
            ++column;
        }
    }
}

// The pixels whose centres lie in [westLon, eastLon).
void fillSpan(uchar* westernLine, uchar* easternLine, double westLon, double eastLon)
{
    setBits(westernLine, int(std::ceil(westLon * 100.0 + 18000.5)), int(std::ceil(eastLon * 100.0 + 18000.5)) - 1);
    setBits(easternLine, int(std::ceil(westLon * 100.0 - 0.5)), int(std::ceil(eastLon * 100.0 - 0.5)) - 1);
}

struct Target {
    uchar* western;
    uchar* eastern;
    qsizetype bytesPerLine;
};

void fillRows(const std::vector<Edge>& edges, int firstRow, int endRow, const Target& target)
{
    std::vector<const Edge*> active;
    std::vector<Crossing> crossings;
    size_t next = 0;
    for (int row = firstRow; row < endRow; ++row) {
        while (next < edges.size() && edges[next].firstRow <= row) {
            if (edges[next].lastRow >= row)
                active.push_back(&edges[next]);
            ++next;
        }
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [row](const Edge* edge) { return edge->lastRow < row; }),
                     active.end());
        const double lat = rowCentreLat(row);
        crossings.clear();
        for (const Edge* edge : active) {
            if (crosses(*edge, lat)) {
                const double t = (lat - edge->lat0) / (edge->lat1 - edge->lat0);
                crossings.push_back({edge->polygon, edge->lon0 + t * (edge->lon1 - edge->lon0)});
            }
        }
        std::sort(crossings.begin(), crossings.end());
        uchar* westernLine = target.western + row * target.bytesPerLine;
        uchar* easternLine = target.eastern + row * target.bytesPerLine;
        for (size_t k = 0; k + 1 < crossings.size();) {
            if (crossings[k].polygon != crossings[k + 1].polygon) {
                ++k;  // an odd count cannot happen in a closed polygon
                continue;
            }
            fillSpan(westernLine, easternLine, crossings[k].lon, crossings[k + 1].lon);
            k += 2;
        }
    }
}

}  // namespace

void LandRasteriser::rasterise(const std::vector<LandPolygon>& polygons, QImage& western, QImage& eastern)
{
    western = QImage(kWidth, kHeight, QImage::Format_Mono);
    eastern = QImage(kWidth, kHeight, QImage::Format_Mono);
    western.fill(0);
    eastern.fill(0);
    const QList<QRgb> colours{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    western.setColorTable(colours);
    eastern.setColorTable(colours);
    // The pixel buffers are taken here, once: the workers only write rows.
    const Target target{western.bits(), eastern.bits(), western.bytesPerLine()};
    const std::vector<Edge> edges = collectEdges(polygons);
    const int workers = std::max(1, std::min(8, int(std::thread::hardware_concurrency())));
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        const int first = kHeight * w / workers;
        const int end = kHeight * (w + 1) / workers;
        threads.emplace_back(fillRows, std::cref(edges), first, end, std::cref(target));
    }
    for (std::thread& thread : threads)
        thread.join();
}
