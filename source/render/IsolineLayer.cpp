// The isoline layer: segments on the copy of the world in view, a label
// where a level's line ends far enough from its last label and from any
// other, and the labels drawn last, over every line.
#include "IsolineLayer.h"

#include "GeoProjector.h"
#include "RenderMath.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>
#include <cstdlib>
#include <vector>

using RenderMath::clampToInt;
using RenderMath::truncToInt;

void IsolineLayer::paint(QPainter* painter, GeoProjector& projector, const ContourSet::Map* isolines,
                         const QColor& lineColour, const QColor& textColour, int kind)
{
    if (!isolines)
        return;
    const int width = projector.frameWidth();
    const int height = projector.frameHeight();
    painter->save();
    QPen pen = painter->pen();
    pen.setColor(lineColour);
    pen.setStyle(Qt::SolidLine);
    painter->setPen(pen);
    painter->setRenderHint(QPainter::TextAntialiasing, false);

    struct Label {
        float level;
        QPoint at;
    };
    std::vector<Label> labels;
    std::vector<QLine> lines;
    auto conflicts = [&labels](float level, const QPoint& at) {
        for (const Label& label : labels) {
            const int dx = label.at.x() - at.x();
            const int dy = label.at.y() - at.y();
            if (label.level == level ? dx * dx + dy * dy < 62500 : std::abs(dx) < 50 && std::abs(dy) < 50)
                return true;
        }
        return false;
    };
    auto toScreen = [&projector](const QPointF& degrees, long long shift) {
        int x = 0;
        int y = 0;
        projector.geo2Screen(truncToInt(degrees.y() * 1e6), clampToInt(truncToInt(degrees.x() * 1e6) + shift), x,
                             y);
        return QPoint(x, y);
    };
    const int centerLonMicro = projector.getCenterLon();
    for (const auto& level : *isolines) {
        bool mayLabel = true;
        QPoint lastLabel(-1, -1);
        const std::vector<QPointF>& points = level.second;
        for (size_t k = 0; k + 1 < points.size(); k += 2) {
            const long long first = truncToInt(points[k].x() * 1e6);
            const long long shift = RenderMath::nearestCopy(first, centerLonMicro) - first;
            const QPoint start = toScreen(points[k], shift);
            const QPoint end = toScreen(points[k + 1], shift);
            lines.emplace_back(start, end);
            if (!mayLabel) {
                const int dx = end.x() - lastLabel.x();
                const int dy = end.y() - lastLabel.y();
                if ((long long)dx * dx + (long long)dy * dy > 62500)
                    mayLabel = true;
                continue;
            }
            if (end.x() >= 51 && end.x() < width - 50 && end.y() >= 51 && end.y() < height - 50 &&
                !conflicts(level.first, end)) {
                labels.push_back({level.first, end});
                lastLabel = end;
                mayLabel = false;
            }
        }
    }
    painter->drawLines(lines.data(), int(lines.size()));

    QFont font = painter->font();
    font.setFamily("Helvetica");
    font.setPointSize(10);
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::NoAntialias);
    painter->setFont(font);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(textColour);
    painter->setBrush(QBrush(lineColour, Qt::SolidPattern));
    const QFontMetrics metrics(font);
    for (const Label& label : labels) {
        QString text;
        if (kind == 2)
            text = QString::asprintf("%d", truncToInt(std::floor(0.01 * label.level)));
        else if (kind == 8)
            text = QString::asprintf("%d", truncToInt(std::floor(double(label.level) - 273.0)));
        const QRect box = metrics.tightBoundingRect(text);
        const int w = box.width();
        const int h = box.height();
        const int half = w >> 1;
        painter->drawRect(label.at.x() - half - 3, label.at.y() - h, w + 7, 2 * h - 1);
        painter->drawText(label.at.x() - half, label.at.y() + (h >> 1), text);
    }
    painter->restore();
}
