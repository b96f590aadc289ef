#include "RealForecastCutter.h"

#include "GribFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr qint64 kTurn = 360000;

qint64 eastOf(qint64 lon, qint64 from)
{
    qint64 east = (lon - from) % kTurn;
    return east < 0 ? east + kTurn : east;
}

}  // namespace

RealForecastCutter::Reader::Reader() = default;
RealForecastCutter::Reader::~Reader() = default;
RealForecastCutter::~RealForecastCutter() = default;

RealForecastCutter::RealForecastCutter(const QString& dir)
{
    const QStringList names = QDir(dir).entryList(
        {QStringLiteral("*.grb"), QStringLiteral("*.grib"), QStringLiteral("*.grb1"),
         QStringLiteral("*.grib1")},
        QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : names) {
        File file;
        file.path = QDir(dir).filePath(name);
        GribFile grib(QFile::encodeName(file.path).constData());
        GribMsg msg;
        for (int k = 0; k < grib.messageCount(); ++k) {
            Entry e;
            // Decoding every message once is slow but done once; it also
            // leaves out messages whose values cannot be read.
            if (grib.goMsg(k, msg) && msg.values) {
                e.gct = msg.gct;
                e.ni = msg.ni;
                e.nj = msg.nj;
                e.lat1 = msg.lat1;
                e.lon1 = msg.lon1;
                e.lat2 = msg.lat2;
                e.lon2 = msg.lon2;
                e.di = msg.di;
                e.dj = msg.dj;
                e.valid = msg.validTime();
            }
            file.messages.push_back(e);
            msg.releaseValues();
        }
        if (std::any_of(file.messages.begin(), file.messages.end(),
                        [](const Entry& e) { return e.gct != 0 && e.valid.isValid(); }))
            catalogue.push_back(std::move(file));
    }
}

int RealForecastCutter::fileCount() const
{
    return int(catalogue.size());
}

namespace {

bool isGlobal(int ni, int di)
{
    return std::llabs(qint64(ni) * di - kTurn) <= ni;
}

}  // namespace

bool RealForecastCutter::usableGrid(const Entry& e)
{
    if (e.gct == 0 || !e.valid.isValid() || e.ni < 1 || e.nj < 1 || e.di <= 0 || e.dj <= 0 ||
        e.lat1 < e.lat2)
        return false;
    // The stated corners must agree with the steps (to a millidegree a
    // step), or cutting by step would drift off the points.
    if (std::llabs(qint64(e.lat1) - e.lat2 - qint64(e.nj - 1) * e.dj) > e.nj)
        return false;
    if (isGlobal(e.ni, e.di))
        return true;
    const qint64 span = eastOf(e.lon2, e.lon1);
    return std::llabs(span - qint64(e.ni - 1) * e.di) <= e.ni;
}

bool RealForecastCutter::contains(const Entry& e, const GeoBox& box)
{
    const qint64 south = qint64(e.lat1) - qint64(e.nj - 1) * e.dj;
    if (e.lat1 < box.top || south > box.bottom)
        return false;
    if (isGlobal(e.ni, e.di))
        return true;
    return eastOf(box.left, e.lon1) + (qint64(box.right) - box.left) <= qint64(e.ni - 1) * e.di;
}

bool RealForecastCutter::sameGrid(const Entry& a, const Entry& b)
{
    return a.ni == b.ni && a.nj == b.nj && a.lat1 == b.lat1 && a.lon1 == b.lon1 && a.di == b.di &&
           a.dj == b.dj;
}

