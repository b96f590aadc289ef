// Step files kept for reuse: one file per step of a run, named by the
// source, the run, the step and a digest of the fields and the area it
// holds, so that a second request for the same data takes it without a
// byte fetched.  A file appears under its name only complete (written
// under a temporary name, then renamed); files of old runs are removed.
#ifndef SKYVANE_OPENDATACACHE_H
#define SKYVANE_OPENDATACACHE_H

#include <QDateTime>
#include <QString>
#include <QStringList>

struct OpenDataStepKey {
    QString sourceId;
    QDateTime runUtc;
    int hour = 0;
    QStringList fields;
    QString area;          // empty for global files
};

class OpenDataCache {
public:
    // Step files of runs older than this are removed by removeOldRuns().
    static constexpr int kKeptHours = 48;

    explicit OpenDataCache(QString folder = QString());

    const QString& folder() const { return directory; }
    // Where the step's file is, whether or not it exists yet.
    QString pathOf(const OpenDataStepKey& key) const;
    // Its size when it is there; -1 when not.
    qint64 cachedSize(const OpenDataStepKey& key) const;
    // A new empty file in the folder to write a step into; empty when none
    // can be made.
    QString newTemporary(const OpenDataStepKey& key) const;
    // Puts a complete temporary in place; a file already there (another
    // download's) is as good and stays.
    bool commit(const QString& temporary, const QString& path) const;
    // Removes step files and leftover temporaries of runs started before
    // now - kKeptHours.
    void removeOldRuns(const QDateTime& nowUtc) const;

    static QString runText(const QDateTime& runUtc);   // "2026120706"

private:
    QString directory;
};

// Appends the whole of the file at path to target, in pieces; false when
// either fails.
class QIODevice;
bool appendFileTo(QIODevice& target, const QString& path);

#endif
