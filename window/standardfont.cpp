#include "standardfont.h"

#include <QFontDatabase>

// The layout was drawn for the 8-point dialog font of the desktop it comes
// from, MS Sans Serif: 13 pixels a line and about 5 a letter at 96 dpi. In
// Qt's default fonts, wider and taller, half of the captions are cut off.
QFont standardFont() {
    QFont font;
#ifdef Q_OS_WIN
    // Its scalable successor, on every Windows desktop, at the size that
    // stands in for 8 points; where it is missing, Arial as below.
    if (QFontDatabase::hasFamily(QStringLiteral("Microsoft Sans Serif"))) {
        font.setFamily(QStringLiteral("Microsoft Sans Serif"));
        font.setPointSizeF(8.25);
        return font;
    }
    font.setFamily(QStringLiteral("Arial"));
#else
    // Arial's metrics (fonts-liberation, which the package depends on).
    font.setFamily(QStringLiteral("Liberation Sans"));
#endif
    // Wider than the old face at the same size: at 7.5 points (10 pixels)
    // every caption fits with a few pixels to spare, when scaled too.
    font.setPointSizeF(7.5);
    return font;
}
