#pragma once

#include "layout.h"

struct CatalogueEntry;
class ProgramCheckBox;
class QWidget;

// The window's controls, made from the rows of the layout tables and the
// catalogue: each with its object name, place and caption, and the name a
// screen reader reads for it.

QWidget* createPlacedControl(const PlacedControl& control, QWidget* parent);
ProgramCheckBox* createProgramBox(const CatalogueEntry& entry, QWidget* parent);
QWidget* createLine(const LineEnds& ends, QWidget* parent);
void applyLabelFont(QWidget* label, const LabelFont& labelFont);
