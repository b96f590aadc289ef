// Texts for labels the forms place at a fixed size.  The forms name a font
// that not every machine has; the one standing in for it may be wider, so
// a text that would be cut is set in a smaller size of the form's font.
#ifndef SKYVANE_LABELFIT_H
#define SKYVANE_LABELFIT_H

#include <QString>

class QLabel;

// Sets the text in the label's form font when it shows whole at the
// label's size, else in the largest smaller size that shows it whole, down
// to a smallest readable size.
void setTextShrinkToFit(QLabel* label, const QString& text);

// Sets the label's current text again, after the label changed size.
void refitText(QLabel* label);

#endif
