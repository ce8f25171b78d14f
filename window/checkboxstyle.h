#pragma once

#include <QProxyStyle>

// The toolkit's own style, but for check box squares of 13 by 13 pixels: the
// size the layout's 13-pixel-high boxes were drawn for.
class CheckBoxStyle : public QProxyStyle {
    Q_OBJECT

public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;

    // One for all boxes, living as long as the application.
    static CheckBoxStyle* instance();
};
