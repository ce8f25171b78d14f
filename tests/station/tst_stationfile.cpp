#include "failure.h"
#include "stationfile.h"
#include "stationformat.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray oldContent =
    QByteArray("d:\\old\\pelmora.mdb\r\n") + QByteArray(100, '1') + "\r\n";
const QByteArray newContent =
    QByteArray("e:\\new\\pelmora.mdb\r\n") + QByteArray(100, '0') + "\r\n";

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void putFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
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
    }

    void presenceCountsOrdinaryFilesOnly() {
        QVERIFY(!stationFilePresent(m_path));
        QVERIFY(QDir().mkdir(m_path));
        QVERIFY(!stationFilePresent(m_path));
        QVERIFY(QDir().rmdir(m_path));
        putFile(m_path, {});
        QVERIFY(stationFilePresent(m_path));
    }

    void readingIsBounded() {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(3 * maxStationFileBytes));
        file.close();
        QCOMPARE(readStationFile(m_path).size(), maxStationFileBytes);
    }

    void unreadableFileIsReported() {
        // Permission bits do not stop root; a file whose reading the kernel refuses does.
        QVERIFY(QFile::link("/proc/self/mem", m_path));
        QVERIFY(stationFilePresent(m_path));
        const QString report = failureOf([&] { readStationFile(m_path); });
        QVERIFY2(report.startsWith("Cannot read the station start file"), qPrintable(report));
        QVERIFY(report.contains(m_path));
    }

    void saveReplacesWholeFileAndKeepsPermissions() {
        putFile(m_path, QByteArray(5000, 'x'));
        const auto modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(m_path, modeBits));
        const auto before = QFile::permissions(m_path);
        writeStationFile(m_path, newContent);
        QCOMPARE(contentOf(m_path), newContent);
        QCOMPARE(QFile::permissions(m_path), before);
    }

    void saveCreatesMissingFile() {
        writeStationFile(m_path, newContent);
        QCOMPARE(contentOf(m_path), newContent);
        QCOMPARE(
            QDir(m_drive.filePath("c/pelmora")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{"pelstart.dat"});
    }

    void saveRemovesLeftoverTemporaryFiles() {
        putFile(m_path + ".Ab3xYz", "half");
        putFile(m_path + ".notmine", "keep");
        writeStationFile(m_path, newContent);
        QVERIFY(!QFile::exists(m_path + ".Ab3xYz"));
        QVERIFY(QFile::exists(m_path + ".notmine"));
    }

    void failedSaveLeavesOldFile_data() {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << "no-folder"
                                        << "No such file or directory";
        QTest::newRow("read-only file") << "read-only"
                                        << "read-only";
        QTest::newRow("folder at the path") << "folder"
                                            << "";
    }

    void failedSaveLeavesOldFile() {
        QFETCH(QString, setUp);
        QFETCH(QString, reason);
        if (setUp == "no-folder") {
            QVERIFY(QDir(m_drive.filePath("c/pelmora")).removeRecursively());
        } else if (setUp == "read-only") {
            putFile(m_path, oldContent);
            QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup));
        } else {
            QVERIFY(QDir().mkdir(m_path));
        }
        const QString report = failureOf([&] { writeStationFile(m_path, newContent); });
        QVERIFY2(report.startsWith("Cannot save the station start file \"" + m_path + "\""),
                 qPrintable(report));
        QVERIFY2(report.contains(reason), qPrintable(report));
        if (setUp == "read-only")
            QCOMPARE(contentOf(m_path), oldContent);
        if (setUp == "folder")
            QVERIFY(QFileInfo(m_path).isDir());
        if (setUp == "no-folder")
            QVERIFY(!QFileInfo::exists(m_drive.filePath("c/pelmora")));
    }

    // The disk fills part-way: the file size limit makes every write past it fail.
    void writeFailingPartWayLeavesOldFile() {
        putFile(m_path, oldContent);
        QProcess saver;
        saver.setChildProcessModifier([] {
            const rlimit limit{50, 50};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN);
        });
        saver.start(STATIONSAVER, {m_path, "2"});
        QVERIFY(saver.waitForFinished());
        QCOMPARE(saver.exitStatus(), QProcess::NormalExit);
        QCOMPARE(saver.exitCode(), 1);
        const QString report = QString::fromUtf8(saver.readAllStandardError());
        QVERIFY2(report.contains("File too large"), qPrintable(report));
        QCOMPARE(contentOf(m_path), oldContent);
    }

    // Killed at any moment, a save leaves the complete old or the complete new file.
    void killedSavesLeaveWholeFiles() {
        putFile(m_path, oldContent);
        QRandomGenerator random(42);
        for (int kill = 0; kill < 100; ++kill) {
            QProcess saver;
            saver.start(STATIONSAVER, {m_path, "0"});
            QVERIFY(saver.waitForStarted());
            QTest::qSleep(random.bounded(1, 30));
            saver.kill();
            QVERIFY(saver.waitForFinished());
            const QByteArray content = contentOf(m_path);
            QVERIFY2(content == oldContent || content == newContent, content.constData());
        }
        writeStationFile(m_path, newContent);
        QCOMPARE(
            QDir(m_drive.filePath("c/pelmora")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{"pelstart.dat"});
    }
};

QTEST_MAIN(TestStationFile)
#include "tst_stationfile.moc"
