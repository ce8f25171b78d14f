#include "failure.h"
#include "files.h"
#include "platform.h"
#include "stationfile.h"
#include "stationformat.h"
#include "texts.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <functional>
#include <thread>
#ifndef Q_OS_WIN
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
#endif

QString failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& failure) {
        return failure.report();
    }
    return {};
}

} // namespace

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
    }

    void unreadableFileIsReported() {
        const UnreadableFile unreadable(m_path);
        QVERIFY(unreadable.made());
        QVERIFY(stationFilePresent(m_path));
        const QString report = failureOf([&] { readStationFile(m_path); });
        QVERIFY2(report.startsWith("Cannot read the station start file"), qPrintable(report));
        QVERIFY(report.contains(reported(m_path)));
    }

    // The new file takes the old one's place as the station's owner set it up.
    void saveKeepsWhatItReplaces_data() {
        QTest::addColumn<QString>("setUp");
        QTest::newRow("permissions") << "mode";
#ifndef Q_OS_WIN
        QTest::newRow("another user's file, saved by root") << "owner";
        QTest::newRow("symbolic link") << "link";
#endif
    }

    void saveKeepsWhatItReplaces() {
        QFETCH(QString, setUp);
        QString file = m_path;
        if (setUp == "link") {
            file = m_drive.filePath("elsewhere.dat");
            QVERIFY(QFile::link(file, m_path));
        }
        QVERIFY(writeFile(file, QByteArray(5000, 'x')));
        QVERIFY(
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
#ifndef Q_OS_WIN
        if (setUp == "owner") {
            if (geteuid() != 0)
                QSKIP("only root can give a file to another user");
            QCOMPARE(chown(QFile::encodeName(file).constData(), 4321, 4322), 0);
        }
#endif
        const QFileInfo before(file);
        const auto permissions = before.permissions();
        const uint owner = before.ownerId(), group = before.groupId();
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(file), newStation());
        const QFileInfo after(file);
        QCOMPARE(after.permissions(), permissions);
        QCOMPARE(after.ownerId(), owner);
        QCOMPARE(after.groupId(), group);
        QCOMPARE(QFileInfo(m_path).isSymLink(), setUp == "link");
    }

    void saveCreatesMissingFile() {
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(m_path), newStation());
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
        QVERIFY(writeFile(m_path + suffix, theirs, ageSeconds));
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(m_path), newStation());
        QCOMPARE(QFileInfo::exists(m_path + suffix), kept);
        if (kept)
            QCOMPARE(readFile(m_path + suffix), theirs);
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
        const QRegularExpression withReason("^Cannot save the station start file \"" +
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
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << "no-folder" << missingFolderReason;
        QTest::newRow("read-only file") << "read-only"
                                        << "read-only";
        QTest::newRow("folder at the path") << "folder"
                                            << "";
#ifndef Q_OS_WIN
        QTest::newRow("another user's link to root's file") << "foreign-link"
                                                            << "symbolic link";
#endif
    }

    void failedSaveLeavesOldFile() {
        QFETCH(QString, setUp);
        QFETCH(QString, reason);
        QString file = m_path;
        if (setUp == "no-folder") {
            QVERIFY(QDir(m_drive.filePath("c/pelmora")).removeRecursively());
        } else if (setUp == "read-only") {
            QVERIFY(writeFile(m_path, oldStation));
            QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup));
        } else if (setUp == "folder") {
            QVERIFY(QDir().mkdir(m_path));
        } else {
#ifndef Q_OS_WIN
            if (geteuid() != 0)
                QSKIP("only root can give a link to another user");
            file = m_drive.filePath("elsewhere.dat");
            QVERIFY(writeFile(file, oldStation));
            QVERIFY(QFile::link(file, m_path));
            QCOMPARE(lchown(QFile::encodeName(m_path).constData(), 4321, 4321), 0);
#endif
        }
        const auto permissions = QFile::permissions(file);
        const QString report = failureOf([&] { writeStationFile(m_path, newStation()); });
        QVERIFY2(
            report.startsWith("Cannot save the station start file \"" + reported(m_path) + "\""),
            qPrintable(report));
        QVERIFY2(report.contains(reason), qPrintable(report));
        if (setUp == "read-only" || setUp == "foreign-link") {
            QCOMPARE(readFile(file), oldStation);
            QCOMPARE(QFile::permissions(file), permissions);
        }
        if (setUp == "foreign-link")
            QVERIFY(QFileInfo(m_path).isSymLink());
        if (setUp == "folder")
            QVERIFY(QFileInfo(m_path).isDir());
        if (setUp == "no-folder")
            QVERIFY(!QFileInfo::exists(m_drive.filePath("c/pelmora")));
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
        QTest::newRow("read-only folder") << onTmpfs + oldFile + "mount -o remount,ro \"$folder\""
                                          << ""
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
            << onTmpfs + oldFile + "mount --bind \"$out/old\" \"$folder/pelstart.dat\""
            << ""
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
        QVERIFY2(report.startsWith("Cannot save the station start file \"" + m_path + "\": "),
                 qPrintable(report));
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
    // Replaced as a whole: nothing of the old file survives, and the saved file
    // is visible again, so that the next start finds it.
    void hiddenOrSystemFileIsReplaced_data() {
        QTest::addColumn<int>("marks");
        QTest::newRow("hidden") << int(FILE_ATTRIBUTE_HIDDEN);
        QTest::newRow("system") << int(FILE_ATTRIBUTE_SYSTEM);
        QTest::newRow("hidden and system") << int(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }

    void hiddenOrSystemFileIsReplaced() {
        QFETCH(int, marks);
        QVERIFY(writeFile(m_path, QByteArray(5000, 'x')));
        QVERIFY(setAttributes(m_path, DWORD(marks)));
        writeStationFile(m_path, newStation());
        QCOMPARE(readFile(m_path), newStation());
        QVERIFY(stationFilePresent(m_path));
    }

    // As scanners and backup tools hold a file: a brief hold is waited out, a
    // long one is reported, and the old file keeps its bytes and its marks.
    void heldFileIsWaitedForOrReported_data() {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("marks");
        QTest::newRow("brief hold") << 200 << int(FILE_ATTRIBUTE_NORMAL);
        QTest::newRow("held throughout") << -1 << int(FILE_ATTRIBUTE_NORMAL);
        QTest::newRow("hidden, held throughout") << -1 << int(FILE_ATTRIBUTE_HIDDEN);
    }

    void heldFileIsWaitedForOrReported() {
        QFETCH(int, holdMs);
        QFETCH(int, marks);
        QVERIFY(writeFile(m_path, oldStation));
        QVERIFY(setAttributes(m_path, DWORD(marks)));
        const DWORD attributes = attributesOf(m_path);
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
            QVERIFY2(report.startsWith("Cannot save the station start file \"" + reported(m_path) +
                                       "\": ") &&
                         report.size() > 60,
                     qPrintable(report));
            QCOMPARE(readFile(m_path), oldStation);
            QCOMPARE(attributesOf(m_path), attributes);
        }
        QCOMPARE(namesIn(m_drive.filePath("c/pelmora")), QStringList{"pelstart.dat"});
    }
#endif
};

QTEST_MAIN(TestStationFile)
#include "tst_stationfile.moc"
