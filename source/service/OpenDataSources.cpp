#include "OpenDataSources.h"

#include <QUrl>

#include <QDate>

#include "MeteoType.h"

namespace {

constexpr int kAtmosphereKinds = mtWind | mtPressure | mtPrecipitation | mtTemperature;

const char kNomadsRoot[] = "https://nomads.ncep.noaa.gov";
const char kNomadsInventory[] = "/pub/data/nccf/com/gfs/prod";
const char kEcmwfRoot[] = "https://data.ecmwf.int/forecasts";
const char kNoaaCredit[] = "NOAA National Centers for Environmental Prediction (NCEP); public domain";
// NOMADS asks its users to keep to a couple of requests a second.
constexpr int kNomadsIntervalMs = 500;

// ECMWF's terms ask for the copyright with the year, the source, the
// licence and their disclaimer.
const char* ecmwfCredit()
{
    static const QByteArray credit =
        QStringLiteral("© %1 European Centre for Medium-Range Weather Forecasts (ECMWF). "
                       "Source: www.ecmwf.int. Licence: CC BY 4.0 (https://creativecommons.org/licenses/by/4.0/). "
                       "ECMWF does not accept any liability whatsoever for any error or omission in the data, "
                       "their availability, or for any loss or damage arising from their use.")
            .arg(QDate::currentDate().year())
            .toUtf8();
    return credit.constData();
}

OpenDataSource gfs()
{
    return {"gfs", "GFS 0.25°", 201, "gfs-wave", OpenDataProtocol::NomadsFilter, kNomadsRoot, "gfs",
            kAtmosphereKinds,
            {{mtWind, "UGRD", "10_m_above_ground"},
             {mtWind, "VGRD", "10_m_above_ground"},
             {mtPressure, "PRMSL", "mean_sea_level"},
             {mtPrecipitation, "APCP", "surface"},
             {mtTemperature, "TMP", "2_m_above_ground"}},
            {0, 6, 12, 18}, 5, 250, "Public domain", kNoaaCredit, "NOMADS",
            "/gfs.{date}/{hour}/atmos", "gfs.t{hour}z.pgrb2.0p25.f{step3}", "/cgi-bin/filter_gfs_0p25.pl",
            kNomadsInventory, kNomadsIntervalMs};
}

OpenDataSource gfsWave()
{
    return {"gfs-wave", "GFS-Wave 0.25°", 202, "gfs", OpenDataProtocol::NomadsFilter, kNomadsRoot, "gfs-wave",
            mtWave,
            {{mtWave, "HTSGW", "surface"},
             {mtWave, "WVHGT", "surface"},
             {mtWave, "WVDIR", "surface"},
             {mtWave, "SWELL", "1_in_sequence"},
             {mtWave, "SWDIR", "1_in_sequence"},
             {mtWave, "PERPW", "surface"}},
            {0, 6, 12, 18}, 5, 250, "Public domain", kNoaaCredit, "NOMADS",
            "/gfs.{date}/{hour}/wave/gridded", "gfswave.t{hour}z.global.0p25.f{step3}.grib2",
            "/cgi-bin/filter_gfswave.pl", kNomadsInventory, kNomadsIntervalMs};
}

OpenDataSource ecmwf()
{
    return {"ecmwf", "ECMWF IFS 0.25°", 203, "ecmwf-wave", OpenDataProtocol::EcmwfIndex, kEcmwfRoot, "ecmwf",
            kAtmosphereKinds,
            {{mtWind, "10u", ""}, {mtWind, "10v", ""}, {mtPressure, "msl", ""}, {mtPrecipitation, "tp", ""},
             {mtTemperature, "2t", ""}},
            {0, 12}, 8, 250, "CC BY 4.0", ecmwfCredit(), "ECMWF open data",
            "/{date}/{hour}z/ifs/0p25/oper", "{date}{hour}0000-{step}h-oper-fc.grib2", "", "", 0};
}

OpenDataSource ecmwfWave()
{
    return {"ecmwf-wave", "ECMWF wave 0.25°", 204, "ecmwf", OpenDataProtocol::EcmwfIndex, kEcmwfRoot, "ecmwf-wave",
            mtWave,
            {{mtWave, "swh", ""}, {mtWave, "mwp", ""}, {mtWave, "mwd", ""}},
            {0, 12}, 8, 250, "CC BY 4.0", ecmwfCredit(), "ECMWF open data",
            "/{date}/{hour}z/ifs/0p25/wave", "{date}{hour}0000-{step}h-wave-fc.grib2", "", "", 0};
}

void appendSteps(QVector<int>& steps, int from, int to, int every)
{
    for (int hour = from; hour <= to; hour += every)
        steps.append(hour);
}

}  // namespace

QVector<int> OpenDataSource::steps() const
{
    QVector<int> hours;
    if (protocol == OpenDataProtocol::NomadsFilter) {
        appendSteps(hours, 0, 120, 1);
        appendSteps(hours, 123, 384, 3);
    } else {
        appendSteps(hours, 0, 144, 3);
        appendSteps(hours, 150, 240, 6);
    }
    return hours;
}

const QVector<OpenDataSource>& openDataSources()
{
    static const QVector<OpenDataSource> sources = {gfs(), gfsWave(), ecmwf(), ecmwfWave()};
    return sources;
}

const OpenDataSource* findOpenDataSource(int resolution)
{
    for (const OpenDataSource& source : openDataSources())
        if (source.resolution == resolution)
            return &source;
    return nullptr;
}

const OpenDataSource* findOpenDataSource(const QString& id)
{
    for (const OpenDataSource& source : openDataSources())
        if (id == QLatin1String(source.id))
            return &source;
    return nullptr;
}

QString openDataRunLabel(const OpenDataSource& source, const QDateTime& runUtc)
{
    return QStringLiteral("%1 %2Z").arg(QString::fromUtf8(source.label)).arg(runUtc.toUTC().time().hour(), 2, 10,
                                                                             QLatin1Char('0'));
}

int OpenDataSource::requestIntervalMsFor(const QString& base) const
{
    return QUrl(base).host() == QUrl(QString::fromLatin1(defaultBase)).host() ? requestIntervalMs : 0;
}
