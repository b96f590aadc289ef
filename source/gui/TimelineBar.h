// The timeline under the map: one stop per time step of the open file and
// the valid time of the step under the handle, in local time and UTC.
// Dragging the handle or clicking a stop asks for that step; the window
// moves the handle as the animation plays.
#ifndef SKYVANE_TIMELINEBAR_H
#define SKYVANE_TIMELINEBAR_H

#include <QDateTime>
#include <QSlider>
#include <QVector>
#include <QWidget>

// A slider whose handle jumps to the stop under a click instead of paging
// towards it.
class TimelineSlider : public QSlider {
    Q_OBJECT
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

#include "ui_TimelineBar.h"

class TimelineBar : public QWidget {
    Q_OBJECT
public:
    explicit TimelineBar(QWidget* parent = nullptr);

    // The valid times (UTC) of the file's steps, in order; the handle goes
    // to the first.
    void setSteps(const QVector<QDateTime>& validUtc);
    // Moves the handle without asking for the step.
    void showStep(int step);
    int step() const { return ui.stepSlider->value(); }
    QString timeText() const { return ui.timeLabel->text(); }

    // "Tue 8 Dec 14:00 (12:00 UTC)": the local time, and UTC with its day
    // named too when it falls on another day.
    static QString validTimeText(const QDateTime& validUtc);

    Ui_TimelineBar ui;

signals:
    void stepChosen(int step);

private:
    void showTimeOf(int step);

    QVector<QDateTime> stepTimes;
};

#endif
