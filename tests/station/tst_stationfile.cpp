#include "failure.h"
#include "files.h"
#include "linkrule.h"
#include "platform.h"
#include "stationfile.h"
#include "stationformat.h"
#include "swappedcalls.h"
#include "texts.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <functional>
#include <thread>
#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifndef Q_OS_WIN
// How many times the saving process is killed at a random moment.
constexpr int killedSaves = 500;

// Why a private mount namespace with a tmpfs cannot be had here, or nothing when it can.
QString privateMountRefusal(const QString& folder) {
    QProcess probe;
    probe.start("unshare",
                {"-m", "--propagation", "private", "mount", "-t", "tmpfs", "probe", folder});
    if (!probe.waitForFinished())
        return probe.errorString();
    if (probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
        return {};
    return QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
}

// A folder that cannot be flushed, failing with this error as a file system would.
int failingForFolders(int handle, int error, const SwappedSystemCalls& calls) {
    struct stat status{};
    if (fstat(handle, &status) == 0 && S_ISDIR(status.st_mode))
        return errno = error, -1;
    return calls.original.fsync(handle);
}
#else
// ReplaceFileW as Microsoft documents it, which gives the new file the old
// one's attributes (Wine's does not); and files without the archive mark, as
// after a backup (Wine gives every file the mark).
void behaveAsWindows(SwappedSystemCalls& calls) {
    calls->replaceFile = [&calls](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup) {
        const DWORD attributes = GetFileAttributesW(replaced);
        return calls.original.replaceFile(replaced, replacement, backup) &&
               SetFileAttributesW(replaced, attributes);
    };
    calls->getFileInformation = [&calls](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                         void* information, DWORD size) {
        const BOOL read = calls.original.getFileInformation(file, kind, information, size);
        if (read && kind == FileBasicInfo)
            static_cast<FILE_BASIC_INFO*>(information)->FileAttributes &= ~FILE_ATTRIBUTE_ARCHIVE;
        return read;
    };
}

// Runs `change` once the walk is over, just before the save makes its new file.
void beforeNewFile(SwappedSystemCalls& calls, const std::function<void()>& change) {
    calls->ntCreateFile = [change, create = calls->ntCreateFile](
                              HANDLE* made, ACCESS_MASK access, OBJECT_ATTRIBUTES* object,
                              IO_STATUS_BLOCK* status, ULONG attributes, ULONG sharing, ULONG how,
                              ULONG options) {
        if (how == FILE_CREATE)
            change();
        return create(made, access, object, status, attributes, sharing, how, options);
    };
}
#endif

// What a row sets up before it saves, in groups.
// clang-format off
enum class SetUp {
    Mode, SetId, Owner, Shared, Ntfs, Deduplicated, NoFolderFlush, WriteOnlyFolder,  // the file
    Link, TheirLink, RelativeLink, RootsLink, SwappedLinkName, SwappedFolder,       // its links
    NoFolder, ReadOnly, FolderAtPath, ForeignLink, SecondName, OpenLink, RemoteLink, // refusals
    Surrogate, NtfsLink, Loop, LateLink, Locked,
};
// clang-format on

// Rows whose file lies where a link at the station file's path leads.
bool throughLink(SetUp setUp) {
    return setUp >= SetUp::Link && setUp <= SetUp::SwappedFolder;
}

QString failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& failure) {
        return failure.report();
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(SetUp)

class TestStationFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_drive;
    QString m_path;

private slots:
    void init() {
        QVERIFY(m_drive.isValid());
        QDir(m_drive.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_drive.filePath("c/pelmora")));
        m_path = stationFilePath(m_drive.path());
    }

    void pathMapsTheDriveLetterToAFolder() {
        QCOMPARE(stationFilePath("/mnt"), QString("/mnt/c/pelmora/pelstart.dat"));
        QCOMPARE(stationFilePath({}), QString("c:\\pelmora\\pelstart.dat"));
    }

    void presenceCountsOrdinaryFilesOnly() {
        QVERIFY(!stationFilePresent(m_path));
        QVERIFY(QDir().mkdir(m_path));
        QVERIFY(!stationFilePresent(m_path));
        QVERIFY(QDir().rmdir(m_path));
        QVERIFY(writeFile(m_path, {}));
        QVERIFY(stationFilePresent(m_path));
#ifdef Q_OS_WIN
        for (const DWORD mark : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
            QVERIFY(setAttributes(m_path, mark));
            QVERIFY(!stationFilePresent(m_path));
        }
#endif
    }

    void readingIsBounded() {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(3 * maxStationFileBytes));
        file.close();
        QCOMPARE(readStationFile(m_path).size(), maxStationFileBytes);
        // The largest a folder makes, 32,767 characters of two bytes each: whole.
        QVERIFY(file.resize(2 * 32767 + 116));
        QCOMPARE(readStationFile(m_path).size(), 2 * 32767 + 116);
    }

    void unreadableFileIsReported() {
        const UnreadableFile unreadable(m_path);
        QVERIFY(unreadable.made());
        QVERIFY(stationFilePresent(m_path));
        const QString report = failureOf([&] { readStationFile(m_path); });
        QVERIFY2(report.startsWith("Cannot read the station start file"), qPrintable(report));
        QVERIFY(report.contains(reported(m_path)));
    }

    // Whom a save trusts with the links on its way, whatever the system:
    // accounts as "user", "root", "owner" (of the folder saved in) and
    // others; each link's changers separated by "|".
    void linkRuleTrustsOnlyWhoMayChangeNothing_data() {
        QTest::addColumn<QString>("links");
        QTest::addColumn<QString>("folderOwner"); // empty: the walk is still on its way
        QTest::addColumn<QString>("untrusted");   // empty: followed
        QTest::newRow("the user's, the system's, the folder owner's") << "user|root|owner,root"
                                                                      << "owner" << "";
        QTest::newRow("another's") << "other" << "owner" << "other";
        QTest::newRow("a trusted link, then another's") << "root|other" << "owner" << "other";
        QTest::newRow("one the folder's owner and another may change") << "owner,other"
                                                                       << "owner" << "other";
        QTest::newRow("another's, before the folder is known") << "root|other" << "" << "";
        QTest::newRow("two others', before the folder is known") << "other|third" << "" << "third";
        QTest::newRow("anyone's, before the folder is known") << "*" << "" << "*";
    }

    void linkRuleTrustsOnlyWhoMayChangeNothing() {
        QFETCH(QString, links);
        QFETCH(QString, folderOwner);
        QFETCH(QString, untrusted);
        QList<QList<Account>> changers;
        for (const QString& link : links.split('|'))
            changers.append(link.split(','));
        const TrustedAccounts trusted{
            "user", {"root"}, folderOwner.isEmpty() ? std::nullopt : std::optional(folderOwner)};
        QCOMPARE(untrustedChanger(changers, trusted).value_or(QString()), untrusted);
    }

    // The new file takes the old one's place as the station's owner set it
    // up, in the folder where the save found it.
    void saveKeepsWhatItReplaces_data() {
        using enum SetUp;
        QTest::addColumn<SetUp>("setUp");
        QTest::newRow("permissions") << Mode;
        QTest::newRow("another user's link into that user's folder, saved by root") << TheirLink;
        QTest::newRow("link's folder swapped for another during the save") << SwappedFolder;
        QTest::newRow("relative link in a linked folder") << RelativeLink;
#ifndef Q_OS_WIN
        QTest::newRow("another user's file, saved by root") << Owner;
        QTest::newRow("another operator's file in the operators' folder") << Shared;
        QTest::newRow("symbolic link") << Link;
        QTest::newRow("root's link to the user's file, saved by the user") << RootsLink;
        QTest::newRow("link swapped for another once it was opened") << SwappedLinkName;
        QTest::newRow("a folder that cannot be flushed") << NoFolderFlush;
        QTest::newRow("a folder that may be written but not read") << WriteOnlyFolder;
        QTest::newRow("set-user-ID file: the permission bits only") << SetId;
#else
        QTest::newRow("own access list, creation time, named stream") << Ntfs;
        QTest::newRow("deduplicated file") << Deduplicated;
        QTest::newRow("the user's junction at the station folder") << Link;
#endif
    }

    void saveKeepsWhatItReplaces() {
        using enum SetUp;
        QFETCH(SetUp, setUp);
        QString file = m_path;
        const QString linked = m_drive.filePath("elsewhere/real"),
                      other = m_drive.filePath("other");
        QVERIFY(QDir().mkpath(linked) && QDir().mkpath(other));
        SwappedSystemCalls calls;
        if (throughLink(setUp))
            file = linked + "/pelstart.dat";
#ifndef Q_OS_WIN
        QVERIFY(!throughLink(setUp) || QFile::link(file, m_path));
        if (setUp == RelativeLink) { // the file's ".." is the linked folder's
            QVERIFY(QDir().mkpath(other + "/deeper"));
            QVERIFY(QDir().rename(m_drive.filePath("c/pelmora"), other + "/deeper/linked"));
            QVERIFY(QFile::link(other + "/deeper/linked", m_drive.filePath("c/pelmora")));
            QVERIFY(QFile::remove(m_path));
            QCOMPARE(symlink("../../../elsewhere/real/pelstart.dat", qPrintable(m_path)), 0);
        }
        if (setUp == TheirLink) // the same answer at every save: it once changed after the first
            pretendOwners(calls, {{m_path, 4321}, {linked, 4321}}, 0);
#else
        if (throughLink(setUp)) { // over a placeholder, as Wine makes no link
            QVERIFY(writeFile(m_path, {}));
            const QString owner = security(setUp == TheirLink ? anotherUser : savingUser);
            // Windows takes a relative link's ".." from its text: c\pelmora, then the drive.
            const QString target =
                setUp == RelativeLink ? "../../elsewhere/real/pelstart.dat" : file;
            const QString station = m_drive.filePath("c/pelmora");
            if (setUp == Link)
                pretend(calls, {.junctions = {{station, linked}}, .security = {{station, owner}}});
            else
                pretend(calls, {.links = {{m_path, target}},
                                .security = {{m_path, owner}, {linked, owner}}});
        }
        if (setUp == Deduplicated)
            pretend(calls, {.tags = {{m_path, IO_REPARSE_TAG_DEDUP}}});
#endif
        QVERIFY(writeFile(file, QByteArray(5000, 'x')));
        QVERIFY(
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
#ifndef Q_OS_WIN
        if (setUp == Owner || setUp == Shared || setUp == RootsLink) {
            if (geteuid() != 0)
                QSKIP("only root can give a file to another user");
            QCOMPARE(chown(qPrintable(file), 4321, 4322), 0);
            QCOMPARE(chown(qPrintable(linked), 4321, 4322), 0);
            QCOMPARE(chmod(qPrintable(m_drive.path()), 0755), 0);
        }
        const QByteArray station = QFile::encodeName(m_drive.filePath("c/pelmora"));
        QVERIFY(setUp != Shared || (chown(station, 0, 4322) == 0 && chmod(station, 02775) == 0));
        if (setUp == NoFolderFlush)
            calls->fsync = [&](int handle) { return failingForFolders(handle, EINVAL, calls); };
        QVERIFY(setUp != SetId || chmod(qPrintable(file), 04640) == 0);
        int swaps = 0, syncs = 0; // once the link is opened, or just before anything is written
        calls->syncfs = [&](int handle) { return ++syncs, calls.original.syncfs(handle); };
        calls->openat = [&](int folder, const char* name, int flags, mode_t mode) {
            if (setUp == WriteOnlyFolder && flags & O_DIRECTORY && QByteArray(name) == ".")
                return errno = EACCES, -1; // as the folder's mode says even to root
            const int handle = calls.original.openat(folder, name, flags, mode);
            if (setUp == SwappedFolder && flags & O_CREAT && swaps == 0)
                swaps += QDir().rename(linked, linked + "-held") && QFile::link(other, linked);
            if (setUp == SwappedLinkName && QByteArray(name) == "pelstart.dat" && swaps == 0)
                swaps += QFile::remove(m_path) && QFile::link(other + "/pelstart.dat", m_path);
            return handle;
        };
#else
        if (setUp == Ntfs && !wineVersion().isEmpty())
            QSKIP("Wine keeps no access list, and its ReplaceFileW nothing of the old file");
        QVERIFY(setUp != Ntfs || giveNtfsIdentity(file));
        const QString identity = setUp == Ntfs ? ntfsIdentity(file) : QString();
        bool renamed = false; // the folder the save checked, which it holds meanwhile
        if (setUp == SwappedFolder)
            beforeNewFile(calls, [&] { renamed = QDir().rename(linked, linked + "-held"); });
#endif
        const QFileInfo before(file);
        const auto permissions = before.permissions();
        const uint owner = before.ownerId(), group = before.groupId();
#ifndef Q_OS_WIN
        // The user saving through root's link: root acts as the file's owner
        // meanwhile; or as another member of the file's group.
        const bool acting = setUp == RootsLink || setUp == Shared;
        QVERIFY(!acting || (setegid(4322) == 0 && seteuid(setUp == Shared ? 4323 : 4321) == 0));
        const auto asRoot =
            qScopeGuard([acting] { QVERIFY(!acting || (seteuid(0) == 0 && setegid(0) == 0)); });
#endif
        writeStationFile(m_path, newStation());
        const bool swapped = setUp == SwappedFolder || setUp == SwappedLinkName;
        if (swapped)
            QCOMPARE(namesIn(other), QStringList());
#ifndef Q_OS_WIN
        QCOMPARE(swaps, swapped ? 1 : 0);
        QCOMPARE(syncs, setUp == WriteOnlyFolder ? 1 : 0);
        if (setUp == SwappedFolder)
            file = linked + "-held/pelstart.dat";
        QCOMPARE(QFileInfo(m_path).isSymLink(), throughLink(setUp));
        struct stat saved{}; // never a set-ID file
        QVERIFY(stat(qPrintable(file), &saved) == 0 && (saved.st_mode & 07000) == 0);
#else
        QVERIFY(!renamed);
        QCOMPARE(setUp == Ntfs ? ntfsIdentity(file) : QString(), identity);
#endif
        QCOMPARE(readFile(file), newStation());
        const QFileInfo after(file);
        QCOMPARE(after.permissions(), permissions);
        QCOMPARE(after.ownerId(), setUp == Shared ? 4323 : owner); // the saver's, as on Windows
        QCOMPARE(after.groupId(), group);
    }

    void saveCreatesMissingFile() {
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(m_path), newStation());
        // As any file the user makes, though nobody else could open it while it was written.
        QVERIFY(writeFile(m_drive.filePath("made"), {}));
        QCOMPARE(QFile::permissions(m_path), QFile::permissions(m_drive.filePath("made")));
        QCOMPARE(namesIn(m_drive.filePath("c/pelmora")), QStringList{"pelstart.dat"});
    }

    // Beside the station file, a save removes only what a save of this
    // program left behind, and nothing of the operator's or another program's.
    void saveRemovesOnlyItsOwnLeftovers_data() {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("kept");
        for (const char* suffix : {".backup", ".old", ".123456", ".tmp", ".Ab3xYz", ".larkspur-",
                                   ".larkspur-abc12", ".larkspur-abc1234", "larkspur-abc123"})
            QTest::newRow(suffix) << suffix << 7200 << true;
        QTest::newRow("left by a killed save") << ".larkspur-k3x9q2" << 7200 << false;
        // What a link with a leftover's name leads to is not the save's to remove.
        QTest::newRow("a link named as a backup") << ".larkspur-backup-link00" << 7200 << true;
#ifdef Q_OS_WIN
        QTest::newRow("a real symbolic link named as a backup (NTFS)")
            << ".larkspur-backup-ntfs00" << 7200 << true;
#endif
        // Unlocked on POSIX systems, so left over; on Windows it may be a
        // running save's, closed just before it replaces the old file.
#ifdef Q_OS_WIN
        QTest::newRow("moments old") << ".larkspur-k3x9q2" << 0 << true;
#else
        QTest::newRow("moments old") << ".larkspur-k3x9q2" << 0 << false;
#endif
    }

    void saveRemovesOnlyItsOwnLeftovers() {
        QFETCH(QString, suffix);
        QFETCH(int, ageSeconds);
        QFETCH(bool, kept);
        const QByteArray theirs = "someone else's\r\n";
        const QString leftover = m_path + suffix, victim = m_drive.filePath("victim");
        QVERIFY(writeFile(m_path, oldStation)); // a backup goes only while the file is in place
        SwappedSystemCalls calls;
#ifndef Q_OS_WIN
        const bool real = suffix.contains("link"); // a link to a file elsewhere
#else
        const bool real = suffix.contains("ntfs");
        if (real && !wineVersion().isEmpty())
            QSKIP("Wine shows no reparse points: a link made here is the host's, a plain file to "
                  "Windows programs");
        if (suffix.contains("link")) // an open that follows it reaches the victim
            pretend(calls, {.links = {{leftover, victim}}});
        QVERIFY(!suffix.contains("link") || writeFile(leftover, {}, ageSeconds));
#endif
        QVERIFY(writeFile(suffix.contains("link") ? victim : leftover, theirs, ageSeconds));
        QVERIFY(!real || makeLink(leftover, victim));
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(m_path), newStation());
        QCOMPARE(QFileInfo::exists(m_path + suffix), kept);
        QCOMPARE(readFile(suffix.contains("link") ? victim : leftover),
                 kept ? theirs : "<no file>");
    }

    // Two copies of the program saving at the same moment while the file is
    // read: every read finds it whole, from one copy or the other. On POSIX
    // systems no save fails. Windows refuses to replace a file while another
    // program has it open; Wine does so for a reader too, so there a save may
    // fail after its retries, as often as the machine's timing has it, and
    // must then say why.
    void concurrentSavesKeepTheFileWhole() {
        QVERIFY(writeFile(m_path, oldStation));
        const QList<QByteArray> whole{oldStation, newStation("e:\\a"), newStation("e:\\b")};
        QProcess saverA, saverB;
        saverA.start(STATIONSAVER, {m_path, "200", "e:\\a"});
        saverB.start(STATIONSAVER, {m_path, "200", "e:\\b"});
        QVERIFY(saverA.waitForStarted() && saverB.waitForStarted());
        int reads = 0, refusedReads = 0;
        while (saverA.state() != QProcess::NotRunning || saverB.state() != QProcess::NotRunning) {
            QFile file(m_path);
            // Windows lets nobody open the file while it is being put in place.
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray content = file.readAll();
                QVERIFY2(whole.contains(content), content.constData());
                ++reads;
            } else {
                ++refusedReads;
            }
            file.close();
            saverA.waitForFinished(1);
            saverB.waitForFinished(1);
        }
        QStringList failures;
        for (QProcess* saver : {&saverA, &saverB}) {
            const QStringList own =
                QString::fromUtf8(saver->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
            QCOMPARE(saver->exitStatus(), QProcess::NormalExit);
            QCOMPARE(saver->exitCode(), own.isEmpty() ? 0 : 1);
            failures += own;
        }
        const QRegularExpression withReason("^" + saveFailure + " \"" +
                                            QRegularExpression::escape(reported(m_path)) +
                                            "\": \\S.+$");
        for (const QString& failure : failures)
            QVERIFY2(withReason.match(failure).hasMatch(), qPrintable(failure));
#ifndef Q_OS_WIN
        QCOMPARE(failures, QStringList());
        QCOMPARE(refusedReads, 0);
#endif
        QVERIFY(whole.contains(readFile(m_path)));
        QCOMPARE(namesIn(m_drive.filePath("c/pelmora")), QStringList{"pelstart.dat"});
        qInfo("400 saves by two processes at once: %lld failed; the file read whole %d times, "
              "refused %d times",
              qlonglong(failures.size()), reads, refusedReads);
    }

    void failedSaveLeavesOldFile_data() {
        using enum SetUp;
        QTest::addColumn<SetUp>("setUp");
        QTest::addColumn<QString>("reason");
        const QString foreign = "may change, which a save does not follow";
        QTest::newRow("folder missing") << NoFolder << missingFolderReason;
        QTest::newRow("read-only file") << ReadOnly << "read-only";
        QTest::newRow("folder at the path") << FolderAtPath << "";
        // Linux: the first link of a chain; Windows: a junction at the station folder.
        QTest::newRow("another user's link on the way to someone else's file")
            << ForeignLink << foreign;
#ifndef Q_OS_WIN
        QTest::newRow("a second name of root's link in another user's folder")
            << SecondName << foreign;
        QTest::newRow("links in a loop") << Loop << qt_error_string(ELOOP);
        QTest::newRow("file swapped for a link during the save")
            << LateLink << "It was changed while it was being saved";
        QTest::newRow("new file's lock taken by another program")
            << Locked << "Another program holds the lock on its new file";
        QTest::newRow("folder not flushed after the rename")
            << NoFolderFlush
            << "The new file is in place, but may not survive a power loss: " +
                   qt_error_string(EIO);
#else
        QTest::newRow("administrators' junction that another user may re-point")
            << OpenLink << foreign;
        for (const char* remote :
             {R"(junction to \??\UNC\host\share\far)", R"(junction to \??\pipe\far)"})
            QTest::newRow(remote) << RemoteLink << "to where a save does not go";
        QTest::newRow("another name surrogate at the station folder")
            << Surrogate << "not a folder";
        QTest::newRow("station folder made a junction after the walk")
            << LateLink << "It was changed while it was being saved";
        QTest::newRow("another user's real junction at the station folder (NTFS)")
            << NtfsLink << foreign;
#endif
    }

    void failedSaveLeavesOldFile() {
        using enum SetUp;
        QFETCH(SetUp, setUp);
        QFETCH(QString, reason);
        QString file = m_path;
        const QString folder = m_drive.filePath("c/pelmora");
        if (setUp == NoFolder) {
            QVERIFY(QDir(folder).removeRecursively());
        } else if (setUp == FolderAtPath) {
            QVERIFY(QDir().mkdir(m_path));
        } else {
            QVERIFY(writeFile(m_path, oldStation));
        }
        QVERIFY(setUp != ReadOnly ||
                QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup));
        SwappedSystemCalls calls;
