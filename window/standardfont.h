#pragma once

#include <QFont>

// The font of the window and of every control but the two labels with fonts of their own.
QFont standardFont();
