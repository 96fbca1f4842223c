// The floor for the start-up, memory and idle figures: the least a Qt Widgets
// program does to put one titled window on the screen. Nothing else runs in
// it, so what MERU costs beyond it is MERU's own.
//
// floor_window [TITLE]   (default title "floor window")
#include <QApplication>
#include <QString>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QStringLiteral("floor window"));
    window.resize(400, 150);
    window.show();
    return app.exec();
}
