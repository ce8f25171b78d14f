#include "layout.h"
#include "windowtesting.h"

#include <QAccessible>
#include <QApplication>

namespace {
QString toQString(std::string_view text) {
    return QString::fromLatin1(text.data(), text.size());
}

QString accessibleName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}
} // namespace

class TestFrmLarkspur : public QObject {
    Q_OBJECT

private slots:
    void createdWithTheTablesInitialState() {
        WindowUnderTest t;
        frmLarkspur& window = t.create();
        QCOMPARE(window.objectName(), "frmLarkspur");
        QCOMPARE(window.windowTitle(), "Pelmora - Set/Change Path to Database");
        QCOMPARE(window.size(), QSize(834, 562));
        QCOMPARE(t.values(), digits({}, u'1'));
        QCOMPARE(t.txtPath()->text(), "c:\\pelmora");
        QCOMPARE(t.lblCurrLoc()->text(), "");
        for (const ControlSpec& spec : controlTable) {
            auto* control = t.find<QWidget>(toQString(spec.name));
            QVERIFY2(control, spec.name.data());
            QCOMPARE(control->geometry(), spec.rect.toPixels());
        }
        for (const CatalogueEntry& entry : programCatalogue) {
            ProgramCheckBox* box = window.box(entry.position);
            QCOMPARE(box->objectName(), toQString(entry.boxName));
            QCOMPARE(box->text(), toQString(entry.caption));
            QCOMPARE(box->geometry(), boxSpec(entry.boxName).rect.toPixels());
        }
    }

    void controlsReadAsTheirCaptions() {
        WindowUnderTest t;
        t.create();
        for (const ControlSpec& spec : controlTable) {
            if (spec.name == "lblCurrLoc")
                continue;
            const QString expected =
                spec.name == "txtPath" ? "Path To DataBase" : toQString(spec.caption);
            QCOMPARE(accessibleName(t.find<QWidget>(toQString(spec.name))), expected);
        }
        for (const CatalogueEntry& entry : programCatalogue)
            QCOMPARE(accessibleName(t.window->box(entry.position)), toQString(entry.caption));
        for (const LineSpec& line : lineTable) {
            auto* widget = t.find<QWidget>(toQString(line.name));
            QCOMPARE(QAccessible::queryAccessibleInterface(widget)->role(), QAccessible::Separator);
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(t.window.get())->role(),
                 QAccessible::Window);
        t.lblCurrLoc()->setText("R&D <b>x</b>");
        QCOMPARE(accessibleName(t.lblCurrLoc()), "R&D <b>x</b>");
    }

    void labelsShowPlainText() {
        WindowUnderTest t;
        t.create();
        for (QLabel* label : t.window->findChildren<QLabel*>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void tabRunsRoundInTabIndexOrder() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int step = 0; step < 105; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QStringList expected{"txtPath", "cmdOk", "cmdQuit"};
        std::vector<const BoxSpec*> boxes;
        for (const BoxSpec& box : boxTable)
            boxes.push_back(&box);
        std::ranges::sort(boxes, {}, &BoxSpec::tabIndex);
        for (const BoxSpec* box : boxes)
            expected << toQString(box->name);
        expected << QStringLiteral("cmdCheckAll") << QStringLiteral("cmdClearAll") << "txtPath";
        QCOMPARE(visited, expected);
        QCOMPARE(visited.at(3), "chkTTT");
        QCOMPARE(visited.at(102), "chkBinPurge");
    }

    void checkAllAndClearAllSetEveryBox_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("check all from mixed")
            << QStringLiteral("cmdCheckAll") << digits("0120", u'2') << digits({}, u'1');
        QTest::newRow("check all when checked")
            << QStringLiteral("cmdCheckAll") << digits({}, u'1') << digits({}, u'1');
        QTest::newRow("clear all from grayed")
            << QStringLiteral("cmdClearAll") << digits({}, u'2') << digits({});
        QTest::newRow("clear all from mixed")
            << QStringLiteral("cmdClearAll") << digits("2101", u'1') << digits({});
    }

    void checkAllAndClearAllSetEveryBox() {
        QFETCH(QString, button);
        QFETCH(QString, before);
        QFETCH(QString, after);
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        t.setValues(before);
        t.txtPath()->setText("  typed, not saved ");
        t.click(button);
        QCOMPARE(t.values(), after);
        QCOMPARE(t.txtPath()->text(), "  typed, not saved ");
        QCOMPARE(t.lblCurrLoc()->text(), "Current Path is not defined");
        QCOMPARE(t.stationBytes(), "<no file>");
        QVERIFY(t.window->isVisible());
    }

    void enterAndEscapePressNothing() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText("d:\\shared");
        QTest::keyClick(t.txtPath(), Qt::Key_Return);
        QTest::keyClick(t.txtPath(), Qt::Key_Enter);
        QTest::keyClick(t.txtPath(), Qt::Key_Escape);
        QTest::keyClick(t.window->box(1), Qt::Key_Escape);
        QTest::keyClick(t.window.get(), Qt::Key_Escape);
        QVERIFY(t.window->isVisible());
        QCOMPARE(t.unloaded->count(), 0);
        QCOMPARE(t.stationBytes(), "<no file>");
        QCOMPARE(t.txtPath()->text(), "d:\\shared");
    }

    void everyCloseUnloadsOnce_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("QUIT") << true;
        QTest::newRow("close command") << false;
    }

    void everyCloseUnloadsOnce() {
        QFETCH(bool, byQuit);
        WindowUnderTest t;
        t.putStationFile("d:\\x\\pelmora.mdb\r\n");
        QVERIFY(t.loadAndShow());
        t.click("cmdClearAll");
        if (byQuit)
            t.click("cmdQuit");
        else
            t.window->close();
        t.window->close();
        QCOMPARE(t.unloaded->count(), 1);
        QVERIFY(!t.window->isVisible());
        QCOMPARE(t.stationBytes(), "d:\\x\\pelmora.mdb\r\n");
    }

    void boxRefusesOtherValues_data() {
        QTest::addColumn<int>("value");
        for (int value : {-1, 3, 4, 5, 6, 7, 8, 9, 49})
            QTest::addRow("%d", value) << value;
    }

    void boxRefusesOtherValues() {
        QFETCH(int, value);
        WindowUnderTest t;
        t.create();
        for (int kept : {0, 1, 2}) {
            t.window->box(5)->setValue(kept);
            QVERIFY_THROWS_EXCEPTION(InvalidBoxValue, t.window->box(5)->setValue(value));
            QCOMPARE(t.window->box(5)->value(), kept);
        }
    }

    void operatorTogglesOnlyBetweenUncheckedAndChecked() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        ProgramCheckBox* box = t.window->box(5);
        box->setValue(2);
        QCOMPARE(box->checkState(), Qt::PartiallyChecked);
        QStringList seen;
        for (int click = 0; click < 3; ++click) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
            seen << QString::number(box->value());
        }
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        seen << QString::number(box->value());
        QCOMPARE(seen, QStringList({"1", "0", "1", "0"}));
    }
};

QTEST_MAIN(TestFrmLarkspur)
#include "tst_frmlarkspur.moc"
