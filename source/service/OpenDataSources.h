// The public open-data forecast services Skyvane fetches from, each
// described in one place: its address and file naming, run times, step
// list, the parameters and levels it offers for each kind of weather, its
// grid and the licence and attribution its data come with.
#ifndef SKYVANE_OPENDATASOURCES_H
#define SKYVANE_OPENDATASOURCES_H

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// How a source is fetched.
enum class OpenDataProtocol {
    NomadsFilter,  // NOMADS' GRIB filter: one query per step, cut to the area
    EcmwfIndex     // a global file per step, fields picked by range requests
};

// One field a source offers, as the service names it.
struct OpenDataField {
    int meteoType;      // the MeteoType bit this field serves
    const char* name;   // NOMADS variable ("UGRD") or ECMWF param ("10u")
    const char* level;  // NOMADS level ("10_m_above_ground"); empty for ECMWF
};

struct OpenDataSource {
    const char* id;             // "gfs", "gfs-wave", "ecmwf", "ecmwf-wave"
    const char* label;          // "GFS 0.25°", as menus and buttons show it
    int resolution;             // its data-set code in request records
    const char* companionId;    // the source kinds this one lacks come from
    OpenDataProtocol protocol;
    const char* defaultBase;    // the service's root address
    const char* settingsKey;    // key of a mirror's root in [OpenData]
    int kinds;                  // MeteoType bits it offers
    QVector<OpenDataField> fields;
    QVector<int> runHours;      // UTC hours of the runs it publishes
    int publishDelayHours;      // a run is not looked for before this
    int gridStepMilli;          // 250
    const char* licence;        // "Public domain", "CC BY 4.0"
    const char* attribution;    // the credit its terms ask for
    const char* service;        // "NOMADS", as error messages name it
    // File naming, with {date} (YYYYMMDD), {hour} (HH), {step} (hours as
    // they are) and {step3} (three digits) filled in: the run's folder and
    // a step's file in it.
    const char* runFolder;      // "/gfs.{date}/{hour}/atmos"
    const char* stepFile;       // "gfs.t{hour}z.pgrb2.0p25.f{step3}"
    const char* filterScript;   // NOMADS: the filter's path; else empty
    const char* inventoryRoot;  // NOMADS: where the runs' inventories are
    int requestIntervalMs;      // least time between two requests started

    // The pacing for requests to this root: the service's own rule on its
    // own host; a mirror or a stand-in elsewhere sets its own limits.
    int requestIntervalMsFor(const QString& base) const;
    // The forecast hours of one run, ascending.
    QVector<int> steps() const;
    // The last forecast hour; its file being there means the run is complete.
    int lastStep() const { return steps().isEmpty() ? 0 : steps().last(); }
};

// The four sources, in menu order: GFS, GFS-Wave, ECMWF IFS, ECMWF wave.
const QVector<OpenDataSource>& openDataSources();

// Data-set codes of the sources; outside the forecast service's codes
// (1 to 26) and the buoy mark (128).
constexpr int kFirstOpenDataResolution = 201;
constexpr int kLastOpenDataResolution = 204;
inline bool isOpenDataResolution(int resolution)
{
    return resolution >= kFirstOpenDataResolution && resolution <= kLastOpenDataResolution;
}

// The source of a code or an id; null when there is none.
const OpenDataSource* findOpenDataSource(int resolution);
const OpenDataSource* findOpenDataSource(const QString& id);

// "GFS 0.25° 06Z": the source and the hour of the run shown.
QString openDataRunLabel(const OpenDataSource& source, const QDateTime& runUtc);

#endif
