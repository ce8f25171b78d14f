#include "catalogue.h"
#include "layout.h"
#include "placement.h"

#include <QTest>
#include <algorithm>
#include <map>
#include <set>
#include <vector>

// Holds the layout tables to the window's layout rules instead of copying them,
// and the window's frame to where it goes on a screen.
namespace {

const PlacedControl& control(std::string_view name) {
    return *std::ranges::find(placedControls, name, &PlacedControl::name);
}

int lineAt(std::string_view name, int LineEnds::* coordinate) {
    return std::ranges::find(lineEnds, name, &LineEnds::name)->*coordinate;
}

// The menu heading of the column, or middle-column section, that holds a point.
std::string_view menuLabelAt(int x, int y) {
    if (x < lineAt("Line1", &LineEnds::x1))
        return "lblFMMenu";
    if (x >= lineAt("Line2", &LineEnds::x1))
        return "lblReports";
    if (y < lineAt("Line3", &LineEnds::y1))
        return "Label1";
    return y < lineAt("Line5", &LineEnds::y1) ? "lblInq" : "Label2";
}

bool isGroupHeading(const PlacedControl& control) {
    return control.kind == ControlKind::Label && control.caption.ends_with(" -->");
}

// A box belongs to the nearest group heading above it in its column or
// section with the same left edge; without one, to its menu heading.
std::string_view headingOf(const PlacedBox& box) {
    const std::string_view menu = menuLabelAt(box.rect.left, box.rect.top);
    const PlacedControl* nearest = nullptr;
    for (const PlacedControl& control : placedControls) {
        if (isGroupHeading(control) && control.rect.left == box.rect.left &&
            control.rect.top < box.rect.top &&
            menuLabelAt(control.rect.left, control.rect.top) == menu &&
            (!nearest || control.rect.top > nearest->rect.top))
            nearest = &control;
    }
    return nearest ? nearest->name : menu;
}

// Runs of boxes that stack: the same heading and left edge, in table order.
std::map<std::pair<std::string_view, int>, std::vector<const PlacedBox*>> stacks() {
    std::map<std::pair<std::string_view, int>, std::vector<const PlacedBox*>> runs;
    for (const PlacedBox& box : placedBoxes)
        runs[{box.under, box.rect.left}].push_back(&box);
    return runs;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void tabIndexesRunFrom0To127Once() {
        std::multiset<int> indexes;
        for (const PlacedControl& control : placedControls)
            indexes.insert(control.tabIndex);
        for (const PlacedBox& box : placedBoxes)
            indexes.insert(box.tabIndex);
        std::multiset<int> expected;
        for (int i = 0; i < 128; ++i)
            expected.insert(i);
        QCOMPARE(indexes, expected);
    }

    void namesAreUniqueAndBoxesAreTheCatalogues() {
        std::set<std::string_view> names;
        for (const PlacedControl& control : placedControls)
            QVERIFY(names.insert(control.name).second);
        for (const LineEnds& line : lineEnds)
            QVERIFY(names.insert(line.name).second);
        std::set<std::string_view> boxNames, catalogueNames;
        for (const PlacedBox& box : placedBoxes) {
            QVERIFY(names.insert(box.name).second);
            boxNames.insert(box.name);
        }
        for (const CatalogueEntry& entry : programCatalogue)
            catalogueNames.insert(entry.boxName);
        QCOMPARE(boxNames, catalogueNames);
    }

    void everyRectangleIsWholePixels() {
        auto whole = [](const TwipsRect& r) {
            return r.left % twipsPerPixel == 0 && r.top % twipsPerPixel == 0 &&
                   r.width % twipsPerPixel == 0 && r.height % twipsPerPixel == 0;
        };
        QVERIFY(whole(clientArea));
        for (const PlacedControl& control : placedControls)
            QVERIFY2(whole(control.rect), control.name.data());
        for (const PlacedBox& box : placedBoxes)
            QVERIFY2(whole(box.rect), box.name.data());
    }

    void boxesInAStackStand240Apart() {
        for (const auto& [key, run] : stacks()) {
            for (std::size_t i = 1; i < run.size(); ++i)
                QVERIFY2(run[i]->rect.top - run[i - 1]->rect.top == 240, run[i]->name.data());
        }
    }

    void firstBoxStandsItsOffsetBelowItsHeading() {
        const std::map<std::string_view, int> offsets{
            {"lblGift", 240}, {"lblWork", 240}, {"lblUtil", 300}, {"lblBingo", 300}};
        for (const auto& [key, run] : stacks()) {
            const PlacedControl& heading = control(key.first);
            if (!isGroupHeading(heading))
                continue;
            const auto offset = offsets.find(heading.name);
            const int expected = offset == offsets.end() ? 360 : offset->second;
            QVERIFY2(run.front()->rect.top - heading.rect.top == expected,
                     run.front()->name.data());
        }
        for (std::string_view name : {"chkPM", "chkMJS", "chkVEJ"})
            QCOMPARE(placedBox(name).rect.top - control(placedBox(name).under).rect.top, 360);
        QCOMPARE(control("lblRegUp").rect.top - control("Label1").rect.top, 360);
    }

    void membershipRuleGivesTheCataloguesHeadings() {
        for (const CatalogueEntry& entry : programCatalogue) {
            const PlacedBox& box = placedBox(entry.boxName);
            const PlacedControl& heading = control(headingOf(box));
            const PlacedControl& menu = control(menuLabelAt(box.rect.left, box.rect.top));
            QCOMPARE(heading.name, box.under);
            QCOMPARE(menu.caption, entry.menuHeading);
            QCOMPARE(isGroupHeading(heading) ? heading.caption : std::string_view(),
                     entry.groupHeading);
        }
    }

    // The window, 834 by 562, in a frame of 4 a side below a 30-pixel title
    // bar: centred on the screen's available area as far as it fits.
    void frameIsCentredAsFarAsItFits_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("larger screen") << QRect(0, 0, 1280, 800) << QPoint(219, 102);
        QTest::newRow("task bar on the left") << QRect(48, 0, 1232, 800) << QPoint(243, 102);
        QTest::newRow("lower screen: title bar kept on it")
            << QRect(0, 0, 1024, 500) << QPoint(91, 0);
        QTest::newRow("narrower screen: left edge kept on it")
            << QRect(0, 40, 800, 600) << QPoint(0, 42);
    }

    void frameIsCentredAsFarAsItFits() {
        QFETCH(QRect, available);
        QFETCH(QPoint, position);
        QCOMPARE(centredFramePosition(available, {4, 30, 4, 4}, clientArea.toPixels().size()),
                 position);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
