#include "OpenDataRoutes.h"

#include <QRegularExpression>
#include <QSet>

namespace {

const QRegularExpression kGfsDir(QStringLiteral("^/gfs\\.(\\d{8})/(\\d{2})/atmos$"));
const QRegularExpression kGfsFile(QStringLiteral("^gfs\\.t(\\d{2})z\\.pgrb2\\.0p25\\.f(\\d{3})$"));
const QRegularExpression kWaveDir(QStringLiteral("^/gfs\\.(\\d{8})/(\\d{2})/wave/gridded$"));
const QRegularExpression kWaveFile(QStringLiteral("^gfswave\\.t(\\d{2})z\\.global\\.0p25\\.f(\\d{3})\\.grib2$"));
const QRegularExpression kInventory(QStringLiteral(
    "^/pub/data/nccf/com/gfs/prod(/gfs\\.\\d{8}/\\d{2}/(?:atmos|wave/gridded))/([^/]+)\\.idx$"));
const QRegularExpression kEcmwf(QStringLiteral(
    "^/ecmwf/(\\d{8})/(\\d{2})z/ifs/0p25/(oper|wave)/(\\d{10})0000-(0|[1-9]\\d{0,2})h-(oper|wave)-fc\\.(grib2|index)$"));

struct Query {
    QList<QPair<QByteArray, QByteArray>> items;

    explicit Query(const QByteArray& text)
    {
        for (const QByteArray& item : text.split('&')) {
            const qsizetype equals = item.indexOf('=');
            const QByteArray name = QByteArray::fromPercentEncoding(equals < 0 ? item : item.left(equals));
            const QByteArray value = equals < 0 ? QByteArray() : QByteArray::fromPercentEncoding(item.mid(equals + 1));
            items.append({name, value});
        }
    }
    bool has(const QByteArray& name) const
    {
        for (const auto& item : items)
            if (item.first == name)
                return true;
        return false;
    }
    QByteArray value(const QByteArray& name) const
    {
        for (const auto& item : items)
            if (item.first == name)
                return item.second;
        return QByteArray();
    }
    // The names following prefix of the items set to "on".
    QSet<QByteArray> chosen(const QByteArray& prefix) const
    {
        QSet<QByteArray> names;
        for (const auto& item : items)
            if (item.first.startsWith(prefix) && item.second == "on")
                names.insert(item.first.mid(prefix.size()));
        return names;
    }
};

// A NOMADS run and step from a dir and file pair of one feed; false when
// they do not name one, or disagree on the hour.
bool nomadsRunAndStep(OpenDataFeed feed, const QString& dir, const QString& file, QDateTime& run, int& step)
{
    const QRegularExpressionMatch d = (feed == OpenDataFeed::Gfs ? kGfsDir : kWaveDir).match(dir);
    const QRegularExpressionMatch f = (feed == OpenDataFeed::Gfs ? kGfsFile : kWaveFile).match(file);
    if (!d.hasMatch() || !f.hasMatch() || d.captured(2) != f.captured(1))
        return false;
    run = parseRunTime(d.captured(1) + d.captured(2));
    step = f.captured(2).toInt();
    return run.isValid();
}

// The fields of a feed chosen by var_ and lev_ items, every combination
// of them, in file order.
QVector<int> chosenFields(OpenDataFeed feed, const Query& query)
{
    const QSet<QByteArray> vars = query.chosen("var_"), levels = query.chosen("lev_");
    const bool allVars = query.value("all_var") == "on", allLevels = query.value("all_lev") == "on";
    QVector<int> fields;
    const QVector<FeedField>& all = feedFields(feed);
    for (int k = 0; k < all.size(); ++k)
        if ((allVars || vars.contains(all[k].name)) && (allLevels || levels.contains(all[k].level)))
            fields.append(k);
    return fields;
}

QVector<int> everyField(OpenDataFeed feed)
{
    QVector<int> fields;
    for (int k = 0; k < feedFields(feed).size(); ++k)
        fields.append(k);
    return fields;
}

bool toDegrees(const QByteArray& text, double& degrees)
{
    bool ok = false;
    degrees = text.toDouble(&ok);
    return ok;
}

// The block a filter query's subregion asks for; the globe without one.
bool queryBlock(const Query& query, QuarterDegreeBlock& block, QString& error)
{
    block = QuarterDegreeBlock();
    if (!query.has("subregion"))
        return true;
    double top = 0, left = 0, right = 0, bottom = 0;
    if (!toDegrees(query.value("toplat"), top) || !toDegrees(query.value("leftlon"), left) ||
        !toDegrees(query.value("rightlon"), right) || !toDegrees(query.value("bottomlat"), bottom)) {
        error = QStringLiteral("bad subregion");
        return false;
    }
    return blockOfArea(top, left, right, bottom, block, error);
}

}  // namespace

