#include "checkboxstyle.h"

#include <QCoreApplication>

namespace {
constexpr int squarePixels = 13;
}

int CheckBoxStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                               const QWidget* widget) const {
    if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
        return squarePixels;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

CheckBoxStyle* CheckBoxStyle::instance() {
    static CheckBoxStyle* const style = [] {
        auto* created = new CheckBoxStyle;
        created->setParent(QCoreApplication::instance());
        return created;
    }();
    return style;
}
