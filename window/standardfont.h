#pragma once

#include <QFont>
#include <QString>

// The font of the window and of every control but the two labels with fonts of their own.
QFont standardFont();

// A face of the layout at a size, with a font of the same metrics to fall
// back on where the face is missing.
QFont layoutFont(const QString& face, double points);
