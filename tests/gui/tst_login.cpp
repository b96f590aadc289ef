// The start-up login and the account dialog, driven with real key presses
// and clicks on the offscreen platform, against the stand-in forecast
// server on 127.0.0.3:30080 (the settings always call port 30080), stopped
// for a while when it is to keep silent, or a listener there that accepts
// and never answers.
#include "guifixtures.h"

#include "ConnectionDialog.h"
#include "ConnectionThread.h"
#include "Provider.h"
#include "StartupDlg.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include <csignal>
#include <poll.h>

using namespace Qt::StringLiterals;

namespace {

const char kHost[] = "127.0.0.3";
const char kExitScenario[] = "--abandon-at-exit";

const QString kConnectionError =
    u"Connection error|There is a connection error. Verify your login credentials and ensure the connection "
    u"is not blocked by a firewall."_s;
const QString kAuthorizationRequired =
    u"Authorization required|You must provide login name and password\nin order to connect GRIB server."_s;

template <typename T>
T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

void clickCancel(QDialog* dialog)
{
    QTest::mouseClick(child<QPushButton>(dialog, "buttonCancel"), Qt::LeftButton);
}

// Listens on the login address and accepts nothing: a client's connection
// completes in the backlog and its request waits there unanswered.
class SilentServer {
public:
    SilentServer()
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(Provider::servicePort));
        inet_pton(AF_INET, kHost, &address.sin_addr);
        listening_ = ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                     ::listen(socket_, 16) == 0;
    }
    ~SilentServer() { ::close(socket_); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    bool listening() const { return listening_; }

    bool connectionWaiting() const
    {
        pollfd entry{socket_, POLLIN, 0};
        return ::poll(&entry, 1, 0) == 1;
    }

private:
    int socket_ = -1;
    bool listening_ = false;
};

// Deals with the modal windows a login opens, from inside their own event
// loops: records each message box as "title|text" and closes it with a
// click on its OK button; hands each account dialog to onAccount (Cancel
// by default) and the start-up dialog to onStartup on every poll.
struct ModalDriver {
    QStringList boxes;
    std::function<void(ConnectionDialog*)> onAccount = [](ConnectionDialog* dialog) { clickCancel(dialog); };
    std::function<void(StartupDlg*)> onStartup = [](StartupDlg*) {};

    guifixtures::OnModal<QMessageBox> boxHandler{[this](QMessageBox* box) {
        boxes << box->windowTitle() + u'|' + box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        return true;
    }, 10};
    guifixtures::OnModal<ConnectionDialog> accountHandler{[this](ConnectionDialog* dialog) {
        onAccount(dialog);
        return true;
    }, 10};
    guifixtures::OnModal<StartupDlg> startupHandler{[this](StartupDlg* dialog) {
        onStartup(dialog);
        return false;
    }, 10};
};

// Replaces an edit's whole text by typing, as a user would.
void retype(QLineEdit* edit, const QString& text)
{
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void useLoginHost(const QString& iniPath)
{
    SettingsFactory::destroy();
    QSettings file(iniPath, QSettings::IniFormat);
    file.setValue(u"Download/server"_s, QString::fromLatin1(kHost));
    file.sync();
}

// A login that is given up on while its server keeps silent; the silent
// server stays listening until the process ends, so the worker is still
// blocked in its call when the application goes.  Exit code 0 when all
// went as expected up to the end of main.
int abandonAtExit(int argc, char** argv, const QString& iniPath)
{
    QApplication app(argc, argv);
    useLoginHost(iniPath);
    SettingsFactory::setAccount(u"demo"_s, u"demo"_s);
    static auto* server = new SilentServer();
    if (!server->listening())
        return 3;
    ModalDriver driver;
    // Cancelled once the login's request has reached the silent server.
    driver.onStartup = [](StartupDlg* dialog) {
        if (server->connectionWaiting())
            clickCancel(dialog);
    };
    StartupDlg dialog(nullptr);
    if (dialog.doStartup() != 0 || driver.boxes != QStringList{kConnectionError})
        return 4;
    if (ConnectionThread::abandonedCount() != 1)
        return 5;
    SettingsFactory::destroy();
    return 0;
}

}  // namespace

class TestLogin : public QObject {
    Q_OBJECT
public:
    explicit TestLogin(const QString& home) : iniPath(home + u"/config/skyvane.example/Skyvane.ini"_s) {}

private:
    QString storedValue(const char* key) const
    {
        QSettings file(iniPath, QSettings::IniFormat);
        return file.value(QString::fromLatin1(key)).toString();
    }

    const QString iniPath;

private slots:
    void initTestCase() { useLoginHost(iniPath); }
    void cleanupTestCase() { SettingsFactory::destroy(); }

