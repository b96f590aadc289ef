// The advanced download dialog: which weather parameters to fetch, the
// time step and the first and last step, over the area the map shows (a
// snapshot of it is displayed); and the named presets ("favourites") of
// such requests: load, save, delete, or register one with the forecast
// server for daily e-mail delivery.  One dialog per use.
#ifndef SKYVANE_REQUESTDLG_H
#define SKYVANE_REQUESTDLG_H

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>

#include "ToviForecastParameters.h"
#include "ui_RequestDlg.h"

class QPushButton;
struct OpenDataSource;
class WeatherMap;

class RequestDlg : public QDialog {
    Q_OBJECT
public:
    // parent is the main window, whose map gives the snapshot and the view
    // a request is read with; any other parent gives neither.  utcNow is
    // the clock (empty: the system's).
    explicit RequestDlg(QWidget* parent, std::function<QDateTime()> utcNow = {});
    ~RequestDlg() override;

    // Runs the dialog for request's data set; when the user asks for the
    // download, writes the choices into request and returns true.
    bool createRequest(ToviForecastParameters* request);
    // Writes the parameters, first step, step and count, and the map view
    // into request; the area rectangle is left alone.
    void readRequest(ToviForecastParameters* request);
    // Shows a stored request: its data set, parameters, step and range.
    void loadRequest(ToviForecastParameters* request);
    // Offers the parameters, steps and range of a data set.
    void initForecastRes(ToviForecastParameters::GribResolution resolution);
    // The caption of a data set's area; empty for an unknown one.
    static QString getAreaNameByID(int resolution);

    int getResolution() const { return resolution; }
    int getHorizon() const { return horizon; }
    // The moment slider position 1 stands for: the current local hour.
    QDateTime getBase() const { return base; }

    Ui_RequestDlg ui;

public slots:
    void choosePreset(int index);
    void savePreset();
    void deletePreset();
    void automateEmail();
    // Fits the sliders' range to the data set's horizon and the step.
    void initNoOfStepsComboBox();
    // Enforces the range rules and shows the first and last step.
    void updateGribFileSizeSlot();
    void initReqTimeStep36();
    void initReqTimeStep136();

private:
    struct Toggle {
        QPushButton* button;
        int bit;
    };

    QList<Toggle> toggles() const;
    // An open-data source's step choices and the hours its newest run
    // reaches.
    void initOpenDataSteps(const OpenDataSource& source);
    int openDataHorizon(const OpenDataSource& source) const;
    void loadPresets();
    void connectControls();
    void showMapSnapshot();
    int selectedStep() const;
    QDateTime stepTime(int position) const;
    int firstPositionOf(const ToviForecastParameters& request) const;
    void inform(const QString& title, const QString& text);

    std::function<QDateTime()> utcNow;
    QPointer<WeatherMap> map;
    int resolution = 0;
    int horizon = 0;
    QDateTime base;
};

#endif
