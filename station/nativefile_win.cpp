#include "nativefile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <array>
#include <string>
#include <windows.h>

namespace {

constexpr int nameAttempts = 100;
constexpr DWORD hiddenAndSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// Scanners, backup agents and a suite program that starts at that moment
// open the file for a moment without letting it be replaced; as git for
// Windows does, such a hold is waited out, backing off, about 2 seconds in all.
constexpr std::array<int, 9> retryDelaysMs{0, 10, 20, 40, 80, 160, 320, 640, 800};
// A pending file is closed before it replaces the old one, so from then on
// only its age tells that it belongs to a running save. No save takes an hour.
constexpr qint64 abandonedAfterSeconds = 60 * 60;

QString systemReason(DWORD error) {
    return qt_error_string(int(error)).trimmed();
}

std::wstring nativePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

HANDLE asHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Windows answers for a file whose deletion waits for its last handle with
// "access denied", even to an open that asks for no access at all, which
// CreateFileW otherwise grants whatever the file's access list says.
bool deletePending(const std::wstring& path) {
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool briefHold(DWORD error, const std::wstring& target) {
    return error == ERROR_SHARING_VIOLATION ||
           (error == ERROR_ACCESS_DENIED && deletePending(target));
}

// One attempt at putting the new file in place. ReplaceFileW gives it the
// old file's identity: its access list, creation time, encryption,
// compression and named streams. Given a backup name, every failure it
// documents leaves the old file in place or under that name, from where it
// goes back; it is only lost to another copy's save that took its place
// meanwhile. Without an old file, a plain rename, which fails rather than
// replace a file that another copy put there meanwhile. Sets `stranded` when
// the old file is left under the backup name.
DWORD putInPlace(const std::wstring& target, const std::wstring& replacement,
                 const std::wstring& backup, QString& stranded) {
    if (ReplaceFileW(target.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr, nullptr))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        if (MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        return GetLastError();
    }
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
        MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        return error;
    if (const DWORD putBack = GetLastError();
        putBack != ERROR_ALREADY_EXISTS && putBack != ERROR_FILE_EXISTS) {
        stranded = QStringLiteral("; the old file could not be put back from %1: %2")
                       .arg(QString::fromStdWString(backup), systemReason(putBack));
        return error;
    }
    DeleteFileW(backup.c_str());
    return error;
}

// Tried again: a brief hold, and a file that another copy's save put in
// place meanwhile, which this save then replaces in turn.
bool worthRetrying(DWORD error, const std::wstring& target) {
    return error == ERROR_ALREADY_EXISTS || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
           briefHold(error, target);
}

} // namespace

bool isHiddenOrSystem(const QString& path) {
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & hiddenAndSystem);
}

QString savedFile(const QString& path, QString&) {
    return path;
}

QString refusalToReplace(const QString&) {
    return {}; // the read-only mark is all there is, and the caller checks it
}

PendingFile::~PendingFile() {
    if (m_replaced || m_name.isEmpty())
        return;
    // Nothing to report to from here: a file that stays behind is removed by
    // a later save.
    if (m_handle == noHandle) {
        DeleteFileW(nativePath(m_name).c_str());
        return;
    }
    FILE_DISPOSITION_INFO disposal{TRUE}; // delete on close
    SetFileInformationByHandle(asHandle(m_handle), FileDispositionInfo, &disposal, sizeof disposal);
    CloseHandle(asHandle(m_handle));
}

QString PendingFile::create() {
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target);
        // Without delete sharing nobody else can remove it while it is written.
        const HANDLE handle =
            CreateFileW(nativePath(m_name).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<std::intptr_t>(handle);
            return {};
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS)
            return systemReason(error);
    }
    m_name.clear();
    return QStringLiteral("No free name for a temporary file beside it");
}

QString PendingFile::write(const QByteArray& bytes) {
    constexpr qsizetype largestWrite = 1 << 30;
    for (qsizetype done = 0; done < bytes.size();) {
        const auto size = DWORD(std::min(largestWrite, bytes.size() - done));
        DWORD written = 0;
        if (!WriteFile(asHandle(m_handle), bytes.constData() + done, size, &written, nullptr))
            return systemReason(GetLastError());
        if (written == 0)
            return systemReason(ERROR_WRITE_FAULT);
        done += written;
    }
    if (!FlushFileBuffers(asHandle(m_handle)))
        return systemReason(GetLastError());
    // ReplaceFileW opens the new file without sharing.
    const HANDLE handle = asHandle(m_handle);
    m_handle = noHandle;
    if (!CloseHandle(handle))
        return systemReason(GetLastError());
    return {};
}

QString PendingFile::replaceTarget() {
    const std::wstring target = nativePath(m_target);
    const std::wstring backup = nativePath(pendingFileName(m_target));
    // ReplaceFileW would carry a hidden or system mark over to the new file,
    // and the next start would not find it; the old file gets its marks back
    // if the replace fails.
    const DWORD oldAttributes = GetFileAttributesW(target.c_str());
    const bool unmarked =
        oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & hiddenAndSystem);
    if (unmarked && !SetFileAttributesW(target.c_str(), oldAttributes & ~hiddenAndSystem))
        return systemReason(GetLastError());
    DWORD error = ERROR_SUCCESS;
    QString stranded;
    for (const int delayMs : retryDelaysMs) {
        QThread::msleep(delayMs);
        error = putInPlace(target, nativePath(m_name), backup, stranded);
        if (!stranded.isEmpty() || !worthRetrying(error, target))
            break;
    }
    if (error == ERROR_SUCCESS) {
        m_replaced = true;
        // The old file under a pending name; if it cannot go now, a later save removes it.
        DeleteFileW(backup.c_str());
        return {};
    }
    QString reason = systemReason(error) + stranded;
    if (unmarked && !SetFileAttributesW(target.c_str(), oldAttributes))
        reason += QStringLiteral("; its hidden or system mark could not be put back: ") +
                  systemReason(GetLastError());
    return reason;
}

void removeAbandonedPendingFiles(const QString& target) {
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    const QFileInfoList pending = folder.entryInfoList({pendingFilePattern(info.fileName())},
                                                       QDir::Files | QDir::Hidden | QDir::System);
    const QDateTime abandonedBefore =
        QDateTime::currentDateTimeUtc().addSecs(-abandonedAfterSeconds);
    // A save that is still writing holds its file without delete sharing, so
    // the deletion fails for it in any case.
    for (const QFileInfo& file : pending) {
        if (file.lastModified().toUTC() < abandonedBefore)
            DeleteFileW(nativePath(file.absoluteFilePath()).c_str());
    }
}