#ifndef Q_OS_WIN
        const bool linked = setUp == ForeignLink || setUp == SecondName || setUp == LateLink;
        if (linked) {
            file = m_drive.filePath("elsewhere.dat");
            QVERIFY(writeFile(file, oldStation) && (setUp == LateLink || QFile::remove(m_path)));
        }
        if (setUp == ForeignLink) { // the user's own link, then the other user's
            QVERIFY(QFile::link(file, m_drive.filePath("hop")));
            QVERIFY(QFile::link(m_drive.filePath("hop"), m_path));
            pretendOwners(calls, {{m_drive.filePath("hop"), 4321}}, geteuid());
        }
        QVERIFY(setUp != SecondName || // as if root's link had been given its name there
                (QFile::link(file, m_path) &&
                 linkat(AT_FDCWD, qPrintable(m_path), AT_FDCWD, qPrintable(file + "2"), 0) == 0));
        if (setUp == SecondName)
            pretendOwners(calls, {{m_path, 0}, {folder, 4321}}, 0);
        QVERIFY(setUp != Loop ||
                (QFile::remove(m_path) && symlink("pelstart.dat", qPrintable(m_path)) == 0));
        mode_t pendingMode = 0;
        int holder = -1;
        calls->openat = [&](int at, const char* name, int flags, mode_t mode) {
            const int handle = calls.original.openat(at, name, flags, mode);
            struct stat made{};
            if (flags & O_CREAT && setUp == LateLink && QFile::remove(m_path))
                QFile::link(file, m_path);
            if (flags & O_CREAT && setUp == Locked && holder < 0 && fstat(handle, &made) == 0) {
                pendingMode = made.st_mode & 07777;
                holder = open(qPrintable(QString("/proc/self/fd/%1").arg(handle)), O_RDONLY);
                flock(holder, LOCK_EX);
            }
            return handle;
        };
        calls->sleep = [](unsigned){};
        const auto released = qScopeGuard([&] { close(holder); });
        if (setUp == NoFolderFlush)
            calls->fsync = [&](int handle) { return failingForFolders(handle, EIO, calls); };
