#include "nativefile.h"
#include "pendingname.h"
#include "systemcalls.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr int nameAttempts = 100;
constexpr DWORD hiddenAndSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// What SetFileAttributesW sets; FILE_ATTRIBUTE_NORMAL it takes only alone.
constexpr DWORD settableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_TEMPORARY;
// Scanners, backup agents and a suite program that starts at that moment
// open the file for a moment without letting it be replaced. git for Windows
// waits such a hold out for about 71 ms before it asks its user; a save has
// nobody to ask and is rare, so it waits longer, backing off, about 2
// seconds in all, before it reports the hold.
constexpr std::array<DWORD, 9> retryDelaysMs{0, 10, 20, 40, 80, 160, 320, 640, 800};
// A pending file is closed before it replaces the old one, so from then on
// only its age tells that it belongs to a running save. No save takes an hour.
constexpr qint64 abandonedAfterSeconds = 60 * 60;

SystemCalls& calls() {
    return systemCalls();
}

QString systemReason(DWORD error) {
    return qt_error_string(int(error)).trimmed();
}

std::wstring nativePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

HANDLE asHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Tries until the attempt succeeds or gives a failure not worth retrying,
// backing off in between; gives the last failure.
template <typename Attempt, typename Retry>
DWORD withRetries(const Attempt& attempt, const Retry& worthRetrying) {
    DWORD error = ERROR_SUCCESS;
    for (const DWORD delayMs : retryDelaysMs) {
        calls().sleep(delayMs);
        error = attempt();
        if (error == ERROR_SUCCESS || !worthRetrying(error))
            break;
    }
    return error;
}

