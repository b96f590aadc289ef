// Running ecCodes' command-line tools (Debian's libeccodes-tools) from the crosscheck tests, on the GRIB files
// Debian's python-grib-doc and libeccodes-data install.
#ifndef SKYVANE_ECCODESTOOLS_H
#define SKYVANE_ECCODESTOOLS_H

#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

namespace EccodesTools {

inline const QString kExamples = QStringLiteral("/usr/share/doc/python-grib-doc/examples/");
inline const QString kSamples = QStringLiteral("/usr/share/eccodes/samples/");

// Runs tool in dir; its standard output goes to outFile when one is named, else to out when given.  On failure
// error holds the command and what went wrong.
inline bool runTool(const QString& tool, const QStringList& args, QString* error, QByteArray* out = nullptr,
                    const QString& dir = QString(), const QString& outFile = QString())
{
    QProcess p;  // killed on return if still running
    p.setWorkingDirectory(dir);
    if (!outFile.isEmpty())
        p.setStandardOutputFile(outFile);
    p.start(tool, args);
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
        if (out)
            *out = p.readAllStandardOutput();
        return true;
    }
    *error = tool + ' ' + args.join(' ') + ": " + p.errorString() + ' ' + p.readAllStandardError();
    return false;
}

// What grib_get says about one field; keys that do not apply read "not_found" or "MISSING".
struct Ref {
    QHash<QString, QString> keys;
    QString s(const QString& key) const { return keys.value(key); }
    long long n(const QString& key, bool* isNumber = nullptr) const { return keys.value(key).toLongLong(isNumber); }
};

// grib_get's keys (each may name its type, "level:i") of every field of path that options select, in file order.
inline bool readRefs(const QString& path, const QStringList& keys, const QStringList& options,
                     std::vector<Ref>* refs, QString* error)
{
    QByteArray out;
    if (!runTool("grib_get", options + QStringList{"-f", "-p", keys.join(','), path}, error, &out))
        return false;
    for (const QByteArray& line : out.split('\n')) {
        const QString text = QString::fromLatin1(line).simplified();
        if (text.isEmpty())
            continue;
        const QStringList words = text.split(' ');
        if (words.size() != keys.size()) {
            *error = "unexpected grib_get line: " + QString::fromLatin1(line);
            return false;
        }
        refs->emplace_back();
        for (int k = 0; k < keys.size(); ++k)
            refs->back().keys.insert(keys[k].section(':', 0, 0), words[k]);
    }
    return true;
}

}  // namespace EccodesTools

#endif
