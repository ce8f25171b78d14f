#include "nativefile.h"
#include "pendingname.h"
#include "systemcalls.h"

#include <QDir>
#include <QFileInfo>
#include <aclapi.h>
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <sddl.h>
#include <string>
#include <vector>
#include <winioctl.h>

namespace {

constexpr int nameAttempts = 100;
// As Windows counts reparse points before it gives up.
constexpr int linkHops = 63;
// The accounts whose links are the system's own: Administrators, SYSTEM, TrustedInstaller.
constexpr std::array<std::wstring_view, 3> systemAccounts{
    L"S-1-5-32-544", L"S-1-5-18",
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
// Opened as what it is: a link itself, not what it leads to.
constexpr DWORD asItIs = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
// A folder or link on the way is held with FILE_TRAVERSE, an access that
// share modes bind (an open for attributes alone binds nobody), without
// delete sharing, so that nobody renames or removes it meanwhile.
constexpr DWORD holdAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD hiddenAndSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// What SetFileAttributesW sets; FILE_ATTRIBUTE_NORMAL it takes only alone.
constexpr DWORD settableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_TEMPORARY;
// A pending file is closed before it replaces the old one, so from then on
// only its age tells that it belongs to a running save. No save takes an
// hour (in FILETIME's 100 ns).
constexpr ULONGLONG abandonedAfter = 60ULL * 60 * 10'000'000;
// The part of REPARSE_DATA_BUFFER (ntifs.h, which programs' headers lack)
// that symbolic links and junctions share; a link's flags follow it.
struct LinkReparseHeader {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
};
constexpr DWORD relativeLink = 1; // SYMLINK_FLAG_RELATIVE

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

// As a report shows a path, without the prefix that lifts the length limit.
QString shown(const std::wstring& path) {
    QString text = QString::fromStdWString(path);
    if (text.startsWith(QLatin1String("\\\\?\\UNC\\")))
        return text.replace(0, 8, QStringLiteral("\\\\"));
    return text.startsWith(QLatin1String("\\\\?\\")) ? text.mid(4) : text;
}

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    std::wstring result(text);
    LocalFree(text);
    return result;
}

enum class Kind { Plain, Link, Redirecting };

// Symbolic links and junctions are links; another name surrogate leads
// elsewhere in a way of its own; every other reparse point (a deduplicated
// or compressed file, a cloud placeholder) is a plain file to every program.
Kind kindOf(const FILE_ATTRIBUTE_TAG_INFO& info) {
    if (!(info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return Kind::Plain;
    if (info.ReparseTag == IO_REPARSE_TAG_SYMLINK || info.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)
        return Kind::Link;
    return IsReparseTagNameSurrogate(info.ReparseTag) ? Kind::Redirecting : Kind::Plain;
}

// The names of a path, without empty ones and ".": ".." stays a name.
std::deque<std::wstring> namesOf(const std::wstring& path) {
    std::deque<std::wstring> names;
    for (size_t start = 0; start < path.size();) {
        const size_t next = std::min(path.find_first_of(L"\\/", start), path.size());
        const std::wstring name = path.substr(start, next - start);
        if (!name.empty() && name != L".")
            names.push_back(name);
        start = next + 1;
    }
    return names;
}

// Splits a path into its root, in the form that lifts the length limit and
// that Windows does not rewrite ("\\?\C:\", "\\?\UNC\server\share\",
// "\\?\Volume{...}\"), and its names. A link's own text begins "\??\".
bool splitPath(std::wstring path, std::wstring& root, std::deque<std::wstring>& names) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.rfind(LR"(\??\)", 0) == 0)
        path[1] = L'\\';
    if (path.rfind(LR"(\\?\)", 0) != 0) {
        if (path.rfind(LR"(\\)", 0) == 0)
            path.replace(0, 2, LR"(\\?\UNC\)");
        else if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
            path.insert(0, LR"(\\?\)");
        else
            return false;
    }
    const bool unc = path.rfind(LR"(\\?\UNC\)", 0) == 0;
    size_t end = path.find(L'\\', unc ? 8 : 4);
    if (unc && end != std::wstring::npos)
        end = path.find(L'\\', end + 1);
    if (end == std::wstring::npos)
        path += L'\\', end = path.size() - 1;
    root = path.substr(0, end + 1);
    names = namesOf(path.substr(end + 1));
    return true;
}

// The text of the link open as `link`, and whether it counts from the link's folder.
DWORD linkText(HANDLE link, std::wstring& text, bool& relative) {
    std::vector<BYTE> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    if (!calls().reparsePoint(link, buffer.data(), DWORD(buffer.size()), &size))
        return GetLastError();
    LinkReparseHeader header{};
    if (size < sizeof header)
        return ERROR_INVALID_REPARSE_DATA;
    std::memcpy(&header, buffer.data(), sizeof header);
    DWORD flags = 0;
    size_t names = sizeof header;
    if (header.tag == IO_REPARSE_TAG_SYMLINK) {
        if (size < names + sizeof flags)
            return ERROR_INVALID_REPARSE_DATA;
        std::memcpy(&flags, buffer.data() + names, sizeof flags);
        names += sizeof flags;
    }
    const size_t start = names + header.substituteOffset;
    if (start + header.substituteLength > size || header.substituteLength % 2 != 0)
        return ERROR_INVALID_REPARSE_DATA;
    text.assign(header.substituteLength / 2, L'\0');
    std::memcpy(text.data(), buffer.data() + start, header.substituteLength);
    relative = header.tag == IO_REPARSE_TAG_SYMLINK && (flags & relativeLink);
    return text.empty() ? ERROR_INVALID_REPARSE_DATA : ERROR_SUCCESS;
}

// The rule of nativefile.h, against the owner of the folder saved in.
QString refusalOfLinks(const std::vector<std::wstring>& linkOwners, HANDLE folder) {
    if (linkOwners.empty())
        return {};
    const std::wstring savedIn = calls().owner(folder);
    if (savedIn.empty())
        return systemReason(GetLastError());
    const std::wstring user = calls().userSid();
    for (const std::wstring& owner : linkOwners) {
        if (owner != user && owner != savedIn &&
            std::find(systemAccounts.begin(), systemAccounts.end(), owner) == systemAccounts.end())
            return QStringLiteral("It is reached through a symbolic link or junction of another "
                                  "user's, which a save does not follow");
    }
    return {};
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
        .arg(shown(backup), systemReason(error));
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

// Opened as what it is, without following a link, and removed through that
// very handle only when it is a plain file, and then only when `removable`
// says so of it: a link that another user gave a leftover's name is never
// followed, and nothing is removed that was not judged. Without delete
// sharing meanwhile, so that a running save's put-back waits.
template <typename Removable>
void removeIfPlain(const std::wstring& path, const Removable& removable) {
    const HANDLE handle =
        calls().createFile(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, asItIs);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (calls().attributeTag(handle, &info) && !(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        kindOf(info) == Kind::Plain && removable(handle))
        calls().deleteOnClose(handle);
    calls().closeHandle(handle);
}

bool abandoned(HANDLE pending) {
    FILETIME written{}, now{};
    if (!GetFileTime(pending, nullptr, nullptr, &written))
        return false;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](FILETIME time) {
        return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart;
    };
    return ticks(written) + abandonedAfter < ticks(now);
}

} // namespace

SystemCalls& systemCalls() {
    static SystemCalls calls{
        [](LPCWSTR path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags) {
            return CreateFileW(path, access, sharing, nullptr, disposition, flags, nullptr);
        },
        [](HANDLE file, DWORD access, DWORD sharing, DWORD flags) {
            return ReOpenFile(file, access, sharing, flags);
        },
        [](HANDLE file, FILE_ATTRIBUTE_TAG_INFO* tag) {
            return GetFileInformationByHandleEx(file, FileAttributeTagInfo, tag, sizeof *tag);
        },
        [](HANDLE file, void* buffer, DWORD size, DWORD* returned) {
            return DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, size,
                                   returned, nullptr);
        },
        [](HANDLE file) {
            PSID owner = nullptr;
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            const DWORD error = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                                &owner, nullptr, nullptr, nullptr, &descriptor);
            const std::wstring text = error == ERROR_SUCCESS ? sidText(owner) : std::wstring();
            if (descriptor)
                LocalFree(descriptor);
            SetLastError(error);
            return text;
        },
        [] {
            HANDLE token = nullptr;
            if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
                return std::wstring();
            DWORD size = 0;
            GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            std::vector<BYTE> user(size);
            const bool read = GetTokenInformation(token, TokenUser, user.data(), size, &size);
            CloseHandle(token);
            return read ? sidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid)
                        : std::wstring();
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

// The folder a save works in, as a path through no link, every folder of
// which stays open without delete sharing, so that the path names the same
// folder for the whole save; and the links that led there, held too.
struct SaveTarget::Held {
    std::wstring folder;   // ends in a backslash
    size_t rootLength = 0; // of the root that folder begins with
    std::vector<HANDLE> folders;
    std::vector<HANDLE> links;

