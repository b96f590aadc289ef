// The forecast account: login name and password, stored when the user
// accepts; the server is shown but not editable here.
#ifndef SKYVANE_CONNECTIONDIALOG_H
#define SKYVANE_CONNECTIONDIALOG_H

#include <QDialog>

#include <memory>

namespace Ui {
class ConnectionDialog;
}

class ConnectionDialog : public QDialog {
    Q_OBJECT
public:
    explicit ConnectionDialog(QWidget* parent = nullptr);
    ~ConnectionDialog() override;

public slots:
    void saveSettings();

private:
    void showProvider();
    void loadSettings();

    std::unique_ptr<Ui::ConnectionDialog> ui;
};

#endif
