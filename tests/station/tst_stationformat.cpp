#include "codepage.h"
#include "platform.h"
#include "stationformat.h"
#include "texts.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Windows-1252 as an independent source has it: ICU, through Qt, on Linux;
// on Windows, which builds Qt without ICU, the system's own code page 1252.
#ifdef Q_OS_WIN
QString referenceDecode(const QByteArray& bytes) {
    std::wstring text(bytes.size(), L'\0');
    const int length = MultiByteToWideChar(1252, 0, bytes.constData(), int(bytes.size()),
                                           text.data(), int(text.size()));
    return QString::fromWCharArray(text.data(), length);
}

std::optional<QByteArray> referenceEncode(QChar c) {
    const wchar_t unit = c.unicode();
    char byte = 0;
    BOOL lacking = FALSE;
    const int length =
        WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, &unit, 1, &byte, 1, nullptr, &lacking);
    if (length != 1 || lacking || referenceDecode(QByteArray(1, byte)) != c)
        return std::nullopt;
    return QByteArray(1, byte);
}
#else
QString referenceDecode(const QByteArray& bytes) {
    return QStringDecoder("windows-1252").decode(bytes);
}

std::optional<QByteArray> referenceEncode(QChar c) {
    QStringEncoder encoder("windows-1252");
    const QByteArray byte = encoder.encode(QStringView(&c, 1));
    if (encoder.hasError() || referenceDecode(byte) != c)
        return std::nullopt;
    return byte;
}
#endif

// The states the flags name, as digits; "-" for a flag that names none.
QString allValues(const std::optional<StationFields>& fields) {
    QString digits;
    for (int position = 1; position <= programCount; ++position) {
        const auto state = programFlag(fields->programFlags, position);
        digits += state ? flagDigit(*state) : QChar(u'-');
    }
    return digits;
}

// Rows of the tables below, whose texts and bytes convert to their columns' types.
void writerRow(const char* tag, const QString& pathBox, const QString& states,
               const QByteArray& bytes) {
    QTest::newRow(tag) << pathBox << states << bytes;
}

void refusalRow(const char* tag, const QString& pathBox, const QString& says) {
    QTest::newRow(tag) << pathBox << says;
}

void readerRow(const char* tag, const QByteArray& file, const QString& folder,
               const QString& expected) {
    QTest::newRow(tag) << file << folder << expected;
}

BoxStates statesFrom(const QString& digits) {
    BoxStates states{};
    for (int i = 0; i < programCount; ++i)
        states[i] = programFlag(digits, i + 1).value();
    return states;
}

const QString line1 = QStringLiteral("d:\\shared\\pelmora.mdb");

} // namespace

