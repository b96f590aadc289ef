#include "DialogPlacement.h"

#include <QCoreApplication>
#include <QPoint>
#include <QWidget>

namespace {

int halfRoundedDown(int value)
{
    return value >= 0 ? value / 2 : -((1 - value) / 2);
}

QPoint centredOrigin(const QPoint& parentOrigin, const QWidget* parent, const QWidget* dialog)
{
    return parentOrigin + QPoint(halfRoundedDown(parent->width() - dialog->width()),
                                 halfRoundedDown(parent->height() - dialog->height()));
}

}  // namespace

void centreOverParent(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    if (!parent)
        return;
    dialog->move(centredOrigin(parent->pos(), parent, dialog));
}

void centreOverParentWidget(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    if (!parent)
        return;
    dialog->move(centredOrigin(parent->mapToGlobal(QPoint(0, 0)), parent, dialog));
}

void togglePanelWidth(QWidget* dialog, int compactWidth, int wideWidth, QWidget* closeButton,
                      QWidget* toggleButton)
{
    const int top = closeButton->y();
    if (dialog->width() == compactWidth) {
        toggleButton->setToolTip(QCoreApplication::translate("MeteoDialog", "Hide meteogram"));
        closeButton->move(wideWidth - closeButton->width() - top, top);
        dialog->resize(wideWidth, dialog->height());
    } else {
        toggleButton->setToolTip(QCoreApplication::translate("MeteoDialog", "Show meteogram"));
        closeButton->move(compactWidth - top - closeButton->width(), top);
        dialog->resize(compactWidth, dialog->height());
    }
}
