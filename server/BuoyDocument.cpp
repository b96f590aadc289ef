#include "BuoyDocument.h"

#include "ForecastGrid.h"
#include "SyntheticAtmosphere.h"

#include <QXmlStreamWriter>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// What a station measures.
enum Sensor : unsigned {
    sWind = 1,
    sAir = 2,
    sPressure = 4,
    sWaves = 8,        // height and period
    sWaveBearing = 16, // mean wave direction
    sWater = 32,
    sTide = 64,
};

constexpr unsigned kBuoy = sWind | sAir | sPressure | sWaves | sWaveBearing | sWater;
constexpr unsigned kBuoyNoBearing = sWind | sAir | sPressure | sWaves | sWater;
constexpr unsigned kHarbour = sWind | sAir | sPressure | sWater | sTide;
constexpr unsigned kSilent = 0;  // "No recent data"

struct Station {
    const char* id;
    const char* snippet;
    double lat, lon;
    unsigned sensors;
    double tideMean, tideRange;  // feet above MLLW, half the range
};

const Station kStations[] = {
    {"41001", "East Hatteras - 150 NM East of Cape Hatteras", 34.68, -72.66, kBuoy, 0, 0},
    {"41002", "South Hatteras - 225 NM South of Cape Hatteras", 31.76, -74.84, kSilent, 0, 0},
    {"41004", "Edisto - 41 NM Southeast of Charleston, SC", 32.50, -79.10, kBuoy, 0, 0},
    {"41008", "Grays Reef - 40 NM Southeast of Savannah, GA", 31.40, -80.87, kBuoy, 0, 0},
    {"41009", "Canaveral - 20 NM East of Cape Canaveral, FL", 28.52, -80.18, kBuoy, 0, 0},
    {"41013", "Frying Pan Shoals, NC", 33.44, -77.76, kBuoyNoBearing, 0, 0},
    {"41025", "Diamond Shoals, NC", 35.01, -75.40, kBuoy, 0, 0},
    {"41040", "North Equatorial One - 470 NM East of Martinique", 14.48, -53.01, kBuoy, 0, 0},
    {"41043", "NE Puerto Rico - 170 NM NNE of San Juan, PR", 21.13, -64.86, kBuoy, 0, 0},
    {"41047", "NE Bahamas - 350 NM ENE of Nassau, Bahamas", 27.47, -71.49, kBuoyNoBearing, 0, 0},
    {"41049", "South Bermuda - 300 NM SSE of Bermuda", 27.49, -62.94, kBuoy, 0, 0},
    {"44005", "Gulf of Maine - 78 NM East of Portsmouth, NH", 43.20, -69.13, kSilent, 0, 0},
    {"44008", "Nantucket - 54 NM Southeast of Nantucket", 40.50, -69.25, kBuoy, 0, 0},
    {"44011", "Georges Bank - 170 NM East of Hyannis, MA", 41.09, -66.56, kBuoyNoBearing, 0, 0},
    {"44013", "Boston - 16 NM East of Boston, MA", 42.35, -70.65, kBuoy, 0, 0},
    {"44025", "Long Island - 30 NM South of Islip, NY", 40.25, -73.16, kBuoy, 0, 0},
    {"42001", "Mid Gulf - 180 NM South of Southwest Pass, LA", 25.90, -89.67, kBuoy, 0, 0},
    {"42003", "East Gulf - 208 NM West of Naples, FL", 26.04, -85.61, kBuoyNoBearing, 0, 0},
    {"42019", "Freeport, TX - 60 NM South of Freeport, TX", 27.91, -95.35, kBuoy, 0, 0},
    {"42036", "West Tampa - 106 NM WNW of Tampa, FL", 28.50, -84.52, kBuoy, 0, 0},
    {"42040", "Luke Offshore Test Platform - 63 NM South of Dauphin Island, AL", 29.21, -88.21,
     kSilent, 0, 0},
    {"46001", "Western Gulf of Alaska - 175 NM SE of Kodiak, AK", 56.30, -148.02, kBuoyNoBearing, 0, 0},
    {"46002", "Oregon - 275 NM West of Coos Bay, OR", 42.61, -130.49, kBuoy, 0, 0},
    {"46013", "Bodega Bay - 48 NM NW of San Francisco, CA", 38.24, -123.30, kBuoy, 0, 0},
    {"46025", "Santa Monica Basin - 33 NM WSW of Santa Monica, CA", 33.75, -119.05, kBuoy, 0, 0},
    {"46026", "San Francisco - 18 NM West of San Francisco, CA", 37.76, -122.84, kBuoy, 0, 0},
    {"46035", "Central Bering Sea - 310 NM North of Adak, AK", 57.03, -177.74, kBuoyNoBearing, 0, 0},
    {"46041", "Cape Elizabeth - 45 NM NW of Aberdeen, WA", 47.35, -124.74, kBuoy, 0, 0},
    {"46059", "West California - 357 NM West of San Francisco, CA", 38.09, -129.95, kSilent, 0, 0},
    {"51001", "Northwestern Hawaii One - 188 NM NW of Kauai Island, HI", 24.45, -162.00, kBuoy, 0, 0},
    {"51002", "Southwest Hawaii - 215 NM SSW of Hilo, HI", 17.09, -157.81, kBuoy, 0, 0},
    {"8518750", "The Battery, NY", 40.70, -74.01, kHarbour, 2.5, 2.3},
    {"9414290", "San Francisco, CA", 37.81, -122.47, kHarbour, 3.1, 2.9},
    {"8723214", "Virginia Key, FL", 25.73, -80.16, kHarbour, 1.2, 1.1},
    {"9447130", "Seattle, WA", 47.60, -122.34, kHarbour, 6.6, 5.6},
    {"62001", "Gascogne Buoy - Bay of Biscay", 45.23, -5.00, kBuoyNoBearing, 0, 0},
    {"62163", "Brittany Buoy - 150 NM West of Brest", 47.55, -8.47, kBuoyNoBearing, 0, 0},
    {"62103", "Channel Lightship - 30 NM North of Guernsey", 49.90, -2.90, kBuoy, 0, 0},
};

