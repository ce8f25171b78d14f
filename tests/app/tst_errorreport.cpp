#include "errorreport.h"
#include "platform.h"
#include "startup.h"
#include "stationfile.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestErrorReport : public QObject {
    Q_OBJECT

    QStringList m_shown;

private slots:
    void init() {
        m_shown.clear();
        ErrorReport::setPresenter([this](const QString& text) { m_shown << text; });
    }

    void cleanup() { ErrorReport::setPresenter({}); }

    // A station file that cannot be read ends the program before the window shows.
    void startUpFailureIsReportedOnceAndEndsTheProgram() {
        QTemporaryDir drive;
        QVERIFY(QDir().mkpath(drive.filePath("c/pelmora")));
        const QString stationFile = stationFilePath(drive.path());
        const UnreadableFile unreadable(stationFile);
        QVERIFY(unreadable.made());
        QCOMPARE(runLarkspur(stationFile), ErrorReport::failureExitCode);
        // Its words are tst_stationfile's to check.
        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown.first().contains(reported(stationFile)), qPrintable(m_shown.first()));
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }
};

QTEST_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
