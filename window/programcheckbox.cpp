#include "programcheckbox.h"

#include "checkboxstyle.h"

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

ProgramCheckBox::ProgramCheckBox(const QString& caption, QWidget* parent)
    : QCheckBox(caption, parent) {
    setStyle(CheckBoxStyle::instance());
}

BoxState ProgramCheckBox::state() const {
    return fromQt(checkState());
}

void ProgramCheckBox::setState(BoxState state) {
    setCheckState(toQt(state));
}

void ProgramCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}
