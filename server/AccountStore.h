// The stand-in server's accounts and the presets registered for e-mail
// delivery.  Accounts are fixed after loading; presets may be kept in a
// state file so that they survive a restart.
#ifndef SKYVANE_ACCOUNTSTORE_H
#define SKYVANE_ACCOUNTSTORE_H

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <mutex>

class AccountStore {
public:
    // At most this many presets may be active per account at once.
    static constexpr int kMaxActivePresets = 5;

    // Lines "login:password"; blank lines and lines starting with '#' are
    // skipped.  Any other line without a colon or with an empty login is
    // an error naming its line number.
    bool loadAccounts(const QString& path, QString& error);
    void addAccount(const QString& login, const QString& password);

    // Null pointers never match.
    bool isKnown(const char* login, const char* password) const;

    // Presets are kept in memory, and in path as JSON when one is given.
    bool useStateFile(const QString& path, QString& error);

    enum class PresetResult { Added, TooManyActive, StateNotSaved };
    PresetResult addPreset(const QString& login, const QString& presetText, int daysActive,
                           const QDateTime& nowUtc);
    int activePresetCount(const QString& login, const QDateTime& nowUtc) const;

private:
    struct Preset {
        QString text;
        QDateTime addedUtc;
        int daysActive = 0;
        bool activeAt(const QDateTime& nowUtc) const;
    };
    bool saveStateLocked() const;

    QHash<QString, QString> passwords_;
    QHash<QString, QList<Preset>> presets_;
    QString statePath_;
    mutable std::mutex presetsMutex_;
};

#endif
