#include "TimelineBar.h"

#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

void TimelineSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QSlider::mousePressEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (!handle.contains(event->position().toPoint())) {
        // The groove runs between the handle's half widths.
        const int x = int(event->position().x()) - handle.width() / 2;
        const int span = width() - handle.width();
        setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown));
    }
    // Whether on the handle or moved under the pointer, it is dragged on.
    QSlider::mousePressEvent(event);
}

TimelineBar::TimelineBar(QWidget* parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    connect(ui.stepSlider, &QSlider::valueChanged, this, [this](int step) {
        showTimeOf(step);
        emit stepChosen(step);
    });
}

void TimelineBar::setSteps(const QVector<QDateTime>& validUtc)
{
    stepTimes = validUtc;
    const QSignalBlocker quiet(ui.stepSlider);
    ui.stepSlider->setRange(0, std::max(int(stepTimes.size()) - 1, 0));
    ui.stepSlider->setValue(0);
    showTimeOf(0);
}

void TimelineBar::showStep(int step)
{
    if (step == ui.stepSlider->value())
        return;
    const QSignalBlocker quiet(ui.stepSlider);
    ui.stepSlider->setValue(step);
    showTimeOf(ui.stepSlider->value());
}

void TimelineBar::showTimeOf(int step)
{
    ui.timeLabel->setText(step >= 0 && step < stepTimes.size() ? validTimeText(stepTimes[step]) : QString());
}

QString TimelineBar::validTimeText(const QDateTime& validUtc)
{
    if (!validUtc.isValid())
        return QStringLiteral("-");
    const QDateTime utc = validUtc.toUTC();
    const QDateTime local = utc.toLocalTime();
    const QLocale locale;
    const QString utcFormat = utc.date() == local.date() ? QStringLiteral("HH:mm") : QStringLiteral("ddd d MMM HH:mm");
    return QStringLiteral("%1 (%2 UTC)")
        .arg(locale.toString(local, QStringLiteral("ddd d MMM HH:mm")), locale.toString(utc, utcFormat));
}
