#include "SettingsFactory.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <iterator>

#include "ForecastServiceClient.h"
#include "OpenDataSources.h"
#include "Provider.h"
#include "SharedData.h"

SettingsFactory* SettingsFactory::pThis = nullptr;

namespace {
const int kPresetConnectSeconds = 10;
const int kPresetAnswerSeconds = 30;
}  // namespace
QSize SettingsFactory::mapSize(0, 0);

namespace {

const char kFavourites[] = "Favourites";

const QFileDevice::Permissions kPrivateFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
const QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The value of the first piece that is exactly key=value; false when none
// is.  The value ends at the next '=' inside the piece.
bool findValue(const QStringList& pieces, const QString& key, QString& value)
{
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(key + QStringLiteral("=(.*)")));
    for (const QString& piece : pieces) {
        if (pattern.match(piece).hasMatch()) {
            value = piece.split(QLatin1Char('=')).value(1);
            return true;
        }
    }
    return false;
}

// An open-data preset names its source too: the source, not its code,
// is what the preset means, and older versions skip a piece they do not
// know.
QString sourcePiece(int resolution)
{
    const OpenDataSource* source = findOpenDataSource(resolution);
    return source ? QStringLiteral("source=%1;").arg(QString::fromLatin1(source->id)) : QString();
}

}  // namespace

SettingsFactory::SettingsFactory()
    : settings(new QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(Provider::webDomain),
                             QStringLiteral("Skyvane"))),
      sharedData(new SharedData())
{
    const QString fileName = settings->fileName();
    qsizetype cut = fileName.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = fileName.lastIndexOf(QLatin1Char('\\'));
    if (cut > 0) {
        const QString folder = fileName.left(cut);
        QDir().mkpath(folder);
        // The password is stored in plain text.
        QFile::setPermissions(folder, kPrivateFolder);
    }
    loadPresets();
}

SettingsFactory::~SettingsFactory()
{
    commit();
    delete settings;
    delete sharedData;
    // The same record may be stored under several names.
    const QList<ToviForecastParameters*> records = presets.values();
    for (ToviForecastParameters* record : QSet<ToviForecastParameters*>(records.begin(), records.end()))
        delete record;
}

SettingsFactory* SettingsFactory::instance()
{
    if (!pThis)
        pThis = new SettingsFactory();
    return pThis;
}

SharedData* SettingsFactory::getSharedData()
{
    return instance()->sharedData;
}

void SettingsFactory::destroy()
{
    delete pThis;
    pThis = nullptr;
}

void SettingsFactory::commit()
{
    settings->sync();
    if (QFile::exists(settings->fileName()))
        QFile::setPermissions(settings->fileName(), kPrivateFile);
}

QString SettingsFactory::login()
{
    return instance()->settings->value(QStringLiteral("Download/username"), QString()).toString();
}

QString SettingsFactory::password()
{
    return instance()->settings->value(QStringLiteral("Download/password"), QString()).toString();
}

QString SettingsFactory::server()
{
    const QString host =
        instance()->settings->value(QStringLiteral("Download/server"), QString::fromLatin1(Provider::defaultServerHost))
            .toString();
    return QStringLiteral("http://") + host + QLatin1Char(':') + QString::number(Provider::servicePort);
}

void SettingsFactory::setAccount(QString login, QString password)
{
    SettingsFactory* store = instance();
    store->settings->setValue(QStringLiteral("Download/username"), login);
    store->settings->setValue(QStringLiteral("Download/password"), password);
    store->commit();
}

QString SettingsFactory::getParameter(const char* group, const char* key, const char* defaultValue)
{
    QSettings* settings = instance()->settings;
    settings->beginGroup(QString::fromUtf8(group));
    const QString value = settings->value(QString::fromUtf8(key), QString::fromUtf8(defaultValue)).toString();
    settings->endGroup();
    return value;
}

QPointF SettingsFactory::getHome()
{
    QSettings* settings = instance()->settings;
    return QPointF(settings->value(QStringLiteral("Map/home lon"), -3.0).toDouble(),
                   settings->value(QStringLiteral("Map/home lat"), 53.0).toDouble());
}

int SettingsFactory::getHomeZoom()
{
    return instance()->settings->value(QStringLiteral("Map/home zoom"), 8).toInt();
}

void SettingsFactory::setHome(const QPointF& home, int zoom)
{
    SettingsFactory* store = instance();
    store->settings->beginGroup(QStringLiteral("Map"));
    store->settings->setValue(QStringLiteral("home lon"), home.x());
    store->settings->setValue(QStringLiteral("home lat"), home.y());
    store->settings->setValue(QStringLiteral("home zoom"), zoom);
    store->settings->endGroup();
    store->commit();
}

int SettingsFactory::getAnimationSpeed()
{
    const int speed = instance()->settings->value(QStringLiteral("Animation/speed"), 1).toInt();
    return speed == 2 || speed == 4 || speed == 8 ? speed : 1;
}

bool SettingsFactory::getAnimationLoop()
{
    return instance()->settings->value(QStringLiteral("Animation/loop"), false).toBool();
}

void SettingsFactory::setAnimation(int speed, bool loop)
{
    SettingsFactory* store = instance();
    store->settings->setValue(QStringLiteral("Animation/speed"), speed);
    store->settings->setValue(QStringLiteral("Animation/loop"), loop);
    store->commit();
}

QString SettingsFactory::getMyDocumentsPath()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') +
                         QString::fromLatin1(Provider::webDomain) + QStringLiteral("/Skyvane/");
    QDir().mkpath(path);
    return path;
}

