#include "StartupDlg.h"

#include <QMessageBox>

#include "ConnectionDialog.h"
#include "ConnectionThread.h"
#include "DialogPlacement.h"
#include "SettingsFactory.h"
#include "ui_StartupDlg.h"

namespace {

// How long cancel() lets the worker end by itself.
const int kCancelWaitMs = 500;

}  // namespace

StartupDlg::StartupDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::StartupDlg>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::FramelessWindowHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The fixed size is known before the dialog is first shown, for
    // centring it.
    layout()->activate();
    connect(ui->buttonCancel, &QPushButton::clicked, this, &StartupDlg::cancel);
}

StartupDlg::~StartupDlg() = default;

int StartupDlg::doStartup()
{
    if (!accountStored())
        askForAccount();
    if (!accountStored()) {
        showAuthorizationRequired();
        return -1;
    }
    return runAttempt();
}

bool StartupDlg::accountStored()
{
    return !SettingsFactory::password().toLocal8Bit().isEmpty() && !SettingsFactory::login().toLocal8Bit().isEmpty();
}

void StartupDlg::askForAccount()
{
    // Stores what the user enters when accepted.
    ConnectionDialog dialog(nullptr);
    dialog.exec();
}

int StartupDlg::runAttempt()
{
    auto worker = std::make_unique<ConnectionThread>();
    centreOverParent(this);
    running = true;
    thread = worker.get();
    connect(worker.get(), &QThread::finished, this, &StartupDlg::workerFinished, Qt::QueuedConnection);
    worker->start();
    const int outcome = exec();
    running = false;
    thread = nullptr;
    disconnect(worker.get(), nullptr, this, nullptr);
    // A worker in its finish ends at once; one still in its call has had
    // its grace time in cancel().
    const bool ended = worker->isFinished() && worker->wait();
    if (ended)
        state = worker->result();
    else
        ConnectionThread::abandon(worker.release());
    if (state < 0)
        showConnectionError();
    return outcome;
}

void StartupDlg::cancel()
{
    running = false;
    if (thread)
        thread->wait(kCancelWaitMs);
    QDialog::reject();
}

void StartupDlg::reject()
{
    if (running)
        return;
    QDialog::reject();
}

void StartupDlg::workerFinished()
{
    // A finish that comes after a cancel changes nothing.
    if (running)
        accept();
}

void StartupDlg::showConnectionError()
{
    QMessageBox::critical(this, tr("Connection error"),
                          tr("There is a connection error. Verify your login credentials and ensure the "
                             "connection is not blocked by a firewall."),
                          QMessageBox::Ok);
}

void StartupDlg::showAuthorizationRequired()
{
    QMessageBox::critical(this, tr("Authorization required"),
                          tr("You must provide login name and password\nin order to connect GRIB server."),
                          QMessageBox::Ok);
}
