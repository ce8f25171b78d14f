#include "startup.h"
#include "stationfile.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(applicationName));
    QApplication::setApplicationVersion(QStringLiteral(LARKSPUR_VERSION));
    return runLarkspur(stationFilePath(QStringLiteral(LARKSPUR_DRIVE_ROOT)));
}
