// Saves the station start file in its own process, as the program does:
// `stationsaver PATH COUNT [NEW_FOLDER]` writes COUNT times (0 = forever),
// alternately the new contents and the old contents the tests expect.
#include "failure.h"
#include "stationfile.h"

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
    const QByteArray newFolder = arguments.size() == 4 ? arguments.at(3).toLatin1() : "e:\\new";
    const QByteArray contents[] = {newFolder + "\\pelmora.mdb\r\n" + QByteArray(100, '0') + "\r\n",
                                   QByteArray("d:\\old\\pelmora.mdb\r\n") + QByteArray(100, '1') +
                                       "\r\n"};
    try {
        for (long long i = 0; count == 0 || i < count; ++i)
            writeStationFile(path, contents[i % 2]);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(failure.report()));
        return 1;
    }
    return 0;
}
