#include "windowundertest.h"

#include <QAccessible>
#include <QApplication>
#include <QSet>

// The window's wiring: what it is made of, how the keyboard moves through
// it, what the buttons and boxes do. The layout tables themselves are held
// to the layout rules in tst_layout.
namespace {

QAccessibleInterface* accessible(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

} // namespace

class TestFrmLarkspur : public QObject {
    Q_OBJECT

private slots:
    void createdInItsInitialState() {
        WindowUnderTest t;
        frmLarkspur& window = t.create();
        QCOMPARE(window.objectName(), "frmLarkspur");
        QCOMPARE(window.windowTitle(), windowTitle);
        QCOMPARE(window.size(), QSize(834, 562));
        QCOMPARE(t.values(), flagDigits({}, u'1'));
        QCOMPARE(t.txtPath()->text(), "c:\\pelmora");
        QCOMPARE(t.lblCurrLoc()->text(), "");
    }

    // Catalogue positions reach their own boxes (which the station file's
    // flags depend on), and controls stand where the layout says, in pixels.
    void boxesAndControlsInTheirPlaces_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("first") << 1 << "chkTTT"
                               << "Tip Jar Types" << QRect(24, 112, 129, 17);
        QTest::newRow("33, on screen after 17") << 33 << "chkBPC"
                                                << "Bulk Price Changes" << QRect(24, 472, 137, 17);
        QTest::newRow("71, the other Jar Sales") << 71 << "chkMJS"
                                                 << "Jar Sales" << QRect(688, 96, 113, 13);
        QTest::newRow("last") << 100 << "chkBinPurge"
                              << "Purge Bingo History" << QRect(168, 536, 161, 13);
        QTest::newRow("a framed label")
            << 0 << "lblAvail"
            << "Available programs on this station:" << QRect(0, 48, 825, 25);
        QTest::newRow("a button") << 0 << "cmdOk"
                                  << "OK" << QRect(344, 520, 81, 33);
    }

    void boxesAndControlsInTheirPlaces() {
        QFETCH(int, position);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, pixels);
        WindowUnderTest t;
        t.create();
        QWidget* control = position ? t.window->box(position) : t.find<QWidget>(name);
        QVERIFY(control);
        QCOMPARE(control->objectName(), name);
        QCOMPARE(control->property("text").toString(), caption);
        QCOMPARE(control->geometry(), pixels);
    }

    // A screen reader reads every control as the caption it shows, the path
    // box as its label's, the lines as separators and the window as a window.
    void controlsReadAsTheirCaptions() {
        WindowUnderTest t;
        t.create();
        for (QWidget* control : t.window->findChildren<QWidget*>()) {
            const QString shown = control->property("text").toString();
            if (qobject_cast<QAbstractButton*>(control) ||
                (qobject_cast<QLabel*>(control) && !shown.isEmpty()))
                QCOMPARE(accessible(control)->text(QAccessible::Name), shown);
        }
        QCOMPARE(accessible(t.txtPath())->text(QAccessible::Name), "Path To DataBase");
        for (const char* line : {"Line1", "Line2", "Line3", "Line5"})
            QCOMPARE(accessible(t.find<QWidget>(line))->role(), QAccessible::Separator);
        QCOMPARE(accessible(t.window.get())->role(), QAccessible::Window);
    }

    // Paths come from files and the operator: no label reads them as markup.
    void labelsShowPlainText() {
        WindowUnderTest t;
        t.create();
        for (QLabel* label : t.window->findChildren<QLabel*>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    // Tab visits the 105 controls that take the focus once each, in tab index
    // order: that order differs from the catalogue's and from the screen's.
    void tabRunsRoundInTabIndexOrder() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int step = 0; step < 105; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited.mid(0, 4), QStringList({"txtPath", "cmdOk", "cmdQuit", "chkTTT"}));
        QCOMPARE(visited.mid(102),
                 QStringList({"chkBinPurge", "cmdCheckAll", "cmdClearAll", "txtPath"}));
        QCOMPARE(QSet<QString>(visited.begin(), visited.end()).size(), 105);
        for (const QStringList& pair :
             {QStringList{"chkPLS", "chkGTKD"}, QStringList{"chkBAUD", "chkMRA"},
              QStringList{"chkPOM", "chkT"}, QStringList{"chkIM", "chkModM"}})
            QVERIFY2(visited.indexOf(pair[1]) == visited.indexOf(pair[0]) + 1,
                     qPrintable(pair.join(" then ")));
    }

    void checkAllAndClearAllSetEveryBox_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("check all from mixed")
            << QStringLiteral("cmdCheckAll") << flagDigits("0120", u'2') << flagDigits({}, u'1');
        QTest::newRow("check all when checked")
            << QStringLiteral("cmdCheckAll") << flagDigits({}, u'1') << flagDigits({}, u'1');
        QTest::newRow("clear all from grayed")
            << QStringLiteral("cmdClearAll") << flagDigits({}, u'2') << flagDigits({});
        QTest::newRow("clear all from mixed")
            << QStringLiteral("cmdClearAll") << flagDigits("2101", u'1') << flagDigits({});
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
        QCOMPARE(t.lblCurrLoc()->text(), noPathCaption);
        QCOMPARE(t.savedBytes(), "<no file>");
        QVERIFY(t.window->isVisible());
    }

    // Enter on a focused button presses it (tst_realwindow); elsewhere, nothing.
    void enterAndEscapePressNothing() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        t.txtPath()->setText("d:\\shared");
        QTest::keyClick(t.txtPath(), Qt::Key_Return);
        QTest::keyClick(t.txtPath(), Qt::Key_Enter);
        QTest::keyClick(t.txtPath(), Qt::Key_Escape);
        QTest::keyClick(t.window->box(1), Qt::Key_Return);
        QTest::keyClick(t.window->box(1), Qt::Key_Escape);
        QTest::keyClick(t.window.get(), Qt::Key_Escape);
        QVERIFY(t.window->isVisible());
        QCOMPARE(t.unloaded->count(), 0);
        QCOMPARE(t.savedBytes(), "<no file>");
        QCOMPARE(t.txtPath()->text(), "d:\\shared");
    }

    // The real program ends by QUIT and by the close command (tst_realwindow);
    // here, that closing unloads the window once, however often, saving nothing.
    void closingUnloadsOnceAndSavesNothing() {
        WindowUnderTest t;
        QVERIFY(writeFile(t.stationFile, "d:\\x\\pelmora.mdb\r\n"));
        QVERIFY(t.loadAndShow());
        t.click("cmdClearAll");
        t.window->close();
        t.window->close();
        QCOMPARE(t.unloaded->count(), 1);
        QVERIFY(!t.window->isVisible());
        QCOMPARE(t.savedBytes(), "d:\\x\\pelmora.mdb\r\n");
    }

    void operatorTogglesOnlyBetweenUncheckedAndChecked() {
        WindowUnderTest t;
        QVERIFY(t.loadAndShow());
        ProgramCheckBox* box = t.window->box(5);
        box->setState(BoxState::Grayed);
        QCOMPARE(box->checkState(), Qt::PartiallyChecked);
        QStringList seen;
        for (int click = 0; click < 3; ++click) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
            seen << flagDigit(box->state());
        }
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        seen << flagDigit(box->state());
        QCOMPARE(seen, QStringList({"1", "0", "1", "0"}));
    }
};

QTEST_MAIN(TestFrmLarkspur)
#include "tst_frmlarkspur.moc"
