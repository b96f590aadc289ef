#include "kind_names.h"

#include "MeteoKinds.h"
#include "MeteoType.h"

namespace KindNames {

namespace {

const struct {
    MeteoType type;
    const char* name;
} kNames[] = {
    {mtWind, "wind"}, {mtPressure, "pressure"}, {mtPrecipitation, "precipitation"},
    {mtTemperature, "temperature"}, {mtWave, "wave"}, {mtSST, "sst"}, {mtTidal, "tidal"},
    {mtPrecipRate, "preciprate"},
};

}  // namespace

const char* nameOf(int type)
{
    for (const auto& entry : kNames)
        if (entry.type == type)
            return entry.name;
    return nullptr;
}

int typeOf(const std::string& name)
{
    for (const auto& entry : kNames)
        if (name == entry.name)
            return entry.type;
    return 0;
}

const char* nameOfKey(unsigned gct)
{
    // Every key belongs to one kind at most.
    const unsigned kinds = MeteoKinds::kindsOfKeys({gct});
    for (const auto& entry : kNames)
        if (kinds & unsigned(entry.type))
            return entry.name;
    return nullptr;
}

}  // namespace KindNames
