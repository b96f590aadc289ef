// The skyvane-grib commands that read a file as the viewer does: compounds
// (time steps) and a point forecast.
#ifndef SKYVANE_COMPOUND_COMMANDS_H
#define SKYVANE_COMPOUND_COMMANDS_H

// Exit statuses: 0 success, 1 failure (e.g. a point outside every grid).
int listCompounds(const char* path, bool json);
int showPoint(const char* path, double lat, double lon, bool json);

#endif
