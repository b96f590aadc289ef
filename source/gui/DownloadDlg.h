// The small modal dialog that runs one download: "Preparing data...",
// then the bytes received and a progress bar, and Cancel.  The worker does
// the transfer; Escape and the window's close button do nothing while it
// runs.  A worker still busy 2000 ms after Cancel or its own end is
// abandoned, and its late result ignored.
#ifndef SKYVANE_DOWNLOADDLG_H
#define SKYVANE_DOWNLOADDLG_H

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

#include "ToviForecastParameters.h"
#include "ui_DownloadDlg.h"

class DownloadThread;
class OpenDataThread;
class QEventLoop;
struct OpenDataSource;

class DownloadDlg : public QDialog {
    Q_OBJECT
public:
    // The parent is the main window: it is centred over it and, through
    // it, gets the request and the clock.
    explicit DownloadDlg(QWidget* mainWindow);
    ~DownloadDlg() override;

    // The main window's current request; 1 when a file was saved.
    int download();
    // A small area around one point (microdegrees) for a meteogram.
    int downloadMeteo(int resolution, int latitude, int longitude);

    // The saved file, after the download returned 1.
    const QString& getFileName() const { return fileName; }

    Ui_DownloadDlg ui;

public slots:
    void setProgress(int received, int total);
    void cancel();
    void downloadDone(int ok);
    void reject() override;

    // An open-data download's bytes and steps.
    void setOpenDataProgress(qint64 bytesDone, qint64 bytesTotal, int stepsDone, int stepsTotal);

private slots:
    void workerDone(int ok, const QString& savedFile);
    void openDataRunChosen(const QString& label);
    void openDataWorkerEnded();

private:
    int runWorker(ToviForecastParameters* request);
    // An open-data source's download, on a worker with its own event loop.
    int runOpenData(const OpenDataSource& source, const ToviForecastParameters& request);
    void configureOpenData(OpenDataThread& worker) const;
    // After Cancel, until the worker has let go of its files; the window
    // keeps painting but takes no input meanwhile.
    void waitForOpenDataEnd();
    QDateTime utcNow() const;
    void waitForWorker();
    void showDownloadFailed(const QString& reason = QString());

    bool running = false;
    // The user ended the download: no failure to report.
    bool cancelled = false;
    // The worker of the download in progress, owned by runWorker().
    DownloadThread* thread = nullptr;
    // The open-data worker of the download in progress, owned by
    // runOpenData(); what it fetches, as the progress names it.
    OpenDataThread* openDataWorker = nullptr;
    QString openDataName;
    bool openDataEnded = false;
    QEventLoop* openDataEndWait = nullptr;
    QString fileName;
};

// The request a meteogram's point download makes: five parameters, 48
// three-hour steps from this hour, over a square around the point whose
// half side suits the data set's grid (a little over one cell of the
// open-data sources' quarter-degree grid).  From a source of global files,
// 24 six-hour steps instead.
ToviForecastParameters pointForecastRequest(int resolution, int latitudeMicro, int longitudeMicro,
                                            const QDateTime& utcNow);

#endif