QString SettingsFactory::getOpenDataCachePath()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QLatin1Char('/') +
                         QString::fromLatin1(Provider::webDomain) + QStringLiteral("/Skyvane/opendata/");
    QDir().mkpath(path);
    return path;
}

int SettingsFactory::presetsCount()
{
    return int(instance()->presets.size());
}

bool SettingsFactory::getPreset(int index, QString& name, ToviForecastParameters** parameters)
{
    const QMap<QString, ToviForecastParameters*>& presets = instance()->presets;
    if (index < 0 || index >= presets.size() || !parameters)
        return false;
    auto it = std::next(presets.constBegin(), index);
    name = it.key();
    *parameters = it.value();
    return true;
}

bool SettingsFactory::savePreset(QString name, ToviForecastParameters* parameters)
{
    SettingsFactory* store = instance();
    store->presets.insert(name, parameters);
    store->writePresets();
    return true;
}

bool SettingsFactory::deletePreset(QString name)
{
    SettingsFactory* store = instance();
    store->presets.remove(name);
    store->writePresets();
    return true;
}

void SettingsFactory::setMapSize(const QSize& size)
{
    mapSize = size;
}

QString SettingsFactory::preset2String(QString name, ToviForecastParameters* parameters)
{
    const ToviForecastParameters& p = *parameters;
    return QStringLiteral("name=%1;").arg(name) + QStringLiteral("resolution=%1;").arg(int(p.resolution)) +
           QStringLiteral("meteoType=%1;").arg(p.meteoType) + QStringLiteral("forecastDay=%1;").arg(p.forecastDay) +
           QStringLiteral("forecastTime=%1;").arg(p.forecastTime) +
           QStringLiteral("stepsNumber=%1;").arg(p.stepsNumber) + QStringLiteral("timeStep=%1;").arg(p.timeStep) +
           QStringLiteral("centerLat=%1;").arg(p.centerLat) + QStringLiteral("centerLon=%1;").arg(p.centerLon) +
           QStringLiteral("zoom=%1;").arg(p.zoom) + QStringLiteral("width=%1;").arg(mapSize.width()) +
           QStringLiteral("height=%1;").arg(mapSize.height()) + sourcePiece(int(p.resolution));
}

bool SettingsFactory::string2Preset(QString text, QString& name, ToviForecastParameters** parameters)
{
    if (!parameters || !*parameters)
        return false;
    ToviForecastParameters& p = **parameters;
    const QStringList pieces = text.split(QLatin1Char(';'));
    QString value;
    auto signedValue = [&](const char* key, int32_t& field) {
        if (findValue(pieces, QString::fromLatin1(key), value))
            field = value.toInt();
    };
    auto unsignedValue = [&](const char* key, int32_t& field) {
        if (findValue(pieces, QString::fromLatin1(key), value))
            field = int32_t(value.toUInt());
    };

    if (findValue(pieces, QStringLiteral("name"), value))
        name = value;
    int32_t resolution = p.resolution;
    signedValue("resolution", resolution);
    if (findValue(pieces, QStringLiteral("source"), value)) {
        if (const OpenDataSource* source = findOpenDataSource(value))
            resolution = source->resolution;
    }
    p.resolution = ToviForecastParameters::GribResolution(resolution);
    signedValue("meteoType", p.meteoType);
    signedValue("forecastDay", p.forecastDay);
    signedValue("forecastTime", p.forecastTime);
    unsignedValue("stepsNumber", p.stepsNumber);
    unsignedValue("timeStep", p.timeStep);
    // The map view falls back to the whole map rather than to what the
    // record held before.
    p.centerLat = 0;
    p.centerLon = 0;
    p.zoom = 8;
    signedValue("centerLat", p.centerLat);
    signedValue("centerLon", p.centerLon);
    signedValue("zoom", p.zoom);
    return true;
}

bool SettingsFactory::addPreset(QString name, int daysActive, ToviForecastParameters* parameters)
{
    const QByteArray password = getParameter("Download", "password", "").toLocal8Bit();
    const QByteArray login = getParameter("Download", "username", "").toLocal8Bit();
    const QByteArray endpoint = server().toLocal8Bit();
    const QByteArray presetData = preset2String(name, parameters).toLocal8Bit();
    ForecastServiceClient client;
    // The call runs on the GUI thread: a server that does not answer must
    // not hold the window for long.
    client.setTimeLimits(kPresetConnectSeconds, kPresetAnswerSeconds);
    return client.addPreset(endpoint.constData(), login.constData(), password.constData(), presetData.constData(),
                            daysActive) == 0;
}

void SettingsFactory::loadPresets()
{
    settings->beginGroup(QLatin1String(kFavourites));
    for (int i = 0;; ++i) {
        const QString key = QStringLiteral("Preset%1").arg(i);
        if (!settings->contains(key))
            break;
        const QString text = settings->value(key).toString();
        auto* record = new ToviForecastParameters();
        QString name;
        string2Preset(text, name, &record);
        // Nobody else holds a record loaded here.
        delete presets.value(name, nullptr);
        presets.insert(name, record);
    }
    settings->endGroup();
}

void SettingsFactory::writePresets()
{
    settings->beginGroup(QLatin1String(kFavourites));
    // Entries left from before, such as those past a gap, would otherwise
    // come back once the list grows over them.
    settings->remove(QString());
    int i = 0;
    for (auto it = presets.constBegin(); it != presets.constEnd(); ++it, ++i)
        settings->setValue(QStringLiteral("Preset%1").arg(i), preset2String(it.key(), it.value()));
    settings->endGroup();
    commit();
}
