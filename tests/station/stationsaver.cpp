// Saves the station start file in its own process, as the program does:
// `stationsaver PATH COUNT [NEW_FOLDER]` writes COUNT times (0 = forever),
// alternately newStation(NEW_FOLDER) and oldStation of texts.h. Each
// failure is reported on a line of its own and the saving goes on; the exit
// status is 1 when any save failed.
#include "failure.h"
#include "stationfile.h"
#include "texts.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN); // as the program does: the save reports the limit
#endif
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3 || arguments.size() > 4)
        return 2;
    const QString path = arguments.at(1);
    const long long count = arguments.at(2).toLongLong();
    const QByteArray contents[] = {
        arguments.size() == 4 ? newStation(arguments.at(3).toLatin1()) : newStation(), oldStation};
    int status = 0;
    for (long long i = 0; count == 0 || i < count; ++i) {
        try {
            writeStationFile(path, contents[i % 2]);
        } catch (const Failure& failure) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(failure.report()));
            std::fflush(stderr);
            status = 1;
        }
    }
    return status;
}
