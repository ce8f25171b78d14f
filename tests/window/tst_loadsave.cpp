#include "codepage.h"
#include "platform.h"
#include "windowundertest.h"

#include <QApplication>

// Loading the station file into the window and saving it from there: the
// window's part of it. The file's rules themselves are tst_stationformat's.
namespace {
constexpr int longestWindowsPath = 32767;
const QByteArray ones(100, '1');
// What stands at the station file's path when the window loads.
enum class AtPath { Nothing, Folder, File };
} // namespace

Q_DECLARE_METATYPE(AtPath)

class TestLoadSave : public QObject {
    Q_OBJECT

    // The window after OK refused what was typed: a beep, the focus in the
    // path box, and nothing else changed.
    static void requireRefused(const WindowUnderTest& t, const QByteArray& file,
                               const QString& label) {
        QCOMPARE(QApplication::focusWidget(), t.txtPath());
        QCOMPARE(t.lblCurrLoc()->text(), label);
        QCOMPARE(t.savedBytes(), file);
        QVERIFY(t.window->isVisible());
        QCOMPARE(t.unloaded->count(), 0);
        QCOMPARE(t.failed->count(), 0);
    }

private slots:
    void initTestCase() {
        QVERIFY2(inTheCodePageAskedFor(), "Wine did not take the locale's code page");
    }

    void loadShowsTheStationFile_data() {
        QTest::addColumn<AtPath>("at");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("values");
        const QString allChecked = flagDigits({}, u'1');
        QTest::newRow("no file") << AtPath::Nothing << QByteArray() << noPathCaption << QString()
                                 << allChecked;
        // The window asks whether there is a file, not whether the name exists.
        QTest::newRow("folder at the path")
            << AtPath::Folder << QByteArray() << noPathCaption << QString() << allChecked;
        // Says no more than a missing one; OK repairs it.
        QTest::newRow("empty file")
            << AtPath::File << QByteArray() << noPathCaption << QString() << allChecked;
        // 9 names no state: that box keeps its checked state.
        QTest::newRow("0, 1, 2 and 9") << AtPath::File << stationFileBytes("d:\\shared", "0120912")
                                       << currentPathPrefix + "d:\\shared"
                                       << QStringLiteral("d:\\shared") << flagDigits("0120112");
    }

    void loadShowsTheStationFile() {
        QFETCH(AtPath, at);
        QFETCH(QByteArray, file);
        QFETCH(QString, label);
        QFETCH(QString, path);
        QFETCH(QString, values);
        WindowUnderTest t;
        QVERIFY(at != AtPath::Folder || QDir().mkdir(t.stationFile));
        QVERIFY(at != AtPath::File || writeFile(t.stationFile, file));
        QVERIFY(t.loadAndShow());
        QCOMPARE(t.lblCurrLoc()->text(), label);
        QCOMPARE(t.txtPath()->text(), path);
        QCOMPARE(t.values(), values);
        QCOMPARE(QApplication::focusWidget(), t.txtPath());
        QCOMPARE(t.failed->count(), 0);
    }

