#include "nativefile_win.h"

#include <QDir>
#include <QFileInfo>
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

namespace nativewin {

HANDLE openIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG sharing,
              ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR descriptor) {
    const auto bytes = USHORT(name.size() * sizeof(wchar_t));
    UNICODE_STRING text{bytes, bytes, const_cast<PWSTR>(name.c_str())};
    SECURITY_QUALITY_OF_SERVICE quality{sizeof quality, SecurityIdentification,
                                        SECURITY_STATIC_TRACKING, FALSE};
    OBJECT_ATTRIBUTES object{};
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, descriptor);
    object.SecurityQualityOfService = &quality;
    IO_STATUS_BLOCK status{};
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Synchronous, as CreateFileW's handles are, for the calls that follow.
    const NTSTATUS result =
        calls().ntCreateFile(&handle, access | SYNCHRONIZE, &object, &status, FILE_ATTRIBUTE_NORMAL,
                             sharing, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT);
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

QString shown(const std::wstring& path) {
    QString text = QString::fromStdWString(path);
    if (text.startsWith(QLatin1String("\\\\?\\UNC\\")))
        return text.replace(0, 8, QStringLiteral("\\\\"));
    return text.startsWith(QLatin1String("\\\\?\\")) ? text.mid(4) : text;
}

bool attributeTag(HANDLE file, FILE_ATTRIBUTE_TAG_INFO& info) {
    return calls().getFileInformation(file, FileAttributeTagInfo, &info, sizeof info);
}

Kind kindOf(const FILE_ATTRIBUTE_TAG_INFO& info) {
    if (!(info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return Kind::Plain;
    if (info.ReparseTag == IO_REPARSE_TAG_SYMLINK || info.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)
        return Kind::Link;
    return IsReparseTagNameSurrogate(info.ReparseTag) ? Kind::Redirecting : Kind::Plain;
}

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    std::wstring result(text);
    LocalFree(text);
    return result;
}

std::wstring ownerOf(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error =
        calls().getSecurityInfo(file, OWNER_SECURITY_INFORMATION, &owner, nullptr, &descriptor);
    const std::wstring text = error == ERROR_SUCCESS ? sidText(owner) : std::wstring();
    if (descriptor)
        LocalFree(descriptor);
    SetLastError(error);
    return text;
}

std::wstring userSid() {
    const HANDLE token = calls().processToken();
    if (!token)
        return {};
    DWORD size = 0;
    calls().tokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const bool read =
        size != 0 && calls().tokenInformation(token, TokenUser, user.data(), size, &size);
    const DWORD error = GetLastError();
    calls().closeHandle(token);
    SetLastError(error);
    return read ? sidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) : std::wstring();
}

} // namespace nativewin

using namespace nativewin;

SystemCalls& systemCalls() {
    static SystemCalls calls{
        [](LPCWSTR path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags) {
            return CreateFileW(path, access, sharing, nullptr, disposition, flags, nullptr);
        },
        [](HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* object, IO_STATUS_BLOCK* status,
           ULONG attributes, ULONG sharing, ULONG disposition, ULONG options) {
            return NtCreateFile(file, access, object, status, nullptr, attributes, sharing,
                                disposition, options, nullptr, 0);
        },
        [](HANDLE file, DWORD access, DWORD sharing, DWORD flags) {
            return ReOpenFile(file, access, sharing, flags);
        },
        [](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
            return GetFileInformationByHandleEx(file, kind, information, size);
        },
        [](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
            return SetFileInformationByHandle(file, kind, information, size);
        },
        [](HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
            return GetFileInformationByHandle(file, information);
        },
        [](HANDLE file, void* buffer, DWORD size, DWORD* returned) {
            return DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, size,
                                   returned, nullptr);
        },
        [](HANDLE file, SECURITY_INFORMATION what, PSID* owner, PACL* dacl,
           PSECURITY_DESCRIPTOR* descriptor) {
            return GetSecurityInfo(file, SE_FILE_OBJECT, what, owner, nullptr, dacl, nullptr,
                                   descriptor);
        },
        [](HANDLE file, SECURITY_INFORMATION what, PACL dacl) {
            return SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
        },
        [] {
            HANDLE token = nullptr;
            return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ? token : nullptr;
        },
        [](HANDLE token, TOKEN_INFORMATION_CLASS kind, void* information, DWORD size,
           DWORD* needed) { return GetTokenInformation(token, kind, information, size, needed); },
        [](HANDLE file, const void* bytes, DWORD size, DWORD* written) {
            return WriteFile(file, bytes, size, written, nullptr);
        },
        [](HANDLE file) { return FlushFileBuffers(file); },
        [](HANDLE handle) { return CloseHandle(handle); },
        [](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup) {
            return ReplaceFileW(replaced, replacement, backup, 0, nullptr, nullptr);
        },
        [](LPCWSTR from, LPCWSTR to, DWORD flags) { return MoveFileExW(from, to, flags); },
        [](LPCWSTR path) { return DeleteFileW(path); },
        [](LPCWSTR path) { return GetFileAttributesW(path); },
        [](DWORD milliseconds) { Sleep(milliseconds); },
    };
    return calls;
}

bool isHiddenOrSystem(const QString& path) {
    const std::wstring native =
        QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & hiddenAndSystem);
}

SaveTarget::Held::~Held() {
    for (const HANDLE handle : folders)
        calls().closeHandle(handle);
    for (const HANDLE handle : links)
        calls().closeHandle(handle);
}

DWORD SaveTarget::Held::enterRoot(const std::wstring& root) {
    while (!folders.empty())
        leave();
    rootLength = root.size();
    // Identification only, as every open below it: a root that is a pipe's
    // server cannot act as this process.
    const HANDLE handle = calls().createFile(
        root.c_str(), holdAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT |
            SECURITY_IDENTIFICATION);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError();
    enter(handle, root);
    return ERROR_SUCCESS;
}

void SaveTarget::Held::enter(HANDLE handle, const std::wstring& name) {
    folders.push_back(handle);
    folder += name;
    if (folder.back() != L'\\')
        folder += L'\\';
}

void SaveTarget::Held::leave() {
    calls().closeHandle(folders.back());
    folders.pop_back();
    folder.pop_back();
    folder.erase(folders.empty() ? 0 : folder.rfind(L'\\') + 1);
}

SaveTarget::SaveTarget(const QString& path)
    : m_path(path)
    , m_held(std::make_unique<Held>()) {}

SaveTarget::~SaveTarget() = default;
