// Where the program's small modal dialogs appear, and how the point
// dialogs switch between their compact and wide layouts.
#ifndef SKYVANE_DIALOGPLACEMENT_H
#define SKYVANE_DIALOGPLACEMENT_H

class QWidget;

// Centres dialog over its parent window, halves rounded down; a dialog
// without a parent stays where it is.
void centreOverParent(QWidget* dialog);

// The same over a parent that may lie inside a window (the map), in
// global coordinates.
void centreOverParentWidget(QWidget* dialog);

// Switches a point dialog between the values column (compactWidth) and
// the whole form (wideWidth): the close button keeps its top margin as
// its right margin and the toggle button's tool tip names what it will do.
void togglePanelWidth(QWidget* dialog, int compactWidth, int wideWidth, QWidget* closeButton,
                      QWidget* toggleButton);

#endif
