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

private slots:
    void workerDone(int ok, const QString& savedFile);

private:
    int runWorker(ToviForecastParameters* request);
    QDateTime utcNow() const;
    void waitForWorker();
    void showDownloadFailed();

    bool running = false;
    // The user ended the download: no failure to report.
    bool cancelled = false;
    // The worker of the download in progress, owned by runWorker().
    DownloadThread* thread = nullptr;
    QString fileName;
};

// The request a meteogram's point download makes: five parameters, 48
// three-hour steps from this hour, over a square around the point whose
// half side suits the data set's grid.
ToviForecastParameters pointForecastRequest(int resolution, int latitudeMicro, int longitudeMicro,
                                            const QDateTime& utcNow);

#endif
