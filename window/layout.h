#pragma once

#include <QRect>
#include <array>
#include <string_view>

// The settings window's fixed layout, in twips (15 to the pixel at 96 dpi),
// origin at the top-left corner of the client area.

inline constexpr int twipsPerPixel = 15;

struct TwipsRect {
    int left, top, width, height;

    constexpr int right() const { return left + width; }
    QRect toPixels() const {
        return {left / twipsPerPixel, top / twipsPerPixel, width / twipsPerPixel,
                height / twipsPerPixel};
    }
};

inline constexpr TwipsRect clientArea{0, 0, 12510, 8430};

enum class ControlKind { Label, TextBox, Button };
enum class Alignment { Left, Centre, Right };

// Every control but the check boxes and the lines, in order of their top
// edge: its kind, initial caption, place, tab stop and, for labels, alignment
// and frame.
struct PlacedControl {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    TwipsRect rect;
    int tabIndex;
    Alignment alignment;
    bool framed;
};

// A catalogue check box's place and tab stop, column by column as the boxes
// stand on screen; `under` names the heading label the box stands under.
struct PlacedBox {
    std::string_view name;
    TwipsRect rect;
    int tabIndex;
    std::string_view under;
};

// A line from (x1, y1) to (x2, y2).
struct LineEnds {
    std::string_view name;
    int x1, y1, x2, y2;
};

// The own font of a label that has one.
struct LabelFont {
    std::string_view label;
    std::string_view face;
    double points;
    bool bold;
    bool italic;
};

inline constexpr int lineWidthPixels = 2;

extern const std::array<PlacedControl, 28> placedControls;
extern const std::array<PlacedBox, 100> placedBoxes;
extern const std::array<LineEnds, 4> lineEnds;
extern const std::array<LabelFont, 2> labelFonts;

// The place of the check box of that name; the name must be a box's.
const PlacedBox& placedBox(std::string_view name);
// The place of the other control of that name; the name must be one's.
const PlacedControl& placedControl(std::string_view name);
