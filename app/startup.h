#pragma once

#include <QString>

// Application name and version, as the window system and version resource know them.
inline constexpr const char* applicationName = "Larkspur";

// Creates, loads and shows the settings window for the given station start
// file, then runs until the window is unloaded (exit status 0) or a failure
// has been reported (ErrorReport::failureExitCode). Needs a QApplication.
int runLarkspur(const QString& stationFile);
