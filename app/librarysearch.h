#pragma once

// Larkspur runs only code from where it and its Qt were installed. Called
// first in main, before anything is loaded: on Windows, DLLs loaded later
// come from the program's folder and the system's only, never from the
// current folder or PATH; everywhere, Qt takes its plugins from its own
// plugin folder and the program's, never from a folder that the environment
// names (QT_PLUGIN_PATH, QT_QPA_PLATFORM_PLUGIN_PATH).
void limitLibrarySearch();
