// Saves the station start file in its own process: `stationsaver PATH COUNT`
// writes COUNT times, alternately the two contents tests expect (0 = forever).
#include "failure.h"
#include "stationfile.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return 2;
    const QString path = arguments.at(1);
    const long long count = arguments.at(2).toLongLong();
    const QByteArray contents[] = {
        QByteArray("d:\\old\\pelmora.mdb\r\n") + QByteArray(100, '1') + "\r\n",
        QByteArray("e:\\new\\pelmora.mdb\r\n") + QByteArray(100, '0') + "\r\n"};
    try {
        for (long long i = 0; count == 0 || i < count; ++i)
            writeStationFile(path, contents[i % 2]);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(failure.report()));
        return 1;
    }
    return 0;
}
