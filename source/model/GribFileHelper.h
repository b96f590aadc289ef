// The view helper of one open GRIB file: the current compound, the colour
// and Beaufort scales, and the isobars and isotherms of the compound.
#ifndef SKYVANE_GRIBFILEHELPER_H
#define SKYVANE_GRIBFILEHELPER_H

#include "BeaufortScale.h"
#include "ColourScale.h"
#include "ContourSet.h"
#include "GribFile.h"
#include "MeteoType.h"

#include <QString>

#include <memory>

class GribFileHelper {
public:
    GribFileHelper();
    GribFileHelper(const GribFileHelper&) = delete;
    GribFileHelper& operator=(const GribFileHelper&) = delete;
    ~GribFileHelper();

    // Opens path and reads its first compound.  False, with no file held,
    // for a missing file or one without any GRIB message.
    bool openGribFile(const QString& path, bool isolines);
    bool isValid() const { return file != nullptr; }
    // Changes with every openGribFile, so that views which keep results
    // per helper know when the helper holds another file.
    unsigned fileVersion() const { return version; }
    GribFile* gribFile() const { return file.get(); }

    CompoundMsg& getCurrentCompound() { return compound; }
    const CompoundMsg& getCurrentCompound() const { return compound; }
    int currentCompoundNum() const { return compoundNum; }
    int getCompoundNum() const;

    // The kinds (an OR of MeteoType bits) any compound of the file holds,
    // and the first compound holding one of kinds; -1 when none does.
    unsigned fileKinds() const { return kindsInFile; }
    int firstCompoundWith(unsigned kinds) const;

    void firstCompound();
    bool nextCompound();
    bool prevCompound();
    bool goCompound(int n);
    void lastCompound();

    // Throws the integer 0 for anything but one of the eight types.
    const ColourScale& getColorScale(unsigned type) const;
    // The same, but an unknown type gives the wind scale.
    ColourScale& colorScale(MeteoType type);
    const ColourScale& getBeaufortScale() const { return beaufortColours; }
    bool getBeaufort(float value, BeaufortData& data) const;

    const ContourSet& getIsotherms() const { return isotherms; }
    const ContourSet& getIsobars() const { return isobars; }
    bool setIsolineOptions(int type, float min, float max, float step);
    bool getIsolineOptions(int type, float& min, float& max, float& step) const;
    void calcIsolines();

private:
    ColourScale* scaleOf(unsigned type);
    void fillScales();
    void fillBeaufortTable();
    void setDefaultIsolineOptions();

    std::unique_ptr<GribFile> file;
    CompoundMsg compound;
    int compoundNum = 0;
    // The kinds each compound holds, from the headers when the file opened.
    std::vector<unsigned> compoundKinds;
    unsigned kindsInFile = 0;
    ColourScale windScale;
    ColourScale waveScale;
    ColourScale beaufortColours;
    ColourScale pressureScale;
    ColourScale precipitationScale;
    ColourScale temperatureScale;
    ColourScale seaTemperatureScale;
    ColourScale precipRateScale;
    ColourScale tidalScale;
    BeaufortScale beaufortTable;
    ContourSet isotherms;
    ContourSet isobars;
    float isoMin[kMeteoTypeCount] = {};
    float isoMax[kMeteoTypeCount] = {};
    float isoStep[kMeteoTypeCount] = {};
    bool isolinesEnabled = false;
    unsigned version = 0;
};

#endif
