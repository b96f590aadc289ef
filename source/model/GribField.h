// One entry of a GRIB file's index: a field of either edition, located and
// described from its headers without its values being decoded.
#ifndef SKYVANE_GRIBFIELD_H
#define SKYVANE_GRIBFIELD_H

#include <QDateTime>

#include <string>

struct GribField {
    long offset = 0;          // of the message holding the field
    long length = 0;          // octets of that message
    int edition = 1;
    int fieldInMessage = 0;   // an edition 2 message may carry several fields
    unsigned gct = 0;         // the model's key; 0 when the map has no use for the field
    int discipline = -1;      // edition 2 parameter codes; -1 for edition 1
    int category = -1;
    int number = -1;
    std::string gridType;     // ecCodes' gridType names: regular_ll, regular_gg, lambert, …
    QDateTime validTime;      // UTC; the end of the period for accumulations
    QDateTime periodStart;    // accumulations: the start of the period; otherwise invalid
    float valueScale = 1.0f;  // file units to the model's: model = file * scale + offset
    float valueOffset = 0.0f;
    bool drawable = false;    // a known key on a grid the map can draw
    bool readable = true;     // its headers could be read
    std::string problem;      // why the field cannot be read or drawn; empty otherwise
};

#endif
