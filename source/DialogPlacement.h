// Where the program's small modal dialogs appear.
#ifndef SKYVANE_DIALOGPLACEMENT_H
#define SKYVANE_DIALOGPLACEMENT_H

class QWidget;

// Centres dialog over its parent window, halves rounded down; a dialog
// without a parent stays where it is.
void centreOverParent(QWidget* dialog);

#endif
