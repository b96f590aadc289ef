// The short names of the kinds of weather field, as the tools' options and
// listings spell them: wind, pressure, precipitation, temperature, wave,
// sst, tidal, preciprate.
#ifndef SKYVANE_KIND_NAMES_H
#define SKYVANE_KIND_NAMES_H

#include <string>

namespace KindNames {

// The name of one kind (a single MeteoType bit); null for anything else.
const char* nameOf(int type);
// The kind of a name; 0 for an unknown name.
int typeOf(const std::string& name);
// The kind the map shows from a field of this key alone; null when none
// (a v wind or a direction field only goes with its u or height field).
const char* nameOfKey(unsigned gct);

}  // namespace KindNames

#endif
