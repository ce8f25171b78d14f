#pragma once

#include "systemcalls.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <memory>

// The save's system calls, some swapped for stand-ins by a test; the
// system's own again when this goes.
struct SwappedSystemCalls {
    const SystemCalls original = systemCalls();
    ~SwappedSystemCalls() { systemCalls() = original; }
    SystemCalls* operator->() const { return &systemCalls(); }
};

#ifndef _WIN32
// Owners as the test gives them, by the path of what the save opened, and
// the user saving: other users' links and folders without being root.
inline void pretendOwners(SwappedSystemCalls& calls, const QMap<QString, uid_t>& owners,
                          uid_t user) {
    calls->fstat = [&calls, owners](int handle, struct stat* status) {
        const QString opened = QFileInfo(QString("/proc/self/fd/%1").arg(handle)).symLinkTarget();
        const int result = calls.original.fstat(handle, status);
        status->st_uid = owners.value(opened, status->st_uid);
        return result;
    };
    calls->geteuid = [user] { return user; };
}
#else
#include "nativefile_win.h"

#include <sddl.h>

// The account this process runs as, which the save trusts as the one saving.
inline const QString savingUser = QString::fromStdWString(nativewin::userSid()),
                     anotherUser = "S-1-5-21-1-2-3-1002";

// An access list as NTFS keeps it, in SDDL: the owner, Administrators and
// SYSTEM, and one more account that may re-point the object.
inline QString security(const QString& owner, const QString& mayChange = {}) {
    return "O:" + owner + "D:(A;;FA;;;BA)(A;;FA;;;SY)" +
           (mayChange.isEmpty() ? "" : "(A;;0x100;;;" + mayChange + ")");
}

// What NTFS would show of plain files and folders, which Wine shows as no
// more than that: paths that are symbolic links or junctions (to where
// these say; a relative symbolic link counts from its folder, a target that
// begins "\??\" stands as it is), other reparse tags, and access lists
// (Administrators' where none is given). An open
// that does not ask for the link itself reaches what the link leads to.
struct PretendNtfs {
    QMap<QString, QString> links = {};
    QMap<QString, QString> junctions = {};
    QMap<QString, DWORD> tags = {};
    QMap<QString, QString> security = {};
    QStringList opened = {}; // every path the save opened, in order
};

inline QString ntfsKey(const QString& path) {
    QString key = QDir::toNativeSeparators(path).toLower();
    for (const QString prefix : {R"(\\?\)", R"(\??\)"})
        key = key.startsWith(prefix) ? key.mid(4) : key;
    return key;
}

