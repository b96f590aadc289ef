// The read-only geography every view shares: the land mask of the world in
// two halves, the cities by descending population, and the forecast
// coverage areas.  Loaded once from the data files beside the executable.
#ifndef SKYVANE_SHAREDDATA_H
#define SKYVANE_SHAREDDATA_H

#include <QImage>
#include <QString>

#include "CoverageAreas.h"

struct CityData {
    char name[64];      // UTF-8, NUL-terminated, may contain blanks
    int population;
    int latMicro;       // degrees x 1e6, north positive
    int lonMicro;       // degrees x 1e6, east positive
    CityData* next;     // null at the end of the list
};

class SharedData {
public:
    // From the directory of the running executable.
    SharedData();
    // From dir: the tools and tests point it at other files.
    explicit SharedData(const QString& dir);
    ~SharedData();
    SharedData(const SharedData&) = delete;
    SharedData& operator=(const SharedData&) = delete;

    // Parses one line of the city file (without its newline) into city;
    // false when a field is missing.  The line is modified.  A name longer
    // than the record holds is cut at the last whole UTF-8 character that
    // fits.
    static bool parseCityLine(char* line, CityData& city);

    // Land for a position in microdegrees by the masks' row and column
    // arithmetic, the longitude folded into [-180°, 180°) and a point just
    // west of 0° taken to the last western column; sea beyond ±80° or where
    // a mask is null.
    bool isLand(int latMicro, int lonMicro) const;

    QImage westernMask;   // longitudes -180° to 0°, set bit = land
    QImage easternMask;   // longitudes 0° to 180°
    CityData* cities = nullptr;
    const CoverageArea* coverageAreas = nullptr;
    int coverageCount = 0;

private:
    void load(const QString& dir);
    void loadCities(const QString& path);
    void freeCities();
};

#endif
