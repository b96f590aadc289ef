#include "OpenDataCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace {

// source_run_fHHH_digest.grb2, and its temporaries with a suffix.
const QRegularExpression& stepFilePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^[a-z-]+_(\\d{10})_f\\d{3}_[0-9a-f]{16}\\.grb2"));
    return pattern;
}

QString digestOf(const OpenDataStepKey& key)
{
    QStringList fields = key.fields;
    fields.sort();
    const QByteArray text = (fields.join(QLatin1Char(',')) + QLatin1Char('|') + key.area).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex().left(16));
}

}  // namespace

OpenDataCache::OpenDataCache(QString folder) : directory(std::move(folder))
{
    while (directory.size() > 1 && directory.endsWith(QLatin1Char('/')))
        directory.chop(1);
}

QString OpenDataCache::runText(const QDateTime& runUtc)
{
    return runUtc.toUTC().toString(QStringLiteral("yyyyMMddhh"));
}

QString OpenDataCache::pathOf(const OpenDataStepKey& key) const
{
    return QStringLiteral("%1/%2_%3_f%4_%5.grb2")
        .arg(directory, key.sourceId, runText(key.runUtc))
        .arg(key.hour, 3, 10, QLatin1Char('0'))
        .arg(digestOf(key));
}

qint64 OpenDataCache::cachedSize(const OpenDataStepKey& key) const
{
    const QFileInfo file(pathOf(key));
    return file.isFile() ? file.size() : -1;
}

QString OpenDataCache::newTemporary(const OpenDataStepKey& key) const
{
    QDir().mkpath(directory);
    QTemporaryFile file(pathOf(key) + QStringLiteral(".XXXXXX.part"));
    file.setAutoRemove(false);
    return file.open() ? file.fileName() : QString();
}

bool OpenDataCache::commit(const QString& temporary, const QString& path) const
{
    if (QFile::rename(temporary, path))
        return true;
    QFile::remove(temporary);
    return QFileInfo(path).isFile();
}

void OpenDataCache::removeOldRuns(const QDateTime& nowUtc) const
{
    const QString oldest = runText(nowUtc.toUTC().addSecs(-qint64(kKeptHours) * 3600));
    QDir folder(directory);
    for (const QString& name : folder.entryList(QDir::Files)) {
        const QRegularExpressionMatch match = stepFilePattern().match(name);
        if (match.hasMatch() && match.captured(1) < oldest)
            folder.remove(name);
    }
}

bool appendFileTo(QIODevice& target, const QString& path)
{
    constexpr qint64 kPieceBytes = qint64(1) << 20;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    while (!source.atEnd()) {
        const QByteArray piece = source.read(kPieceBytes);
        if (piece.isEmpty() || target.write(piece) != piece.size())
            return false;
    }
    return true;
}