class TestStationFormat : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(inTheCodePageAskedFor(), "Wine did not take the locale's code page");
    }

    // Where the station's code page is Windows-1252 (a station in the United
    // States, and always outside Windows), it agrees with it for every byte
    // and every UTF-16 code unit.
    void codePageIsWindows1252() {
        SKIP_UNLESS_STATION_CODE_PAGE(1252);
        for (int code = 0; code < 256; ++code) {
            const QByteArray byte(1, char(code));
            const QString text = decodeCodePage(byte);
            QCOMPARE(text, referenceDecode(byte));
            QCOMPARE(encodeCodePage(text), byte);
        }
        for (int unit = 0; unit <= 0xFFFF; ++unit) {
            const QChar c(static_cast<char16_t>(unit));
            QCOMPARE(encodeCodePage(QStringView(&c, 1)), referenceEncode(c));
        }
    }

    // Each station's code page, both ways; a character it lacks has no bytes.
    void codePageText_data() {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // empty: outside the code page
        for (const CodePageFolder& folder : codePageFolders)
            QTest::newRow(folder.tag) << folder.codePage << folder.text << folder.bytes;
    }

    void codePageText() {
        QFETCH(int, codePage);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        SKIP_UNLESS_STATION_CODE_PAGE(codePage);
        if (bytes.isEmpty()) {
            QCOMPARE(encodeCodePage(text), std::nullopt);
            return;
        }
        QCOMPARE(encodeCodePage(text), bytes);
        QCOMPARE(decodeCodePage(bytes), text);
    }

    void writerBytes_data() {
        QTest::addColumn<QString>("pathBox");
        QTest::addColumn<QString>("states");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray ones(100, '1');
        writerRow("worked example", "d:\\shared", flagDigits({}, u'1'),
                  "d:\\shared\\pelmora.mdb\r\n" + ones + "\r\n");
        writerRow("grayed first box", "d:\\shared", flagDigits("21"),
                  "d:\\shared\\pelmora.mdb\r\n21" + QByteArray(98, '0') + "\r\n");
        writerRow("trailing backslash", "d:\\shared\\", flagDigits({}, u'1'),
                  "d:\\shared\\\\pelmora.mdb\r\n" + ones + "\r\n");
        writerRow("spaces around the folder", "  d:\\shared  ", flagDigits({}, u'1'),
                  "d:\\shared\\pelmora.mdb\r\n" + ones + "\r\n");
        writerRow("only spaces", "   ", flagDigits({}, u'1'), "\\pelmora.mdb\r\n" + ones + "\r\n");
        writerRow("tabs are not trimmed", "\td:\\x\t", flagDigits({}, u'1'),
                  "\td:\\x\t\\pelmora.mdb\r\n" + ones + "\r\n");
        writerRow("quote inside", "d:\\a\"b", flagDigits({}, u'1'),
                  "d:\\a\"b\\pelmora.mdb\r\n" + ones + "\r\n");
    }

    void writerBytes() {
        QFETCH(QString, pathBox);
        QFETCH(QString, states);
        QFETCH(QByteArray, bytes);
        QCOMPARE(composeStationFile(pathBox, statesFrom(states)), std::optional(bytes));
    }

    // Refused, and the operator told why.
    void refusesWhatCannotBeReadBack_data() {
        QTest::addColumn<QString>("pathBox");
        QTest::addColumn<QString>("says");
        refusalRow("comma", "d:\\my,data", "only up to its comma");
        refusalRow("leading quote", "\"d:\\x\"", "without its quotes");
        refusalRow("quote after trimmed spaces", "  \"d:\\x", "without its quotes");
        refusalRow("line feed", "d:\\a\nb", "line break");
        refusalRow("carriage return", "d:\\a\rb", "line break");
        refusalRow("outside the BMP", QStringLiteral("d:\\\U0001F600"),
                   QStringLiteral("code page has no \"\U0001F600\""));
        refusalRow("longer than the reader reads", QString(maxStationFileBytes - 115, u'x'),
                   "too long");
    }

    void refusesWhatCannotBeReadBack() {
        QFETCH(QString, pathBox);
        QFETCH(QString, says);
        QCOMPARE(composeStationFile(pathBox, statesFrom(flagDigits({}, u'1'))), std::nullopt);
        QVERIFY2(folderRefusal(pathBox).contains(says), qPrintable(folderRefusal(pathBox)));
    }

    void reader_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        const QByteArray head = line1.toLatin1() + "\r\n";
        readerRow("worked example", head + QByteArray(100, '1') + "\r\n", "d:\\shared",
                  flagDigits({}, u'1'));
        readerRow("line 1 only", head, "d:\\shared", flagDigits({}, u'1'));
        readerRow("line 1 without line end", line1.toLatin1(), "d:\\shared", flagDigits({}, u'1'));
        readerRow("line 2 empty", head + "\r\n", "d:\\shared", flagDigits({}));
        readerRow("line 2 of 60", head + QByteArray(60, '1') + "\r\n", "d:\\shared",
                  flagDigits(QString(60, u'1')));
        readerRow("line 2 over 100", head + QByteArray(100, '2') + "1111\r\n", "d:\\shared",
                  flagDigits({}, u'2'));
        readerRow("non-digits", head + "11 1.a79\xb2\r\n", "d:\\shared", flagDigits("110100--"));
        readerRow("further lines ignored", head + QByteArray(100, '0') + "\r\n1,2\r\n",
                  "d:\\shared", flagDigits({}));
        readerRow("line 1 is the suffix", "\\pelmora.mdb\r\n1\r\n", "", flagDigits("1"));
        readerRow("line 1 of 5", "d:\\ab\r\n2\r\n", "d:\\ab", flagDigits("2"));
        readerRow("other 12 characters", "d:\\shared\\other.mdb\r\n", "d:\\shar",
                  flagDigits({}, u'1'));
        readerRow("comma in line 1", "d:\\my,data\\pelmora.mdb\r\n" + QByteArray(100, '1'),
                  "d:\\my", flagDigits({}));
        readerRow("comma then digits", "d:\\my,12\r\n" + QByteArray(100, '0'), "d:\\my",
                  flagDigits("12"));
        readerRow("quoted comma", "\"d:\\my,data\\pelmora.mdb\"\r\n" + QByteArray(100, '1'),
                  "d:\\my,data", flagDigits({}, u'1'));
        readerRow("empty line 1", "\r\n1111\r\n", "", flagDigits("1111"));
        // Cases the writer never produces; each read as leniently as the rules allow.
        readerRow("spaces around fields", "  " + line1.toLatin1() + "  \r\n  1111  \r\n",
                  "d:\\shared", flagDigits("1111"));
        readerRow("lone LF", line1.toLatin1() + "\n2222\n", "d:\\shared", flagDigits("2222"));
        readerRow("lone CR", line1.toLatin1() + "\r2222\r", "d:\\shared", flagDigits("2222"));
        readerRow("unclosed quote ends at line end", "\"" + line1.toLatin1() + "\r\n1212\r\n",
                  "d:\\shared", flagDigits("1212"));
        readerRow("text after closing quote skipped", "\"" + line1.toLatin1() + "\"xyz\r\n1212\r\n",
                  "d:\\shared", flagDigits("1212"));
        readerRow("quoted field 2", head + "\"12,21\"\r\n", "d:\\shared", flagDigits("12021"));
        readerRow("control bytes", QByteArray("\x01\x1a\x00,9", 5), "\x01\x1a" + QString(QChar(0)),
                  flagDigits("-"));
    }

    void reader() {
        QFETCH(QByteArray, file);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        const auto fields = readStationFields(decodeStationText(file));
        QVERIFY(fields);
        QCOMPARE(databaseFolder(fields->databasePath), folder);
        QCOMPARE(allValues(fields), expected);
    }

    void noFieldOne_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only spaces") << QByteArray("    ");
    }

    void noFieldOne() {
        QFETCH(QByteArray, file);
        QCOMPARE(readStationFields(decodeStationText(file)), std::nullopt);
    }

    // Every folder that is accepted comes back trimmed; every state vector
    // exactly. The characters are those the reader treats apart, control
    // characters, and ones in and outside the code page.
    void roundTrip() {
        const QString pool = QStringLiteral("ab:\\ ,\"\t\x01\u00e9\u20ac\u0436.9");
        QRandomGenerator random(20261208);
        int accepted = 0;
        for (int run = 0; run < 2000; ++run) {
            QString folder;
            for (int length = random.bounded(30); length > 0; --length)
                folder += pool.at(random.bounded(pool.size()));
            QString digits;
            for (int i = 0; i < programCount; ++i)
                digits += QChar(u'0' + random.bounded(3));
            const auto bytes = composeStationFile(folder, statesFrom(digits));
            if (!bytes)
                continue;
            ++accepted;
            const auto fields = readStationFields(decodeStationText(*bytes));
            QVERIFY(fields);
            QCOMPARE(databaseFolder(fields->databasePath), trimSpaces(folder));
            QCOMPARE(allValues(fields), digits);
        }
        QVERIFY(accepted > 200);
    }
};

QTEST_MAIN(TestStationFormat)
#include "tst_stationformat.moc"
