#include "nativefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names are random; a clash this many times over means something else is wrong.
constexpr int nameAttempts = 100;
// As the kernel counts them before it gives up with ELOOP.
constexpr int linkHops = 40;

QString systemReason() {
    return qt_error_string(errno);
}

// Whether the name still leads to the open file, and not to another or to nothing.
bool namesHandle(const QByteArray& name, int handle) {
    struct stat byHandle {};
    struct stat byName {};
    return fstat(handle, &byHandle) == 0 && lstat(name.constData(), &byName) == 0 &&
           byHandle.st_dev == byName.st_dev && byHandle.st_ino == byName.st_ino;
}

// The new name must reach the disk too, or a power cut can bring the old file back.
QString flushFolderOf(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int handle = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return systemReason();
    const QString reason = fsync(handle) == 0 ? QString() : systemReason();
    close(handle);
    return reason;
}

// The new file gets the old one's owner, group and permissions, or the save
// fails: a file that changed hands could lock its owner out.
QString keepOwnerAndMode(int handle, const struct stat& old) {
    struct stat made {};
    if (fstat(handle, &made) != 0)
        return systemReason();
    if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        fchown(handle, old.st_uid, old.st_gid) != 0)
        return QStringLiteral("Its owner cannot be kept: ") + systemReason();
    // After the owner: a change of owner clears the set-user-ID bits.
    if (fchmod(handle, old.st_mode & 07777) != 0)
        return systemReason();
    return {};
}

} // namespace

bool isHiddenOrSystem(const QString&) {
    return false;
}

// As the kernel's protected_symlinks rule has it: a link is followed only
// when it is the saving user's own or its owner also owns what it leads to,
// so that a link planted in a shared folder cannot make root overwrite a
// file elsewhere. The link itself stays a link.
QString savedFile(const QString& path, QString& refusal) {
    QString file = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < linkHops; ++hop) {
        struct stat link {};
        if (lstat(QFile::encodeName(file).constData(), &link) != 0 || !S_ISLNK(link.st_mode))
            return file;
        const QString next = QFileInfo(file).symLinkTarget();
        struct stat end {};
        const bool ends = stat(QFile::encodeName(next).constData(), &end) == 0;
        if (link.st_uid != geteuid() && !(ends && end.st_uid == link.st_uid)) {
            refusal = QStringLiteral("It is a symbolic link of another user's, which a save "
                                     "does not follow");
            return {};
        }
        file = next;
    }
    errno = ELOOP;
    refusal = systemReason();
    return {};
}

QString refusalToReplace(const QString& path) {
    // The mode's bits do not bind root; the system still refuses a read-only file system.
    if (access(QFile::encodeName(path).constData(), W_OK) != 0 && errno != ENOENT)
        return systemReason();
    return {};
}

PendingFile::~PendingFile() {
    if (m_handle == noHandle)
        return;
    // Still locked by this process, so the name is still this file's.
    if (!m_replaced)
        unlink(QFile::encodeName(m_name).constData());
    close(int(m_handle));
}

QString PendingFile::create() {
    struct stat old {};
    const bool replacing = stat(QFile::encodeName(m_target).constData(), &old) == 0;
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target);
        const QByteArray name = QFile::encodeName(m_name);
        const int handle = open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle < 0 && errno == EEXIST)
            continue;
        if (handle < 0)
            return systemReason();
        // Where the file system has no locks, a clean-up cannot take one
        // either and leaves the file alone.
        while (flock(handle, LOCK_EX) != 0 && errno == EINTR) {
        }
        // A clean-up may have taken the file between its creation and the
        // lock; then the name is gone and another one is tried.
        if (!namesHandle(name, handle)) {
            close(handle);
            continue;
        }
        m_handle = handle;
        return replacing ? keepOwnerAndMode(handle, old) : QString();
    }
    return QStringLiteral("No free name for a temporary file beside it");
}

QString PendingFile::write(const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written =
            ::write(int(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO;
        if (written <= 0)
            return systemReason();
        done += written;
    }
    return fsync(int(m_handle)) == 0 ? QString() : systemReason();
}

QString PendingFile::replaceTarget() {
    if (rename(QFile::encodeName(m_name).constData(), QFile::encodeName(m_target).constData()) != 0)
        return systemReason();
    m_replaced = true;
    return flushFolderOf(m_target);
}

void removeAbandonedPendingFiles(const QString& target) {
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    const QStringList names = folder.entryList({pendingFilePattern(info.fileName())},
                                               QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        const int handle = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        // A running save holds its lock until its file is in place; the
        // system released the lock of one that ended before.
        if (flock(handle, LOCK_EX | LOCK_NB) == 0 && namesHandle(path, handle))
            unlink(path.constData());
        close(handle);
    }
}
