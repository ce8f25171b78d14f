#include "librarysearch.h"
#include "startup.h"
#include "stationfile.h"

#include <QApplication>
#include <csignal>

int main(int argc, char* argv[]) {
    limitLibrarySearch();
#ifdef SIGXFSZ
    // Past the file size limit a write then fails, and the save reports it,
    // instead of the signal ending the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // Larkspur has no command line: Qt is given none of its options either
    // (-reverse, -style, -stylesheet, -platform and the like).
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QString::fromLatin1(applicationName));
    QApplication::setApplicationVersion(QStringLiteral(LARKSPUR_VERSION));
    return runLarkspur(stationFilePath(QStringLiteral(LARKSPUR_DRIVE_ROOT)));
}
