#include "nativefile.h"
#include "pendingname.h"
#include "systemcalls.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Names are random; a clash this many times over means something else is wrong.
constexpr int nameAttempts = 100;
// As the kernel counts them before it gives up with ELOOP.
constexpr int linkHops = 40;
// A folder on the way is held only to look up the next name in it, which
// O_PATH allows without read permission.
#ifdef O_PATH
constexpr int wayFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int wayFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

QString systemReason() {
    return qt_error_string(errno);
}

class Descriptor {
public:
    explicit Descriptor(int handle)
        : m_handle(handle) {}
    ~Descriptor() { reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_handle; }
    void reset(int handle) {
        if (m_handle >= 0)
            close(m_handle);
        m_handle = handle;
    }

private:
    int m_handle;
};

std::deque<QByteArray> namesOf(const QByteArray& path) {
    std::deque<QByteArray> names;
    for (const QByteArray& name : path.split('/')) {
        if (!name.isEmpty() && name != ".")
            names.push_back(name);
    }
    return names;
}

// Empty, with errno set, when it cannot be read.
QByteArray linkText(int folder, const QByteArray& name) {
    QByteArray text(PATH_MAX, '\0');
    const ssize_t size = readlinkat(folder, name.constData(), text.data(), size_t(text.size()));
    if (size >= text.size())
        errno = ENAMETOOLONG;
    if (size < 0 || size >= text.size())
        return {};
    text.truncate(size);
    return text;
}

// Whether the name in the folder still leads to the open file, and not to another or to nothing.
bool namesHandle(int folder, const QByteArray& name, int handle) {
    struct stat byHandle {};
    struct stat byName {};
    return fstat(handle, &byHandle) == 0 &&
           fstatat(folder, name.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
           byHandle.st_dev == byName.st_dev && byHandle.st_ino == byName.st_ino;
}

// Larkspur's own rule for the symbolic links on the way to the file: a link
// is followed when it is the saving user's, root's, or its owner's who also
// owns the file it leads to (the folder, where there is no file yet). So a
// link that another user planted in a shared folder cannot make root write
// a file of someone else's.
QString refusalOfLinks(const std::vector<uid_t>& linkOwners, int folder, const QByteArray& name) {
    struct stat end {};
    if (fstatat(folder, name.constData(), &end, AT_SYMLINK_NOFOLLOW) != 0 &&
        fstat(folder, &end) != 0)
        return systemReason();
    for (const uid_t owner : linkOwners) {
        if (owner != geteuid() && owner != 0 && owner != end.st_uid)
            return QStringLiteral("It is reached through a symbolic link of another user's, "
                                  "which a save does not follow");
    }
    return {};
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

SystemCalls& systemCalls() {
    static SystemCalls calls{
        [](int folder, const char* name, int flags, mode_t mode) {
            return ::openat(folder, name, flags, mode);
        },
        [](int handle) { return ::fsync(handle); },
    };
    return calls;
}

bool isHiddenOrSystem(const QString&) {
    return false;
}

SaveTarget::~SaveTarget() {
    if (m_folderHandle != noHandle)
        close(int(m_folderHandle));
}

// Name by name from the root, as the kernel would, but holding each folder
// reached, so that nothing renamed meanwhile can lead the save elsewhere.
QString SaveTarget::open() {
    std::deque<QByteArray> names = namesOf(QFile::encodeName(QFileInfo(m_path).absoluteFilePath()));
    Descriptor folder(::open("/", wayFlags));
    std::vector<uid_t> linkOwners;
    QByteArray name;
    while (!names.empty()) {
        name = names.front();
        names.pop_front();
        struct stat entry {};
        if (fstatat(folder.get(), name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && names.empty())
                break; // a new file
            return systemReason();
        }
        if (S_ISLNK(entry.st_mode)) {
            if (linkOwners.size() == linkHops) {
                errno = ELOOP;
                return systemReason();
            }
            linkOwners.push_back(entry.st_uid);
            // Resolved from the folder the link is in, as the kernel does.
            const QByteArray text = linkText(folder.get(), name);
            if (text.isEmpty())
                return systemReason();
            if (text.startsWith('/'))
                folder.reset(::open("/", wayFlags));
            const std::deque<QByteArray> linked = namesOf(text);
            names.insert(names.begin(), linked.begin(), linked.end());
            name.clear();
            continue;
        }
        if (names.empty())
            break; // the file itself, or what stands in its place
        folder.reset(openat(folder.get(), name.constData(), wayFlags));
        if (folder.get() < 0)
            return systemReason();
    }
    if (name.isEmpty()) {
        errno = EISDIR;
        return systemReason();
    }
    // Held for reading: fsync takes no O_PATH descriptor.
    m_folderHandle = openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderHandle < 0)
        return systemReason();
    m_name = QFile::decodeName(name);
    return refusalOfLinks(linkOwners, int(m_folderHandle), name);
}

Existing SaveTarget::existing() const {
    struct stat entry {};
    // Another failure than "no such file" shows again when the new file is made.
    if (fstatat(int(m_folderHandle), QFile::encodeName(m_name).constData(), &entry,
                AT_SYMLINK_NOFOLLOW) != 0)
        return Existing::Nothing;
    if (S_ISDIR(entry.st_mode))
        return Existing::Folder;
    if (!S_ISREG(entry.st_mode))
        return Existing::Other;
    // The mode's bits only: they do not bind root, but the station's owner set them.
    return entry.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH) ? Existing::File : Existing::ReadOnlyFile;
}

