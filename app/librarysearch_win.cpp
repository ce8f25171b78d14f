#include "librarysearch.h"

#include <QtGlobal>
#include <windows.h>

void limitLibrarySearch() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    qunsetenv("QT_PLUGIN_PATH");
    qunsetenv("QT_QPA_PLATFORM_PLUGIN_PATH");
}
