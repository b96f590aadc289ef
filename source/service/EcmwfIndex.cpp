#include "EcmwfIndex.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

// A whole number of bytes from 0 to limit, or -1.
qint64 wholeBytes(const QJsonValue& value, qint64 limit)
{
    if (!value.isDouble())
        return -1;
    const double number = value.toDouble();
    if (!(number >= 0) || number > double(limit) || std::floor(number) != number)
        return -1;
    return qint64(number);
}

}  // namespace

bool EcmwfIndex::read(const QByteArray& text)
{
    entries.clear();
    error.clear();
    int number = 0;
    for (const QByteArray& line : text.split('\n')) {
        ++number;
        if (!line.trimmed().isEmpty() && !readLine(line, number)) {
            entries.clear();
            return false;
        }
    }
    return checkOverlaps();
}

bool EcmwfIndex::readLine(const QByteArray& line, int number)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        error = QStringLiteral("Line %1 of the ECMWF index is not a JSON object").arg(number);
        return false;
    }
    const QJsonObject field = document.object();
    const QJsonValue param = field.value(QLatin1String("param"));
    const qint64 offset = wholeBytes(field.value(QLatin1String("_offset")), kMaxFileBytes);
    const qint64 length = wholeBytes(field.value(QLatin1String("_length")), kMaxFieldBytes);
    if (!param.isString() || param.toString().isEmpty() || offset < 0 || length <= 0 ||
        offset + length > kMaxFileBytes) {
        error = QStringLiteral("Line %1 of the ECMWF index gives no usable param, offset and length").arg(number);
        return false;
    }
    entries.append({param.toString(), offset, length});
    return true;
}

bool EcmwfIndex::checkOverlaps()
{
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
    for (int i = 1; i < entries.size(); ++i)
        if (entries[i].offset < entries[i - 1].offset + entries[i - 1].length) {
            error = QStringLiteral("The ECMWF index has fields %1 and %2 overlapping")
                        .arg(entries[i - 1].param, entries[i].param);
            entries.clear();
            return false;
        }
    return true;
}

QVector<ByteRange> EcmwfIndex::rangesOf(const QStringList& params) const
{
    QVector<ByteRange> ranges;
    for (const Entry& entry : entries) {
        if (!params.contains(entry.param))
            continue;
        const ByteRange range{entry.offset, entry.offset + entry.length - 1};
        if (!ranges.isEmpty() && ranges.last().last + 1 == range.first)
            ranges.last().last = range.last;
        else
            ranges.append(range);
    }
    return ranges;
}

QStringList EcmwfIndex::missing(const QStringList& params) const
{
    QStringList absent;
    for (const QString& param : params)
        if (std::none_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.param == param; }))
            absent.append(param);
    return absent;
}
