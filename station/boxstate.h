#pragma once

#include <optional>

// A check box's state as the station file stores it: the digit is the value.
enum class BoxState { Unchecked = 0, Checked = 1, Grayed = 2 };

// The states a box accepts; any other value (3 to 9 from a foreign file) names none.
constexpr std::optional<BoxState> boxStateFromValue(int value) {
    switch (value) {
    case 0:
        return BoxState::Unchecked;
    case 1:
        return BoxState::Checked;
    case 2:
        return BoxState::Grayed;
    default:
        return std::nullopt;
    }
}

constexpr int boxValue(BoxState state) {
    return static_cast<int>(state);
}
