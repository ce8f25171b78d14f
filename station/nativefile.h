#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The file operations whose form differs between Windows and POSIX systems,
// one implementation file each. Every operation that can fail gives the
// system's reason for it, or an empty text on success.

// Windows' hidden and system marks; a file never has them elsewhere.
bool isHiddenOrSystem(const QString& path);

// What stands at the name that a save replaces.
enum class Existing { Nothing, File, ReadOnlyFile, Folder, Other };

// The folder a save writes in and the name in it of the file it replaces.
// On POSIX systems it is found once, following the symbolic links on the
// way as far as Larkspur's rule allows, and the folder is held open, so that
// every later step works in the folder that was checked, whatever is renamed
// meanwhile. On Windows, where only administrators make symbolic links,
// Windows resolves the path at each step.
class SaveTarget {
public:
    explicit SaveTarget(const QString& path)
        : m_path(path) {}
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
    // A file descriptor, or a Windows HANDLE; -1 is neither.
    static constexpr std::intptr_t noHandle = -1;

    QString m_path;
    QString m_folder; // absolute
    QString m_name;
    std::intptr_t m_folderHandle = noHandle;
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
    static constexpr std::intptr_t noHandle = SaveTarget::noHandle;

    const SaveTarget& m_target;
    QString m_name;
    std::intptr_t m_handle = noHandle;
    bool m_replaced = false;
};
