#include "MeteoKinds.h"

#include "GribFile.h"
#include "GribKeys.h"

#include <algorithm>

namespace MeteoKinds {

std::vector<unsigned> keysOf(MeteoType type)
{
    switch (type) {
    case mtWind: return {GribKey::windU, GribKey::windSpeed};
    case mtPressure: return {GribKey::pressureMsl};
    case mtPrecipitation: return {GribKey::precipitation};
    case mtTemperature: return {GribKey::temperature2m};
    case mtWave: return {GribKey::swellHeight, GribKey::windWaveHeight, GribKey::waveCombined};
    case mtSST: return {GribKey::seaTemperature};
    case mtTidal: return {GribKey::tidalSpeed};
    case mtPrecipRate: return {GribKey::precipRate};
    default: return {};
    }
}

bool compoundHas(const CompoundMsg& compound, MeteoType type)
{
    const std::vector<unsigned> keys = keysOf(type);
    return std::any_of(compound.begin(), compound.end(), [&keys](const GribMsg& msg) {
        return std::find(keys.begin(), keys.end(), msg.gct) != keys.end();
    });
}

unsigned kindsOfKeys(const std::vector<unsigned>& keys)
{
    unsigned kinds = 0;
    for (MeteoType type : displayOrder()) {
        const std::vector<unsigned> typeKeys = keysOf(type);
        if (std::find_first_of(keys.begin(), keys.end(), typeKeys.begin(), typeKeys.end()) != keys.end())
            kinds |= unsigned(type);
    }
    return kinds;
}

const std::vector<MeteoType>& displayOrder()
{
    static const std::vector<MeteoType> order = {mtWind, mtTemperature, mtPressure, mtPrecipitation,
                                                 mtWave, mtTidal, mtSST, mtPrecipRate};
    return order;
}

int firstPresent(const CompoundMsg& compound)
{
    for (MeteoType type : displayOrder())
        if (compoundHas(compound, type))
            return type;
    return 0;
}

}  // namespace MeteoKinds
