// Which kinds of weather field a time step holds, by the keys of the
// messages that carry each kind.
#ifndef SKYVANE_METEOKINDS_H
#define SKYVANE_METEOKINDS_H

#include "MeteoType.h"

#include <vector>

class CompoundMsg;

namespace MeteoKinds {

// The keys whose messages carry a single kind; empty for anything else.
std::vector<unsigned> keysOf(MeteoType type);
bool compoundHas(const CompoundMsg& compound, MeteoType type);
// The kinds (an OR of MeteoType bits) that messages of these keys carry.
unsigned kindsOfKeys(const std::vector<unsigned>& keys);
// The kinds in the order the main window picks the one to draw: wind,
// temperature, pressure, precipitation, wave, tidal stream, sea
// temperature, precipitation rate.
const std::vector<MeteoType>& displayOrder();
// The first kind of displayOrder() the compound holds; 0 for none.
int firstPresent(const CompoundMsg& compound);

}  // namespace MeteoKinds

#endif