    ~Held() {
        for (const HANDLE handle : folders)
            calls().closeHandle(handle);
        for (const HANDLE handle : links)
            calls().closeHandle(handle);
    }

    std::wstring path(const QString& name) const { return folder + name.toStdWString(); }

    DWORD enterRoot(const std::wstring& root) {
        while (!folders.empty())
            leave();
        rootLength = root.size();
        return enter(root);
    }
    DWORD enter(const std::wstring& name) {
        const HANDLE handle =
            calls().createFile((folder + name).c_str(), holdAccess,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, asItIs);
        if (handle == INVALID_HANDLE_VALUE)
            return GetLastError();
        enter(handle, name);
        return ERROR_SUCCESS;
    }
    void enter(HANDLE handle, const std::wstring& name) {
        folders.push_back(handle);
        folder += name;
        if (folder.back() != L'\\')
            folder += L'\\';
    }
    // As Windows takes "..": from the text, to the folder before.
    void leave() {
        calls().closeHandle(folders.back());
        folders.pop_back();
        folder.pop_back();
        folder.erase(folders.empty() ? 0 : folder.rfind(L'\\') + 1);
    }
};

SaveTarget::SaveTarget(const QString& path)
    : m_path(path)
    , m_held(std::make_unique<Held>()) {}

SaveTarget::~SaveTarget() = default;

// Name by name from the root, each name opened as what it is and judged by
// what was opened, the way the save's folder is then named and held.
QString SaveTarget::open() {
    std::wstring root;
    std::deque<std::wstring> names;
    if (!splitPath(nativePath(m_path), root, names))
        return QStringLiteral("It is not on a drive or a network share");
    Held& held = *m_held;
    DWORD error = held.enterRoot(root);
    std::vector<std::wstring> linkOwners;
    std::wstring name;
    while (error == ERROR_SUCCESS && !names.empty()) {
        name = names.front();
        names.pop_front();
        if (name == L"..") {
            if (held.folders.size() > 1)
                held.leave();
            name.clear();
            continue;
        }
        const bool last = names.empty();
        // The file itself is only looked at: nothing may keep it from being replaced.
        const HANDLE entry = calls().createFile(
            (held.folder + name).c_str(), last ? FILE_READ_ATTRIBUTES : holdAccess,
            last ? shareAll : FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, asItIs);
        if (entry == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) // a new file, or a folder missing on the way
                error = last ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
            break;
        }
        FILE_ATTRIBUTE_TAG_INFO info{};
        if (!calls().attributeTag(entry, &info)) {
            error = GetLastError();
            calls().closeHandle(entry);
            break;
        }
        const Kind kind = kindOf(info);
        if (kind == Kind::Link) {
            // Held without write sharing as well; its text is read once, from
            // this handle, and no later step goes through it.
            const HANDLE link = calls().reOpenFile(entry, holdAccess, FILE_SHARE_READ, asItIs);
            calls().closeHandle(entry);
            if (link == INVALID_HANDLE_VALUE) {
                error = GetLastError();
                break;
            }
            held.links.push_back(link);
            if (held.links.size() > linkHops) {
                error = ERROR_CANT_RESOLVE_FILENAME;
                break;
            }
            const std::wstring owner = calls().owner(link);
            if (owner.empty()) {
                error = GetLastError();
                break;
            }
            linkOwners.push_back(owner);
            std::wstring text;
            bool relative = false;
            if ((error = linkText(link, text, relative)) != ERROR_SUCCESS)
                break;
            // A relative link counts from its folder, or from its drive's
            // root where its text begins with a backslash.
            std::deque<std::wstring> linked = namesOf(text);
            if (relative && text.front() == L'\\')
                error = held.enterRoot(held.folder.substr(0, held.rootLength));
            else if (!relative && !splitPath(text, root, linked))
                return QStringLiteral("It is reached through a link to where a save does not go");
            else if (!relative)
                error = held.enterRoot(root);
            if (error != ERROR_SUCCESS)
                break;
            names.insert(names.begin(), linked.begin(), linked.end());
            name.clear();
            continue;
        }
        if (last) {
            calls().closeHandle(entry);
            break; // the file itself, or what stands in its place
        }
        if (kind == Kind::Redirecting || !(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            calls().closeHandle(entry);
            return QStringLiteral("It is reached through something that is not a folder");
        }
        held.enter(entry, name);
    }
    if (error != ERROR_SUCCESS)
        return systemReason(error);
    if (name.empty())
        return QStringLiteral("It is a folder");
    m_name = QString::fromStdWString(name);
    return refusalOfLinks(linkOwners, held.folders.back());
}

Existing SaveTarget::existing() const {
    const HANDLE handle = calls().createFile(m_held->path(m_name).c_str(), FILE_READ_ATTRIBUTES,
                                             shareAll, OPEN_EXISTING, asItIs);
    // Another failure than "no such file" shows again when the file is replaced.
    if (handle == INVALID_HANDLE_VALUE)
        return Existing::Nothing;
    FILE_ATTRIBUTE_TAG_INFO info{};
    const bool read = calls().attributeTag(handle, &info);
    calls().closeHandle(handle);
    if (!read || kindOf(info) != Kind::Plain)
        return Existing::Other; // a link put there since the walk
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Existing::Folder;
    return info.FileAttributes & FILE_ATTRIBUTE_READONLY ? Existing::ReadOnlyFile : Existing::File;
}

void SaveTarget::removeAbandonedFiles() const {
    const std::wstring target = m_held->path(m_name);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW((target + L".larkspur-*").c_str(), FindExInfoBasic,
                                           &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        const std::wstring path = m_held->path(name);
        // A save that is still writing holds its file without delete
        // sharing, so the open fails for it in any case.
        if (isPendingFileName(m_name, name))
            removeIfPlain(path, abandoned);
        // A backup is the old file of a save that replaced it, or of one
        // that could not put it back, whose report told the operator where
        // it is: it stays while the station file is missing.
        else if (isBackupFileName(m_name, name))
            removeIfPlain(path, [&](HANDLE) {
                return calls().getFileAttributes(target.c_str()) != INVALID_FILE_ATTRIBUTES;
            });
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

PendingFile::~PendingFile() {
    if (m_replaced || m_name.isEmpty())
        return;
    // Nothing to report to from here: a file that stays behind is removed by
    // a later save.
    if (m_handle == noHandle) {
        calls().deleteFile(m_target.m_held->path(m_name).c_str());
        return;
    }
    calls().deleteOnClose(asHandle(m_handle));
    calls().closeHandle(asHandle(m_handle));
}

QString PendingFile::create() {
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target.m_name);
        // Without delete sharing nobody else can remove it while it is written.
        const HANDLE handle =
            calls().createFile(m_target.m_held->path(m_name).c_str(), GENERIC_WRITE | DELETE,
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
    const std::wstring target = m_target.m_held->path(m_target.m_name);
    const std::wstring backup = m_target.m_held->path(backupFileName(m_target.m_name));
    const std::wstring replacement = m_target.m_held->path(m_name);
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
