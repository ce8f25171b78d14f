// The station start file's work, timed: in memory, reading it into a folder
// and 100 values and composing the bytes a save writes; then a whole save on
// the benchmark's drive, flushes included, for comparison with OK's cost.
#include "stationfile.h"
#include "stationformat.h"

#include <QTemporaryDir>
#include <QTest>

class BenchStationFile : public QObject {
    Q_OBJECT

    QByteArray m_bytes;
    BoxStates m_states{};

private slots:
    void initTestCase() {
        for (int position = 0; position < programCount; ++position)
            m_states[position] = BoxState(position % 3);
        const auto bytes = composeStationFile(u"d:\\shared", m_states);
        QVERIFY(bytes);
        m_bytes = *bytes;
    }

    void readFolderAndValues() {
        int valueSum = 0;
        QBENCHMARK {
            const auto fields = readStationFields(decodeStationText(m_bytes));
            valueSum += int(databaseFolder(fields->databasePath).size());
            for (int position = 1; position <= programCount; ++position)
                valueSum += int(programFlag(fields->programFlags, position).value());
        }
        QVERIFY(valueSum > 0);
    }

    void composeForSaving() {
        qsizetype size = 0;
        QBENCHMARK {
            size += composeStationFile(u"d:\\shared", m_states)->size();
        }
        QVERIFY(size >= m_bytes.size());
    }

    void saveOnDisk() {
        QTemporaryDir folder(BENCH_DRIVE "/save-XXXXXX");
        QVERIFY(folder.isValid());
        const QString path = folder.filePath("pelstart.dat");
        QBENCHMARK {
            writeStationFile(path, m_bytes);
        }
    }
};

QTEST_MAIN(BenchStationFile)
#include "bench_stationfile.moc"