// Windows answers for a file whose deletion waits for its last handle with
// "access denied", even to an open that asks for no access at all, which
// CreateFileW otherwise grants whatever the file's access list says. A
// deletion that finished meanwhile leaves no file.
bool deletePendingOrDone(const std::wstring& path) {
    const HANDLE handle =
        calls().createFile(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle != INVALID_HANDLE_VALUE) {
        calls().closeHandle(handle);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_FILE_NOT_FOUND;
}

// The failures after which the old file is where it was and the next attempt may succeed.
bool worthRetrying(DWORD error, const std::wstring& target) {
    switch (error) {
    case ERROR_SHARING_VIOLATION: // a brief hold
    // ReplaceFileW documents that both files keep their names after these
    // two, given a backup name; a scanner's hold gives them on Windows.
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    // Once the old file is back from its backup name.
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
    // Another copy's save put a file in place meanwhile, which this one replaces in turn.
    case ERROR_ALREADY_EXISTS:
        return true;
    case ERROR_ACCESS_DENIED:
        return deletePendingOrDone(target);
    default:
        return false;
    }
}

// After ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 the old file is under the backup
// name. It goes back, as patiently as a brief hold is waited out, unless
// another copy's save has put its file in place meanwhile, which supersedes
// it. Gives what the report says of it, or nothing.
QString putBack(const std::wstring& target, const std::wstring& backup) {
    const auto attempt = [&]() -> DWORD {
        if (calls().moveFile(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        const bool superseded =
            calls().getFileAttributes(target.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (superseded && error != ERROR_FILE_NOT_FOUND)
            calls().deleteFile(backup.c_str());
        return superseded ? ERROR_SUCCESS : error;
    };
    const DWORD error = withRetries(attempt, [](DWORD) { return true; });
    if (error == ERROR_SUCCESS)
        return {};
    // Windows' reasons end in a full stop.
    return QStringLiteral(" The old file is kept as \"%1\": %2")
        .arg(QString::fromStdWString(backup), systemReason(error));
}

// One attempt at putting the new file in place. ReplaceFileW gives it the
// old file's identity: its access list, creation time, encryption,
// compression and named streams. Given a backup name, every failure it
// documents leaves the old file in place or under that name, from where it
// goes back. Without an old file, a plain rename, which fails rather than
// replace a file that another copy put there meanwhile. Sets `stranded` when
// the old file stays under the backup name.
DWORD putInPlace(const std::wstring& target, const std::wstring& replacement,
                 const std::wstring& backup, QString& stranded) {
    if (calls().replaceFile(target.c_str(), replacement.c_str(), backup.c_str()))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        if (calls().moveFile(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        return GetLastError();
    }
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        stranded = putBack(target, backup);
    return error;
}

// ReplaceFileW gives the new file the old one's attributes too, and a hidden
// or system mark would keep the next start from finding it. The marks come
// off the new file once it is in place, so that a save that fails leaves the
// old file exactly as it was.
QString unmarkedInPlace(const std::wstring& target) {
    const DWORD attributes = calls().getFileAttributes(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & hiddenAndSystem))
        return {};
    const DWORD kept = attributes & settableAttributes & ~hiddenAndSystem;
    if (calls().setFileAttributes(target.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL))
        return {};
    return QStringLiteral("The new file is in place, but stays hidden from the suite: ") +
           systemReason(GetLastError());
}

// A backup is the old file of a save that replaced it, or of one that could
// not put it back, whose report told the operator where it is: it stays
// while the station file is missing. Held without delete sharing while it is
// judged, so that a running save's put-back waits meanwhile.
void removeSupersededBackup(const std::wstring& backup, const std::wstring& target) {
    const HANDLE handle = calls().createFile(backup.c_str(), DELETE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    if (calls().getFileAttributes(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        calls().deleteOnClose(handle);
    calls().closeHandle(handle);
}

} // namespace

SystemCalls& systemCalls() {
    static SystemCalls calls{
        [](LPCWSTR path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags) {
            return CreateFileW(path, access, sharing, nullptr, disposition, flags, nullptr);
        },
        [](HANDLE file, const void* bytes, DWORD size, DWORD* written) {
            return WriteFile(file, bytes, size, written, nullptr);
        },
        [](HANDLE file) { return FlushFileBuffers(file); },
        [](HANDLE handle) { return CloseHandle(handle); },
        [](HANDLE file) {
            FILE_DISPOSITION_INFO disposal{TRUE};
            return SetFileInformationByHandle(file, FileDispositionInfo, &disposal,
                                              sizeof disposal);
        },
        [](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup) {
            return ReplaceFileW(replaced, replacement, backup, 0, nullptr, nullptr);
        },
        [](LPCWSTR from, LPCWSTR to, DWORD flags) { return MoveFileExW(from, to, flags); },
        [](LPCWSTR path) { return DeleteFileW(path); },
        [](LPCWSTR path) { return GetFileAttributesW(path); },
        [](LPCWSTR path, DWORD attributes) { return SetFileAttributesW(path, attributes); },
        [](DWORD milliseconds) { Sleep(milliseconds); },
    };
    return calls;
}

bool isHiddenOrSystem(const QString& path) {
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & hiddenAndSystem);
}

SaveTarget::~SaveTarget() = default;

QString SaveTarget::open() {
    const QFileInfo info(m_path);
    m_folder = info.absolutePath();
    m_name = info.fileName();
    return {};
}

Existing SaveTarget::existing() const {
    const DWORD attributes = calls().getFileAttributes(nativePath(m_path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Existing::Nothing;
    // A junction or a link to a folder is a folder too.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Existing::Folder;
    // A symbolic link, which GetFileAttributesW does not follow: what
    // ReplaceFileW makes of one, Microsoft does not say.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Existing::Other;
    return attributes & FILE_ATTRIBUTE_READONLY ? Existing::ReadOnlyFile : Existing::File;
}

void SaveTarget::removeAbandonedFiles() const {
    const std::wstring target = nativePath(m_path);
    const QDateTime abandonedBefore =
        QDateTime::currentDateTimeUtc().addSecs(-abandonedAfterSeconds);
    const QFileInfoList files =
        QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& file : files) {
        const std::wstring path = nativePath(file.absoluteFilePath());
        // A save that is still writing holds its file without delete
        // sharing, so the deletion fails for it in any case.
        if (isPendingFileName(m_name, file.fileName()) &&
            file.lastModified().toUTC() < abandonedBefore)
            calls().deleteFile(path.c_str());
        else if (isBackupFileName(m_name, file.fileName()))
            removeSupersededBackup(path, target);
    }
}

PendingFile::~PendingFile() {
    if (m_replaced || m_name.isEmpty())
        return;
    // Nothing to report to from here: a file that stays behind is removed by
    // a later save.
    if (m_handle == noHandle) {
        calls().deleteFile(nativePath(m_target.m_folder + u'/' + m_name).c_str());
        return;
    }
    calls().deleteOnClose(asHandle(m_handle));
    calls().closeHandle(asHandle(m_handle));
}

QString PendingFile::create() {
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target.m_name);
        // Without delete sharing nobody else can remove it while it is written.
        const HANDLE handle = calls().createFile(
            nativePath(m_target.m_folder + u'/' + m_name).c_str(), GENERIC_WRITE | DELETE,
            FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
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
        if (!calls().writeFile(asHandle(m_handle), bytes.constData() + done, size, &written))
            return systemReason(GetLastError());
        if (written == 0)
            return systemReason(ERROR_WRITE_FAULT);
        done += written;
    }
    if (!calls().flushFileBuffers(asHandle(m_handle)))
        return systemReason(GetLastError());
    return {};
}

QString PendingFile::replaceTarget() {
    // ReplaceFileW opens the new file without sharing.
    const HANDLE handle = asHandle(m_handle);
    m_handle = noHandle;
    if (!calls().closeHandle(handle))
        return systemReason(GetLastError());
    const std::wstring target = nativePath(m_target.m_path);
    const std::wstring backup = nativePath(backupFileName(m_target.m_path));
    const std::wstring replacement = nativePath(m_target.m_folder + u'/' + m_name);
    QString stranded;
    const DWORD error = withRetries(
        [&] { return putInPlace(target, replacement, backup, stranded); },
        [&](DWORD error) { return stranded.isEmpty() && worthRetrying(error, target); });
    if (error != ERROR_SUCCESS)
        return systemReason(error) + stranded;
    m_replaced = true;
    // The old file; if it cannot go now, a later save removes it.
    calls().deleteFile(backup.c_str());
    return unmarkedInPlace(target);
}
