// The kinds of weather field the application shows, as bit flags so that
// they combine into masks of what a file holds.
#ifndef SKYVANE_METEOTYPE_H
#define SKYVANE_METEOTYPE_H

enum MeteoType {
    mtWind = 1,
    mtPressure = 2,
    mtPrecipitation = 4,
    mtTemperature = 8,
    mtWave = 16,
    mtSST = 32,
    mtTidal = 64,
    mtPrecipRate = 128,
    mtEnd = 256
};

// Number of single types below mtEnd, the size of per-type arrays.
constexpr int kMeteoTypeCount = 8;

// Index 0 … 7 of a single type; -1 for anything else, mtEnd included.
int getIndexByMeteo(int type);

#endif
