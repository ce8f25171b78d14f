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
inline const QString savingUser = "S-1-5-21-1-2-3-1001", anotherUser = "S-1-5-21-1-2-3-1002";

// What NTFS would show of plain files and folders, which Wine shows as no
// more than that: paths that are symbolic links (to where `links` says; a
// relative target counts from the link's folder),
// other reparse tags, and owners (Administrators where none is given), for
// a save by savingUser.
struct PretendNtfs {
    QMap<QString, QString> links;
    QMap<QString, DWORD> tags;
    QMap<QString, QString> owners;
};

inline QString ntfsKey(const QString& path) {
    QString key = QDir::toNativeSeparators(path).toLower();
    return key.startsWith(R"(\\?\)") ? key.mid(4) : key;
}

inline void pretend(SwappedSystemCalls& calls, const PretendNtfs& given) {
    const auto keyed = [](const auto& map) {
        std::remove_cvref_t<decltype(map)> keyed;
        for (auto entry = map.begin(); entry != map.end(); ++entry)
            keyed.insert(ntfsKey(entry.key()), entry.value());
        return keyed;
    };
    const PretendNtfs ntfs{keyed(given.links), keyed(given.tags), keyed(given.owners)};
    const auto opened = std::make_shared<QMap<HANDLE, QString>>();
    calls->createFile = [&calls, opened](LPCWSTR path, DWORD access, DWORD sharing, DWORD how,
                                         DWORD flags) {
        const HANDLE handle = calls.original.createFile(path, access, sharing, how, flags);
        opened->insert(handle, ntfsKey(QString::fromWCharArray(path)));
        return handle;
    };
    calls->reOpenFile = [&calls, opened](HANDLE file, DWORD access, DWORD sharing, DWORD flags) {
        const HANDLE handle = calls.original.reOpenFile(file, access, sharing, flags);
        opened->insert(handle, opened->value(file));
        return handle;
    };
    calls->attributeTag = [&calls, opened, ntfs](HANDLE file, FILE_ATTRIBUTE_TAG_INFO* info) {
        const QString path = opened->value(file);
        const DWORD tag =
            ntfs.links.contains(path) ? IO_REPARSE_TAG_SYMLINK : ntfs.tags.value(path, 0);
        if (!calls.original.attributeTag(file, info))
            return FALSE;
        if (tag != 0)
            info->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT, info->ReparseTag = tag;
        return TRUE;
    };
    // An absolute symbolic link, as REPARSE_DATA_BUFFER lays it out.
    calls->reparsePoint = [opened, ntfs](HANDLE file, void* buffer, DWORD, DWORD* returned) {
        const QString given = ntfs.links.value(opened->value(file));
        const DWORD tag = IO_REPARSE_TAG_SYMLINK, relative = QDir::isRelativePath(given);
        const std::wstring target =
            (relative ? L"" : L"\\??\\") + QDir::toNativeSeparators(given).toStdWString();
        const WORD bytes = WORD(target.size() * sizeof(wchar_t));
        const WORD lengths[] = {WORD(12 + bytes), 0, 0, bytes, bytes, 0};
        auto* out = static_cast<char*>(buffer);
        memcpy(out, &tag, 4), memcpy(out + 4, lengths, 12), memcpy(out + 16, &relative, 4);
        memcpy(out + 20, target.data(), bytes);
        *returned = 20 + bytes;
        return TRUE;
    };
    calls->owner = [opened, ntfs](HANDLE file) {
        return ntfs.owners.value(opened->value(file), "S-1-5-32-544").toStdWString();
    };
    calls->userSid = [] { return savingUser.toStdWString(); };
}
#endif
