#include "linkrule.h"
#include "nativefile.h"
#include "pendingname.h"
#include "systemcalls.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <cerrno>
#include <climits>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Names are random; a clash this many times over means something else is wrong.
constexpr int nameAttempts = 100;
// As the kernel counts them before it gives up with ELOOP.
constexpr int linkHops = 40;
// Each name on the way is opened once, as what it is, a link included
// (Linux's O_PATH with O_NOFOLLOW), and everything the walk knows of it is
// read through that descriptor, so that nobody can swap the name between a
// check and a use. O_PATH needs no read permission.
constexpr int wayFlags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
// A new station file, once complete: as any file the user creates.
constexpr mode_t newFileMode = 0666;

// The process's umask, which cannot be read without being set. Read once,
// before main(), while no other thread can create a file meanwhile;
// Larkspur never changes it.
const mode_t startUmask = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}();

SystemCalls& calls() {
    return systemCalls();
}

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
    int release() { return std::exchange(m_handle, -1); }
    void reset(int handle) {
        if (m_handle >= 0)
            calls().close(m_handle);
        m_handle = handle;
    }

private:
    int m_handle;
};

// ".." stays a name: the kernel takes it from the folder actually reached,
// which after a link is not the one the text names.
std::deque<QByteArray> namesOf(const QByteArray& path) {
    std::deque<QByteArray> names;
    for (const QByteArray& name : path.split('/')) {
        if (!name.isEmpty() && name != ".")
            names.push_back(name);
    }
    return names;
}

// The text of the link open as `link`; empty, with errno set, when it cannot be read.
QByteArray linkText(int link) {
    QByteArray text(PATH_MAX, '\0');
    const ssize_t size = calls().readlinkat(link, "", text.data(), size_t(text.size()));
    if (size >= text.size())
        errno = ENAMETOOLONG;
    if (size < 0 || size >= text.size())
        return {};
    text.truncate(size);
    return text;
}

// Whether the name in the folder still leads to the open file, and not to another or to nothing.
bool namesHandle(int folder, const QByteArray& name, int handle) {
    struct stat byHandle{};
    struct stat byName{};
    return calls().fstat(handle, &byHandle) == 0 &&
           calls().fstatat(folder, name.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0 &&
           byHandle.st_dev == byName.st_dev && byHandle.st_ino == byName.st_ino;
}

Account accountOf(uid_t user) {
    return QString::number(user);
}

const char* const foreignLink =
    "It is reached through a symbolic link that another user may change, which a save does not "
    "follow";

// Who may change where the link open as `link` leads. A symbolic link cannot
// be changed, only replaced by a new one of whoever replaces it; but a
// second name of it counts as made by whoever may write the folder it was
// found in, as anyone who may write a folder may give a link there a name
// where hard links are not protected.
QList<Account> changersOf(const struct stat& link, int folder) {
    QList<Account> changers{accountOf(link.st_uid)};
    struct stat found{};
    if (link.st_nlink > 1) {
        if (calls().fstat(folder, &found) != 0)
            return {anyone};
        changers.append(accountOf(found.st_uid));
        if (found.st_mode & (S_IWGRP | S_IWOTH))
            changers.append(anyone);
    }
    return changers;
}

// The rule, as far as it can be judged: before the folder saved in is known,
// or against its owner.
QString refusalOfLinks(const QList<QList<Account>>& changers, int savedIn = -1) {
    TrustedAccounts trusted{accountOf(calls().geteuid()), {accountOf(0)}, std::nullopt};
    if (struct stat saved{}; savedIn >= 0) {
        if (calls().fstat(savedIn, &saved) != 0)
            return systemReason();
        trusted.folderOwner = accountOf(saved.st_uid);
    }
    return untrustedChanger(changers, trusted) ? QString::fromLatin1(foreignLink) : QString();
}

// The new file gets the old one's owner, group and permission bits (never
// the set-ID bits: a station file is no program). Only root gives a file to
// another user: anyone else who may replace the file (an operator saving in
// a folder the operators share) becomes its owner, and keeps its group where
// they belong to it.
QString keepOwnerAndMode(int handle, const struct stat& old) {
    struct stat made{};
    if (calls().fstat(handle, &made) != 0)
        return systemReason();
    const bool kept = (made.st_uid == old.st_uid && made.st_gid == old.st_gid) ||
                      calls().fchown(handle, old.st_uid, old.st_gid) == 0;
    if (!kept && errno != EPERM)
        return QStringLiteral("Its owner cannot be kept: ") + systemReason();
    if (!kept && made.st_gid != old.st_gid)
        calls().fchown(handle, uid_t(-1), old.st_gid); // fails where the saver is no member
    if (calls().fchmod(handle, old.st_mode & 0777) != 0)
        return systemReason();
    return {};
}

// The pending file's lock, waited for as long as a brief hold is; a clean-up
// of another copy takes it for a moment. Where the file system has no
// locks, a clean-up cannot take one either and leaves the file alone.
QString lockWithin(int handle) {
    for (const unsigned delayMs : holdRetryDelaysMs) {
        calls().sleep(delayMs);
        if (calls().flock(handle, LOCK_EX | LOCK_NB) == 0 ||
            (errno != EWOULDBLOCK && errno != EINTR))
            return {};
    }
    return QStringLiteral("Another program holds the lock on its new file");
}

} // namespace

