// Reads the keys and values of one GRIB edition 2 field, assembled as a
// message of its own (Grib2Sections), through ecCodes.
#ifndef SKYVANE_GRIB2CODEC_H
#define SKYVANE_GRIB2CODEC_H

#include "GribField.h"
#include "StoredGrid.h"

#include <string>
#include <vector>

namespace Grib2Codec {

using Message = std::vector<unsigned char>;

// The field's codes, model key, grid type, times and drawability from a
// message assembled without data.  False, with field.problem set, when
// ecCodes cannot read its headers.
bool readHeader(const Message& message, GribField& field, StoredGrid& grid);

// The values in the order ecCodes gives them, missing points as -9999.
bool storedValues(const Message& message, std::vector<double>& values, std::string& error);

// A drawable field's grid and values, read through one handle.
bool gridAndValues(const Message& message, StoredGrid& grid, std::vector<double>& values, std::string& error);

}  // namespace Grib2Codec

#endif
