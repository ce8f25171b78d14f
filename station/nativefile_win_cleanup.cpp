// The clean-up of what killed or failed saves left beside the station file,
// listed and opened through the held folder.

#include "nativefile_win.h"
#include "pendingname.h"

#include <QStringList>
#include <vector>

using namespace nativewin;

namespace {

// A pending file is closed before it replaces the old one, so from then on
// only its age tells that it belongs to a running save. No save takes an
// hour (in FILETIME's 100 ns).
constexpr LONGLONG abandonedAfter = 60LL * 60 * 10'000'000;

bool abandoned(HANDLE pending) {
    FILE_BASIC_INFO basic{};
    if (!calls().getFileInformation(pending, FileBasicInfo, &basic, sizeof basic))
        return false;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = LONGLONG(ULARGE_INTEGER{{now.dwLowDateTime, now.dwHighDateTime}}.QuadPart);
    return basic.LastWriteTime.QuadPart + abandonedAfter < ticks;
}

// Whether anything stands at the name in the folder.
bool present(HANDLE folder, const QString& name) {
    const HANDLE handle =
        openIn(folder, name.toStdWString(), FILE_READ_ATTRIBUTES, shareAll, FILE_OPEN, asItIs);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    calls().closeHandle(handle);
    return true;
}

// Opened as what it is, without following a link, and removed through that
// very handle only when it is a plain file, and then only when `removable`
// says so of it: a link that another user gave a leftover's name is never
// followed, and nothing is removed that was not judged. Without delete
// sharing meanwhile, so that a running save's put-back waits.
template <typename Removable>
void removeIfPlain(HANDLE folder, const QString& name, const Removable& removable) {
    const HANDLE handle = openIn(folder, name.toStdWString(), DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, asItIs);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    FILE_ATTRIBUTE_TAG_INFO info{};
    FILE_DISPOSITION_INFO disposal{TRUE};
    if (attributeTag(handle, info) && !(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        kindOf(info) == Kind::Plain && removable(handle))
        calls().setFileInformation(handle, FileDispositionInfo, &disposal, sizeof disposal);
    calls().closeHandle(handle);
}

// The names in the folder open as `listing`.
QStringList namesIn(HANDLE listing) {
    QStringList names;
    std::vector<LONGLONG> buffer(8192); // aligned as the entries need
    while (calls().getFileInformation(listing, FileFullDirectoryInfo, buffer.data(),
                                      DWORD(buffer.size() * sizeof buffer[0]))) {
        const auto* bytes = reinterpret_cast<const BYTE*>(buffer.data());
        for (DWORD offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(bytes + offset);
            names.append(QString::fromWCharArray(entry->FileName,
                                                 int(entry->FileNameLength / sizeof(wchar_t))));
            if (entry->NextEntryOffset == 0)
                break;
            offset += entry->NextEntryOffset;
        }
    }
    return names;
}

} // namespace

void SaveTarget::removeAbandonedFiles() const {
    const HANDLE folder = m_held->savedIn();
    const HANDLE listing = openIn(folder, {}, FILE_LIST_DIRECTORY, shareAll, FILE_OPEN,
                                  FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT);
    if (listing == INVALID_HANDLE_VALUE)
        return; // a folder that may be written but not listed is not cleaned up
    const QStringList names = namesIn(listing);
    calls().closeHandle(listing);
    for (const QString& name : names) {
        // A save that is still writing holds its file without delete
        // sharing, so the open fails for it in any case.
        if (isPendingFileName(m_name, name))
            removeIfPlain(folder, name, abandoned);
        // A backup is the old file of a save that replaced it, or of one
        // that could not put it back, whose report told the operator where
        // it is: it stays while the station file is missing.
        else if (isBackupFileName(m_name, name))
            removeIfPlain(folder, name, [&](HANDLE) { return present(folder, m_name); });
    }
}
