#include "librarysearch.h"

#include <QtGlobal>

// The dynamic loader's search was fixed when the program started.
void limitLibrarySearch() {
    qunsetenv("QT_PLUGIN_PATH");
    qunsetenv("QT_QPA_PLATFORM_PLUGIN_PATH");
}