#else
        const bool linked = setUp >= ForeignLink && setUp <= NtfsLink;
        const QString elsewhere = m_drive.filePath("elsewhere");
        const QString remote = QString(QTest::currentDataTag()).section(' ', -1);
        std::shared_ptr<PretendNtfs> ntfs;
        if (linked) {
            file = elsewhere + "/pelstart.dat";
            QVERIFY(QDir().mkpath(elsewhere) && writeFile(file, oldStation));
        }
        if (setUp == ForeignLink)
            ntfs = pretend(calls, {.links = {{folder, elsewhere}},
                                   .security = {{folder, security(anotherUser)}}});
        if (setUp == OpenLink)
            ntfs = pretend(calls, {.junctions = {{folder, elsewhere}},
                                   .security = {{folder, security("BA", anotherUser)}}});
        if (setUp == RemoteLink)
            ntfs = pretend(calls, {.junctions = {{folder, remote}}});
        if (setUp == Surrogate)
            ntfs = pretend(calls, {.tags = {{folder, 0xA000001D}}}); // a WSL symbolic link
        if (setUp == LateLink) { // once the walk is over, when the new file is made
            ntfs = pretend(calls, {});
            beforeNewFile(calls, [&] { ntfs->junctions.insert(ntfsKey(folder), elsewhere); });
        }
        if (setUp == NtfsLink && !wineVersion().isEmpty())
            QSKIP("Wine shows no reparse points: a link made here is the host's, a plain folder "
                  "to Windows programs");
        QVERIFY(setUp != NtfsLink || (QDir(folder).removeRecursively() &&
                                      makeLink(folder, m_drive.filePath("elsewhere"), "S-1-5-19")));
