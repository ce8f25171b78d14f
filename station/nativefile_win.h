#pragma once

// What the Windows save's parts share: the walk (nativefile_win_walk.cpp),
// the new file and its replace (nativefile_win_replace.cpp), the clean-up
// (nativefile_win_cleanup.cpp), and the system calls (nativefile_win.cpp).

#include "nativefile.h"
#include "systemcalls.h"

#include <QString>
#include <string>
#include <vector>

namespace nativewin {

inline SystemCalls& calls() {
    return systemCalls();
}

inline QString systemReason(DWORD error) {
    return qt_error_string(int(error)).trimmed();
}

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD hiddenAndSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// A folder or link on the way is held with FILE_TRAVERSE, an access that
// share modes bind (an open for attributes alone binds nobody), without
// delete sharing, so that nobody renames or removes it meanwhile.
constexpr DWORD holdAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
// Opened as what it is: a link itself, not what it leads to; a folder too.
constexpr ULONG asItIs = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT;

// The name in the folder open as `folder`, opened through that handle
// (NtCreateFile with RootDirectory), so that nothing renamed or re-pointed
// on the way since can lead it elsewhere; an empty name opens the folder
// itself again. Never as the server of a pipe would have it: the other end
// may identify this process, not act as it. INVALID_HANDLE_VALUE with the
// reason in GetLastError on failure.
HANDLE openIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG sharing,
              ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor = nullptr);

// As a report shows a path, without the prefix that lifts the length limit.
QString shown(const std::wstring& path);

// Attributes and reparse tag, read through the handle.
bool attributeTag(HANDLE file, FILE_ATTRIBUTE_TAG_INFO& info);

enum class Kind { Plain, Link, Redirecting };
// Symbolic links and junctions are links; another name surrogate leads
// elsewhere in a way of its own; every other reparse point (a deduplicated
// or compressed file, a cloud placeholder) is a plain file to every program.
Kind kindOf(const FILE_ATTRIBUTE_TAG_INFO& info);

// The owner of the file open as `file`, as a SID's text; empty with the
// reason in GetLastError.
std::wstring ownerOf(HANDLE file);
// The SID of the user this process runs as, as text.
std::wstring userSid();
std::wstring sidText(PSID sid);

} // namespace nativewin

// The folder a save works in, as a path through no link, every folder of
// which stays open without delete sharing, so that the path names the same
// folder for the whole save; and the links that led there, held too.
struct SaveTarget::Held {
    std::wstring folder;   // ends in a backslash
    size_t rootLength = 0; // of the root that folder begins with
    std::vector<HANDLE> folders;
    std::vector<HANDLE> links;

    ~Held();
    HANDLE savedIn() const { return folders.back(); }
    std::wstring path(const QString& name) const { return folder + name.toStdWString(); }
    DWORD enterRoot(const std::wstring& root);
    void enter(HANDLE handle, const std::wstring& name);
    // As Windows takes "..": from the text, to the folder before.
    void leave();
};
