// The walk to the folder a save writes in, and the facts it gathers on the
// way for the rule of linkrule.h.

#include "linkrule.h"
#include "nativefile_win.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <deque>

using namespace nativewin;

namespace {

// As Windows counts reparse points before it gives up.
constexpr int linkHops = 63;
// The accounts whose links are the system's own: Administrators, SYSTEM, TrustedInstaller.
const QList<Account> systemAccounts{
    QStringLiteral("S-1-5-32-544"), QStringLiteral("S-1-5-18"),
    QStringLiteral("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")};
// Stands, in an access list, for whoever owns the object.
const Account ownerRights = QStringLiteral("S-1-3-4");
const Account everyone = QStringLiteral("S-1-1-0");
// The rights with which an account changes where a link leads: its reparse
// data (FSCTL_SET_REPARSE_POINT needs write-data or write-attributes access,
// MS-FSA 2.1.5.10.37), the link itself (delete), or who may do either.
constexpr ACCESS_MASK changeRights = FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// The part of REPARSE_DATA_BUFFER (ntifs.h, which programs' headers lack)
// that symbolic links and junctions share; a symbolic link's flags follow it.
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

bool startsWith(const std::wstring& text, std::wstring_view start) {
    return text.rfind(start, 0) == 0;
}

// Splits a path into its root, in the form that lifts the length limit and
// that Windows does not rewrite ("\\?\C:\", "\\?\Volume{...}\", and for the
// station's own path "\\?\UNC\server\share\"), and its names. A link's own
// text begins "\??\", and leads only to a local volume, as Windows follows a
// junction only there ("Hard links and junctions"): never to a share, a
// pipe or a device of its text's choosing.
bool splitPath(std::wstring path, std::wstring& root, std::deque<std::wstring>& names,
               bool ofLink) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (ofLink && !startsWith(path, LR"(\??\)"))
        return false;
    if (ofLink)
        path[1] = L'\\';
    if (!startsWith(path, LR"(\\?\)")) {
        if (startsWith(path, LR"(\\)"))
            path.replace(0, 2, LR"(\\?\UNC\)");
        else if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
            path.insert(0, LR"(\\?\)");
        else
            return false;
    }
    const bool drive = path.size() >= 7 && iswalpha(path[4]) && path[5] == L':' && path[6] == L'\\';
    const bool volume = startsWith(path, LR"(\\?\Volume{)");
    const bool unc = !ofLink && startsWith(path, LR"(\\?\UNC\)");
    if (!drive && !volume && !unc)
        return false;
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

// Everyone who may change where the link open as `link` leads: its owner,
// and every account that its access list allows to change it. Deny entries
// are passed over: they could only make the answer stricter.
DWORD changersOf(HANDLE link, QList<Account>& changers) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = calls().getSecurityInfo(
        link, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, &dacl, &descriptor);
    if (error != ERROR_SUCCESS)
        return error;
    const Account ownerText = QString::fromStdWString(sidText(owner));
    changers = {ownerText};
    if (!dacl) // no access list: anyone may do anything
        changers.append(everyone);
    for (DWORD index = 0; dacl && index < dacl->AceCount; ++index) {
        ACE_HEADER* entry = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&entry)) ||
            (entry->AceFlags & INHERIT_ONLY_ACE))
            continue;
        // The allow entries whose mask and SID lie where ACCESS_ALLOWED_ACE has them.
        if (entry->AceType != ACCESS_ALLOWED_ACE_TYPE &&
            entry->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
            continue;
        const auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (!(allowed->Mask & changeRights))
            continue;
        const Account account =
            QString::fromStdWString(sidText(const_cast<DWORD*>(&allowed->SidStart)));
        changers.append(account == ownerRights ? ownerText : account);
    }
    LocalFree(descriptor);
    return ERROR_SUCCESS;
}

