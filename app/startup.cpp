#include "startup.h"

#include "errorreport.h"
#include "frmlarkspur.h"

#include <QApplication>

int runLarkspur(const QString& stationFile) {
    frmLarkspur window(stationFile);
    QObject::connect(&window, &frmLarkspur::failed, [](const QString& report) {
        ErrorReport::show(report);
        QCoreApplication::exit(ErrorReport::failureExitCode);
    });
    QObject::connect(&window, &frmLarkspur::unloaded, [] { QCoreApplication::exit(0); });
    // A failure while loading ends the program before the window is ever shown.
    if (!window.load())
        return ErrorReport::failureExitCode;
    window.showCentred();
    return QApplication::exec();
}
