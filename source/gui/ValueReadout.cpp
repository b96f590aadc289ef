#include "ValueReadout.h"

namespace {

constexpr int kMargin = 6;

}  // namespace

ValueReadout::ValueReadout(QWidget* map)
    : QLabel(map)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextFormat(Qt::RichText);
    setStyleSheet(QStringLiteral("QLabel { background: rgba(255, 255, 255, 200); color: black; "
                                 "border: 1px solid rgba(0, 0, 0, 90); border-radius: 3px; padding: 2px 4px; "
                                 "font-size: 11px; }"));
    hide();
}

void ValueReadout::showReading(const PointReadout::Reading& reading)
{
    if (reading.position.isEmpty()) {
        hide();
        return;
    }
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=0><tr><td colspan=2><b>%1</b></td></tr>")
                       .arg(reading.position.toHtmlEscaped());
    for (const PointReadout::Row& row : reading.rows)
        html += QStringLiteral("<tr><td>%1&nbsp;&nbsp;</td><td align=right>%2</td></tr>")
                    .arg(row.label.toHtmlEscaped(), row.text.toHtmlEscaped());
    html += QStringLiteral("</table>");
    // Every animation frame asks again; an unchanged read-out stays as it is.
    if (isVisible() && html == text())
        return;
    setText(html);
    adjustSize();
    placeInCorner();
    show();
    raise();
}

void ValueReadout::placeInCorner()
{
    if (parentWidget())
        move(kMargin, parentWidget()->height() - height() - kMargin);
}
