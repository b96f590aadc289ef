#include "GribFileHelper.h"

#include "GribKeys.h"
#include "MeteoKinds.h"

#include <QFileInfo>

#include <limits>

namespace {

// The upper end of the last band of most scales.
constexpr float kTop = std::numeric_limits<float>::max();

struct Band {
    float key;
    int red, green, blue, alpha;
};

// Keys are in the units the map looks them up in: wind in knots,
// temperatures in degrees Celsius, pressure in pascals, the rest as decoded.

// Pressure
const Band kPressureScaleBands[] = {
    {95000.0f, 161, 0, 199, 255},
    {96000.0f, 110, 0, 220, 255},
    {97000.0f, 31, 61, 250, 255},
    {98000.0f, 0, 161, 230, 255},
    {99000.0f, 0, 209, 140, 255},
    {100000.0f, 0, 220, 0, 255},
    {101000.0f, 161, 230, 51, 255},
    {102000.0f, 230, 176, 46, 255},
    {103000.0f, 240, 130, 41, 255},
    {104000.0f, 240, 0, 0, 255},
    {kTop, 220, 0, 99, 255},
};

// Precipitation
const Band kPrecipitationScaleBands[] = {
    {0.0f, 255, 255, 255, 0},
    {0.4f, 170, 248, 248, 176},
    {0.8f, 170, 248, 196, 192},
    {1.6f, 117, 211, 132, 208},
    {3.2f, 53, 194, 104, 224},
    {4.8f, 53, 164, 74, 240},
    {6.4f, 0, 124, 0, 255},
    {kTop, 33, 94, 30, 255},
};

// Precipitation rate
const Band kPrecipRateScaleBands[] = {
    {0.0f, 220, 255, 255, 0},
    {0.04f, 226, 226, 226, 255},
    {0.08f, 4, 233, 231, 255},
    {0.16f, 1, 159, 244, 255},
    {0.32f, 3, 0, 244, 255},
    {0.65f, 2, 253, 2, 255},
    {1.35f, 1, 197, 1, 255},
    {2.75f, 0, 142, 0, 255},
    {5.65f, 253, 248, 2, 255},
    {11.5f, 229, 188, 0, 255},
    {23.7f, 253, 139, 0, 255},
    {48.6f, 253, 0, 0, 255},
    {99.9f, 212, 0, 0, 255},
    {205.0f, 188, 0, 0, 255},
    {401.0f, 248, 0, 253, 255},
    {kTop, 152, 84, 198, 255},
};

// Beaufort colours
const Band kBeaufortColoursBands[] = {
    {0.0f, 0, 120, 255, 255},
    {1.0f, 0, 174, 245, 255},
    {2.0f, 105, 218, 239, 255},
    {3.0f, 140, 240, 240, 255},
    {4.0f, 210, 250, 250, 255},
    {5.0f, 254, 254, 203, 255},
    {6.0f, 254, 204, 153, 255},
    {7.0f, 255, 153, 102, 255},
    {8.0f, 254, 101, 50, 255},
    {9.0f, 255, 51, 0, 255},
    {10.0f, 204, 51, 0, 255},
    {11.0f, 204, 0, 0, 255},
    {12.0f, 152, 0, 0, 255},
};

// Wind
const Band kWindScaleBands[] = {
    {0.0f, 0, 0, 255, 0},
    {0.1f, 0, 0, 255, 255},
    {0.6f, 0, 120, 255, 255},
    {3.0f, 0, 174, 245, 255},
    {6.5f, 105, 218, 239, 255},
    {11.0f, 140, 240, 240, 255},
    {16.0f, 168, 250, 250, 255},
    {21.0f, 254, 254, 168, 255},
    {27.0f, 254, 204, 153, 255},
    {33.0f, 255, 153, 102, 255},
    {40.0f, 254, 101, 50, 255},
    {48.0f, 255, 51, 0, 255},
    {55.0f, 204, 51, 0, 255},
    {63.0f, 204, 0, 0, 255},
    {kTop, 152, 0, 0, 255},
};

// Wave
const Band kWaveScaleBands[] = {
    {0.3f, 255, 0, 255, 255},
    {0.6f, 213, 0, 255, 255},
    {0.9f, 153, 0, 255, 255},
    {1.2f, 102, 0, 255, 255},
    {1.5f, 0, 0, 255, 255},
    {1.8f, 0, 74, 255, 255},
    {2.1f, 0, 115, 255, 255},
    {2.4f, 0, 166, 255, 255},
    {2.7f, 0, 204, 255, 255},
    {3.0f, 0, 230, 255, 255},
    {3.5f, 0, 255, 255, 255},
    {4.0f, 0, 255, 179, 255},
    {4.5f, 126, 255, 0, 255},
    {5.0f, 204, 255, 0, 255},
    {5.5f, 255, 255, 0, 255},
    {6.0f, 255, 230, 0, 255},
    {7.0f, 255, 204, 0, 255},
    {8.0f, 255, 172, 0, 255},
    {9.0f, 255, 153, 0, 255},
    {10.0f, 255, 125, 0, 255},
    {11.0f, 255, 82, 0, 255},
    {12.0f, 255, 0, 0, 255},
    {13.0f, 255, 83, 83, 255},
    {14.0f, 255, 115, 115, 255},
    {15.0f, 255, 138, 138, 255},
    {16.0f, 255, 153, 153, 255},
    {kTop, 255, 181, 181, 255},
};

// Temperature
const Band kTemperatureScaleBands[] = {
    {-20.0f, 19, 100, 193, 255},
    {-12.0f, 37, 109, 189, 255},
    {-8.0f, 54, 118, 185, 255},
    {-4.0f, 73, 129, 181, 255},
    {-2.0f, 92, 138, 178, 255},
    {0.0f, 109, 148, 174, 255},
    {2.0f, 125, 156, 171, 255},
    {4.0f, 143, 165, 167, 255},
    {6.0f, 161, 176, 163, 255},
    {8.0f, 179, 185, 160, 255},
    {10.0f, 172, 165, 148, 255},
    {12.0f, 164, 143, 127, 255},
    {15.0f, 152, 123, 111, 255},
    {20.0f, 146, 100, 93, 255},
    {25.0f, 138, 79, 76, 255},
    {30.0f, 129, 58, 58, 255},
    {kTop, 120, 37, 41, 255},
};

// Tidal stream
const Band kTidalScaleBands[] = {
    {0.0f, 0, 255, 0, 255},
    {0.5f, 0, 212, 42, 255},
    {1.0f, 0, 170, 85, 255},
    {1.5f, 0, 127, 127, 255},
    {2.0f, 0, 85, 170, 255},
    {2.5f, 0, 42, 212, 255},
    {3.0f, 0, 0, 255, 255},
    {3.5f, 42, 0, 212, 255},
    {4.0f, 85, 0, 170, 255},
    {4.5f, 127, 0, 127, 255},
    {5.0f, 170, 0, 85, 255},
    {5.5f, 212, 0, 42, 255},
    {6.0f, 255, 0, 0, 255},
    {kTop, 255, 63, 63, 255},
};

// Sea surface temperature
const Band kSeaTemperatureScaleBands[] = {
    {1.0f, 33, 0, 107, 255},
    {2.0f, 75, 0, 107, 255},
    {3.0f, 110, 1, 110, 255},
    {4.0f, 131, 0, 131, 255},
    {5.0f, 153, 0, 153, 255},
    {6.0f, 181, 0, 181, 255},
    {7.0f, 204, 0, 204, 255},
    {8.0f, 230, 0, 230, 255},
    {9.0f, 255, 0, 255, 255},
    {10.0f, 204, 0, 255, 255},
    {11.0f, 153, 0, 255, 255},
    {12.0f, 102, 0, 255, 255},
    {13.0f, 0, 0, 255, 255},
    {14.0f, 0, 74, 255, 255},
    {15.0f, 0, 115, 255, 255},
    {16.0f, 0, 164, 255, 255},
    {17.0f, 0, 204, 255, 255},
    {18.0f, 0, 230, 255, 255},
    {19.0f, 0, 255, 255, 255},
    {20.0f, 0, 255, 180, 255},
    {21.0f, 125, 255, 0, 255},
    {22.0f, 204, 255, 0, 255},
    {23.0f, 255, 255, 0, 255},
    {24.0f, 255, 230, 0, 255},
    {25.0f, 255, 204, 0, 255},
    {26.0f, 255, 174, 0, 255},
    {27.0f, 255, 153, 0, 255},
    {28.0f, 255, 122, 0, 255},
    {29.0f, 255, 82, 0, 255},
    {30.0f, 255, 0, 0, 255},
    {31.0f, 255, 81, 81, 255},
    {kTop, 255, 114, 114, 255},
};
struct IsolineDefaults {
    float min, max, step;
};

// By type index: wind, pressure, precipitation, temperature (K), wave,
// sea temperature (K), tidal stream, precipitation rate.
const IsolineDefaults kIsolineDefaults[kMeteoTypeCount] = {
    {0.0f, 30.0f, 1.0f},
    {95000.0f, 105000.0f, 200.0f},
    {0.4f, 2.4f, 0.1f},
    {223.0f, 323.0f, 5.0f},
    {1.0f, 15.0f, 1.0f},
    {263.0f, 303.0f, 2.0f},
    {0.0f, 4.0f, 0.25f},
    {5.0f, 70.0f, 5.0f},
};

// Lower bounds of the Beaufort bands in knots, by force 0 … 12.
const char* const kBeaufortSpeeds[] = {"0.0", "0.6", "3.0", "6.5", "11", "16", "21",
                                       "27",  "33",  "40",  "48",  "55", "63"};

template <size_t N>
void fill(ColourScale& scale, const Band (&bands)[N])
{
    scale.clear();
    for (const Band& b : bands)
        scale.add(b.key, QColor(b.red, b.green, b.blue, b.alpha));
}

const GribMsg* findByKey(const CompoundMsg& compound, unsigned gct)
{
    for (const GribMsg& msg : compound) {
        if (msg.gct == gct)
            return &msg;
    }
    return nullptr;
}

}  // namespace

