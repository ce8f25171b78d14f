#include "files.h"
#include "realdisplay.h"
#include "stationformat.h"
#include "texts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

// The built program as a screen reader sees it: its whole accessible tree read
// over the accessibility bus, whatever the station start file holds.
namespace {

const QString stationFile = QStringLiteral(TEST_DRIVE "/c/pelmora/pelstart.dat");

// The sanitizer build runs everything several times slower.
int limitMs(int ms) {
    return ms * qMax(1, qEnvironmentVariableIntValue("LARKSPUR_SLOWDOWN"));
}

// Atspi.Role's numbers for the roles the window has; they never change.
enum AtspiRole { CheckBox = 7, Frame = 23, Label = 29, PushButton = 43, Separator = 50, Text = 61 };

struct Accessible {
    double seconds;
    int role;
    QRect extents;
    QString name;
};

QList<Accessible> parseTree(const QString& output) {
    QList<Accessible> tree;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        const QStringList box = fields.value(2).split(',');
        if (fields.size() != 4 || box.size() != 4)
            return {};
        tree.append({fields[0].toDouble(), fields[1].toInt(),
                     QRect(box[0].toInt(), box[1].toInt(), box[2].toInt(), box[3].toInt()),
                     fields[3]});
    }
    return tree;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

    RealDisplay m_display;
    QProcess m_program;

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
                 "needs a session bus of its own: dbus-run-session -- tst_accessibility");
        QVERIFY2(m_display.start(), "Xvfb is needed for the real-window tests");
        // What a screen reader does when it starts: the accessibility bus comes up and is on.
        QProcess enable;
        enable.start("dbus-send",
                     {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                      "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                      "string:IsEnabled", "variant:boolean:true"});
        QVERIFY(enable.waitForFinished());
        QVERIFY2(enable.exitCode() == 0, enable.readAllStandardError().constData());
    }

    void cleanup() { killIfRunning(m_program); }

    void everyControlAnswersQuickly_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("label");
        QTest::newRow("a station's file") << stationFileBytes("d:\\shared", QByteArray(100, '1'))
                                          << currentPathPrefix + "d:\\shared";
        QTest::newRow("one line of 20 MB")
            << QByteArray(20'000'000, 'x') + "\r\n"
            << currentPathPrefix + QString(maxStationFileBytes - databaseSuffix.size(), u'x');
    }

    void everyControlAnswersQuickly() {
        QFETCH(QByteArray, file);
        QFETCH(QString, label);
        QDir(TEST_DRIVE).removeRecursively();
        QVERIFY(QDir().mkpath(TEST_DRIVE "/c/pelmora"));
        QVERIFY(writeFile(stationFile, file));

        m_program.setProcessEnvironment(m_display.environment());
        m_program.start(LARKSPUR_PROGRAM);
        QVERIFY(m_program.waitForStarted());
        QElapsedTimer sinceStart;
        sinceStart.start();
        const QString window = m_display.windowTitled(windowTitle);
        QVERIFY(!window.isEmpty());
        // A window shows in about 0.1 s here, 0.5 s at most with both cores busy;
        // a file read whole would take 4 s with this one.
        const qint64 shownMs = sinceStart.elapsed();
        QVERIFY2(shownMs < limitMs(2000), qPrintable(QString("shown after %1 ms").arg(shownMs)));

        QProcess reader;
        reader.start(DEBIAN_PYTHON, {ACCESSIBLE_TREE_READER, windowTitle});
        QVERIFY(reader.waitForFinished(limitMs(30000)));
        QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
        const QList<Accessible> tree = parseTree(QString::fromUtf8(reader.readAllStandardOutput()));

        // The window, its 4 lines, 23 labels, the path box, 4 buttons and 100 check boxes.
        QCOMPARE(tree.size(), 133);
        QCOMPARE(tree.first().role, Frame);
        QMap<int, int> roles;
        double slowest = 0;
        for (const Accessible& accessible : tree) {
            ++roles[accessible.role];
            slowest = qMax(slowest, accessible.seconds);
            QVERIFY2(tree.first().extents.contains(accessible.extents),
                     qPrintable(accessible.name.left(60)));
        }
        const QMap<int, int> expectedRoles{{Frame, 1}, {Separator, 4},  {Label, 23},
                                           {Text, 1},  {PushButton, 4}, {CheckBox, 100}};
        QCOMPARE(roles, expectedRoles);
        QVERIFY2(slowest < limitMs(1000) / 1000.0,
                 qPrintable(QString("slowest answer %1 s").arg(slowest)));
        const auto currentPath = std::ranges::find_if(
            tree, [](const Accessible& a) { return a.name.startsWith("Current Path"); });
        QVERIFY(currentPath != tree.end());
        QCOMPARE(currentPath->name, label);
        qInfo("window shown after %lld ms; %lld objects read, the slowest in %.1f ms", shownMs,
              qlonglong(tree.size()), slowest * 1000);

        m_display.clickAt(window, centreOf("cmdQuit"));
        QCOMPARE(exitCodeOf(m_program), 0);
    }
};

QTEST_GUILESS_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