#endif
        const auto permissions = QFile::permissions(file);
        const QString report = failureOf([&] { writeStationFile(m_path, newStation()); });
        QVERIFY2(report.startsWith(saveFailure + " \"" + reported(m_path) + "\""),
                 qPrintable(report));
        QVERIFY2(report.contains(reason), qPrintable(report));
        if (setUp == ReadOnly || setUp == Locked || linked) {
            QCOMPARE(readFile(file), oldStation);
            QCOMPARE(QFile::permissions(file), permissions);
            QCOMPARE(namesIn(QFileInfo(file).path()).filter(".larkspur-"), QStringList());
        }
#ifndef Q_OS_WIN
        QCOMPARE(QFileInfo(m_path).isSymLink(), linked || setUp == Loop);
        QCOMPARE(pendingMode, setUp == Locked ? 0600 : 0);
#endif
        if (setUp == FolderAtPath)
            QVERIFY(QFileInfo(m_path).isDir());
        if (setUp == NoFolder)
            QVERIFY(!QFileInfo::exists(folder));
        if (setUp == NoFolderFlush)
            QCOMPARE(readFile(m_path), newStation());
#ifdef Q_OS_WIN
        if (setUp == RemoteLink) // nothing the junction names was opened
            QCOMPARE(ntfs->opened.filter("far"), QStringList());
        if (setUp == LateLink) {
            QCOMPARE(readFile(m_path), oldStation);
            QCOMPARE(namesIn(folder), QStringList{"pelstart.dat"});
        }