GribFileHelper::GribFileHelper()
{
    fillScales();
    fillBeaufortTable();
    setDefaultIsolineOptions();
}

GribFileHelper::~GribFileHelper() = default;

void GribFileHelper::fillScales()
{
    fill(pressureScale, kPressureScaleBands);
    fill(precipitationScale, kPrecipitationScaleBands);
    fill(precipRateScale, kPrecipRateScaleBands);
    fill(beaufortColours, kBeaufortColoursBands);
    fill(windScale, kWindScaleBands);
    fill(waveScale, kWaveScaleBands);
    fill(temperatureScale, kTemperatureScaleBands);
    fill(tidalScale, kTidalScaleBands);
    fill(seaTemperatureScale, kSeaTemperatureScaleBands);
}

void GribFileHelper::fillBeaufortTable()
{
    beaufortTable.clear();
    for (int force = 0; force <= 12; ++force)
        beaufortTable.add(float(force), {QString::number(force),
                                         QString::fromLatin1(kBeaufortSpeeds[force])});
}

void GribFileHelper::setDefaultIsolineOptions()
{
    for (int i = 0; i < kMeteoTypeCount; ++i) {
        isoMin[i] = kIsolineDefaults[i].min;
        isoMax[i] = kIsolineDefaults[i].max;
        isoStep[i] = kIsolineDefaults[i].step;
    }
}

