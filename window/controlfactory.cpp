#include "controlfactory.h"

#include "catalogue.h"
#include "linecontrol.h"
#include "programcheckbox.h"
#include "standardfont.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

namespace {

// A push button as Windows has it: Enter, or the keypad's Enter, presses
// the button that has the focus, as Space does. None is the window's
// default: Enter elsewhere and Escape press nothing, and no button is drawn
// as a default one.
class CommandButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (!enter)
            return QPushButton::keyPressEvent(event);
        // Held down, it presses once.
        if (!event->isAutoRepeat())
            click();
    }
};

const QString pathLabelCaption = QStringLiteral("Path To DataBase");

Qt::Alignment toQt(Alignment alignment) {
    switch (alignment) {
    case Alignment::Left:
        return Qt::AlignLeft | Qt::AlignTop;
    case Alignment::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Alignment::Right:
        return Qt::AlignRight | Qt::AlignTop;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QPoint toPixels(int xTwips, int yTwips) {
    return {xTwips / twipsPerPixel, yTwips / twipsPerPixel};
}

QWidget* createLabel(const PlacedControl& control, QWidget* parent) {
    auto* label = new QLabel(toQString(control.caption), parent);
    // Paths come from files and the operator: never read them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(toQt(control.alignment));
    if (control.framed)
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

QWidget* createTextBox(const PlacedControl& control, QWidget* parent) {
    auto* textBox = new QLineEdit(toQString(control.caption), parent);
    textBox->setMaxLength(std::numeric_limits<int>::max());
    textBox->setAccessibleName(pathLabelCaption);
    return textBox;
}

QWidget* createButton(const PlacedControl& control, QWidget* parent) {
    auto* button = new CommandButton(toQString(control.caption), parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget* createControl(const PlacedControl& control, QWidget* parent) {
    switch (control.kind) {
    case ControlKind::Label:
        return createLabel(control, parent);
    case ControlKind::TextBox:
        return createTextBox(control, parent);
    case ControlKind::Button:
        return createButton(control, parent);
    }
    return nullptr;
}

void placeControl(QWidget* control, std::string_view name, std::string_view caption,
                  const TwipsRect& rect) {
    control->setObjectName(toQString(name));
    control->setGeometry(rect.toPixels());
    if (!caption.empty() && control->accessibleName().isEmpty())
        control->setAccessibleName(toQString(caption));
}

} // namespace

QWidget* createPlacedControl(const PlacedControl& control, QWidget* parent) {
    QWidget* widget = createControl(control, parent);
    placeControl(widget, control.name, control.caption, control.rect);
    return widget;
}

ProgramCheckBox* createProgramBox(const CatalogueEntry& entry, QWidget* parent) {
    auto* checkBox = new ProgramCheckBox(toQString(entry.caption), parent);
    placeControl(checkBox, entry.boxName, entry.caption, placedBox(entry.boxName).rect);
    checkBox->setState(BoxState::Checked);
    return checkBox;
}

QWidget* createLine(const LineEnds& ends, QWidget* parent) {
    auto* line = new LineControl(toPixels(ends.x1, ends.y1), toPixels(ends.x2, ends.y2),
                                 lineWidthPixels, parent);
    line->setObjectName(toQString(ends.name));
    return line;
}

void applyLabelFont(QWidget* label, const LabelFont& labelFont) {
    QFont font = layoutFont(toQString(labelFont.face), labelFont.points);
    font.setBold(labelFont.bold);
    font.setItalic(labelFont.italic);
    label->setFont(font);
}
