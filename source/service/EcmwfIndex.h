// ECMWF's index of a step file: one JSON object per line and field, giving
// the field's param and its place in the file.  Only what holds together
// is believed: offsets and lengths are checked before any of them decides
// what is fetched, and never decide what is allocated.
#ifndef SKYVANE_ECMWFINDEX_H
#define SKYVANE_ECMWFINDEX_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Bytes first to last of a file, both included.
struct ByteRange {
    qint64 first = 0;
    qint64 last = 0;

    qint64 length() const { return last - first + 1; }
    bool operator==(const ByteRange& other) const { return first == other.first && last == other.last; }
};

class EcmwfIndex {
public:
    // No field of a 0.25° global grid comes near this; no step file near
    // the other.
    static constexpr qint64 kMaxFieldBytes = qint64(256) << 20;
    static constexpr qint64 kMaxFileBytes = qint64(64) << 30;

    // False, with errorText(), for text that is not a sound index.
    bool read(const QByteArray& text);
    const QString& errorText() const { return error; }

    // The ranges holding the fields of these params, ascending, fields
    // that lie back to back joined into one range.
    QVector<ByteRange> rangesOf(const QStringList& params) const;
    // Those of the params no field has.
    QStringList missing(const QStringList& params) const;

private:
    struct Entry {
        QString param;
        qint64 offset;
        qint64 length;
    };

    bool readLine(const QByteArray& line, int number);
    bool checkOverlaps();

    QVector<Entry> entries;
    QString error;
};

#endif