double unitNoise(std::uint64_t a, std::uint64_t b, std::uint64_t c)
{
    std::uint64_t z = (a + 1) * 0x9E3779B97F4A7C15ULL ^ (b + 0x3C6EF372FE94F82BULL) * 0xBF58476D1CE4E5B9ULL ^
                      (c + 7) * 0x94D049BB133111EBULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return double(z >> 11) * (1.0 / 9007199254740992.0) - 0.5;
}

QString compass(int degrees)
{
    static const char* const kPoints[] = {"N",  "NNE", "NE", "ENE", "E",  "ESE", "SE", "SSE",
                                          "S",  "SSW", "SW", "WSW", "W",  "WNW", "NW", "NNW"};
    return QString::fromLatin1(kPoints[int(std::floor((degrees + 11.25) / 22.5)) % 16]);
}

// A fixed-point number without a negative zero.
QString fixed(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0)
        rounded = 0.0;
    return QString::number(rounded, 'f', decimals);
}

QString item(const QString& name, const QString& value)
{
    return QStringLiteral("<b>%1:</b> %2<br />").arg(name, value);
}

QString bearing(double degrees)
{
    const int d = int(std::lround(degrees)) % 360;
    return QStringLiteral("%1 (%2&#176;)").arg(compass(d)).arg(d);
}

struct Observation {
    float pressure = 0, u = 0, v = 0, air = 0, water = 0;
    float windWave = 0, windWaveFrom = 0, period = 0, swell = 0, swellFrom = 0;
};

Observation observe(const Station& s, double t)
{
    ForecastGrid point;
    point.ni = point.nj = 1;
    point.di = point.dj = 1;
    point.lat1 = int(std::lround(s.lat * 1000.0));
    point.lon1 = int(std::lround(s.lon * 1000.0));
    const std::vector<unsigned char> sea{0};
    const SyntheticAtmosphere weather(point, sea);
    Observation o;
    weather.pressureAndWind(t, &o.pressure, &o.u, &o.v);
    weather.temperature(t, &o.air);
    weather.seaTemperature(t, &o.water);
    weather.waves(t, &o.u, &o.v, &o.windWave, &o.windWaveFrom, &o.period, &o.swell, &o.swellFrom);
    return o;
}

double fahrenheit(double kelvin)
{
    return (kelvin - 273.15) * 9.0 / 5.0 + 32.0;
}

