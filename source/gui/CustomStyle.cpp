#include "CustomStyle.h"

#include <QAbstractItemView>

int CustomStyle::pixelMetric(QStyle::PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == QStyle::PM_SmallIconSize && !qobject_cast<const QAbstractItemView*>(widget))
        return 32;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
