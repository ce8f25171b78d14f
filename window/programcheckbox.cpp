#include "programcheckbox.h"

#include "boxstate.h"
#include "checkboxstyle.h"

#include <string>

namespace {
// Qt numbers its states differently (Checked is 2), so the mapping is spelt out.
Qt::CheckState toQt(BoxState state) {
    switch (state) {
    case BoxState::Unchecked:
        return Qt::Unchecked;
    case BoxState::Checked:
        return Qt::Checked;
    case BoxState::Grayed:
        return Qt::PartiallyChecked;
    }
    return Qt::Unchecked;
}

BoxState fromQt(Qt::CheckState state) {
    switch (state) {
    case Qt::Unchecked:
        return BoxState::Unchecked;
    case Qt::Checked:
        return BoxState::Checked;
    case Qt::PartiallyChecked:
        return BoxState::Grayed;
    }
    return BoxState::Unchecked;
}
} // namespace

InvalidBoxValue::InvalidBoxValue(int value)
    : std::invalid_argument("a check box holds 0, 1 or 2, not " + std::to_string(value)) {}

ProgramCheckBox::ProgramCheckBox(const QString& caption, QWidget* parent)
    : QCheckBox(caption, parent) {
    setStyle(CheckBoxStyle::instance());
}

int ProgramCheckBox::value() const {
    return boxValue(fromQt(checkState()));
}

void ProgramCheckBox::setValue(int value) {
    const auto state = boxStateFromValue(value);
    if (!state)
        throw InvalidBoxValue(value);
    setCheckState(toQt(*state));
}

void ProgramCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}
