#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

// The file operations whose form differs between Windows and POSIX systems,
// one implementation file each. Every operation that can fail gives the
// system's reason for it, or an empty text on success.

// Windows' hidden and system marks; a file never has them elsewhere.
bool isHiddenOrSystem(const QString& path);

// What stands at the name that a save replaces.
enum class Existing { Nothing, File, ReadOnlyFile, Folder, Other };

// Another program's brief hold on a file (a scanner, a backup agent, a
// suite program that starts at that moment) is waited out, backing off,
// about 2 seconds in all, before it is reported. git for Windows waits such
// a hold out for about 71 ms before it asks its user; a save has nobody to
// ask and is rare, so it waits longer.
inline constexpr std::array<unsigned, 9> holdRetryDelaysMs{0, 10, 20, 40, 80, 160, 320, 640, 800};

// The folder a save writes in and the name in it of the file it replaces,
// found once, name by name from the root, following the symbolic links (and
// on Windows the junctions) on the way as far as Larkspur's rule allows
// (linkrule.h), each judged as it is read, through the handle that was
// checked. Every folder on the way is held open, so that every later step
// works in the folder that was checked, whatever another user renames
// meanwhile.
class SaveTarget {
public:
    explicit SaveTarget(const QString& path);
    ~SaveTarget();
    SaveTarget(const SaveTarget&) = delete;
    SaveTarget& operator=(const SaveTarget&) = delete;

    QString open();
    Existing existing() const;
    // The files that saves killed or lost to a power cut left beside the
    // target, and that no running save holds any more.
    void removeAbandonedFiles() const;

private:
    friend class PendingFile;
    // What the walk holds: each system's own, in its implementation file.
    struct Held;

    QString m_path;
    QString m_name; // in the folder held
    std::unique_ptr<Held> m_held;
};

// A new file written beside the target under a name from pendingFileName(),
// then put in the target's place.
class PendingFile {
public:
    explicit PendingFile(const SaveTarget& target)
        : m_target(target) {}
    ~PendingFile(); // removes the file unless it replaced the target
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    QString create();
    // All of the bytes, then flushed to the disk.
    QString write(const QByteArray& bytes);
    // Atomically: afterwards the target is either the old file or this one,
    // which takes the old one's owner and mode (POSIX) or its access list and
    // the rest of its identity (Windows).
    QString replaceTarget();

private:
    // A file descriptor, or a Windows HANDLE; -1 is neither.
    static constexpr std::intptr_t noHandle = -1;

    const SaveTarget& m_target;
    QString m_name;
    std::intptr_t m_handle = noHandle;
    // On Windows, its volume and file index: after the replace, the file put
    // in place is opened again by its name and changed only when it is this one.
    std::array<std::uint64_t, 2> m_identity{};
    bool m_replaced = false;
};