// ---------------------------------------------------------------------------
// Opening and compounds

bool GribFileHelper::openGribFile(const QString& path, bool isolines)
{
    isolinesEnabled = isolines;
    ++version;
    file.reset();
    compound.clear();
    compoundKinds.clear();
    kindsInFile = 0;
    compoundNum = 0;
    if (!QFileInfo::exists(path))
        return false;
    auto opened = std::make_unique<GribFile>(QFile::encodeName(path).constData());
    // A file without any message has nothing to show.
    if (opened->messageCount() == 0)
        return false;
    file = std::move(opened);
    for (int n = 0; n < file->getCompoundNum(); ++n) {
        compoundKinds.push_back(MeteoKinds::kindsOfKeys(file->compoundKeys(n)));
        kindsInFile |= compoundKinds.back();
    }
    file->firstCompound(compound);
    calcIsolines();
    compoundNum = 0;
    return true;
}

int GribFileHelper::firstCompoundWith(unsigned kinds) const
{
    for (size_t n = 0; n < compoundKinds.size(); ++n)
        if (compoundKinds[n] & kinds)
            return int(n);
    return -1;
}

int GribFileHelper::getCompoundNum() const
{
    return file ? file->getCompoundNum() : 0;
}

void GribFileHelper::firstCompound()
{
    if (!file)
        return;
    file->firstCompound(compound);
    calcIsolines();
    compoundNum = 0;
}

