#include "AccountStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

bool AccountStore::loadAccounts(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read accounts file %1: %2").arg(path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            error = QStringLiteral("%1:%2: expected login:password").arg(path).arg(lineNumber);
            return false;
        }
        addAccount(line.left(colon), line.mid(colon + 1));
    }
    return true;
}

void AccountStore::addAccount(const QString& login, const QString& password)
{
    passwords_.insert(login, password);
}

bool AccountStore::isKnown(const char* login, const char* password) const
{
    if (!login || !password)
        return false;
    auto it = passwords_.constFind(QString::fromUtf8(login));
    return it != passwords_.constEnd() && *it == QString::fromUtf8(password);
}

bool AccountStore::Preset::activeAt(const QDateTime& nowUtc) const
{
    return addedUtc.addDays(daysActive) > nowUtc;
}

bool AccountStore::useStateFile(const QString& path, QString& error)
{
    std::lock_guard<std::mutex> lock(presetsMutex_);
    statePath_ = path;
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read state file %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        error = QStringLiteral("state file %1 is not a JSON object: %2").arg(path, parseError.errorString());
        return false;
    }
    const QJsonObject accounts = document.object().value(QStringLiteral("presets")).toObject();
    for (auto it = accounts.begin(); it != accounts.end(); ++it) {
        for (const QJsonValue& value : it.value().toArray()) {
            const QJsonObject object = value.toObject();
            Preset preset;
            preset.text = object.value(QStringLiteral("text")).toString();
            preset.addedUtc = QDateTime::fromString(object.value(QStringLiteral("added")).toString(), Qt::ISODate);
            preset.daysActive = object.value(QStringLiteral("daysActive")).toInt();
            if (preset.addedUtc.isValid())
                presets_[it.key()].append(preset);
        }
    }
    return true;
}

bool AccountStore::saveStateLocked() const
{
    if (statePath_.isEmpty())
        return true;
    QJsonObject accounts;
    for (auto it = presets_.constBegin(); it != presets_.constEnd(); ++it) {
        QJsonArray list;
        for (const Preset& preset : it.value())
            list.append(QJsonObject{{QStringLiteral("text"), preset.text},
                                    {QStringLiteral("added"), preset.addedUtc.toString(Qt::ISODate)},
                                    {QStringLiteral("daysActive"), preset.daysActive}});
        accounts.insert(it.key(), list);
    }
    // Written aside and renamed, so a crash never leaves half a file.
    QSaveFile file(statePath_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("presets"), accounts}}).toJson());
    return file.commit();
}

AccountStore::PresetResult AccountStore::addPreset(const QString& login, const QString& presetText,
                                                   int daysActive, const QDateTime& nowUtc)
{
    std::lock_guard<std::mutex> lock(presetsMutex_);
    QList<Preset>& list = presets_[login];
    int active = 0;
    for (const Preset& preset : list)
        active += preset.activeAt(nowUtc) ? 1 : 0;
    if (active >= kMaxActivePresets)
        return PresetResult::TooManyActive;
    Preset preset;
    preset.text = presetText;
    preset.addedUtc = nowUtc;
    preset.daysActive = daysActive;
    list.append(preset);
    if (!saveStateLocked()) {
        list.removeLast();
        return PresetResult::StateNotSaved;
    }
    return PresetResult::Added;
}

int AccountStore::activePresetCount(const QString& login, const QDateTime& nowUtc) const
{
    std::lock_guard<std::mutex> lock(presetsMutex_);
    int active = 0;
    for (const Preset& preset : presets_.value(login))
        active += preset.activeAt(nowUtc) ? 1 : 0;
    return active;
}
