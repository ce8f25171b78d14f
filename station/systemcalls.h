#pragma once

// The system calls through which a save finds its file and changes the disk,
// reached through one table, so that a test can swap one for a stand-in: to
// make the rare failures happen that a quiet machine never gives, to rename
// something between two calls at a moment of its choosing, or to give a
// file another owner without being root (SQLite's os_win.c and os_unix.c do
// the same). The program itself never changes the table.

#include <functional>

#ifdef _WIN32
#include <windows.h>
#include <winternl.h>

// The bare calls: what the save makes of their answers stays in the save.
struct SystemCalls {
    // Only for the root of a path; everything below it is opened relative to
    // a held folder (ntCreateFile).
    std::function<HANDLE(LPCWSTR path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags)>
        createFile;
    std::function<NTSTATUS(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* object,
                           IO_STATUS_BLOCK* status, ULONG attributes, ULONG sharing,
                           ULONG disposition, ULONG options)>
        ntCreateFile;
    // The same file opened again, through the handle, not its name.
    std::function<HANDLE(HANDLE file, DWORD access, DWORD sharing, DWORD flags)> reOpenFile;
    // GetFileInformationByHandleEx and SetFileInformationByHandle.
    std::function<BOOL(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)>
        getFileInformation;
    std::function<BOOL(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size)>
        setFileInformation;
    // Its volume and file index (GetFileInformationByHandle).
    std::function<BOOL(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)> fileIdentity;
    // The reparse point's data (FSCTL_GET_REPARSE_POINT).
    std::function<BOOL(HANDLE file, void* buffer, DWORD size, DWORD* returned)> reparsePoint;
    // GetSecurityInfo and SetSecurityInfo of a file; the descriptor is LocalFree'd.
    std::function<DWORD(HANDLE file, SECURITY_INFORMATION what, PSID* owner, PACL* dacl,
                        PSECURITY_DESCRIPTOR* descriptor)>
        getSecurityInfo;
    std::function<DWORD(HANDLE file, SECURITY_INFORMATION what, PACL dacl)> setSecurityInfo;
    // This process's own token, for queries (OpenProcessToken), and what it holds.
    std::function<HANDLE()> processToken;
    std::function<BOOL(HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD size,
                       DWORD* needed)>
        tokenInformation;
    std::function<BOOL(HANDLE file, const void* bytes, DWORD size, DWORD* written)> writeFile;
    std::function<BOOL(HANDLE file)> flushFileBuffers;
    std::function<BOOL(HANDLE handle)> closeHandle;
    std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup)> replaceFile;
    std::function<BOOL(LPCWSTR from, LPCWSTR to, DWORD flags)> moveFile;
    std::function<BOOL(LPCWSTR path)> deleteFile;
    std::function<DWORD(LPCWSTR path)> getFileAttributes;
    std::function<void(DWORD milliseconds)> sleep;
};
#else
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

struct SystemCalls {
    std::function<int(int folder, const char* name, int flags, mode_t mode)> openat;
    std::function<int(int handle)> close;
    std::function<int(int handle, struct stat* status)> fstat;
    std::function<int(int folder, const char* name, struct stat* status, int flags)> fstatat;
    std::function<ssize_t(int folder, const char* name, char* text, size_t size)> readlinkat;
    std::function<uid_t()> geteuid;
    std::function<int(int handle, uid_t owner, gid_t group)> fchown;
    std::function<int(int handle, mode_t mode)> fchmod;
    std::function<int(int handle, int operation)> flock;
    std::function<ssize_t(int handle, const void* bytes, size_t size)> write;
    std::function<int(int handle)> fsync;
    std::function<int(int handle)> syncfs;
    std::function<int(int fromFolder, const char* from, int toFolder, const char* to)> renameat;
    std::function<int(int folder, const char* name, int flags)> unlinkat;
    std::function<DIR*(int folder)> fdopendir;
    std::function<dirent*(DIR* listing)> readdir;
    std::function<int(DIR* listing)> closedir;
    std::function<void(unsigned milliseconds)> sleep;
};
#endif

SystemCalls& systemCalls();