SystemCalls& systemCalls() {
    static SystemCalls calls{
        [](int folder, const char* name, int flags, mode_t mode) {
            return ::openat(folder, name, flags, mode);
        },
        [](int handle) { return ::close(handle); },
        [](int handle, struct stat* status) { return ::fstat(handle, status); },
        [](int folder, const char* name, struct stat* status, int flags) {
            return ::fstatat(folder, name, status, flags);
        },
        [](int folder, const char* name, char* text, size_t size) {
            return ::readlinkat(folder, name, text, size);
        },
        [] { return ::geteuid(); },
        [](int handle, uid_t owner, gid_t group) { return ::fchown(handle, owner, group); },
        [](int handle, mode_t mode) { return ::fchmod(handle, mode); },
        [](int handle, int operation) { return ::flock(handle, operation); },
        [](int handle, const void* bytes, size_t size) { return ::write(handle, bytes, size); },
        [](int handle) { return ::fsync(handle); },
        [](int handle) { return ::syncfs(handle); },
        [](int fromFolder, const char* from, int toFolder, const char* to) {
            return ::renameat(fromFolder, from, toFolder, to);
        },
        [](int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); },
        [](int folder) { return ::fdopendir(folder); },
        [](DIR* listing) { return ::readdir(listing); },
        [](DIR* listing) { return ::closedir(listing); },
        [](unsigned milliseconds) { usleep(milliseconds * 1000); },
    };
    return calls;
}

struct SaveTarget::Held {
    Descriptor folder{-1}; // O_PATH
};

SaveTarget::SaveTarget(const QString& path)
    : m_path(path)
    , m_held(std::make_unique<Held>()) {}

bool isHiddenOrSystem(const QString&) {
    return false;
}

SaveTarget::~SaveTarget() = default;

// Name by name from the root, as the kernel would, but holding each folder
// reached, so that nothing renamed meanwhile can lead the save elsewhere.
QString SaveTarget::open() {
    // Not cleaned: a ".." after a link is the kernel's to resolve.
    const QString absolute =
        QDir::isAbsolutePath(m_path) ? m_path : QDir::currentPath() + u'/' + m_path;
    std::deque<QByteArray> names = namesOf(QFile::encodeName(absolute));
    Descriptor folder(calls().openat(AT_FDCWD, "/", wayFlags, 0));
    QList<QList<Account>> changers;
    QByteArray name;
    while (!names.empty()) {
        name = names.front();
        names.pop_front();
        Descriptor entry(calls().openat(folder.get(), name.constData(), wayFlags, 0));
        if (entry.get() < 0) {
            if (errno == ENOENT && names.empty())
                break; // a new file
            return systemReason();
        }
        struct stat status{};
        if (calls().fstat(entry.get(), &status) != 0)
            return systemReason();
        if (S_ISLNK(status.st_mode)) {
            if (changers.size() == linkHops) {
                errno = ELOOP;
                return systemReason();
            }
            // Judged before anything it names is opened.
            changers.append(changersOf(status, folder.get()));
            if (const QString refusal = refusalOfLinks(changers); !refusal.isEmpty())
                return refusal;
            // Resolved from the folder the link is in, as the kernel does.
            const QByteArray text = linkText(entry.get());
            if (text.isEmpty())
                return systemReason();
            if (text.startsWith('/'))
                folder.reset(calls().openat(AT_FDCWD, "/", wayFlags, 0));
            const std::deque<QByteArray> linked = namesOf(text);
            names.insert(names.begin(), linked.begin(), linked.end());
            name.clear();
            continue;
        }
        if (names.empty())
            break; // the file itself, or what stands in its place
        if (!S_ISDIR(status.st_mode)) {
            errno = ENOTDIR;
            return systemReason();
        }
        folder.reset(entry.release());
    }
    if (name.isEmpty() || name == "..") {
        errno = EISDIR;
        return systemReason();
    }
    m_held->folder.reset(folder.release());
    m_name = QFile::decodeName(name);
    return refusalOfLinks(changers, m_held->folder.get());
}

