#include "stationfile.h"

#include "failure.h"
#include "stationformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <system_error>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QString readAction = QStringLiteral("Cannot read the station start file");
const QString saveAction = QStringLiteral("Cannot save the station start file");

[[noreturn]] void failSave(const QString& path, const QString& reason) {
    throw Failure(saveAction, QDir::toNativeSeparators(path), reason);
}

// The helpers below give the system's reason for a failure, or an empty text.
QString errnoReason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

#ifdef Q_OS_WIN
bool hiddenOrSystem(const QString& path) {
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

// A hidden or system file is replaced like any other: its old content must not survive a save.
void clearHiddenAndSystem(const QString& path) {
    const auto native = reinterpret_cast<LPCWSTR>(path.utf16());
    const DWORD attributes = GetFileAttributesW(native);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        SetFileAttributesW(native, attributes & ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

long long writeSome(int handle, const char* data, qsizetype size) {
    return _write(handle, data, static_cast<unsigned>(size));
}

QString flushToDisk(int handle) {
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(handle))))
        return {};
    return QString::fromLocal8Bit(std::system_category().message(static_cast<int>(GetLastError())));
}

QString flushFolder(const QString&) {
    return {}; // NTFS makes the rename durable itself
}
#else
long long writeSome(int handle, const char* data, qsizetype size) {
    return write(handle, data, static_cast<size_t>(size));
}

QString flushToDisk(int handle) {
    return fsync(handle) == 0 ? QString() : errnoReason();
}

// The new name must reach the disk too, or a power cut can bring the old file back.
QString flushFolder(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int handle = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return errnoReason();
    const QString reason = flushToDisk(handle);
    close(handle);
    return reason;
}
#endif

QString writeAll(int handle, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const long long written = writeSome(handle, bytes.constData() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO;
        if (written <= 0)
            return errnoReason();
        done += written;
    }
    return {};
}

// Even root may write a file without write permission; the station's owner
// made it read-only on purpose, so a save must not replace it.
void refuseReadOnly(const QString& path) {
    const QFileInfo info(path);
    // The mode's bits only: the "user" bits say what this process may do, and root may do all.
    constexpr auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (info.isFile() && !(info.permissions() & writeBits))
        failSave(path, QStringLiteral("The file is read-only"));
#ifndef Q_OS_WIN
    // Qt's own refusal would not say why (a read-only file system, say); the system does.
    if (info.exists() && access(QFile::encodeName(path).constData(), W_OK) != 0)
        failSave(path, errnoReason());
#endif
}

// A save killed part-way may leave its temporary file behind; the next save
// clears it so that nothing trips over it.
void removeLeftovers(const QString& path) {
    const QFileInfo info(path);
    const QDir folder = info.absoluteDir();
    const QString pattern = info.fileName() + QStringLiteral(".??????");
    for (const QString& name : folder.entryList({pattern}, QDir::Files | QDir::Hidden))
        QFile::remove(folder.filePath(name));
}

} // namespace

QString stationFilePath(const QString& driveRoot) {
#ifdef Q_OS_WIN
    Q_UNUSED(driveRoot);
    return QStringLiteral("c:\\pelmora\\pelstart.dat");
#else
    return driveRoot + QStringLiteral("/c/pelmora/pelstart.dat");
#endif
}

bool stationFilePresent(const QString& path) {
    const bool ordinaryFile = QFileInfo(path).isFile();
#ifdef Q_OS_WIN
    return ordinaryFile && !hiddenOrSystem(path);
#else
    return ordinaryFile;
#endif
}

QByteArray readStationFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(readAction, QDir::toNativeSeparators(path), file.errorString());
    // Grown as it is read: asking for the whole bound at once would reserve it
    // up front, megabytes for a file of a hundred bytes.
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

void writeStationFile(const QString& path, const QByteArray& bytes) {
    refuseReadOnly(path);
    removeLeftovers(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failSave(path, file.errorString());
    // QSaveFile::commit() writes what is still buffered and loses that error,
    // and Qt's write errors do not say why: the bytes go straight to the
    // handle and onto the disk before the commit, each step checked.
    QString reason = writeAll(file.handle(), bytes);
    if (reason.isEmpty())
        reason = flushToDisk(file.handle());
    if (!reason.isEmpty()) {
        file.cancelWriting();
        failSave(path, reason);
    }
#ifdef Q_OS_WIN
    clearHiddenAndSystem(path);
#endif
    if (!file.commit())
        failSave(path, file.errorString());
    reason = flushFolder(path);
    if (!reason.isEmpty())
        failSave(path, reason);
}