#endif
    }

#ifndef Q_OS_WIN
    // Faults that stop root too: a tmpfs of the test's own in a private mount
    // namespace, and the process's file size limit. The save runs in a process
    // of its own, as in the program, after a shell script has set the fault up.
    void faultsThatBindRootLeaveOldFile_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("launcher");
        QTest::addColumn<QString>("newFolder");
        QTest::addColumn<QString>("reason");
        const QString onTmpfs = "mount -t tmpfs -o size=12k larkspur-test \"$folder\"\n";
        const QString oldFile = "cp \"$out/old\" \"$folder/pelstart.dat\"\n";
        QTest::newRow("read-only folder")
            << onTmpfs + oldFile + "mount -o remount,ro \"$folder\"" << ""
            << "e:\\new"
            << "Read-only file system";
        // Three pages of new contents where only two are free: the writes stop part-way.
        QTest::newRow("disk full part-way")
            << onTmpfs + oldFile << ""
            << "e:\\" + QString(10000, u'n') << "No space left on device";
        QTest::newRow("file size limit") << oldFile << "prlimit --fsize=50 --"
                                         << "e:\\new"
                                         << "File too large";
        // A file mounted over the station file cannot be renamed over.
        QTest::newRow("failing rename")
            << onTmpfs + oldFile + "mount --bind \"$out/old\" \"$folder/pelstart.dat\"" << ""
            << "e:\\new"
            << "Device or resource busy";
    }

    void faultsThatBindRootLeaveOldFile() {
        QFETCH(QString, fault);
        QFETCH(QString, launcher);
        QFETCH(QString, newFolder);
        QFETCH(QString, reason);
        QTemporaryDir out;
        const QString folder = m_drive.filePath("c/pelmora");
        const bool needsMounts = fault.contains(QLatin1String("mount "));
        if (needsMounts) {
            const QString refusal = privateMountRefusal(folder);
            if (!refusal.isEmpty())
                QSKIP(qPrintable("this machine refuses a private tmpfs mount: " + refusal));
        }
        QVERIFY(writeFile(out.filePath("old"), oldStation));
        // The report goes through a pipe: a file would be bound by the size limit too.
        const QString script = "set -e\nfolder=$1 saver=$2 out=$3 newFolder=$4\n" + fault +
                               "\nset +e\n(" + launcher +
                               " \"$saver\" \"$folder/pelstart.dat\" 1 \"$newFolder\"; "
                               "echo $? >\"$out/status\") 2>&1 | cat >\"$out/report\"\n"
                               "cat \"$folder/pelstart.dat\" >\"$out/after\"\n"
                               "ls -A \"$folder\" >\"$out/listing\"\n";
        QStringList command{"sh", "-c", script, "sh", folder, STATIONSAVER, out.path(), newFolder};
        if (needsMounts)
            command = QStringList{"unshare", "-m", "--propagation", "private"} + command;
        QProcess process;
        process.start(command.takeFirst(), command);
        QVERIFY(process.waitForFinished());
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        QCOMPARE(readFile(out.filePath("status")), "1\n");
        const QString report = QString::fromUtf8(readFile(out.filePath("report")));
        QVERIFY2(report.startsWith(saveFailure + " \"" + m_path + "\": "), qPrintable(report));
        QVERIFY2(report.contains(reason), qPrintable(report));
        QCOMPARE(readFile(out.filePath("after")), oldStation);
        QCOMPARE(readFile(out.filePath("listing")), "pelstart.dat\n");
    }

    // Killed at any moment, a save leaves the complete old or the complete new
    // file, and nothing that the next save does not clear away.
    void killedSavesLeaveWholeFiles() {
        QVERIFY(writeFile(m_path, oldStation));
        const QDir folder(m_drive.filePath("c/pelmora"));
        const QRegularExpression ownFiles("^pelstart\\.dat(\\.larkspur-[a-z0-9]{6})?$");
        QRandomGenerator random(42);
        int leftovers = 0;
        for (int kill = 0; kill < killedSaves; ++kill) {
            QProcess saver;
            saver.start(STATIONSAVER, {m_path, "0"});
            QVERIFY(saver.waitForStarted());
            QThread::usleep(random.bounded(1000, 30000));
            saver.kill();
            QVERIFY(saver.waitForFinished());
            const QByteArray content = readFile(m_path);
            QVERIFY2(content == oldStation || content == newStation(), content.constData());
            const QStringList names = folder.entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
            for (const QString& name : names)
                QVERIFY2(ownFiles.match(name).hasMatch(), qPrintable(name));
            leftovers += int(names.size()) - 1;
        }
        writeStationFile(m_path, newStation());
        QCOMPARE(folder.entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"pelstart.dat"});
        qInfo("%d saves killed, every file whole; %d temporary files left and cleared", killedSaves,
              leftovers);
    }
    // Windows has no tmpfs, mount namespaces, file size limits or SIGKILL:
    // the two tests above are Linux's. Its own faults follow.
