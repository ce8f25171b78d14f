#include "nativefile.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <array>
#include <vector>
#include <windows.h>

namespace {

constexpr int nameAttempts = 100;
constexpr DWORD hiddenAndSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// Scanners and backup tools open a file for a moment without letting it be
// replaced; as git for Windows does, such a hold is waited out, in all for
// about a second.
constexpr std::array<int, 7> retryDelaysMs{10, 20, 40, 80, 160, 320, 500};

QString systemReason(DWORD error) {
    return qt_error_string(int(error)).trimmed();
}

std::wstring nativePath(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

HANDLE asHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool heldByAnother(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// Renames the open file over the target through its own handle, so that it
// never stands unlocked under its temporary name.
DWORD renameOver(HANDLE handle, const std::wstring& target) {
    const auto nameBytes = DWORD(target.size() * sizeof(wchar_t));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    std::copy(target.begin(), target.end(), info->FileName);
    if (SetFileInformationByHandle(handle, FileRenameInfo, info, DWORD(buffer.size())))
        return ERROR_SUCCESS;
    return GetLastError();
}

DWORD renameWithRetries(HANDLE handle, const std::wstring& target) {
    DWORD error = renameOver(handle, target);
    for (const int delayMs : retryDelaysMs) {
        if (!heldByAnother(error))
            break;
        QThread::msleep(delayMs);
        error = renameOver(handle, target);
    }
    return error;
}

} // namespace

bool isHiddenOrSystem(const QString& path) {
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & hiddenAndSystem);
}

QString refusalToReplace(const QString&) {
    return {}; // the read-only mark is all there is, and the caller checks it
}

PendingFile::~PendingFile() {
    if (m_handle == noHandle)
        return;
    // Nothing to report to from here: a file that stays behind is removed by
    // the next save, once closed.
    if (!m_replaced) {
        FILE_DISPOSITION_INFO disposal{TRUE}; // delete on close
        SetFileInformationByHandle(asHandle(m_handle), FileDispositionInfo, &disposal,
                                   sizeof disposal);
    }
    CloseHandle(asHandle(m_handle));
}

QString PendingFile::create() {
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        m_name = pendingFileName(m_target);
        // Without delete sharing nobody else can remove or replace it while it is open.
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
    return {};
}

QString PendingFile::replaceTarget() {
    const std::wstring target = nativePath(m_target);
    DWORD error = renameOver(asHandle(m_handle), target);
    // Windows may refuse to replace a hidden or system file; it loses those
    // marks only for the replace, and gets them back if that fails too.
    const DWORD oldAttributes = GetFileAttributesW(target.c_str());
    const bool unmarked = error == ERROR_ACCESS_DENIED &&
                          oldAttributes != INVALID_FILE_ATTRIBUTES &&
                          (oldAttributes & hiddenAndSystem);
    if (unmarked && !SetFileAttributesW(target.c_str(), oldAttributes & ~hiddenAndSystem))
        return systemReason(error);
    if (error != ERROR_SUCCESS)
        error = renameWithRetries(asHandle(m_handle), target);
    if (error == ERROR_SUCCESS) {
        m_replaced = true;
        return {};
    }
    QString reason = systemReason(error);
    if (unmarked && !SetFileAttributesW(target.c_str(), oldAttributes))
        reason += QStringLiteral("; its hidden or system mark could not be put back: ") +
                  systemReason(GetLastError());
    return reason;
}

void removeAbandonedPendingFiles(const QString& target) {
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    const QStringList names = folder.entryList({pendingFilePattern(info.fileName())},
                                               QDir::Files | QDir::Hidden | QDir::System);
    // A running save holds its file open without delete sharing, so this
    // fails for it; Windows closed the file of a save that ended before.
    for (const QString& name : names)
        DeleteFileW(nativePath(folder.filePath(name)).c_str());
}
