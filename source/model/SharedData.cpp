#include "SharedData.h"

#include "LandMaskImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <thread>

namespace {

constexpr int kLineBytes = 256;

// The numbers of the city file are written with a decimal point whatever
// the user's locale (which Qt applications adopt at start).
class CNumericLocale {
public:
    CNumericLocale()
        : c(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0))),
          previous(c ? uselocale(c) : static_cast<locale_t>(0))
    {
    }
    ~CNumericLocale()
    {
        if (c) {
            uselocale(previous);
            freelocale(c);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t c;
    locale_t previous;
};

// Copies a UTF-8 name into a field of size bytes, cutting before a
// character that would not fit whole.
void copyName(const char* name, char* field, size_t size)
{
    size_t length = std::strlen(name);
    if (length >= size) {
        length = size - 1;
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;  // name[length] continues a character begun before it
    }
    std::memcpy(field, name, length);
    field[length] = '\0';
}

void loadMask(const QString& path, QImage& mask)
{
    // A missing or unreadable mask stays null: that half is drawn as sea.
    if (!LandMaskImage::read(path, mask))
        mask = QImage();
}

}  // namespace

SharedData::SharedData() : SharedData(QCoreApplication::applicationDirPath()) {}

SharedData::SharedData(const QString& dir)
{
    load(dir);
}

SharedData::~SharedData()
{
    freeCities();
}

void SharedData::load(const QString& dir)
{
    // The two masks are decoded side by side: each is 36 MB of pixels.
    std::thread eastern(loadMask, dir + QLatin1Char('/') + QLatin1String(LandMaskImage::kEasternFile),
                        std::ref(easternMask));
    loadMask(dir + QLatin1Char('/') + QLatin1String(LandMaskImage::kWesternFile), westernMask);
    eastern.join();
    coverageAreas = kCoverageAreas;
    coverageCount = kCoverageAreaCount;
    loadCities(dir + QStringLiteral("/Skyvane.02"));
}

bool SharedData::parseCityLine(char* line, CityData& city)
{
    // Blanks inside a name would end it: the name travels with '!' instead.
    for (char* p = line; *p; ++p) {
        if (*p == ' ')
            *p = '!';
    }
    char name[kLineBytes];
    long population = 0;
    float lat = 0, lon = 0;
    int fields = 0;
    {
        const CNumericLocale numbers;
        fields = std::sscanf(line, "%255s\t%li\t%f\t%f", name, &population, &lat, &lon);
    }
    if (fields != 4 || population < INT_MIN || population > INT_MAX)
        return false;
    for (char* p = name; *p; ++p) {
        if (*p == '!')
            *p = ' ';
    }
    std::memset(&city, 0, sizeof city);
    copyName(name, city.name, sizeof city.name);
    city.population = static_cast<int>(population);
    const float latScaled = lat * 1e6f;
    const float lonScaled = lon * 1e6f;
    // Out-of-range numbers would overflow the conversion; such a city
    // cannot be drawn anyway.
    if (!(latScaled > -2.1e9f && latScaled < 2.1e9f && lonScaled > -2.1e9f && lonScaled < 2.1e9f))
        return false;
    city.latMicro = static_cast<int>(latScaled);
    city.lonMicro = static_cast<int>(lonScaled);
    return true;
}

void SharedData::loadCities(const QString& path)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return;
    CityData** tail = &cities;
    char line[kLineBytes];
    int length = 0;
    for (;;) {
        const int byte = std::fgetc(file);
        if (byte == EOF)
            break;  // a last line without its newline is not used
        if (byte != '\n') {
            if (length == kLineBytes - 1)
                break;  // an over-long line ends the list
            line[length++] = static_cast<char>(byte);
            continue;
        }
        line[length] = '\0';
        length = 0;
        CityData city;
        if (!parseCityLine(line, city))
            continue;
        CityData* record = static_cast<CityData*>(std::calloc(1, sizeof(CityData)));
        if (!record)
            break;
        *record = city;
        record->next = nullptr;
        *tail = record;
        tail = &record->next;
    }
    std::fclose(file);
}

void SharedData::freeCities()
{
    while (cities) {
        CityData* next = cities->next;
        std::free(cities);
        cities = next;
    }
}

bool SharedData::isLand(int latMicro, int lonMicroAny) const
{
    long long folded = (static_cast<long long>(lonMicroAny) + 180000000LL) % 360000000LL;
    if (folded < 0)
        folded += 360000000LL;
    const int lonMicro = static_cast<int>(folded - 180000000LL);
    if (latMicro < -79999999 || latMicro > 79999999)
        return false;
    const int row = (80000000 - latMicro) / 10000;
    if (row < 0 || row >= LandMaskImage::kHeight)
        return false;
    const QImage& mask = lonMicro < 0 ? westernMask : easternMask;
    // Just west of Greenwich the truncating arithmetic gives column 18000,
    // one past the western mask: the last column answers for it.
    const int column = lonMicro < 0 ? std::min(lonMicro / 10000 + 18000, LandMaskImage::kWidth - 1)
                                    : lonMicro / 10000;
    if (mask.isNull() || column < 0)
        return false;
    return LandMaskImage::isSet(mask, column, row);
}
