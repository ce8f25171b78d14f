#include "catalogue.h"

#include <QTest>
#include <set>

class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void positionsRunFromOneToHundredInOrder() {
        for (int i = 0; i < programCount; ++i)
            QCOMPARE(programCatalogue[i].position, i + 1);
    }

    void equalCaptionsAreDistinctBoxes_data() {
        QTest::addColumn<int>("dailyPosition");
        QTest::addColumn<int>("otherPosition");
        QTest::newRow("Department Sales") << 63 << 75;
        QTest::newRow("Jar Sales") << 64 << 71;
        QTest::newRow("Preset Sales") << 65 << 77;
        QTest::newRow("Key Sales") << 66 << 76;
    }

    void equalCaptionsAreDistinctBoxes() {
        QFETCH(int, dailyPosition);
        QFETCH(int, otherPosition);
        const CatalogueEntry& daily = programCatalogue[dailyPosition - 1];
        const CatalogueEntry& other = programCatalogue[otherPosition - 1];
        QCOMPARE(daily.caption, std::string_view(QTest::currentDataTag()));
        QCOMPARE(other.caption, daily.caption);
        QVERIFY(other.boxName != daily.boxName);
        QCOMPARE(daily.groupHeading, std::string_view("Daily -->"));
        QVERIFY(other.groupHeading != daily.groupHeading);
    }

    void onlyTwoCaptionsEndInASpace() {
        std::set<int> positions;
        for (const CatalogueEntry& entry : programCatalogue) {
            if (entry.caption.ends_with(' '))
                positions.insert(entry.position);
        }
        QCOMPARE(positions, (std::set<int>{43, 74}));
    }
};

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
