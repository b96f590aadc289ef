// The application style: the platform's own, with 32-pixel small icons in
// menus and on buttons (item views keep theirs).
#ifndef SKYVANE_CUSTOMSTYLE_H
#define SKYVANE_CUSTOMSTYLE_H

#include <QProxyStyle>

class CustomStyle : public QProxyStyle {
    Q_OBJECT
public:
    CustomStyle() = default;
    int pixelMetric(QStyle::PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

#endif