// The rule, as far as it can be judged: before the folder saved in is
// known, or against its owner. The report names the link and the account,
// and what an administrator does about it.
QString refusalOfLinks(const QList<QList<Account>>& changers, const QStringList& links,
                       HANDLE savedIn = nullptr) {
    TrustedAccounts trusted{QString::fromStdWString(userSid()), systemAccounts, std::nullopt};
    if (trusted.user.isEmpty())
        return systemReason(GetLastError());
    if (savedIn) {
        const std::wstring owner = ownerOf(savedIn);
        if (owner.empty())
            return systemReason(GetLastError());
        trusted.folderOwner = QString::fromStdWString(owner);
    }
    const std::optional<Account> untrusted = untrustedChanger(changers, trusted);
    if (!untrusted)
        return {};
    const auto link = std::find_if(changers.begin(), changers.end(),
                                   [&](const auto& link) { return link.contains(*untrusted); });
    return QStringLiteral("It is reached through \"%1\", a junction or symbolic link that %2 may "
                          "change, which a save does not follow. Let only administrators change "
                          "it, for instance: icacls \"%1\" /L /inheritance:r /grant:r "
                          "*S-1-5-32-544:F *S-1-5-18:F *S-1-5-32-545:RX")
        .arg(links.value(link - changers.begin()), *untrusted);
}

} // namespace

// Name by name from the root, each name opened through the folder before it
// as what it is, and each link judged by what was opened before anything it
// names is opened; the way the save's folder is then named and held.
QString SaveTarget::open() {
    std::wstring root;
    std::deque<std::wstring> names;
    const std::wstring native =
        QDir::toNativeSeparators(QFileInfo(m_path).absoluteFilePath()).toStdWString();
    if (!splitPath(native, root, names, false))
        return QStringLiteral("It is not on a drive or a network share");
    Held& held = *m_held;
    DWORD error = held.enterRoot(root);
    QList<QList<Account>> changers;
    QStringList links; // as the report shows them
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
        const HANDLE entry =
            openIn(held.savedIn(), name, last ? FILE_READ_ATTRIBUTES : holdAccess,
                   last ? shareAll : FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, asItIs);
        if (entry == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) // a new file, or a folder missing on the way
                error = last ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
            break;
        }
        FILE_ATTRIBUTE_TAG_INFO info{};
        if (!attributeTag(entry, info)) {
            error = GetLastError();
            calls().closeHandle(entry);
            break;
        }
        const Kind kind = kindOf(info);
        if (kind == Kind::Link) {
            // Held without write sharing as well; judged, and its text read
            // once, from this handle; no later step goes through it.
            const HANDLE link =
                calls().reOpenFile(entry, holdAccess, FILE_SHARE_READ,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
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
            links.append(shown(held.folder + name));
            if ((error = changersOf(link, changers.emplace_back())) != ERROR_SUCCESS)
                break;
            if (const QString refusal = refusalOfLinks(changers, links); !refusal.isEmpty())
                return refusal;
            std::wstring text;
            bool relative = false;
            if ((error = linkText(link, text, relative)) != ERROR_SUCCESS)
                break;
            // A relative link counts from its folder, or from its drive's
            // root where its text begins with a backslash.
            std::deque<std::wstring> linked = namesOf(text);
            if (relative && text.front() == L'\\')
                error = held.enterRoot(held.folder.substr(0, held.rootLength));
            else if (!relative && !splitPath(text, root, linked, true))
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
    return refusalOfLinks(changers, links, held.savedIn());
}

Existing SaveTarget::existing() const {
    const HANDLE handle = openIn(m_held->savedIn(), m_name.toStdWString(), FILE_READ_ATTRIBUTES,
                                 shareAll, FILE_OPEN, asItIs);
    // Another failure than "no such file" shows again when the file is replaced.
    if (handle == INVALID_HANDLE_VALUE)
        return Existing::Nothing;
    FILE_ATTRIBUTE_TAG_INFO info{};
    const bool read = attributeTag(handle, info);
    calls().closeHandle(handle);
    if (!read || kindOf(info) != Kind::Plain)
        return Existing::Other; // a link put there since the walk
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Existing::Folder;
    return info.FileAttributes & FILE_ATTRIBUTE_READONLY ? Existing::ReadOnlyFile : Existing::File;
}
