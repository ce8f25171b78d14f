// The floor Larkspur is measured against: the toolkit showing one line of text
// in a window of Larkspur's size. Nothing here can be made cheaper.
#include "layout.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.setFixedSize(clientArea.toPixels().size());
    const PlacedControl& heading = placedControl("lblAvail");
    QLabel label(QString::fromLatin1(heading.caption), &window);
    label.move(heading.rect.toPixels().topLeft());
    window.show();
    return QApplication::exec();
}