// The shown compound is replaced only by one read whole: a step past
// either end leaves it as it was.  Compounds are read into the shown one,
// whose value arrays are reused message by message.
bool GribFileHelper::nextCompound()
{
    if (!file || !file->hasNextCompound())
        return false;
    file->nextCompound(compound);
    ++compoundNum;
    calcIsolines();
    return true;
}

bool GribFileHelper::prevCompound()
{
    if (!file || !file->hasPrevCompound())
        return false;
    file->prevCompound(compound);
    --compoundNum;
    calcIsolines();
    return true;
}

bool GribFileHelper::goCompound(int n)
{
    // The file checks the index before it touches the compound.
    if (!file || !file->goCompound(n, compound))
        return false;
    calcIsolines();
    compoundNum = n;
    return true;
}

void GribFileHelper::lastCompound()
{
    if (!file)
        return;
    file->lastCompound(compound);
    compoundNum = file->getCompoundNum() - 1;
    calcIsolines();
}

// ---------------------------------------------------------------------------
// Scales

ColourScale* GribFileHelper::scaleOf(unsigned type)
{
    switch (type) {
    case mtWind: return &windScale;
    case mtPressure: return &pressureScale;
    case mtPrecipitation: return &precipitationScale;
    case mtTemperature: return &temperatureScale;
    case mtWave: return &waveScale;
    case mtSST: return &seaTemperatureScale;
    case mtTidal: return &tidalScale;
    case mtPrecipRate: return &precipRateScale;
    default: return nullptr;
    }
}

const ColourScale& GribFileHelper::getColorScale(unsigned type) const
{
    const ColourScale* scale = const_cast<GribFileHelper*>(this)->scaleOf(type);
    if (!scale)
        throw 0;
    return *scale;
}

ColourScale& GribFileHelper::colorScale(MeteoType type)
{
    ColourScale* scale = scaleOf(unsigned(type));
    return scale ? *scale : windScale;
}

bool GribFileHelper::getBeaufort(float value, BeaufortData& data) const
{
    return beaufortTable.getBeaufort(value, data);
}

// ---------------------------------------------------------------------------
// Isolines

bool GribFileHelper::setIsolineOptions(int type, float min, float max, float step)
{
    const int index = getIndexByMeteo(type);
    if (index < 0)
        return false;
    isoMin[index] = min;
    isoMax[index] = max;
    isoStep[index] = step;
    return true;
}

bool GribFileHelper::getIsolineOptions(int type, float& min, float& max, float& step) const
{
    const int index = getIndexByMeteo(type);
    if (index < 0)
        return false;
    min = isoMin[index];
    max = isoMax[index];
    step = isoStep[index];
    return true;
}

void GribFileHelper::calcIsolines()
{
    if (!isolinesEnabled)
        return;
    isotherms.clear();
    isobars.clear();
    if (const GribMsg* temperature = findByKey(compound, GribKey::temperature2m)) {
        const int t = getIndexByMeteo(mtTemperature);
        isotherms.analyze(*temperature, isoMin[t], isoMax[t], isoStep[t]);
    }
    if (const GribMsg* pressure = findByKey(compound, GribKey::pressureMsl)) {
        const int p = getIndexByMeteo(mtPressure);
        isobars.analyze(*pressure, isoMin[p], isoMax[p], isoStep[p]);
    }
}
