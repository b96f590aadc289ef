#include "DownloadDlg.h"

#include "ByteSize.h"
#include "DialogPlacement.h"
#include "DownloadThread.h"
#include "OpenDataSources.h"
#include "OpenDataThread.h"
#include "SettingsFactory.h"
#include "Skyvane.h"

#include <QEventLoop>
#include <QFile>
#include <QMessageBox>

#include <algorithm>
#include <climits>

namespace {

// How long Cancel and the end of a download let the worker finish.
const int kWorkerWaitMs = 2000;

// Half the side of the square a point download asks for, in thousandths
// of a degree: a little over one grid cell of the data set.
int pointMarginMilli(int resolution)
{
    if (const OpenDataSource* source = findOpenDataSource(resolution))
        return source->gridStepMilli + 1;
    switch (resolution) {
    case 1:
        return 1001;
    case 2:
        return 501;
    case 4:
    case 25:
        return 101;
    case 8:
        return 21;
    case 16:
    case 17:
    case 18:
        return 90;
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
        return 81;
    default:
        return 41;
    }
}

int clampedBytes(qint64 bytes)
{
    return int(std::clamp<qint64>(bytes, 0, INT_MAX));
}

}  // namespace

ToviForecastParameters pointForecastRequest(int resolution, int latitudeMicro, int longitudeMicro,
                                            const QDateTime& utcNow)
{
    ToviForecastParameters request;
    request.meteoType = 31;
    request.resolution = ToviForecastParameters::GribResolution(resolution);
    request.forecastDay = 0;
    request.forecastTime = utcNow.toUTC().time().hour();
    request.timeStep = 3;
    request.stepsNumber = 48;
    const int latMilli = latitudeMicro / 1000;
    const int lonMilli = longitudeMicro / 1000;
    // A source of global files is fetched a whole field at a time, however
    // small the area: the meteogram's six days in 6-hour steps take half
    // the fields that 3-hour steps would.
    const OpenDataSource* source = findOpenDataSource(resolution);
    if (source && source->protocol == OpenDataProtocol::EcmwfIndex) {
        request.timeStep = 6;
        request.stepsNumber = 24;
    }
    const int margin = pointMarginMilli(resolution);
    request.top = latMilli + margin;
    request.left = lonMilli - margin;
    request.right = lonMilli + margin;
    request.bottom = latMilli - margin;
    return request;
}

DownloadDlg::DownloadDlg(QWidget* mainWindow) : QDialog(mainWindow)
{
    ui.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::FramelessWindowHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The fixed size is known before the dialog is first shown, for
    // centring it.
    layout()->activate();
    ui.progressBar->setValue(0);
    connect(ui.cancelButton, &QPushButton::clicked, this, &DownloadDlg::cancel);
}

DownloadDlg::~DownloadDlg() = default;

QDateTime DownloadDlg::utcNow() const
{
    if (auto* window = qobject_cast<Skyvane*>(parentWidget()))
        return window->getUtcClock()();
    return QDateTime::currentDateTimeUtc();
}

int DownloadDlg::download()
{
    auto* window = qobject_cast<Skyvane*>(parentWidget());
    if (!window)
        return 0;
    return runWorker(window->currentParameters());
}

int DownloadDlg::downloadMeteo(int resolution, int latitude, int longitude)
{
    ToviForecastParameters request = pointForecastRequest(resolution, latitude, longitude, utcNow());
    return runWorker(&request);
}

int DownloadDlg::runWorker(ToviForecastParameters* request)
{
    if (const OpenDataSource* source = findOpenDataSource(int(request->resolution)))
        return runOpenData(*source, *request);
    auto worker = std::make_unique<DownloadThread>(this);
    centreOverParent(this);
    running = true;
    thread = worker.get();
    worker->parameters = *request;
    // A copy: the worker names the file on its own thread.
    if (auto* window = qobject_cast<Skyvane*>(parentWidget()))
        worker->setUtcClock(window->getUtcClock());
    connect(worker.get(), &DownloadThread::progress, this, &DownloadDlg::setProgress);
    connect(worker.get(), &DownloadThread::downloadFinished, this, &DownloadDlg::workerDone, Qt::QueuedConnection);
    worker->start(QThread::InheritPriority);
    const int outcome = exec();
    running = false;
    thread = nullptr;
    worker->stop();
    disconnect(worker.get(), nullptr, this, nullptr);
    // A worker in its finish ends at once; one still busy has had its
    // grace time in cancel() or downloadDone().
    if (worker->isFinished() && worker->wait()) {
        if (outcome != QDialog::Accepted && !cancelled)
            qWarning("Download failed: %s", qPrintable(worker->errorText()));
        // The area as the worker aligned it to the data set's grid.
        request->top = worker->parameters.top;
        request->left = worker->parameters.left;
        request->right = worker->parameters.right;
        request->bottom = worker->parameters.bottom;
    } else {
        worker->setParent(nullptr);
        DownloadThread::abandon(worker.release());
    }
    if (outcome != QDialog::Accepted && !cancelled)
        showDownloadFailed();
    return outcome == QDialog::Accepted ? 1 : 0;
}

