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

// Every control but the check boxes and the lines, in order of their top edge.
struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    TwipsRect rect;
    int tabIndex;
    Alignment alignment;
    bool framed;
};

// One check box per catalogue entry, column by column as they stand on screen;
// `under` names the heading label the box stands under.
struct BoxSpec {
    std::string_view name;
    TwipsRect rect;
    int tabIndex;
    std::string_view under;
};

struct LineSpec {
    std::string_view name;
    int x1, y1, x2, y2;
};

struct FontSpec {
    std::string_view control;
    std::string_view face;
    double points;
    bool bold;
    bool italic;
};

inline constexpr int lineWidthPixels = 2;

extern const std::array<ControlSpec, 28> controlTable;
extern const std::array<BoxSpec, 100> boxTable;
extern const std::array<LineSpec, 4> lineTable;
extern const std::array<FontSpec, 2> fontTable;

// The check box table's entry for a box name; the name must be in the table.
const BoxSpec& boxSpec(std::string_view name);
