// The client's description of one forecast request, and the account it is
// made with.  Fields 1 to 10 of ToviForecastParameters travel to the
// forecast server; zoom and the map centre belong to presets only.
#ifndef SKYVANE_TOVIFORECASTPARAMETERS_H
#define SKYVANE_TOVIFORECASTPARAMETERS_H

#include <cstdint>

struct ToviForecastParameters {
    // Data sets of the forecast service (its wire enumeration); 128, which
    // is none of them, marks a buoy-observation request.
    enum GribResolution : int32_t {
        grStandardResolution = 1,
        grMediumResolution = 2,
        grHighResolution = 4,
        grSuperHighResolution = 8,
        grEastNMM = 16,
        grWestNMM = 17,
        grAlaskaNMM = 18,
        grSouthAmerica = 19,
        grSouthAfrica = 20,
        grSENZAustralia = 21,
        grEastAustralia = 22,
        grWestAustralia = 23,
        grWestEurope = 24,
        grNAM218AWIPS = 25,
        grNOAARIDGE = 26
    };

    int32_t meteoType = 0;      // MeteoType bit set
    GribResolution resolution = GribResolution(0);
    int32_t forecastDay = 0;    // days after today (UTC), 0 to 5
    int32_t forecastTime = 0;   // UTC hour of the first step; 255 = now
    int32_t timeStep = 0;       // hours; 10 means ten minutes
    int32_t stepsNumber = 0;    // 0 = derived from data set and step
    int32_t top = 0;            // area edges, thousandths of a degree
    int32_t left = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t zoom = 0;           // map view of a preset
    int32_t centerLat = 0;      // millionths of a degree
    int32_t centerLon = 0;
};

// Borrowed strings in the local 8-bit encoding, valid for one call.
struct ToviCredentials {
    const char* key = nullptr;
    const char* login = nullptr;
    const char* password = nullptr;
};

#endif
