#pragma once

#include <QWidget>

// A straight horizontal or vertical line, drawn in the default foreground
// colour; it takes no focus, lets clicks through, and reads as a separator.
class LineControl : public QWidget {
    Q_OBJECT

public:
    LineControl(QPoint from, QPoint to, int widthPixels, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
