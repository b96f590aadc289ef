#include "DialogPlacement.h"

#include <QWidget>

namespace {

int halfRoundedDown(int value)
{
    return value >= 0 ? value / 2 : -((1 - value) / 2);
}

}  // namespace

void centreOverParent(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    if (!parent)
        return;
    dialog->move(parent->x() + halfRoundedDown(parent->width() - dialog->width()),
                 parent->y() + halfRoundedDown(parent->height() - dialog->height()));
}
