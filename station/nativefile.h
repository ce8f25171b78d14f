#pragma once

#include "pendingname.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

// The file operations whose form differs between Windows and POSIX systems,
// one implementation file each. Every operation that can fail gives the
// system's reason for it, or an empty text on success.

// Windows' hidden and system marks; a file never has them elsewhere.
bool isHiddenOrSystem(const QString& path);

// The file that a save at the path replaces: the path itself or, on POSIX
// systems, the file that its symbolic links lead to. Sets the refusal instead
// when a link is one that this user must not follow.
QString savedFile(const QString& path, QString& refusal);

// The system's reason why this process may not replace the existing file at
// the path (a read-only file system, say), or nothing.
QString refusalToReplace(const QString& path);

// A new file written beside the target under a name from pendingFileName(),
// then put in the target's place, keeping the old file's owner and mode
// (POSIX) or its access list (Windows). The clean-up of another running copy
// passes it by: on POSIX systems its owner holds it locked, on Windows it is
// new.
class PendingFile {
public:
    explicit PendingFile(const QString& target)
        : m_target(target) {}
    ~PendingFile(); // removes the file unless it replaced the target
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    QString create();
    // All of the bytes, then flushed to the disk.
    QString write(const QByteArray& bytes);
    // Atomically: afterwards the target is either the old file or this one.
    QString replaceTarget();

private:
    // A file descriptor, or a Windows HANDLE; -1 is neither.
    static constexpr std::intptr_t noHandle = -1;

    QString m_target;
    QString m_name;
    std::intptr_t m_handle = noHandle;
    bool m_replaced = false;
};

// Removes the pending files beside the target that no save holds any more:
// those a save that was killed or lost its power left behind.
void removeAbandonedPendingFiles(const QString& target);