bool RealForecastCutter::find(const std::vector<unsigned>& keys, const GeoBox& box,
                              Source& source) const
{
    if (keys.empty())
        return false;
    for (size_t f = 0; f < catalogue.size(); ++f) {
        const std::vector<Entry>& messages = catalogue[f].messages;
        Source s;
        s.file = int(f);
        const Entry* grid = nullptr;
        for (size_t k = 0; k < messages.size(); ++k) {
            const Entry& first = messages[k];
            if (first.gct != keys[0] || !usableGrid(first) || !contains(first, box))
                continue;
            if (grid && !sameGrid(first, *grid))
                continue;
            if (!s.times.empty() && first.valid <= s.times.back())
                continue;
            std::vector<int> step{int(k)};
            for (size_t key = 1; key < keys.size(); ++key) {
                auto match = std::find_if(messages.begin(), messages.end(), [&](const Entry& e) {
                    return e.gct == keys[key] && e.valid == first.valid && sameGrid(e, first);
                });
                if (match == messages.end())
                    break;
                step.push_back(int(match - messages.begin()));
            }
            if (step.size() != keys.size())
                continue;
            grid = &first;
            s.times.push_back(first.valid);
            s.messages.push_back(std::move(step));
        }
        if (!grid)
            continue;
        // The source points enclosing the box.
        const qint64 east = eastOf(box.left, grid->lon1);
        const qint64 width = qint64(box.right) - box.left;
        const int firstRow = int((qint64(grid->lat1) - box.top) / grid->dj);
        const int lastRow = std::min<qint64>(
            grid->nj - 1, (qint64(grid->lat1) - box.bottom + grid->dj - 1) / grid->dj);
        const int firstColumn = int(east / grid->di);
        int columns = int((east + width + grid->di - 1) / grid->di) - firstColumn + 1;
        columns = isGlobal(grid->ni, grid->di) ? std::min(columns, grid->ni)
                                               : std::min(columns, grid->ni - firstColumn);
        s.sourceNi = grid->ni;
        s.firstRow = firstRow;
        s.firstColumn = firstColumn;
        s.cut.ni = columns;
        s.cut.nj = lastRow - firstRow + 1;
        s.cut.di = grid->di;
        s.cut.dj = grid->dj;
        s.cut.lat1 = grid->lat1 - firstRow * grid->dj;
        s.cut.lon1 = ForecastGrid::foldLongitude(qint64(grid->lon1) + qint64(firstColumn) * grid->di);
        source = std::move(s);
        return true;
    }
    return false;
}

bool RealForecastCutter::cut(Reader& reader, const Source& source, int step, int key,
                             std::vector<float>& values, QString& error) const
{
    if (source.file < 0 || size_t(source.file) >= catalogue.size() || step < 0 ||
        size_t(step) >= source.messages.size() || key < 0 ||
        size_t(key) >= source.messages[size_t(step)].size()) {
        error = QStringLiteral("no such real message");
        return false;
    }
    const File& file = catalogue[size_t(source.file)];
    std::unique_ptr<GribFile>& grib = reader.files[source.file];
    if (!grib)
        grib = std::make_unique<GribFile>(QFile::encodeName(file.path).constData());
    const int index = source.messages[size_t(step)][size_t(key)];
    const Entry& expected = file.messages[size_t(index)];
    GribMsg msg;
    if (!grib->goMsg(index, msg) || !msg.values || msg.gct != expected.gct || msg.ni != expected.ni ||
        msg.nj != expected.nj || msg.lat1 != expected.lat1 || msg.lon1 != expected.lon1 ||
        msg.di != expected.di || msg.dj != expected.dj) {
        error = QStringLiteral("%1 changed since it was catalogued").arg(file.path);
        return false;
    }
    const ForecastGrid& cut = source.cut;
    if (source.firstRow + cut.nj > msg.nj || cut.ni > msg.ni) {
        error = QStringLiteral("%1: the cut lies outside the grid").arg(file.path);
        return false;
    }
    values.resize(size_t(cut.pointCount()));
    for (int row = 0; row < cut.nj; ++row) {
        const float* in = msg.values + size_t(source.firstRow + row) * size_t(msg.ni);
        float* out = values.data() + size_t(row) * size_t(cut.ni);
        for (int column = 0; column < cut.ni; ++column)
            out[column] = in[(source.firstColumn + column) % msg.ni];
    }
    return true;
}
