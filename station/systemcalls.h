#pragma once

// The system calls through which a save changes the disk, reached through
// one table, so that a test can swap one for a stand-in and make the rare
// failures happen that a quiet machine never gives (SQLite's os_win.c does
// the same). The program itself never changes the table.

#include <functional>

#ifdef _WIN32
#include <windows.h>

struct SystemCalls {
    std::function<HANDLE(LPCWSTR path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags)>
        createFile;
    std::function<BOOL(HANDLE file, const void* bytes, DWORD size, DWORD* written)> writeFile;
    std::function<BOOL(HANDLE file)> flushFileBuffers;
    std::function<BOOL(HANDLE handle)> closeHandle;
    // The file deleted when its last handle closes.
    std::function<BOOL(HANDLE file)> deleteOnClose;
    std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup)> replaceFile;
    std::function<BOOL(LPCWSTR from, LPCWSTR to, DWORD flags)> moveFile;
    std::function<BOOL(LPCWSTR path)> deleteFile;
    std::function<DWORD(LPCWSTR path)> getFileAttributes;
    std::function<BOOL(LPCWSTR path, DWORD attributes)> setFileAttributes;
    std::function<void(DWORD milliseconds)> sleep;
};
#else
#include <sys/types.h>

struct SystemCalls {
    std::function<int(int folder, const char* name, int flags, mode_t mode)> openat;
    std::function<int(int handle)> fsync;
};
#endif

SystemCalls& systemCalls();
