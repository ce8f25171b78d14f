#include "stationfile.h"

#include "failure.h"
#include "nativefile.h"
#include "stationformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString readAction = QStringLiteral("Cannot read the station start file");
const QString saveAction = QStringLiteral("Cannot save the station start file");

[[noreturn]] void failSave(const QString& path, const QString& reason) {
    throw Failure(saveAction, QDir::toNativeSeparators(path), reason);
}

// Even root may write a file without write permission; the station's owner
// made it read-only on purpose, so a save must not replace it; nor a folder
// that has the file's name, which Windows would move aside, nor anything else
// that is not an ordinary file.
QString refusalToReplace(Existing existing) {
    switch (existing) {
    case Existing::Folder:
        return QStringLiteral("It is a folder");
    case Existing::ReadOnlyFile:
        return QStringLiteral("The file is read-only");
    case Existing::Other:
        return QStringLiteral("It is not an ordinary file");
    case Existing::Nothing:
    case Existing::File:
        break;
    }
    return {};
}

} // namespace

QString stationFilePath(const QString& driveRoot) {
    if (driveRoot.isEmpty())
        return QStringLiteral("c:\\pelmora\\pelstart.dat");
    return driveRoot + QStringLiteral("/c/pelmora/pelstart.dat");
}

bool stationFilePresent(const QString& path) {
    return QFileInfo(path).isFile() && !isHiddenOrSystem(path);
}

QByteArray readStationFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(readAction, QDir::toNativeSeparators(path), file.errorString());
    // Grown as it is read: asking for the whole bound at once would reserve it
    // up front, far more than a file of a hundred bytes needs.
    constexpr qint64 chunkBytes = 16 * 1024;
    QByteArray bytes;
    while (bytes.size() < maxStationFileBytes) {
        const QByteArray chunk =
            file.read(std::min(chunkBytes, maxStationFileBytes - bytes.size()));
        if (chunk.isEmpty())
            break;
        bytes += chunk;
    }
    if (file.error() != QFileDevice::NoError)
        throw Failure(readAction, QDir::toNativeSeparators(path), file.errorString());
    return bytes;
}

// Reports name the station file's path; the file replaced may lie where a link leads.
void writeStationFile(const QString& path, const QByteArray& bytes) {
    SaveTarget target(path);
    QString reason = target.open();
    if (reason.isEmpty())
        reason = refusalToReplace(target.existing());
    if (reason.isEmpty()) {
        target.removeAbandonedFiles();
        PendingFile pending(target);
        reason = pending.create();
        if (reason.isEmpty())
            reason = pending.write(bytes);
        if (reason.isEmpty())
            reason = pending.replaceTarget();
    }
    if (!reason.isEmpty())
        failSave(path, reason);
}
