// Finds the newest complete run of one or more sources: starting from the
// newest run hour the publishing delay allows, a run counts as complete
// when the last step's inventory of every source is there (HEAD answers
// 200); an absent one (404) sends the search one run back.
#ifndef SKYVANE_OPENDATARUNFINDER_H
#define SKYVANE_OPENDATARUNFINDER_H

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

#include "OpenDataSources.h"

class OpenDataFetcher;

class OpenDataRunFinder {
public:
    static constexpr int kRunsTried = 8;

    // The run found, or an invalid time and why none was.
    using Done = std::function<void(const QDateTime& runUtc, const QString& error)>;

    // bases: root address by source id; sources missing from it use their
    // default.
    OpenDataRunFinder(OpenDataFetcher& fetcher, QVector<const OpenDataSource*> sources,
                      QHash<QString, QString> bases);

    void find(const QDateTime& nowUtc, Done done);

    // The runs worth probing, newest first: the newest run hour not later
    // than now - publishDelayHours of every source, then earlier runs.
    static QVector<QDateTime> candidates(const QVector<const OpenDataSource*>& sources, const QDateTime& nowUtc,
                                         int count);

private:
    void probe(int candidate);
    void probed(int candidate, int status, const QString& error);
    void report(const QDateTime& runUtc, const QString& error);
    QString baseOf(const OpenDataSource& source) const;
    QString noRunMessage() const;

    OpenDataFetcher& fetcher;
    QVector<const OpenDataSource*> sources;
    QHash<QString, QString> bases;
    QVector<QDateTime> runs;
    int awaited = 0;
    bool absent = false;
    QString failure;
    Done finished;
};

#endif
