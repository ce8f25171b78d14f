#include "errorreport.h"
#include "startup.h"
#include "stationfile.h"
#include "testplatform.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

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
        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown.first().startsWith("Cannot read the station start file \"" +
                                            reported(stationFile)),
                 qPrintable(m_shown.first()));
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    // Once shown, the window ends the program through the unload, with status 0.
    void closingEndsTheProgramWithStatusZero() {
        QTemporaryDir drive;
        QTimer::singleShot(0, [] {
            for (QWidget* window : QApplication::topLevelWidgets())
                window->close();
        });
        QCOMPARE(runLarkspur(stationFilePath(drive.path())), 0);
        QVERIFY(m_shown.isEmpty());
    }
};

QTEST_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
