// The new file: made in the held folder as the saver's alone, written,
// then put in the old file's place.
//
// Only the put-in-place names the folder by its path (ReplaceFileW and
// MoveFileExW take nothing else), and by then the path cannot change its
// meaning: every folder on it is held without delete sharing, so none is
// renamed or removed; each holds the next, and the last holds the new
// file, which nobody else may delete; and a folder that holds anything
// cannot become a junction (FSCTL_SET_REPARSE_POINT: "STATUS_DIRECTORY_NOT_EMPTY:
// A reparse point cannot be set on a non-empty directory"). That the last
// folder did not become one before the new file was made in it is checked
// once the file is there.

#include "nativefile_win.h"
#include "pendingname.h"

#include <QtGlobal>
#include <aclapi.h>
#include <algorithm>
#include <sddl.h>

using namespace nativewin;

namespace {

constexpr int nameAttempts = 100;

HANDLE asHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Tries until the attempt succeeds or gives a failure not worth retrying,
// backing off in between; gives the last failure.
template <typename Attempt, typename Retry>
DWORD withRetries(const Attempt& attempt, const Retry& worthRetrying) {
    DWORD error = ERROR_SUCCESS;
    for (const unsigned delayMs : holdRetryDelaysMs) {
        calls().sleep(DWORD(delayMs));
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
    const HANDLE handle = calls().createFile(path.c_str(), 0, shareAll, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT |
                                                 SECURITY_IDENTIFICATION);
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
        .arg(shown(backup), systemReason(error));
}

// One attempt at putting the new file in place. ReplaceFileW gives it the
// old file's identity: its access list, creation time, encryption,
// compression and named streams. Given a backup name, every failure it
// documents leaves the old file in place or under that name, from where it
// goes back. Without an old file, a plain rename, which fails rather than
// replace a file that another copy put there meanwhile, and sets `isNew`.
// Sets `stranded` when the old file stays under the backup name.
DWORD putInPlace(const std::wstring& target, const std::wstring& replacement,
                 const std::wstring& backup, QString& stranded, bool& isNew) {
    isNew = false;
    if (calls().replaceFile(target.c_str(), replacement.c_str(), backup.c_str()))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        if (!calls().moveFile(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return GetLastError();
        isNew = true;
        return ERROR_SUCCESS;
    }
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        stranded = putBack(target, backup);
    return error;
}

std::array<std::uint64_t, 2> identityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!calls().fileIdentity(file, &information))
        return {};
    return {information.dwVolumeSerialNumber,
            (std::uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// Until it replaces the old file, the new file is the saver's alone (with
// SYSTEM and Administrators): nobody else may hold it open, delete it or
// rewrite it, whatever the folder lets them do. LocalFree'd by the caller.
PSECURITY_DESCRIPTOR saversOnly() {
    const std::wstring user = userSid();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            (L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + user + L")").c_str(),
                            SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

// A new station file gets the access list that any new file in the folder
// gets: the folder's inheritable entries, or else the saver's default, as
// Windows computes them for a new object ("ACL for a New Object";
// CreatePrivateObjectSecurityEx is that computation).
DWORD giveNewFileAccess(HANDLE file, HANDLE folder) {
    PSECURITY_DESCRIPTOR parent = nullptr;
    DWORD error =
        calls().getSecurityInfo(folder, DACL_SECURITY_INFORMATION, nullptr, nullptr, &parent);
    if (error != ERROR_SUCCESS)
        return error;
    const HANDLE token = calls().processToken();
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    PSECURITY_DESCRIPTOR made = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!token ||
        !CreatePrivateObjectSecurityEx(parent, nullptr, &made, nullptr, FALSE,
                                       SEF_DACL_AUTO_INHERIT | SEF_AVOID_OWNER_CHECK |
                                           SEF_AVOID_PRIVILEGE_CHECK,
                                       token, &mapping) ||
        !GetSecurityDescriptorDacl(made, &present, &dacl, &defaulted))
        error = GetLastError();
    else
        error = calls().setSecurityInfo(
            file, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, dacl);
    if (made)
        DestroyPrivateObjectSecurity(&made);
    if (token)
        calls().closeHandle(token);
    LocalFree(parent);
    return error;
}

// ReplaceFileW gives the new file the old one's attributes too, and a hidden
// or system mark would keep the next start from finding it. The marks come
// off the new file once it is in place, so that a save that fails leaves the
// old file exactly as it was.
DWORD unmark(HANDLE file, DWORD attributes) {
    // Times of 0 stay as they are; so do attributes of 0, hence NORMAL alone.
    const DWORD kept = attributes & ~hiddenAndSystem;
    FILE_BASIC_INFO changed{};
    changed.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    return calls().setFileInformation(file, FileBasicInfo, &changed, sizeof changed)
               ? ERROR_SUCCESS
               : GetLastError();
}

// Gives the new file, in place and open as `placed`, what it still lacks:
// a file new to the folder the folder's access, and any file its freedom
// from hidden and system marks.
QString finishInPlace(HANDLE placed, bool isNew, HANDLE folder) {
    const QString unshared = QStringLiteral(
        "The new file is in place, but only its owner and administrators may open it: ");
    const QString hidden =
        QStringLiteral("The new file is in place, but stays hidden from the suite: ");
    FILE_BASIC_INFO basic{};
    if (!calls().getFileInformation(placed, FileBasicInfo, &basic, sizeof basic))
        return (isNew ? unshared : hidden) + systemReason(GetLastError());
    const bool marked = basic.FileAttributes & hiddenAndSystem;
    if (!isNew && !marked)
        return {};
    const HANDLE changing =
        calls().reOpenFile(placed, FILE_WRITE_ATTRIBUTES | (isNew ? WRITE_DAC : 0), shareAll,
                           FILE_FLAG_OPEN_REPARSE_POINT);
    if (changing == INVALID_HANDLE_VALUE)
        return (isNew ? unshared : hidden) + systemReason(GetLastError());
    QString reason;
    if (const DWORD error = isNew ? giveNewFileAccess(changing, folder) : ERROR_SUCCESS)
        reason = unshared + systemReason(error);
    else if (const DWORD error = marked ? unmark(changing, basic.FileAttributes) : ERROR_SUCCESS)
        reason = hidden + systemReason(error);
    calls().closeHandle(changing);
    return reason;
}

} // namespace

PendingFile::~PendingFile() {
    if (m_replaced || m_name.isEmpty())
        return;
    // Nothing to report to from here: a file that stays behind is removed by
    // a later save.
    if (m_handle == noHandle) {
        calls().deleteFile(m_target.m_held->path(m_name).c_str());
        return;
    }
    FILE_DISPOSITION_INFO disposal{TRUE};
    calls().setFileInformation(asHandle(m_handle), FileDispositionInfo, &disposal, sizeof disposal);
    calls().closeHandle(asHandle(m_handle));
}

QString PendingFile::create() {
    PSECURITY_DESCRIPTOR saversAlone = saversOnly();
    if (!saversAlone)
        return systemReason(GetLastError());
    DWORD error = ERROR_FILE_EXISTS;
    const HANDLE folder = m_target.m_held->savedIn();
    for (int attempt = 0; attempt < nameAttempts && error == ERROR_FILE_EXISTS; ++attempt) {
        m_name = pendingFileName(m_target.m_name);
        // Without delete sharing nobody else can remove it while it is written.
        const HANDLE handle =
            openIn(folder, m_name.toStdWString(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                   FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE, saversAlone);
        error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (handle != INVALID_HANDLE_VALUE)
            m_handle = reinterpret_cast<std::intptr_t>(handle);
    }
    LocalFree(saversAlone);
    if (error == ERROR_FILE_EXISTS) {
        m_name.clear();
        return QStringLiteral("No free name for a temporary file beside it");
    }
    if (error != ERROR_SUCCESS) {
        m_name.clear();
        return systemReason(error);
    }
    // The folder that was judged, and now holds the new file, must not
    // have become a junction in the meantime.
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!attributeTag(folder, info))
        return systemReason(GetLastError());
    if (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return QStringLiteral("It was changed while it was being saved");
    m_identity = identityOf(asHandle(m_handle));
    return {};
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
    const SaveTarget::Held& held = *m_target.m_held;
    const std::wstring target = held.path(m_target.m_name);
    const std::wstring backup = held.path(backupFileName(m_target.m_name));
    const std::wstring replacement = held.path(m_name);
    QString stranded;
    bool isNew = false;
    const DWORD error = withRetries(
        [&] { return putInPlace(target, replacement, backup, stranded, isNew); },
        [&](DWORD error) { return stranded.isEmpty() && worthRetrying(error, target); });
    if (error != ERROR_SUCCESS)
        return systemReason(error) + stranded;
    m_replaced = true;
    // The old file; if it cannot go now, a later save removes it.
    calls().deleteFile(backup.c_str());
    // What stands at the name now, opened through the folder: changed only
    // when it is the file this save made, not another copy's put there since.
    const HANDLE placed =
        openIn(held.savedIn(), m_target.m_name.toStdWString(), FILE_READ_ATTRIBUTES, shareAll,
               FILE_OPEN, asItIs | FILE_NON_DIRECTORY_FILE);
    if (placed == INVALID_HANDLE_VALUE)
        return {};
    const QString reason =
        identityOf(placed) == m_identity ? finishInPlace(placed, isNew, held.savedIn()) : QString();
    calls().closeHandle(placed);
    return reason;
}
