// One download from the forecast service, from the call to the saved file:
// the request area aligned to the data set's grid, the payload received,
// inflated (refused when it inflates past a limit) and written under a
// time-stamped name (or one the caller fixes).  The file is written under
// a temporary name in the same folder and renamed only when complete, so a
// failed or abandoned download never leaves a truncated file where the
// user will open it.
#ifndef SKYVANE_FORECASTDOWNLOAD_H
#define SKYVANE_FORECASTDOWNLOAD_H

#include <QDateTime>
#include <QString>

#include <functional>

#include "DecompressData.h"
#include "ToviForecastParameters.h"

class ForecastServiceClient;
struct DimeBuffer;

// Where the time of a download went, for progress reports and benchmarks.
struct DownloadFigures {
    qint64 receivedBytes = 0;
    qint64 savedBytes = 0;
    qint64 callNs = 0;     // request sent to payload received
    qint64 inflateNs = 0;
    qint64 writeNs = 0;
};

class ForecastDownload {
public:
    // folder ends in a separator; utcNow names the files; wanted is asked
    // before a finished file is put in place (false: it is dropped).
    ForecastDownload(ForecastServiceClient& client, QString folder, std::function<QDateTime()> utcNow,
                     std::function<bool()> wanted);

    // Saves to this path instead of a time-stamped name in the folder.
    void setTargetFile(const QString& path) { targetFile = path; }
    // Refuses a payload that inflates to more than this many bytes.
    void setInflatedLimit(unsigned bytes) { inflatedLimitBytes = bytes; }

    // A forecast: aligns the request's rectangle in place, asks for fields
    // 1 to 10 and saves the payload.  fileName is the name chosen, even
    // when saving failed afterwards.
    bool toviGetForecastDataEx(const char* endpoint, const ToviCredentials* credentials,
                               ToviForecastParameters* parameters, QString& fileName);
    // The buoy observation document, saved as "buoy.kml" in the folder.
    bool toviGetBuoyData(const char* endpoint, QString& fileName);

    // Why the last download failed, one line.
    const QString& errorText() const { return error; }
    const DownloadFigures& figures() const { return measured; }

    // path, or while a file of that name exists the name with one more "0"
    // before the extension (or at the end when the name lacks it).
    static QString freeFileName(QString path, const QString& extension);

private:
    bool acceptCall(int callResult, DimeBuffer* payload);
    QString forecastFileName() const;
    QString buoyFileName() const;
    // False, with the reason, for an inflation that must not be saved.
    bool acceptInflation(Inflation outcome);
    // Inflates the payload when it is a zlib stream and writes it to path;
    // frees the payload either way.
    bool save(DimeBuffer* payload, const QString& path);
    bool writeFile(const QString& path, const unsigned char* bytes, unsigned size);

    ForecastServiceClient& client;
    QString folder;
    QString targetFile;
    unsigned inflatedLimitBytes = kMaxInflatedBytes;
    std::function<QDateTime()> utcNow;
    std::function<bool()> wanted;
    QString error;
    DownloadFigures measured;
};

#endif
