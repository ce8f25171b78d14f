#pragma once

#include "boxstate.h"

#include <QCheckBox>

// A catalogue check box: unchecked, checked or grayed. Only the program can
// gray it; the operator toggles between unchecked and checked.
class ProgramCheckBox : public QCheckBox {
public:
    ProgramCheckBox(const QString& caption, QWidget* parent);

    BoxState state() const;
    void setState(BoxState state);

protected:
    void nextCheckState() override;
};