// The pretence, which a test may change while the save runs.
inline std::shared_ptr<PretendNtfs> pretend(SwappedSystemCalls& calls, const PretendNtfs& given) {
    const auto keyed = [](const auto& map) {
        std::remove_cvref_t<decltype(map)> keyed;
        for (auto entry = map.begin(); entry != map.end(); ++entry)
            keyed.insert(ntfsKey(entry.key()), entry.value());
        return keyed;
    };
    const auto ntfs = std::make_shared<PretendNtfs>(PretendNtfs{
        keyed(given.links), keyed(given.junctions), keyed(given.tags), keyed(given.security), {}});
    const auto paths = std::make_shared<QMap<HANDLE, QString>>();
    const auto record = [ntfs, paths](HANDLE handle, const QString& path) {
        paths->insert(handle, path);
        ntfs->opened.append(path);
        return handle;
    };
    calls->createFile = [&calls, record](LPCWSTR path, DWORD access, DWORD sharing, DWORD how,
                                         DWORD flags) {
        const HANDLE handle = calls.original.createFile(path, access, sharing, how, flags);
        return record(handle, ntfsKey(QString::fromWCharArray(path)));
    };
    calls->ntCreateFile = [&calls, paths, record, ntfs](HANDLE* file, ACCESS_MASK access,
                                                        OBJECT_ATTRIBUTES* object,
                                                        IO_STATUS_BLOCK* status, ULONG attributes,
                                                        ULONG sharing, ULONG how, ULONG options) {
        const QString name =
            QString::fromWCharArray(object->ObjectName->Buffer, object->ObjectName->Length / 2);
        QString path = object->RootDirectory ? paths->value(object->RootDirectory) : QString();
        if (!path.isEmpty() && !path.endsWith('\\') && !name.isEmpty())
            path += '\\';
        path = ntfsKey(path + name);
        const QString linked = ntfs->links.value(path, ntfs->junctions.value(path));
        std::wstring reached;
        UNICODE_STRING text{};
        OBJECT_ATTRIBUTES redirected = *object;
        if (!linked.isEmpty() && !(options & FILE_OPEN_REPARSE_POINT)) {
            path = ntfsKey(linked);
            reached = L"\\??\\" + QDir::toNativeSeparators(linked).toStdWString();
            text = {USHORT(reached.size() * 2), USHORT(reached.size() * 2), reached.data()};
            redirected.RootDirectory = nullptr;
            redirected.ObjectName = &text;
        }
        const NTSTATUS result = calls.original.ntCreateFile(file, access, &redirected, status,
                                                            attributes, sharing, how, options);
        if (result >= 0)
            record(*file, path);
        return result;
    };
    calls->reOpenFile = [&calls, paths, record](HANDLE file, DWORD access, DWORD sharing,
                                                DWORD flags) {
        return record(calls.original.reOpenFile(file, access, sharing, flags), paths->value(file));
    };
    calls->getFileInformation = [&calls, paths, ntfs](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                                      void* information, DWORD size) {
        if (!calls.original.getFileInformation(file, kind, information, size))
            return FALSE;
        const QString path = paths->value(file);
        const DWORD tag = ntfs->links.contains(path)       ? IO_REPARSE_TAG_SYMLINK
                          : ntfs->junctions.contains(path) ? IO_REPARSE_TAG_MOUNT_POINT
                                                           : ntfs->tags.value(path, 0);
        auto* info = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(information);
        if (kind == FileAttributeTagInfo && tag != 0)
            info->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT, info->ReparseTag = tag;
        return TRUE;
    };
    // As REPARSE_DATA_BUFFER lays out each: a symbolic link's flags follow
    // the names' offsets and lengths, a junction has none.
    calls->reparsePoint = [paths, ntfs](HANDLE file, void* buffer, DWORD, DWORD* returned) {
        const QString path = paths->value(file);
        const bool junction = ntfs->junctions.contains(path);
        const QString given = junction ? ntfs->junctions.value(path) : ntfs->links.value(path);
        const DWORD tag = junction ? IO_REPARSE_TAG_MOUNT_POINT : IO_REPARSE_TAG_SYMLINK;
        const DWORD relative = QDir::isRelativePath(given) && !given.startsWith(R"(\??\)");
        const std::wstring text = (relative || given.startsWith(R"(\??\)") ? L"" : L"\\??\\") +
                                  QDir::toNativeSeparators(given).toStdWString();
        const WORD bytes = WORD(text.size() * sizeof(wchar_t)), flags = junction ? 0 : 4;
        const WORD lengths[] = {WORD(8 + flags + bytes), 0, 0, bytes, bytes, 0};
        auto* out = static_cast<char*>(buffer);
        memcpy(out, &tag, 4), memcpy(out + 4, lengths, 12), memcpy(out + 16, &relative, flags);
        memcpy(out + 16 + flags, text.data(), bytes);
        *returned = 16 + flags + bytes;
        return TRUE;
    };
    calls->getSecurityInfo = [paths, ntfs](HANDLE file, SECURITY_INFORMATION, PSID* owner,
                                           PACL* dacl, PSECURITY_DESCRIPTOR* descriptor) {
        const QString sddl = ntfs->security.value(paths->value(file), security("BA"));
        BOOL present = FALSE, defaulted = FALSE;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                reinterpret_cast<LPCWSTR>(sddl.utf16()), SDDL_REVISION_1, descriptor, nullptr))
            return GetLastError();
        if (owner)
            GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
        if (dacl)
            GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted);
        return DWORD(ERROR_SUCCESS);
    };
    return ntfs;
}
#endif