Existing SaveTarget::existing() const {
    struct stat entry{};
    // Another failure than "no such file" shows again when the new file is made.
    if (calls().fstatat(m_held->folder.get(), QFile::encodeName(m_name).constData(), &entry,
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
    const int folder = m_held->folder.get();
    // A folder that may be written but not read is not cleaned up.
    const int readable = calls().openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    DIR* listing = readable >= 0 ? calls().fdopendir(readable) : nullptr;
    if (!listing) {
        if (readable >= 0)
            calls().close(readable);
        return;
    }
    while (const dirent* entry = calls().readdir(listing)) {
        if (!isPendingFileName(m_name, QFile::decodeName(entry->d_name)))
            continue;
        const int handle = calls().openat(folder, entry->d_name,
                                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
        if (handle < 0)
            continue;
        // A running save holds its lock until its file is in place; the
        // system released the lock of one that ended before.
        if (calls().flock(handle, LOCK_EX | LOCK_NB) == 0 &&
            namesHandle(folder, entry->d_name, handle))
            calls().unlinkat(folder, entry->d_name, 0);
        calls().close(handle);
    }
    calls().closedir(listing);
}

PendingFile::~PendingFile() {
    if (m_handle == noHandle)
        return;
    // Still locked by this process, so the name is still this file's.
    if (!m_replaced)
        calls().unlinkat(m_target.m_held->folder.get(), QFile::encodeName(m_name).constData(), 0);
    calls().close(int(m_handle));
}

QString PendingFile::create() {
    const int folder = m_target.m_held->folder.get();
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target.m_name);
        const QByteArray name = QFile::encodeName(m_name);
        // Its owner's alone until it is complete: nobody else reads the new
        // settings early, or takes its lock.
        const int handle = calls().openat(
            folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (handle < 0 && errno == EEXIST)
            continue;
        if (handle < 0)
            return systemReason();
        const QString locked = lockWithin(handle);
        // A clean-up may have taken the file between its creation and the
        // lock; then the name is gone and another one is tried.
        if (!locked.isEmpty() || !namesHandle(folder, name, handle)) {
            calls().close(handle);
            if (locked.isEmpty())
                continue;
            calls().unlinkat(folder, name.constData(), 0);
            return locked;
        }
        m_handle = handle;
        return {};
    }
    return QStringLiteral("No free name for a temporary file beside it");
}

QString PendingFile::write(const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written =
            calls().write(int(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO;
        if (written <= 0)
            return systemReason();
        done += written;
    }
    return calls().fsync(int(m_handle)) == 0 ? QString() : systemReason();
}

QString PendingFile::replaceTarget() {
    const int folder = m_target.m_held->folder.get();
    const QByteArray target = QFile::encodeName(m_target.m_name);
    struct stat old{};
    if (calls().fstatat(folder, target.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(old.st_mode))
            return QStringLiteral("It was changed while it was being saved");
        if (const QString reason = keepOwnerAndMode(int(m_handle), old); !reason.isEmpty())
            return reason;
    } else if (errno != ENOENT) {
        return systemReason();
    } else if (calls().fchmod(int(m_handle), newFileMode & ~startUmask) != 0) {
        return systemReason();
    }
    if (calls().renameat(folder, QFile::encodeName(m_name).constData(), folder,
                         target.constData()) != 0)
        return systemReason();
    m_replaced = true;
    // The new name must reach the disk too, or a power cut can bring the old
    // file back. A file system that cannot flush a folder says EINVAL. A
    // folder that may be written but not read cannot be opened to be
    // flushed; then the whole file system is, which takes the new name too.
    const Descriptor readable(calls().openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    const int flushed = readable.get() >= 0 ? calls().fsync(readable.get())
                        : errno == EACCES   ? calls().syncfs(int(m_handle))
                                            : -1;
    if (flushed != 0 && errno != EINVAL)
        return QStringLiteral("The new file is in place, but may not survive a power loss: ") +
               systemReason();
    return {};
}