    // The label shows the folder as typed; the boxes go to their own flags.
    void okSavesAndUnloads_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("grayed first, spaces around")
            << QStringLiteral("  d:\\shared  ") << flagDigits("21")
            << stationFileBytes("d:\\shared", "21" + QByteArray(98, '0'));
        QTest::newRow("daily Jar Sales only")
            << QStringLiteral("d:\\x") << flagDigits(QString(63, u'0') + "1")
            << stationFileBytes("d:\\x", QByteArray(63, '0') + "1" + QByteArray(36, '0'));
    }

    void okSavesAndUnloads() {
        QFETCH(QString, typed);
        QFETCH(QString, values);
        QFETCH(QByteArray, file);
        WindowUnderTest t;
        QVERIFY(writeFile(t.stationFile, "an older, longer file\r\n" + QByteArray(5000, '7')));
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText(typed);
        t.setValues(values);
        t.click("cmdOk");
        QCOMPARE(t.failed->count(), 0);
        QCOMPARE(t.savedBytes(), file);
        QCOMPARE(t.lblCurrLoc()->text(), currentPathPrefix + typed);
        QCOMPARE(t.unloaded->count(), 1);
        QVERIFY(!t.window->isVisible());
    }

    // An empty path box, told by the beep alone, and a folder that the file
    // could not give back, told why (the reasons are tst_stationformat's).
    void okRefusesWhatCannotBeSaved_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("label");
        QTest::newRow("empty") << QString() << currentPathPrefix + "d:\\old";
        QTest::newRow("comma") << QStringLiteral("d:\\my,data") << folderRefusal(u"d:\\my,data");
    }

    void okRefusesWhatCannotBeSaved() {
        QFETCH(QString, typed);
        QFETCH(QString, label);
        WindowUnderTest t;
        const QByteArray old = stationFileBytes("d:\\old", ones);
        QVERIFY(writeFile(t.stationFile, old));
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText(typed);
        t.find<QPushButton>("cmdOk")->setFocus();
        t.click("cmdOk");
        requireRefused(t, old, label);
        QCOMPARE(t.txtPath()->text(), typed);
        QCOMPARE(t.txtPath()->accessibleDescription(), typed.isEmpty() ? QString() : label);
    }

    // What the path box and the label might alter, typed into the path box,
    // is saved as its byte and comes back into the path box as it was. Each
    // byte of the code page is tst_stationformat's to hold to Windows-1252.
    void okStoresTypedTextAsShown_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        // NUL and other control characters, markup, a quote inside, a
        // non-breaking space and a soft hyphen, the euro sign and the last byte.
        for (const int code : {0x00, 0x01, 0x09, 0x22, 0x3c, 0x7f, 0x80, 0xa0, 0xad, 0xff}) {
            const QByteArray byte(1, char(code));
            QTest::addRow("byte 0x%02x", code)
                << "d:\\" + decodeCodePage(byte) + "x" << "d:\\" + byte + "x";
        }
        const QString longestPath(longestWindowsPath, u'y');
        QTest::newRow("longest Windows path") << longestPath << longestPath.toLatin1();
    }

    void okStoresTypedTextAsShown() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        SKIP_UNLESS_STATION_CODE_PAGE(1252);
        WindowUnderTest t;
        t.create();
        QVERIFY(t.window->load());
        t.txtPath()->setText(typed);
        QCOMPARE(t.txtPath()->text(), typed);
        t.click("cmdOk");
        QCOMPARE(t.failed->count(), 0);
        QCOMPARE(t.savedBytes(), stationFileBytes(stored, ones));
        QCOMPARE(t.lblCurrLoc()->text(), currentPathPrefix + typed);
        t.create();
        QVERIFY(t.window->load());
        QCOMPARE(t.txtPath()->text(), typed);
    }

    // Any failure will do: which ones there are is tst_stationfile's.
    void failedSaveIsReportedOnce() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        QVERIFY(QDir().mkdir(t.stationFile));
        t.txtPath()->setText("d:\\shared");
        t.click("cmdOk");
        // Its words are tst_stationfile's to check, the program's end tst_realwindow's.
        QCOMPARE(t.failed->count(), 1);
        QCOMPARE(t.lblCurrLoc()->text(), currentPathPrefix + "d:\\shared");
        QCOMPARE(t.unloaded->count(), 0);
    }

    // What OK saves, the next start shows again, in the code page of the
    // station, spaces around the folder trimmed. (A folder with a character
    // outside the code page is refused as any other that the file cannot
    // give back: tst_stationformat.)
    void savedSettingsComeBack_data() {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("folder");
        for (const CodePageFolder& folder : codePageFolders) {
            if (!folder.bytes.isEmpty())
                QTest::newRow(folder.tag)
                    << folder.codePage << "  " + folder.text + " " << folder.bytes;
        }
    }

    void savedSettingsComeBack() {
        QFETCH(int, codePage);
        QFETCH(QString, typed);
        QFETCH(QByteArray, folder);
        SKIP_UNLESS_STATION_CODE_PAGE(codePage);
        const QString states = flagDigits("0120120120210", u'2');
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText(typed);
        t.setValues(states);
        t.click("cmdOk");
        QCOMPARE(t.savedBytes(), stationFileBytes(folder, states.toLatin1()));
        QCOMPARE(t.lblCurrLoc()->text(), currentPathPrefix + typed);
        QCOMPARE(t.unloaded->count(), 1);
        QVERIFY(t.loadAndShow());
        QCOMPARE(t.txtPath()->text(), typed.trimmed());
        QCOMPARE(t.lblCurrLoc()->text(), currentPathPrefix + typed.trimmed());
        QCOMPARE(t.values(), states);
    }
};

QTEST_MAIN(TestLoadSave)
#include "tst_loadsave.moc"
