// Real forecasts for the stand-in server: a catalogue of the GRIB1 files
// of a directory, and the cutting of a request's area out of their
// messages.  The catalogue is built once and only read afterwards, so one
// cutter serves many threads; each build reads the files through its own
// Reader.
#ifndef SKYVANE_REALFORECASTCUTTER_H
#define SKYVANE_REALFORECASTCUTTER_H

#include "ForecastGrid.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class GribFile;

class RealForecastCutter {
public:
    // Catalogues the *.grb, *.grib, *.grb1 and *.grib1 files of dir.
    explicit RealForecastCutter(const QString& dir);
    ~RealForecastCutter();

    // Files with at least one readable message.
    int fileCount() const;

    // One field's messages in one file.
    struct Source {
        int file = -1;
        std::vector<QDateTime> times;            // valid times, increasing
        std::vector<std::vector<int>> messages;  // [step][key]: message index
        int sourceNi = 0;                        // the source grid's width
        int firstRow = 0;                        // of the cut in the source
        int firstColumn = 0;
        ForecastGrid cut;                        // the grid written
    };

    // The first file, in name order, whose messages of all keys lie on one
    // north-to-south lat/lon grid containing box; false when none does.
    bool find(const std::vector<unsigned>& keys, const GeoBox& box, Source& source) const;

    // Open files of one build.
    class Reader {
    public:
        Reader();
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

    private:
        friend class RealForecastCutter;
        std::map<int, std::unique_ptr<GribFile>> files;
    };

    // The values of one key at one step on source.cut, missing points as
    // kGribMissingValue.  False with the reason when the file no longer
    // holds the catalogued message.
    bool cut(Reader& reader, const Source& source, int step, int key, std::vector<float>& values,
             QString& error) const;

private:
    struct Entry {
        unsigned gct = 0;
        int ni = 0, nj = 0, lat1 = 0, lon1 = 0, lat2 = 0, lon2 = 0, di = 0, dj = 0;
        QDateTime valid;
    };
    struct File {
        QString path;
        std::vector<Entry> messages;
    };

    static bool usableGrid(const Entry& e);
    static bool contains(const Entry& e, const GeoBox& box);
    static bool sameGrid(const Entry& a, const Entry& b);

    std::vector<File> catalogue;
};

#endif
