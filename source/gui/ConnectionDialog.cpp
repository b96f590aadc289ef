#include "ConnectionDialog.h"

#include "Provider.h"
#include "SettingsFactory.h"
#include "ui_ConnectionDialog.h"

ConnectionDialog::ConnectionDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ConnectionDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::FramelessWindowHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    showProvider();
    loadSettings();
    connect(ui->buttonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, &ConnectionDialog::saveSettings);
}

ConnectionDialog::~ConnectionDialog() = default;

void ConnectionDialog::showProvider()
{
    ui->editServer->setText(QString::fromLatin1(Provider::defaultServerHost));
    ui->label->setText(tr("Don't have an account yet? You can sign up <a href=\"%1\">here</a>")
                          .arg(QString::fromLatin1(Provider::signUpPage)));
}

void ConnectionDialog::loadSettings()
{
    ui->editLogin->setText(SettingsFactory::login());
    ui->editPassword->setText(SettingsFactory::password());
}

void ConnectionDialog::saveSettings()
{
    SettingsFactory::setAccount(ui->editLogin->text(), ui->editPassword->text());
}
