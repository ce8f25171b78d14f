#pragma once

// What the tests set up differently on Windows and on POSIX systems.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The system's own text for a missing folder of a file to be written.
#ifdef Q_OS_WIN
inline const QString missingFolderReason = qt_error_string(ERROR_PATH_NOT_FOUND).trimmed();
#else
inline const QString missingFolderReason = qt_error_string(ENOENT);
#endif

// The station's ANSI code page: the system's own on Windows (under Wine it
// follows the locale), Windows-1252 elsewhere.
inline int stationCodePage() {
#ifdef Q_OS_WIN
    return int(GetACP());
#else
    return 1252;
#endif
}

// A run in another code page names it in LARKSPUR_CODE_PAGE, so that it
// cannot pass by skipping every row of that page.
inline bool inTheCodePageAskedFor() {
    const int asked = qEnvironmentVariableIntValue("LARKSPUR_CODE_PAGE");
    return asked == 0 || asked == stationCodePage();
}

// Rows of a code page table that belong to another station's code page.
#define SKIP_UNLESS_STATION_CODE_PAGE(codePage)                                                    \
    if ((codePage) != stationCodePage())                                                           \
    QSKIP("for a station of another code page")

// A path as the program names it in its reports.
inline QString reported(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A file at the path that exists but that the system refuses to read, for
// as long as this lives. Permissions do not stop root: on Windows the file
// is held open without sharing, elsewhere it is a link to what the kernel
// will not read.
class UnreadableFile {
public:
    explicit UnreadableFile(const QString& path) {
#ifdef Q_OS_WIN
        QFile(path).open(QIODevice::WriteOnly);
        m_handle = CreateFileW(reinterpret_cast<LPCWSTR>(reported(path).utf16()), GENERIC_READ, 0,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        m_made = m_handle != INVALID_HANDLE_VALUE;
#else
        m_made = QFile::link("/proc/self/mem", path);
#endif
    }
    ~UnreadableFile() {
#ifdef Q_OS_WIN
        if (m_made)
            CloseHandle(m_handle);
#endif
    }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    bool made() const { return m_made; }

private:
    bool m_made = false;
#ifdef Q_OS_WIN
    HANDLE m_handle = INVALID_HANDLE_VALUE;
#endif
};

// A link at `link` to `target`, as the system makes one: on Windows a
// junction to a folder, a symbolic link to a file (which an administrator
// may make), given to `owner` when one is named (icacls's /L acts on the
// link itself).
inline bool makeLink(const QString& link, const QString& target, const QString& owner = {}) {
#ifdef Q_OS_WIN
    const bool made = QFileInfo(target).isDir()
                          ? QProcess::execute("cmd", {"/c", "mklink", "/J", reported(link),
                                                      reported(target)}) == 0
                          : CreateSymbolicLinkW(reinterpret_cast<LPCWSTR>(reported(link).utf16()),
                                                reinterpret_cast<LPCWSTR>(reported(target).utf16()),
                                                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    return made && (owner.isEmpty() || QProcess::execute("icacls", {reported(link), "/setowner",
                                                                    "*" + owner, "/L"}) == 0);
#else
    Q_UNUSED(owner);
    return QFile::link(target, link);
#endif
}

#ifdef Q_OS_WIN
inline DWORD attributesOf(const QString& path) {
    return GetFileAttributesW(reinterpret_cast<LPCWSTR>(reported(path).utf16()));
}

inline bool setAttributes(const QString& path, DWORD attributes) {
    return SetFileAttributesW(reinterpret_cast<LPCWSTR>(reported(path).utf16()), attributes);
}

// The file held open as scanners and backup tools do: readable by others, but
// not to be removed or replaced.
class HeldFile {
public:
    explicit HeldFile(const QString& path)
        : m_handle(CreateFileW(reinterpret_cast<LPCWSTR>(reported(path).utf16()), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool held() const { return m_handle != INVALID_HANDLE_VALUE; }
    void release() {
        if (held())
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

// The shown top-level window of this title that belongs to the process:
// tests that run side by side each start a Larkspur of their own.
inline HWND shownWindowOf(const QProcess& process, const QString& title) {
    const std::wstring wanted = title.toStdWString();
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, nullptr, wanted.c_str())) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == static_cast<DWORD>(process.processId()) && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// Wine's version, or nothing on Windows itself.
inline QString wineVersion() {
    const auto version = reinterpret_cast<const char* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version")));
    return version ? QString::fromLatin1(version()) : QString();
}

// What only NTFS keeps of a file: an access list entry of its own (Local
// Service may read it, as an administrator might let a service account), a
// creation time and a named stream.
inline bool giveNtfsIdentity(const QString& path) {
    QFile file(path), stream(path + ":larkspur-test");
    return QProcess::execute("icacls", {reported(path), "/grant", "*S-1-5-19:(R)"}) == 0 &&
           file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(12, 0)), QFile::FileBirthTime) &&
           stream.open(QIODevice::WriteOnly) && stream.write("kept") == 4;
}

inline QString ntfsIdentity(const QString& path) {
    QProcess icacls;
    icacls.start("icacls", {reported(path)});
    QFile stream(path + ":larkspur-test");
    return icacls.waitForFinished() && stream.open(QIODevice::ReadOnly)
               ? icacls.readAllStandardOutput() + QFileInfo(path).birthTime().toString() +
                     stream.readAll()
               : QString();
}
#endif
