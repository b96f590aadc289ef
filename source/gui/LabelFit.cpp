#include "LabelFit.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

#include <algorithm>

namespace {

// Smaller text is no longer readable.
constexpr int kSmallestPixelSize = 8;

// The style sheet the form gave the label, kept when the label is first
// fitted: its font overrides any font set on the label, so the size goes
// into the style sheet after it.
QString formStyleSheet(QLabel* label)
{
    static const char* const kProperty = "formStyleSheet";
    const QVariant kept = label->property(kProperty);
    if (kept.isValid())
        return kept.toString();
    label->setProperty(kProperty, label->styleSheet());
    return label->styleSheet();
}

bool wordsFitLine(const QLabel* label)
{
    const int lineWidth = label->contentsRect().width() - 2 * label->margin();
    const QFontMetrics metrics = label->fontMetrics();
    const QStringList words = label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return std::all_of(words.cbegin(), words.cend(),
                       [&](const QString& word) { return metrics.horizontalAdvance(word) <= lineWidth; });
}

bool showsWhole(const QLabel* label)
{
    if (label->wordWrap())
        return label->heightForWidth(label->width()) <= label->height() && wordsFitLine(label);
    const QSize needed = label->sizeHint();
    return needed.width() <= label->width() && needed.height() <= label->height();
}

}  // namespace

void setTextShrinkToFit(QLabel* label, const QString& text)
{
    const QString form = formStyleSheet(label);
    if (label->styleSheet() != form)
        label->setStyleSheet(form);
    label->setText(text);
    label->ensurePolished();
    for (int pixels = QFontInfo(label->font()).pixelSize() - 1; pixels >= kSmallestPixelSize && !showsWhole(label);
         --pixels)
        label->setStyleSheet(form + QStringLiteral("\nfont-size: %1px;").arg(pixels));
}

void refitText(QLabel* label)
{
    setTextShrinkToFit(label, label->text());
}
