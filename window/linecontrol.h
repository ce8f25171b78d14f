#pragma once

#include <QWidget>

// A straight horizontal or vertical line, drawn in the default foreground
// colour; it takes no focus and lets clicks through.
class LineControl : public QWidget {
public:
    LineControl(QPoint from, QPoint to, int widthPixels, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
