#pragma once

#include <QString>
#include <array>
#include <string_view>

// The suite's programs in the order of the availability flags. Every pass over
// the check boxes, and every character of the flags, follows this order.
struct CatalogueEntry {
    int position;
    std::string_view boxName;
    std::string_view caption;
    std::string_view menuHeading;
    std::string_view groupHeading; // empty: the box stands directly under its menu heading
};

inline constexpr int programCount = 100;

extern const std::array<CatalogueEntry, programCount> programCatalogue;

// The catalogue's and the layout's names and captions are plain ASCII.
inline QString toQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
