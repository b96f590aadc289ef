// What a GRIB field holds, by whichever producer's codes it carries,
// mapped to the model's keys (GribKeys.h) and units.  The one place that
// knows the codes of the WMO, ECMWF and GRIB edition 2 tables.
#ifndef SKYVANE_GRIBPARAMETERS_H
#define SKYVANE_GRIBPARAMETERS_H

// The codes of an edition 1 product definition.
struct Grib1Codes {
    unsigned centre = 0;
    unsigned tableVersion = 0;  // of code table 2
    unsigned parameter = 0;
    unsigned levelType = 0;
    unsigned level = 0;
};

// The codes of an edition 2 product definition.
struct Grib2Codes {
    long discipline = -1;
    long category = -1;
    long number = -1;
    long surfaceType = -1;      // type of the first fixed surface
    double surfaceValue = 0.0;  // its value in the surface's unit (metres above ground, …)
    long centre = -1;           // whose local codes (192 to 254) these may be
};

struct ModelParameter {
    unsigned gct = 0;            // 0: the map has no use for the field
    float scale = 1.0f;          // model value = file value * scale + offset
    float offset = 0.0f;
    bool accumulatedFromStart = false;  // an amount since the forecast began
};

// The raw key of an edition 1 product definition: level * 65536 + level
// type * 256 + parameter, the model's key for the WMO table.
unsigned grib1RawKey(const Grib1Codes& codes);

ModelParameter modelParameterOf(const Grib1Codes& codes);
ModelParameter modelParameterOf(const Grib2Codes& codes);

// Order of a key inside a time step: u wind comes right before v wind, as
// the value table and the layers expect.  Unknown keys sort last.
int keyRank(unsigned gct);

#endif
