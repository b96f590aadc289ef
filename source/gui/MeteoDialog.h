// The point dialog a meteo or city marker opens: the values of every
// parameter at the point for one time step, a slider over the steps, and
// on demand the meteogram of the point.  The data are the loaded file's
// ("offline") or a point forecast of the forecast server ("online").
#ifndef SKYVANE_METEODIALOG_H
#define SKYVANE_METEODIALOG_H

#include <QDialog>
#include <QString>

#include <memory>

#include "ui_MeteoDialog.h"

class GribFileHelper;
class WeatherMeteogram;

class MeteoDialog : public QDialog {
    Q_OBJECT
public:
    // helper is the loaded file's (not owned, may be null); lat and lon in
    // microdegrees.
    MeteoDialog(QWidget* parent, GribFileHelper* helper, int lat, int lon);
    ~MeteoDialog() override;

    // Makes sure there is a source to show, fetching the point forecast
    // when none is current.  False, with nothing changed, when there is
    // none.
    bool getMeteodata();
    // Fills the labels and the slider from the current compound.
    void updateValues();
    // The name of the place at the point (a city's), shown before the
    // position in the header; empty shows the position alone.
    void setPlaceName(const QString& name);
    QString placeName() const { return place; }

    GribFileHelper* getCurrentHelper() const { return currentHelper; }
    GribFileHelper* getOnlineHelper() const { return onlineHelper.get(); }
    WeatherMeteogram* getMeteogram() const { return meteogram; }

    Ui_MeteoDialog ui;

public slots:
    void toggleMeteo();
    void toggleStep(int value);
    void toggleOnlineMeteo();
    void toggleOfflineMeteo();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showSource(GribFileHelper* source);
    // The location may take the header up to the close button, which
    // moves with the dialog's width.
    void fitLocationToHeader();
    // The header's location: the place and the position, or the position
    // alone, fitted to the label.
    void showLocation();
    // The point as the header writes it, e.g. "33.5S 70.25W".
    QString positionText() const;
    // The point forecast saved as a GRIB file: its path, or empty when it
    // could not be fetched.
    QString downloadPointForecast();

    GribFileHelper* currentHelper = nullptr;
    std::unique_ptr<GribFileHelper> onlineHelper;
    GribFileHelper* offlineHelper = nullptr;
    int longitude = 0;
    int latitude = 0;
    QString place;
    WeatherMeteogram* meteogram = nullptr;
    // The width of the form, the dialog's width with the meteogram shown.
    int expandedWidth = 0;
};

// The 16-point compass name of a bearing in degrees.
QString angle2Annotation(float degrees);

#endif