void SaveTarget::removeAbandonedFiles() const {
    DIR* listing = fdopendir(openat(int(m_folderHandle), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing)
        return;
    while (const dirent* entry = readdir(listing)) {
        if (!isPendingFileName(m_name, QFile::decodeName(entry->d_name)))
            continue;
        const int handle = openat(int(m_folderHandle), entry->d_name,
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        // A running save holds its lock until its file is in place; the
        // system released the lock of one that ended before.
        if (flock(handle, LOCK_EX | LOCK_NB) == 0 &&
            namesHandle(int(m_folderHandle), entry->d_name, handle))
            unlinkat(int(m_folderHandle), entry->d_name, 0);
        close(handle);
    }
    closedir(listing);
}

PendingFile::~PendingFile() {
    if (m_handle == noHandle)
        return;
    // Still locked by this process, so the name is still this file's.
    if (!m_replaced)
        unlinkat(int(m_target.m_folderHandle), QFile::encodeName(m_name).constData(), 0);
    close(int(m_handle));
}

QString PendingFile::create() {
    const int folder = int(m_target.m_folderHandle);
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target.m_name);
        const QByteArray name = QFile::encodeName(m_name);
        const int handle = systemCalls().openat(folder, name.constData(),
                                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
        if (!namesHandle(folder, name, handle)) {
            close(handle);
            continue;
        }
        m_handle = handle;
        return {};
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
    return systemCalls().fsync(int(m_handle)) == 0 ? QString() : systemReason();
}

QString PendingFile::replaceTarget() {
    const int folder = int(m_target.m_folderHandle);
    const QByteArray target = QFile::encodeName(m_target.m_name);
    struct stat old {};
    if (fstatat(folder, target.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(old.st_mode))
            return QStringLiteral("It was changed while it was being saved");
        if (const QString reason = keepOwnerAndMode(int(m_handle), old); !reason.isEmpty())
            return reason;
    } else if (errno != ENOENT) {
        return systemReason();
    }
    if (renameat(folder, QFile::encodeName(m_name).constData(), folder, target.constData()) != 0)
        return systemReason();
    m_replaced = true;
    // The new name must reach the disk too, or a power cut can bring the old
    // file back. A file system that cannot flush a folder says EINVAL.
    if (systemCalls().fsync(folder) != 0 && errno != EINVAL)
        return QStringLiteral("The new file is in place, but may not survive a power loss: ") +
               systemReason();
    return {};
}
