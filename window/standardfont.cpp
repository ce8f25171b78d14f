#include "standardfont.h"

#include <QFontDatabase>
#include <QHash>

// The layout was drawn for the 8-point dialog font of the desktop it comes
// from, MS Sans Serif: 13 pixels a line and about 5 a letter at 96 dpi. In
// Qt's default fonts, wider and taller, half of the captions are cut off.
QFont standardFont() {
#ifdef Q_OS_WIN
    // Its scalable successor, on every Windows desktop, at the size that
    // stands in for 8 points.
    if (QFontDatabase::hasFamily(QStringLiteral("Microsoft Sans Serif")))
        return layoutFont(QStringLiteral("Microsoft Sans Serif"), 8.25);
#endif
    // Elsewhere Arial's metrics, wider than the old face at the same size: at
    // 7.5 points (10 pixels) every caption fits with a few pixels to spare,
    // when scaled too.
    return layoutFont(QStringLiteral("Arial"), 7.5);
}

QFont layoutFont(const QString& face, double points) {
    // fonts-liberation's faces have the metrics of these; fontconfig finds
    // them in their place by itself, Windows does not.
    static const QHash<QString, QString> metricTwins{
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")},
    };
    QFont font;
    QStringList families{face};
    if (const auto twin = metricTwins.constFind(face); twin != metricTwins.cend())
        families << *twin;
    font.setFamilies(families);
    font.setPointSizeF(points);
    return font;
}
