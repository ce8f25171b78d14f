// The floor Larkspur is measured against: the toolkit showing one line of text
// in a window of Larkspur's size. Nothing here can be made cheaper.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.setFixedSize(834, 562);
    QLabel label(QStringLiteral("Available programs on this station:"), &window);
    label.move(8, 32);
    window.show();
    return QApplication::exec();
}
