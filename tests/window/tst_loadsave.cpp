#include "codepage.h"
#include "testplatform.h"
#include "windowtesting.h"

#include <QApplication>

namespace {

const QString prefix = QStringLiteral("Current Path to DataBase Is ");
const QString notDefined = QStringLiteral("Current Path is not defined");
const QByteArray ones(100, '1');
const QByteArray zeros(100, '0');
constexpr int longestWindowsPath = 32767;

void loadRow(const char* tag, const QString& setUp, const QByteArray& file, const QString& label,
             const QString& path, const QString& values) {
    QTest::newRow(tag) << setUp << file << label << path << values;
}

void saveRow(const char* tag, const QString& typed, const QString& values, const QByteArray& file) {
    QTest::newRow(tag) << typed << values << file;
}

} // namespace

class TestLoadSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(inTheCodePageAskedFor(), "Wine did not take the locale's code page");
    }

    void loadShowsTheStationFile_data() {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("values");
        const QByteArray shared = "d:\\shared\\pelmora.mdb\r\n";
        loadRow("no file", "none", {}, notDefined, "", digits({}, u'1'));
        loadRow("folder at the path", "folder", {}, notDefined, "", digits({}, u'1'));
        loadRow("empty file", "file", {}, notDefined, "", digits({}, u'1'));
        loadRow("full file", "file", shared + zeros + "\r\n", prefix + "d:\\shared", "d:\\shared",
                digits({}));
        loadRow("line 1 only", "file", shared, prefix + "d:\\shared", "d:\\shared",
                digits({}, u'1'));
        loadRow("line 1 of 5", "file", "d:\\ab\r\n2\r\n", prefix + "d:\\ab", "d:\\ab", digits("2"));
        loadRow("line 1 is the suffix", "file", "\\pelmora.mdb\r\n" + ones + "\r\n", prefix, "",
                digits({}, u'1'));
        loadRow("9 refused by box 5", "file", shared + "000090000011\r\n", prefix + "d:\\shared",
                "d:\\shared", digits("000010000011"));
        loadRow("2 grays box 5", "file", shared + "1111211\r\n", prefix + "d:\\shared",
                "d:\\shared", digits("1111211"));
        loadRow("comma in the folder", "file", "d:\\my,data\\pelmora.mdb\r\n" + ones + "\r\n",
                prefix + "d:\\my", "d:\\my", digits({}));
        loadRow("markup stays text", "file", "<b>x</b> R&D\\pelmora.mdb\r\n",
                prefix + "<b>x</b> R&D", "<b>x</b> R&D", digits({}, u'1'));
        const QByteArray longestPath(longestWindowsPath, 'x');
        loadRow("longest Windows path", "file", longestPath + "\\pelmora.mdb\r\n1\r\n",
                prefix + QString::fromLatin1(longestPath), QString::fromLatin1(longestPath),
                digits("1"));
        // A damaged file: only its beginning is read, as one field without a line end.
        const QString readPart(maxStationFileBytes - 12, u'x');
        loadRow("one line of 20 MB", "file", QByteArray(20'000'000, 'x') + "\r\n",
                prefix + readPart, readPart, digits({}, u'1'));
#ifdef Q_OS_WIN
        loadRow("hidden file", "hidden", shared + zeros + "\r\n", notDefined, "", digits({}, u'1'));
        loadRow("system file", "system", shared + zeros + "\r\n", notDefined, "", digits({}, u'1'));
#endif
    }

    void loadShowsTheStationFile() {
        QFETCH(QString, setUp);
        QFETCH(QByteArray, file);
        QFETCH(QString, label);
        QFETCH(QString, path);
        QFETCH(QString, values);
        WindowUnderTest t;
        if (setUp == "folder")
            QVERIFY(QDir().mkdir(t.stationFile));
        if (setUp != "none" && setUp != "folder")
            t.putStationFile(file);
#ifdef Q_OS_WIN
        if (setUp != "file" && setUp != "none" && setUp != "folder")
            QVERIFY(setAttributes(t.stationFile, setUp == "hidden" ? FILE_ATTRIBUTE_HIDDEN
                                                                   : FILE_ATTRIBUTE_SYSTEM));
#endif
        QVERIFY(t.loadAndShow());
        QCOMPARE(t.lblCurrLoc()->text(), label);
        QCOMPARE(t.txtPath()->text(), path);
        QCOMPARE(t.values(), values);
        QCOMPARE(QApplication::focusWidget(), t.txtPath());
        QCOMPARE(t.failed->count(), 0);
    }

    void unreadableFileEndsTheProgramBeforeTheWindowShows() {
        WindowUnderTest t;
        const UnreadableFile unreadable(t.stationFile);
        QVERIFY(unreadable.made());
        t.create();
        QVERIFY(!t.window->load());
        QCOMPARE(t.failed->count(), 1);
        const QString report = t.failed->at(0).at(0).toString();
        QVERIFY2(report.startsWith("Cannot read the station start file"), qPrintable(report));
        QVERIFY(report.contains(reported(t.stationFile)));
    }

    void okSavesAndUnloads_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QByteArray>("file");
        saveRow("all checked", "d:\\shared", digits({}, u'1'),
                "d:\\shared\\pelmora.mdb\r\n" + ones + "\r\n");
        saveRow("all cleared", "d:\\shared", digits({}),
                "d:\\shared\\pelmora.mdb\r\n" + zeros + "\r\n");
        saveRow("grayed first, spaces around", "  d:\\shared  ", digits("21"),
                "d:\\shared\\pelmora.mdb\r\n21" + QByteArray(98, '0') + "\r\n");
        saveRow("only spaces", "   ", digits({}, u'1'), "\\pelmora.mdb\r\n" + ones + "\r\n");
        saveRow("trailing backslash", "d:\\x\\", digits({}, u'1'),
                "d:\\x\\\\pelmora.mdb\r\n" + ones + "\r\n");
        saveRow("daily Jar Sales only", "d:\\x", digits(QString(63, u'0') + "1"),
                "d:\\x\\pelmora.mdb\r\n" + QByteArray(63, '0') + "1" + QByteArray(36, '0') +
                    "\r\n");
    }

    void okSavesAndUnloads() {
        QFETCH(QString, typed);
        QFETCH(QString, values);
        QFETCH(QByteArray, file);
        WindowUnderTest t;
        t.putStationFile("an older, longer file\r\n" + QByteArray(5000, '7') + "\r\n");
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText(typed);
        t.setValues(values);
        t.click("cmdOk");
        QCOMPARE(t.failed->count(), 0);
        QCOMPARE(t.stationBytes(), file);
        QCOMPARE(t.lblCurrLoc()->text(), prefix + typed);
        QCOMPARE(t.unloaded->count(), 1);
        QVERIFY(!t.window->isVisible());
    }

    void okRefusesWhatCannotBeSaved_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("comma") << QStringLiteral("d:\\my,data");
        QTest::newRow("leading quote") << QStringLiteral(" \"d:\\x");
        QTest::newRow("line break") << QStringLiteral("d:\\a\nb");
    }

    void okRefusesWhatCannotBeSaved() {
        QFETCH(QString, typed);
        WindowUnderTest t;
        const QByteArray old = "d:\\old\\pelmora.mdb\r\n" + ones + "\r\n";
        t.putStationFile(old);
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText(typed);
        t.find<QPushButton>("cmdOk")->setFocus();
        t.click("cmdOk");
        QCOMPARE(QApplication::focusWidget(), t.txtPath());
        QCOMPARE(t.lblCurrLoc()->text(), prefix + "d:\\old");
        QCOMPARE(t.stationBytes(), old);
        QVERIFY(t.window->isVisible());
        QCOMPARE(t.unloaded->count(), 0);
        QCOMPARE(t.failed->count(), 0);
    }

    // Whatever is typed: the label shows it as plain text, and OK stores exactly
    // its code page bytes or refuses it as the save rules say.
    void okStoresOrRefusesAnyTypedText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored"); // empty: refused
        for (int code = 0; code < 256; ++code) {
            const char byte = char(code);
            // Each character of the code page, which tst_stationformat holds to Windows-1252.
            const QString typed = "d:\\" + decodeCodePage(QByteArray(1, byte)) + "x";
            const bool refused = byte == ',' || byte == '\r' || byte == '\n';
            QTest::addRow("byte 0x%02x", code)
                << typed
                << (refused ? QByteArray() : "d:\\" + QByteArray(1, byte) + "x\\pelmora.mdb");
        }
        // A lone surrogate is no character at all.
        for (const char16_t outside :
             {char16_t(0x0100), char16_t(0x4e2d), char16_t(0xfffd), char16_t(0xd83d)})
            QTest::addRow("U+%04X", unsigned(outside))
                << "d:\\" + QString(QChar(outside)) << QByteArray();
        QTest::newRow("emoji") << QString::fromUtf8("d:\\\xF0\x9F\x98\x80") << QByteArray();
        QTest::newRow("markup") << QStringLiteral("<b>R&amp;D</b><img src=x>")
                                << QByteArray("<b>R&amp;D</b><img src=x>\\pelmora.mdb");
        const QString longestPath(longestWindowsPath, u'y');
        QTest::newRow("longest Windows path")
            << longestPath << longestPath.toLatin1() + "\\pelmora.mdb";
        QTest::newRow("longer than the file may be")
            << QString(maxStationFileBytes, u'y') << QByteArray();
    }

    void okStoresOrRefusesAnyTypedText() {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        WindowUnderTest t;
        const QByteArray old = "d:\\old\\pelmora.mdb\r\n" + ones + "\r\n";
        t.putStationFile(old);
        t.create();
        QVERIFY(t.window->load());
        t.txtPath()->setText(typed);
        QCOMPARE(t.txtPath()->text(), typed);
        t.click("cmdOk");
        QCOMPARE(t.failed->count(), 0);
        if (stored.isEmpty()) {
            QCOMPARE(t.stationBytes(), old);
            QCOMPARE(t.lblCurrLoc()->text(), prefix + "d:\\old");
            QCOMPARE(t.unloaded->count(), 0);
            return;
        }
        QCOMPARE(t.stationBytes(), stored + "\r\n" + ones + "\r\n");
        QCOMPARE(t.lblCurrLoc()->text(), prefix + typed);
        QCOMPARE(t.lblCurrLoc()->textFormat(), Qt::PlainText);
        QCOMPARE(t.unloaded->count(), 1);
        t.create();
        QVERIFY(t.window->load());
        QCOMPARE(t.txtPath()->text(), typed);
    }

    void failedSaveIsReportedOnce() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        QVERIFY(QDir(t.drive.filePath("c/pelmora")).removeRecursively());
        t.txtPath()->setText("d:\\shared");
        t.click("cmdOk");
        QCOMPARE(t.failed->count(), 1);
        const QString report = t.failed->at(0).at(0).toString();
        QVERIFY2(report.contains(reported(t.stationFile)) && report.contains(missingFolderReason),
                 qPrintable(report));
        QCOMPARE(t.lblCurrLoc()->text(), prefix + "d:\\shared");
        QCOMPARE(t.unloaded->count(), 0);
        QVERIFY(!QFileInfo::exists(t.drive.filePath("c/pelmora")));
    }

    // What OK saves, the next start shows again, in the code page of the
    // station; a folder with a character outside it is refused.
    void savedSettingsComeBack_data() {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("line1"); // empty: refused
        QTest::newRow("1252") << 1252 << QStringLiteral("  \\\\server\\share\\caf\u00e9 ")
                              << QByteArray("\\\\server\\share\\caf\xe9\\pelmora.mdb");
        QTest::newRow("1252, Cyrillic") << 1252 << QStringLiteral("d:\\\u0436") << QByteArray();
        QTest::newRow("1251") << 1251 << QStringLiteral("d:\\\u0414\u0430\u043d\u043d\u044b\u0435")
                              << QByteArray("d:\\\xc4\xe0\xed\xed\xfb\xe5\\pelmora.mdb");
        QTest::newRow("1251, accent") << 1251 << QStringLiteral("d:\\caf\u00e9") << QByteArray();
        QTest::newRow("932") << 932 << QStringLiteral("d:\\\u8868\\\u8868")
                             << QByteArray("d:\\\x95\x5c\\\x95\x5c\\pelmora.mdb");
        QTest::newRow("932, accent") << 932 << QStringLiteral("d:\\caf\u00e9") << QByteArray();
    }

    void savedSettingsComeBack() {
        QFETCH(int, codePage);
        QFETCH(QString, typed);
        QFETCH(QByteArray, line1);
        SKIP_UNLESS_STATION_CODE_PAGE(codePage);
        const QString states = digits("0120120120210", u'2');
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText(typed);
        t.setValues(states);
        t.click("cmdOk");
        if (line1.isEmpty()) {
            QCOMPARE(t.stationBytes(), "<no file>");
            QCOMPARE(t.unloaded->count(), 0);
            return;
        }
        QCOMPARE(t.stationBytes(), line1 + "\r\n" + states.toLatin1() + "\r\n");
        QCOMPARE(t.lblCurrLoc()->text(), prefix + typed);
        QCOMPARE(t.unloaded->count(), 1);
        QVERIFY(t.loadAndShow());
        QCOMPARE(t.txtPath()->text(), typed.trimmed());
        QCOMPARE(t.lblCurrLoc()->text(), prefix + typed.trimmed());
        QCOMPARE(t.values(), states);
    }
};

QTEST_MAIN(TestLoadSave)
#include "tst_loadsave.moc"
