// The start-up login: asks for an account when none is stored, then checks
// it against the forecast server on a worker thread while this small
// frameless dialog says so.  The user may give up at any time and work
// offline; Escape and the window's close button do nothing meanwhile.
#ifndef SKYVANE_STARTUPDLG_H
#define SKYVANE_STARTUPDLG_H

#include <QDialog>

#include <memory>

class ConnectionThread;

namespace Ui {
class StartupDlg;
}

class StartupDlg : public QDialog {
    Q_OBJECT
public:
    explicit StartupDlg(QWidget* parent = nullptr);
    ~StartupDlg() override;

    // The whole login: 1 when the check ran to its end, 0 when the user
    // cancelled it, -1 when no account was given.  Once per dialog.
    int doStartup();
    // The server's userOptions value; negative unless the check succeeded.
    int startupState() const { return state; }

public slots:
    // Ends the attempt at once; a worker still busy after a short grace
    // time is abandoned and its result ignored.
    void cancel();
    void reject() override;

private slots:
    void workerFinished();

private:
    static bool accountStored();
    static void askForAccount();
    int runAttempt();
    void showConnectionError();
    void showAuthorizationRequired();

    std::unique_ptr<Ui::StartupDlg> ui;
    int state = -1;
    bool running = false;
    // The worker of the attempt in progress, owned by runAttempt().
    ConnectionThread* thread = nullptr;
};

#endif
