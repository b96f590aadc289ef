// The date line's text, "Local time: " and the day and time, in large grey
// letters clipped to the frame.
#include "DateLine.h"

#include "GribFileHelper.h"
#include "RenderMath.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>

void DateLine::paint(QPainter& painter, const GribMsg& message, const GribFileHelper& helper, bool interpolate,
                     float blendFactor, int width, int height)
{
    QFont font("Arial", 18, QFont::Bold);
    painter.setFont(font);
    painter.setPen(Qt::darkGray);
    QDateTime time = message.validTime();
    if (!time.isValid())
        return;
    if (interpolate) {
        long long stepSeconds = (long long)helper.gribFile()->getTimeStep() * 3600;
        if (stepSeconds == 0)
            stepSeconds = 600;
        time = time.addSecs(RenderMath::truncToInt(double(stepSeconds) * (double(blendFactor) - 1.0) + 0.5));
    }
    const QString text = "Local time: " + time.toLocalTime().toString("dddd, dd-MM-yyyy, hh:mm");
    painter.setClipRect(0, 0, width, height);
    const int textWidth = QFontMetrics(font).horizontalAdvance(text);
    painter.drawText(width / 2 - textWidth / 2, height - 30, text);
}
