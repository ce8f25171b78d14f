#pragma once

#include <QString>

// The application name, as the window system and the version resource know it.
inline constexpr const char* applicationName = "Larkspur";

// Creates, loads and shows the settings window for the given station start
// file, then runs until the window is unloaded (exit status 0) or a failure
// has been reported (ErrorReport::failureExitCode). Needs a QApplication.
int runLarkspur(const QString& stationFile);