#else
    // Replaced as a whole, by Windows' own ReplaceFileW: nothing of the old
    // file survives, and the saved file is visible again, so that the next
    // start finds it.
    void hiddenOrSystemFileIsReplaced_data() {
        QTest::addColumn<int>("marks");
        QTest::newRow("hidden") << int(FILE_ATTRIBUTE_HIDDEN);
        QTest::newRow("system") << int(FILE_ATTRIBUTE_SYSTEM);
        QTest::newRow("hidden and system") << int(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }

    void hiddenOrSystemFileIsReplaced() {
        QFETCH(int, marks);
        SwappedSystemCalls calls;
        behaveAsWindows(calls);
        QVERIFY(writeFile(m_path, QByteArray(5000, 'x')));
        QVERIFY(setAttributes(m_path, DWORD(marks)));
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(m_path), newStation());
        QVERIFY(stationFilePresent(m_path));
    }

    // What Windows gives on a busy station and Wine never does, made to happen
    // by stand-ins for the system's calls: the failures that ReplaceFileW
    // documents, a put-back that has to wait, and a deletion that finishes
    // between two calls. Until the new file is in place, the old one keeps its
    // bytes, its hidden mark and its name; the report says where it is.
    void replaceFailuresLeaveOldFile_data() {
        QTest::addColumn<int>("error");          // what ReplaceFileW gives
        QTest::addColumn<int>("failedReplaces"); // how often; -1: every time
        QTest::addColumn<int>("failedPutBacks"); // of the old file, after 1177
        QTest::addColumn<QString>("reported");   // at the report's end; empty: saved
        QTest::addColumn<int>("probed"); // what an open for no access gives; 0: the system's answer
        const QString held = qt_error_string(ERROR_SHARING_VIOLATION).trimmed();
        const int denied = ERROR_ACCESS_DENIED;
        QTest::newRow("1175 for a moment") << 1175 << 2 << 0 << "" << 0;
        QTest::newRow("1176 for a moment") << 1176 << 2 << 0 << "" << 0;
        QTest::newRow("1176 throughout") << 1176 << -1 << 0 << qt_error_string(1176).trimmed() << 0;
        QTest::newRow("1177, put back at the third try") << 1177 << 1 << 2 << "" << 0;
        QTest::newRow("1177, never put back") << 1177 << -1 << -1 << "\": " + held << 0;
        QTest::newRow("access denied, deletion pending") << denied << 1 << 0 << "" << denied;
        QTest::newRow("access denied, then deleted")
            << denied << 1 << 0 << "" << int(ERROR_FILE_NOT_FOUND);
        QTest::newRow("access denied, no deletion pending")
            << denied << -1 << 0 << qt_error_string(ERROR_ACCESS_DENIED).trimmed() << 0;
    }

    void replaceFailuresLeaveOldFile() {
        QFETCH(int, error);
        QFETCH(int, failedReplaces);
        QFETCH(int, failedPutBacks);
        QFETCH(QString, reported);
        QFETCH(int, probed);
        const QString folder = m_drive.filePath("c/pelmora");
        // As old as a clean-up that went by age would take a stranded old file for abandoned.
        QVERIFY(writeFile(m_path, oldStation, 7200) &&
                setAttributes(m_path, FILE_ATTRIBUTE_HIDDEN));
        const DWORD oldAttributes = attributesOf(m_path);
        std::optional<SwappedSystemCalls> calls(std::in_place);
        behaveAsWindows(*calls);
        int replaces = 0, putBacks = 0;
        bool marksTouched = false;
        (*calls)->replaceFile = [&, replace = (*calls)->replaceFile](LPCWSTR old, LPCWSTR made,
                                                                     LPCWSTR backup) {
            marksTouched |= attributesOf(m_path) != oldAttributes;
            if (++replaces > failedReplaces && failedReplaces >= 0)
                return replace(old, made, backup);
            if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
                MoveFileExW(old, backup, 0); // where ReplaceFileW leaves the old file then
            return SetLastError(DWORD(error)), FALSE;
        };
        (*calls)->moveFile = [&](LPCWSTR from, LPCWSTR to, DWORD flags) {
            if (QString::fromWCharArray(from).contains("-backup-") &&
                (failedPutBacks < 0 || putBacks++ < failedPutBacks))
                return SetLastError(ERROR_SHARING_VIOLATION), FALSE;
            return calls->original.moveFile(from, to, flags);
        };
        (*calls)->createFile = [&](LPCWSTR path, DWORD access, DWORD sharing, DWORD how,
                                   DWORD flags) {
            if (access == 0 && probed != 0)
                return SetLastError(DWORD(probed)), INVALID_HANDLE_VALUE;
            return calls->original.createFile(path, access, sharing, how, flags);
        };
        (*calls)->sleep = [](DWORD) {};
        const QString report = failureOf([&] { writeStationFile(m_path, newStation()); });
        QVERIFY2(reported.isEmpty() ? report.isEmpty() : report.endsWith(reported),
                 qPrintable(report));
        QVERIFY(!marksTouched);
        if (error == ERROR_ACCESS_DENIED && failedReplaces < 0) // not a deletion, so not retried
            QCOMPARE(replaces, 1);
        const bool stranded = failedPutBacks < 0;
        QCOMPARE(readFile(m_path), reported.isEmpty() ? newStation()
                                   : stranded         ? QByteArray("<no file>")
                                                      : oldStation);
        QCOMPARE(stationFilePresent(m_path), reported.isEmpty());
        if (stranded) { // kept under the name the report gives while no file is in place
            const QStringList names = namesIn(folder);
            QVERIFY2(names.size() == 1 && report.contains(names[0] + reported), qPrintable(report));
            QCOMPARE(readFile(folder + "/" + names[0]), oldStation);
            calls.reset();
            // A put-back of the save that stranded it, while a clean-up judges it.
            SwappedSystemCalls judging;
            judging->getFileInformation = [&](HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                              void* info, DWORD size) {
                wchar_t path[MAX_PATH];
                if (GetFinalPathNameByHandleW(file, path, MAX_PATH, 0) &&
                    QString::fromWCharArray(path).endsWith(names[0]))
                    MoveFileExW(path,
                                reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(m_path).utf16()),
                                0);
                return judging.original.getFileInformation(file, kind, info, size);
            };
            writeStationFile(m_path, newStation());
            QCOMPARE(namesIn(folder), (QStringList{"pelstart.dat", names[0]}));
            writeStationFile(m_path, newStation());
        }
        QCOMPARE(namesIn(folder), QStringList{"pelstart.dat"});
    }

    // As scanners and backup tools hold a file: a brief hold is waited out, a
    // long one is reported, and the old file keeps its bytes.
    void heldFileIsWaitedForOrReported_data() {
        QTest::addColumn<int>("holdMs");
        QTest::newRow("brief hold") << 200;
        QTest::newRow("held throughout") << -1;
    }

    void heldFileIsWaitedForOrReported() {
        QFETCH(int, holdMs);
        QVERIFY(writeFile(m_path, oldStation));
        HeldFile hold(m_path);
        QVERIFY(hold.held());
        std::thread release;
        if (holdMs >= 0)
            release = std::thread([&] {
                QThread::msleep(holdMs);
                hold.release();
            });
        const QString report = failureOf([&] { writeStationFile(m_path, newStation()); });
        if (release.joinable())
            release.join();
        hold.release();
        if (holdMs >= 0) {
            QCOMPARE(report, QString());
            QCOMPARE(readFile(m_path), newStation());
        } else {
            QVERIFY2(report.startsWith(saveFailure + " \"" + reported(m_path) + "\": ") &&
                         report.size() > 60,
                     qPrintable(report));
            QCOMPARE(readFile(m_path), oldStation);
        }
        QCOMPARE(namesIn(m_drive.filePath("c/pelmora")), QStringList{"pelstart.dat"});
    }
#endif
};

QTEST_MAIN(TestStationFile)
#include "tst_stationfile.moc"