int DownloadDlg::runOpenData(const OpenDataSource& source, const ToviForecastParameters& request)
{
    openDataName = QString::fromUtf8(source.label);
    OpenDataThread worker(request, SettingsFactory::getMyDocumentsPath(), SettingsFactory::getOpenDataCachePath());
    configureOpenData(worker);
    connect(&worker, &OpenDataThread::progress, this, &DownloadDlg::setOpenDataProgress);
    connect(&worker, &OpenDataThread::runChosen, this, &DownloadDlg::openDataRunChosen);
    connect(&worker, &QThread::finished, this, &DownloadDlg::openDataWorkerEnded);
    centreOverParent(this);
    running = true;
    openDataEnded = false;
    openDataWorker = &worker;
    worker.start();
    const int outcome = exec();
    running = false;
    openDataWorker = nullptr;
    waitForOpenDataEnd();
    worker.wait();
    disconnect(&worker, nullptr, this, nullptr);
    if (outcome == QDialog::Accepted) {
        fileName = worker.fileName();
        if (auto* window = qobject_cast<Skyvane*>(parentWidget()))
            window->noteOpenDataRun(source.resolution, worker.fetchedRun());
        return 1;
    }
    // Finished while the user was cancelling: cancelled means no file.
    if (worker.succeeded())
        QFile::remove(worker.fileName());
    if (!cancelled) {
        const QString reason = worker.errorText().isEmpty() ? QStringLiteral("unknown failure") : worker.errorText();
        showDownloadFailed(QStringLiteral("The data could not be downloaded from %1: %2").arg(openDataName, reason));
    }
    return 0;
}

void DownloadDlg::configureOpenData(OpenDataThread& worker) const
{
    // A mirror, or a stand-in, named in the settings file.
    for (const OpenDataSource& source : openDataSources()) {
        const QString base = SettingsFactory::getParameter("OpenData", source.settingsKey, "");
        if (!base.isEmpty())
            worker.setBase(QString::fromLatin1(source.id), base);
    }
    if (auto* window = qobject_cast<Skyvane*>(parentWidget()))
        worker.setUtcClock(window->getUtcClock());
}

void DownloadDlg::waitForOpenDataEnd()
{
    if (openDataEnded)
        return;
    QEventLoop loop;
    openDataEndWait = &loop;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    openDataEndWait = nullptr;
}

void DownloadDlg::openDataWorkerEnded()
{
    openDataEnded = true;
    if (openDataEndWait)
        openDataEndWait->quit();
    if (running && openDataWorker && sender() == openDataWorker)
        downloadDone(openDataWorker->succeeded() ? 1 : 0);
}

void DownloadDlg::openDataRunChosen(const QString& label)
{
    openDataName = label;
}

void DownloadDlg::setOpenDataProgress(qint64 bytesDone, qint64 bytesTotal, int stepsDone, int stepsTotal)
{
    // Until every step's size is known, the steps tell how far it got.
    const double share = bytesTotal > 0   ? double(bytesDone) / double(bytesTotal)
                         : stepsTotal > 0 ? double(stepsDone) / double(stepsTotal)
                                          : 0.0;
    ui.progressBar->setValue(int(std::clamp(share, 0.0, 1.0) * 100.0));
    QString bytes = bytes2String(clampedBytes(bytesDone));
    if (bytesTotal > 0)
        bytes += QStringLiteral(" from ") + bytes2String(clampedBytes(bytesTotal));
    ui.label->setText(
        QStringLiteral("Downloading %1: %2, step %3 of %4").arg(openDataName, bytes).arg(stepsDone).arg(stepsTotal));
}

void DownloadDlg::showDownloadFailed(const QString& reason)
{
    // The forecast server's own reasons are not shown; the user can only
    // retry.  An open-data service's reason is the download's own words.
    const QString text = !reason.isEmpty()
                             ? reason
                             : QStringLiteral("The data could not be downloaded from the forecast server. "
                                              "Check the connection and your account, then try again.");
    QMessageBox::critical(parentWidget(), QStringLiteral("Download failed"), text, QMessageBox::Ok);
}

void DownloadDlg::setProgress(int received, int total)
{
    if (total <= 0)
        return;
    ui.progressBar->setValue(int(float(received) / float(total) * 100.0f));
    ui.label->setText(QStringLiteral("Downloading forecast data (") + bytes2String(received) + QStringLiteral(" from ") +
                      bytes2String(total) + QStringLiteral(")"));
}

void DownloadDlg::cancel()
{
    cancelled = true;
    running = false;
    if (thread)
        thread->stop();
    if (openDataWorker)
        openDataWorker->cancel();
    waitForWorker();
    QDialog::reject();
}

void DownloadDlg::workerDone(int ok, const QString& savedFile)
{
    // An outcome that comes after a cancel, or from a worker given up on,
    // changes nothing.
    if (!running || sender() != thread)
        return;
    fileName = savedFile;
    downloadDone(ok);
}

void DownloadDlg::downloadDone(int ok)
{
    running = false;
    if (ok)
        accept();
    else
        QDialog::reject();
    waitForWorker();
}

void DownloadDlg::reject()
{
    if (running)
        return;
    QDialog::reject();
}

void DownloadDlg::waitForWorker()
{
    if (thread)
        thread->wait(kWorkerWaitMs);
}
