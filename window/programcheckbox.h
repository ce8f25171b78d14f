#pragma once

#include <QCheckBox>
#include <stdexcept>

// A catalogue check box holding the station file's values: 0 unchecked,
// 1 checked, 2 grayed. Only the program can gray it; the operator toggles
// between unchecked and checked.
class ProgramCheckBox : public QCheckBox {
public:
    ProgramCheckBox(const QString& caption, QWidget* parent);

    int value() const;
    // Any value other than 0, 1 or 2 throws InvalidBoxValue and leaves the box as it was.
    void setValue(int value);

protected:
    void nextCheckState() override;
};

class InvalidBoxValue : public std::invalid_argument {
public:
    explicit InvalidBoxValue(int value);
};
