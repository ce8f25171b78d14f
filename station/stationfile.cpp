#include "stationfile.h"

#include "failure.h"
#include "stationformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <cerrno>
#include <io.h>
#include <system_error>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const QString readAction = QStringLiteral("Cannot read the station start file");
const QString saveAction = QStringLiteral("Cannot save the station start file");

[[noreturn]] void failSave(const QString& path, const QString& reason) {
    throw Failure(saveAction, QDir::toNativeSeparators(path), reason);
}

QString systemReason(int error) {
#ifdef Q_OS_WIN
    return QString::fromLocal8Bit(std::system_category().message(error));
#else
    return QString::fromLocal8Bit(std::strerror(error));
#endif
}

#ifdef Q_OS_WIN
bool hiddenOrSystem(const QString& path) {
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

// Writing sees hidden and system files too: their old content must not survive a save.
void clearHiddenAndSystem(const QString& path) {
    const auto native = reinterpret_cast<LPCWSTR>(path.utf16());
    const DWORD attributes = GetFileAttributesW(native);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        SetFileAttributesW(native, attributes & ~(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

int writeAll(int handle, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const int written =
            _write(handle, bytes.constData() + done, static_cast<unsigned>(bytes.size() - done));
        if (written <= 0)
            return errno;
        done += written;
    }
    return 0;
}

int flushToDisk(int handle) {
    const auto osHandle = reinterpret_cast<HANDLE>(_get_osfhandle(handle));
    return FlushFileBuffers(osHandle) ? 0 : static_cast<int>(GetLastError());
}

void flushFolder(const QString&) {} // NTFS makes the rename durable itself
#else
int writeAll(int handle, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = write(handle, bytes.constData() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        done += written;
    }
    return 0;
}

int flushToDisk(int handle) {
    return fsync(handle) == 0 ? 0 : errno;
}

void flushFolder(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int handle = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int error = handle < 0 ? errno : flushToDisk(handle);
    if (handle >= 0)
        close(handle);
    if (error != 0)
        failSave(path, systemReason(error));
}
#endif

// Even root may write a file without write permission; the station's owner
// made it read-only on purpose, so a save must not replace it.
void refuseReadOnly(const QString& path) {
    const QFileInfo info(path);
    // The mode's bits only: the "user" bits say what this process may do, and root may do all.
    constexpr auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (info.isFile() && !(info.permissions() & writeBits))
        failSave(path, QStringLiteral("The file is read-only"));
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
    QByteArray bytes = file.read(maxStationFileBytes);
    if (file.error() != QFileDevice::NoError)
        throw Failure(readAction, QDir::toNativeSeparators(path), file.errorString());
    return bytes;
}

void writeStationFile(const QString& path, const QByteArray& bytes) {
    refuseReadOnly(path);
    removeLeftovers(path);
#ifdef Q_OS_WIN
    clearHiddenAndSystem(path);
#endif
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failSave(path, file.errorString());
    // QSaveFile::commit() writes what is still buffered and loses that error,
    // and Qt's write errors do not say why: the bytes go straight to the
    // handle and onto the disk before the commit, each step checked.
    int error = writeAll(file.handle(), bytes);
    if (error == 0)
        error = flushToDisk(file.handle());
    if (error != 0) {
        file.cancelWriting();
        failSave(path, systemReason(error));
    }
    if (!file.commit())
        failSave(path, file.errorString());
    flushFolder(path);
}
