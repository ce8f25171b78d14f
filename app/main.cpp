#include "startup.h"
#include "stationfile.h"

#include <QApplication>
#include <csignal>

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    // Past the file size limit a write then fails, and the save reports it,
    // instead of the signal ending the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(applicationName));
    QApplication::setApplicationVersion(QStringLiteral(LARKSPUR_VERSION));
    return runLarkspur(stationFilePath(QStringLiteral(LARKSPUR_DRIVE_ROOT)));
}