OpenDataRoutes::OpenDataRoutes(OpenDataContent& c, const RunPublication& p) : content(c), publication(p)
{
}

Answer OpenDataRoutes::failure(int status, const QString& reason) const
{
    Answer a;
    a.status = status;
    a.body = reason.toUtf8() + '\n';
    return a;
}

Answer OpenDataRoutes::answer(const QByteArray& target)
{
    const qsizetype question = target.indexOf('?');
    const QString path = QString::fromLatin1(question < 0 ? target : target.left(question));
    const QByteArray query = question < 0 ? QByteArray() : target.mid(question + 1);
    if (path == QLatin1String("/cgi-bin/filter_gfs_0p25.pl"))
        return nomadsFilter(OpenDataFeed::Gfs, query);
    if (path == QLatin1String("/cgi-bin/filter_gfswave.pl"))
        return nomadsFilter(OpenDataFeed::GfsWave, query);
    if (const QRegularExpressionMatch m = kInventory.match(path); m.hasMatch()) {
        for (OpenDataFeed feed : {OpenDataFeed::Gfs, OpenDataFeed::GfsWave}) {
            QDateTime run;
            int step = 0;
            if (nomadsRunAndStep(feed, m.captured(1), m.captured(2), run, step))
                return nomadsInventory(feed, run, step);
        }
    }
    if (const QRegularExpressionMatch m = kEcmwf.match(path); m.hasMatch()) {
        const QString stream = m.captured(3);
        const QDateTime run = parseRunTime(m.captured(1) + m.captured(2));
        if (stream == m.captured(6) && m.captured(4) == m.captured(1) + m.captured(2) && run.isValid())
            return ecmwfFile(stream == QLatin1String("wave") ? OpenDataFeed::EcmwfWave : OpenDataFeed::Ecmwf, run,
                             m.captured(5).toInt(), m.captured(7) == QLatin1String("index"));
    }
    return failure(404, QStringLiteral("not found"));
}

Answer OpenDataRoutes::nomadsFilter(OpenDataFeed feed, const QByteArray& queryText)
{
    const Query query(queryText);
    QDateTime run;
    int step = 0;
    if (!nomadsRunAndStep(feed, QString::fromLatin1(query.value("dir")), QString::fromLatin1(query.value("file")),
                          run, step) ||
        !publication.published(feed, run, step))
        return failure(404, QStringLiteral("data file is not present"));
    QuarterDegreeBlock block;
    QString error;
    if (!queryBlock(query, block, error))
        return failure(400, error);
    const StepFilePtr file = content.stepFile(feed, run, step, chosenFields(feed, query), block, error);
    if (!file)
        return failure(500, error);
    return gribAnswer(file->bytes);
}

Answer OpenDataRoutes::nomadsInventory(OpenDataFeed feed, const QDateTime& run, int step)
{
    Answer refusal;
    const StepFilePtr file = publishedStepFile(feed, run, step, refusal);
    if (!file)
        return refusal;
    Answer a;
    a.status = 200;
    a.body = OpenDataContent::nomadsInventory(feed, run, step, *file);
    return a;
}

Answer OpenDataRoutes::ecmwfFile(OpenDataFeed feed, const QDateTime& run, int step, bool index)
{
    Answer refusal;
    const StepFilePtr file = publishedStepFile(feed, run, step, refusal);
    if (!file)
        return refusal;
    Answer a;
    if (index) {
        a.status = 200;
        a.body = OpenDataContent::ecmwfIndex(feed, run, step, *file);
    } else {
        a = gribAnswer(file->bytes);
    }
    a.rangeable = true;
    return a;
}

StepFilePtr OpenDataRoutes::publishedStepFile(OpenDataFeed feed, const QDateTime& run, int step, Answer& refusal)
{
    if (!publication.published(feed, run, step)) {
        refusal = failure(404, QStringLiteral("not found"));
        return StepFilePtr();
    }
    QString error;
    const StepFilePtr file = content.stepFile(feed, run, step, everyField(feed), QuarterDegreeBlock(), error);
    if (!file)
        refusal = failure(500, error);
    return file;
}

Answer OpenDataRoutes::gribAnswer(const QByteArray& bytes)
{
    Answer a;
    a.status = 200;
    a.body = bytes;
    a.contentType = "application/octet-stream";
    a.data = true;
    return a;
}
