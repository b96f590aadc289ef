// Builders shared by the data model tests: GRIB files of several messages
// made with the writer, written into a temporary directory.
#pragma once

#include "gribfixtures.h"

#include "GribFileHelper.h"

#include <QTemporaryDir>

#include <initializer_list>
#include <memory>

namespace modelfixtures {

using fixtures::Bytes;

// params for a message of parameter/level type/level on a small grid.
inline GRIB_WRITE_PARAMS field(int param, int levelType, int levelValue, int ni = 4, int nj = 3)
{
    GRIB_WRITE_PARAMS p = fixtures::smallGrid(ni, nj);
    p.param = param, p.level_type = levelType, p.level_value = levelValue;
    return p;
}

// Recognised fields, as parameter, level type and level value.
inline GRIB_WRITE_PARAMS windU(int ni = 4, int nj = 3) { return field(33, 105, 10, ni, nj); }
inline GRIB_WRITE_PARAMS windV(int ni = 4, int nj = 3) { return field(34, 105, 10, ni, nj); }
inline GRIB_WRITE_PARAMS pressure(int ni = 4, int nj = 3) { return field(2, 102, 0, ni, nj); }
inline GRIB_WRITE_PARAMS precipitation(int ni = 4, int nj = 3) { return field(61, 1, 0, ni, nj); }
inline GRIB_WRITE_PARAMS temperature(int ni = 4, int nj = 3) { return field(11, 105, 2, ni, nj); }

// A forecast hours after the writer's reference time (31 Jan 2009 18:00),
// as most models state it: time range 0, P1 in hours.
inline GRIB_WRITE_PARAMS at(GRIB_WRITE_PARAMS p, int hours)
{
    p.time_range = 0, p.time_unit = 1, p.p1 = hours, p.p2 = 0;
    return p;
}

// A file of the given messages, in order.
class GribTestFile {
public:
    GribTestFile() : path_(dir_.filePath("test.grb")) {}

    void add(const GRIB_WRITE_PARAMS& params, const std::vector<float>& values)
    {
        const Bytes msg = fixtures::encode(params, values);
        octets_.insert(octets_.end(), msg.begin(), msg.end());
    }
    // A message whose values are all `value`.
    void add(const GRIB_WRITE_PARAMS& params, float value)
    {
        add(params, std::vector<float>(size_t(params.ni) * size_t(params.nj), value));
    }
    void addRaw(const Bytes& bytes) { octets_.insert(octets_.end(), bytes.begin(), bytes.end()); }

    // Writes the octets and returns the path.
    QByteArray write()
    {
        QFile f(path_);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path_));
        f.write(reinterpret_cast<const char*>(octets_.data()), qint64(octets_.size()));
        f.close();
        return QFile::encodeName(path_);
    }
    const Bytes& octets() const { return octets_; }
    QString path() const { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
    Bytes octets_;
};

// A view helper holding the written file, or null when it cannot be read.
inline std::unique_ptr<GribFileHelper> openHelper(GribTestFile& file, bool isolines = true)
{
    auto helper = std::make_unique<GribFileHelper>();
    if (!helper->openGribFile(QString::fromLocal8Bit(file.write()), isolines))
        return nullptr;
    return helper;
}

}  // namespace modelfixtures