QString describe(const Station& s, int index, const QDateTime& time)
{
    const std::uint64_t when = std::uint64_t(time.toSecsSinceEpoch() / 60);
    auto noise = [&](int k) { return unitNoise(std::uint64_t(index), when, std::uint64_t(k)); };
    const Observation o = observe(s, SyntheticAtmosphere::hoursOf(time));
    QString d = QStringLiteral("<b>%1 UTC</b><br />").arg(time.toString(QStringLiteral("MM/dd/yyyy HHmm")));
    if (s.sensors & sWind) {
        const double speed = std::hypot(double(o.u), double(o.v)) * (1.0 + 0.1 * noise(1));
        double from = std::atan2(-double(o.u), -double(o.v)) * 180.0 / kPi + 8.0 * noise(2);
        from = std::fmod(from + 720.0, 360.0);
        const double knots = speed * 1.943844;
        d += item(QStringLiteral("Winds"), bearing(from) + ' ' + fixed(knots, 1) + QStringLiteral(" kt"));
        d += item(QStringLiteral("Wind Gust"), fixed(knots * (1.3 + 0.2 * noise(3)) + 1.5, 1) + QStringLiteral(" kt"));
    }
    if (s.sensors & sAir)
        d += item(QStringLiteral("Air Temperature"),
                  fixed(fahrenheit(o.air + 0.6 * noise(4)), 1) + QStringLiteral(" &#176;F"));
    if (s.sensors & sPressure)
        d += item(QStringLiteral("Atmospheric Pressure"),
                  fixed((o.pressure + 60.0 * noise(5)) / 3386.389, 2) + QStringLiteral(" in"));
    if (s.sensors & sWaves) {
        const double height = std::hypot(double(o.windWave), double(o.swell)) * (1.0 + 0.1 * noise(6));
        d += item(QStringLiteral("Significant Wave Height"), fixed(height * 3.28084, 1) + QStringLiteral(" ft"));
        d += item(QStringLiteral("Dominant Wave period"),
                  QString::number(std::lround(o.period + noise(7))) + QStringLiteral(" sec"));
    }
    if (s.sensors & sWaveBearing) {
        const double from = o.windWave > o.swell ? o.windWaveFrom : o.swellFrom;
        const int degrees = int(std::lround(std::fmod(from + 10.0 * noise(8) + 360.0, 360.0))) % 360;
        d += item(QStringLiteral("Mean Wave Direction"),
                  bearing(degrees) + ' ' + QString::number(degrees) + QStringLiteral(" &#176;T"));
    }
    if (s.sensors & sWater)
        d += item(QStringLiteral("Water Temperature"),
                  fixed(fahrenheit(o.water + 0.3 * noise(9)), 1) + QStringLiteral(" &#176;F"));
    if (s.sensors & sTide) {
        // M2 and S2 tides with a station phase.
        const double hours = SyntheticAtmosphere::hoursOf(time);
        const double phase = 2.0 * kPi * (noise(100) + 0.5);
        const double tide = s.tideMean + s.tideRange * (0.85 * std::cos(2.0 * kPi * hours / 12.4206 - phase) +
                                                        0.15 * std::cos(2.0 * kPi * hours / 12.0 - phase));
        d += item(QStringLiteral("Tide (above MLLW)"), fixed(tide, 1) + QStringLiteral(" ft"));
    }
    return d;
}

}  // namespace

QByteArray buildBuoyDocument(const QDateTime& nowUtc)
{
    const QDateTime now = nowUtc.toUTC();
    const QDateTime hour(now.date(), QTime(now.time().hour(), 0), Qt::UTC);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/kml/2.2"));
    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeStartElement(QStringLiteral("Document"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Buoy observations"));
    int index = 0;
    for (const Station& s : kStations) {
        // Reports arrive up to three hours late, on ten-minute marks; the
        // delay changes from hour to hour.
        const int delay = 10 * int((unitNoise(std::uint64_t(index), std::uint64_t(hour.toSecsSinceEpoch()), 50) + 0.5) * 19);
        const QDateTime observed = hour.addSecs(-60 * qint64(delay));
        xml.writeStartElement(QStringLiteral("Placemark"));
        xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Station ") + QString::fromLatin1(s.id));
        xml.writeStartElement(QStringLiteral("Snippet"));
        xml.writeAttribute(QStringLiteral("maxLines"), QStringLiteral("1"));
        xml.writeCharacters(QString::fromUtf8(s.snippet));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("description"));
        xml.writeCDATA(s.sensors == kSilent ? QStringLiteral("<b>No recent data</b><br />")
                                            : describe(s, index, observed));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("LookAt"));
        xml.writeTextElement(QStringLiteral("longitude"), QString::number(s.lon, 'f', 2));
        xml.writeTextElement(QStringLiteral("latitude"), QString::number(s.lat, 'f', 2));
        xml.writeTextElement(QStringLiteral("altitude"), QStringLiteral("0"));
        xml.writeTextElement(QStringLiteral("range"), QStringLiteral("400000"));
        xml.writeTextElement(QStringLiteral("tilt"), QStringLiteral("0"));
        xml.writeTextElement(QStringLiteral("heading"), QStringLiteral("0"));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("Point"));
        xml.writeTextElement(QStringLiteral("coordinates"),
                             QStringLiteral("%1,%2,0").arg(QString::number(s.lon, 'f', 2),
                                                           QString::number(s.lat, 'f', 2)));
        xml.writeEndElement();
        xml.writeEndElement();
        ++index;
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}