    // The demo account, stored or typed into the account dialog that a
    // missing one brings up, is accepted, with the dialog centred over its
    // parent and the account as the server received it; a refused one
    // gives the connection error (as does no server: the client's test
    // shows both fail the call alike).
    void login_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("demo account") << u"demo"_s << true;
        QTest::newRow("account typed in") << QString() << true;
        QTest::newRow("wrong password") << u"wrong"_s << false;
    }

    void login()
    {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        auto server = guifixtures::serverOnSettingsPort(kHost);
        QVERIFY2(server->running(), server->log().constData());
        SettingsFactory::setAccount(password.isEmpty() ? QString() : u"demo"_s, password);
        QWidget window;
        window.setGeometry(100, 60, 801, 600);
        ModalDriver driver;
        driver.onAccount = [](ConnectionDialog* dialog) {
            retype(child<QLineEdit>(dialog, "editLogin"), u"demo"_s);
            retype(child<QLineEdit>(dialog, "editPassword"), u"demo"_s);
            QTest::keyClick(child<QLineEdit>(dialog, "editPassword"), Qt::Key_Return);
        };
        StartupDlg dialog(&window);

        QCOMPARE(dialog.doStartup(), 1);
        QCOMPARE(driver.accountHandler.handled, password.isEmpty() ? 1 : 0);
        QCOMPARE(dialog.pos(), QPoint(100 + (801 - dialog.width()) / 2, 60 + (600 - dialog.height()) / 2));
        QCOMPARE(dialog.startupState(), accepted ? 0 : -1);
        QCOMPARE(driver.boxes, accepted ? QStringList() : QStringList{kConnectionError});
        QVERIFY(server->log().contains(accepted ? "login=demo accepted" : "login=demo unknown"));
        if (accepted) {
            QCOMPARE(storedValue("Download/username"), u"demo"_s);
            QCOMPARE(storedValue("Download/password"), u"demo"_s);
        }
    }

    // Without a full account the account dialog comes first; left without
    // one, nothing is sent anywhere.
    void missingAccount_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("acceptEmpty");
        QTest::newRow("password missing, cancelled") << u"alice"_s << QString() << false;
        QTest::newRow("nothing stored, accepted empty") << QString() << QString() << true;
    }
    void missingAccount()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, acceptEmpty);
        SilentServer server;
        QVERIFY(server.listening());
        SettingsFactory::setAccount(login, password);
        ModalDriver driver;
        QStringList shown;
        driver.onAccount = [&](ConnectionDialog* dialog) {
            shown = {child<QLineEdit>(dialog, "editLogin")->text(), child<QLineEdit>(dialog, "editPassword")->text()};
            // Cancel stores nothing of what was typed.
            if (!acceptEmpty)
                retype(child<QLineEdit>(dialog, "editLogin"), u"carol"_s);
            QTest::mouseClick(child<QPushButton>(dialog, acceptEmpty ? "buttonOK" : "buttonCancel"), Qt::LeftButton);
        };
        StartupDlg dialog(nullptr);
        QCOMPARE(dialog.doStartup(), -1);
        QCOMPARE(dialog.startupState(), -1);
        QCOMPARE(driver.accountHandler.handled, 1);
        QCOMPARE(shown, (QStringList{login, password}));
        QCOMPARE(driver.boxes, QStringList{kAuthorizationRequired});
        QVERIFY(!server.connectionWaiting());
        QCOMPARE(storedValue("Download/username"), login);
    }

    // Escape does not end an attempt; the cancel button does, at once, and
    // the workers it leaves behind while their server is stopped end later
    // without touching the dialogs, alive or deleted, when it answers after
    // all.
    void cancelAbandonsWorker()
    {
        auto server = guifixtures::serverOnSettingsPort(kHost);
        GUI_REQUIRE_SERVER(server);
        ::kill(server->process.processId(), SIGSTOP);
        SettingsFactory::setAccount(u"demo"_s, u"demo"_s);
        ModalDriver driver;
        QElapsedTimer shown;
        bool openAfterEscape = false;
        driver.onStartup = [&](StartupDlg* dialog) {
            if (!shown.isValid()) {
                shown.start();
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else if (shown.elapsed() >= 300) {
                openAfterEscape = dialog->isVisible();
                clickCancel(dialog);
            }
        };
        auto kept = std::make_unique<StartupDlg>(nullptr);
        QSignalSpy keptAccepted(kept.get(), &QDialog::accepted);
        QSignalSpy keptFinished(kept.get(), &QDialog::finished);

        QCOMPARE(kept->doStartup(), 0);
        QVERIFY(openAfterEscape);
        QCOMPARE(kept->startupState(), -1);
        QCOMPARE(driver.boxes, QStringList{kConnectionError});
        QCOMPARE(ConnectionThread::abandonedCount(), 1);
        keptFinished.clear();

        driver.onStartup = [](StartupDlg* dialog) { clickCancel(dialog); };
        auto dropped = std::make_unique<StartupDlg>(nullptr);
        QCOMPARE(dropped->doStartup(), 0);
        QCOMPARE(ConnectionThread::abandonedCount(), 2);
        dropped.reset();

        ::kill(server->process.processId(), SIGCONT);
        QTRY_COMPARE(server->log().count("login=demo accepted"), 2);
        QTRY_COMPARE(ConnectionThread::abandonedCount(), 0);
        QTest::qWait(50);
        QCOMPARE(kept->startupState(), -1);
        QVERIFY(!kept->isVisible());
        QCOMPARE(keptAccepted.size(), 0);
        QCOMPARE(keptFinished.size(), 0);
        QCOMPARE(driver.boxes, QStringList(2, kConnectionError));
    }

    // The application ends while an abandoned worker is still blocked in
    // its call: the process exits cleanly all the same.
    void abandonedWorkerAtExit()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kExitScenario)});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray errors = child.readAllStandardError();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() == 0, errors.constData());
        QVERIFY2(!errors.contains("QThread"), errors.constData());
    }
};

int main(int argc, char** argv)
{
    // The store reads the environment when it first opens: the home is
    // replaced before anything can.
    QTemporaryDir home;
    if (!guifixtures::enterScratchHome(home, false))
        return 1;
    const QString iniPath = home.path() + u"/config/skyvane.example/Skyvane.ini"_s;
    if (argc == 2 && qstrcmp(argv[1], kExitScenario) == 0)
        return abandonAtExit(argc, argv, iniPath);
    QApplication app(argc, argv);
    TestLogin test(home.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_login.moc"
