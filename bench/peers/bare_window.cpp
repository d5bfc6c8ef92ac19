// The peer of bench_window: a bare Qt 6 main window, shown as the program
// shows its own (maximised), and nothing else. With --menu TEXT it has one
// menu of that name: the price of drawing any text at all.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    if (argc > 2 && std::strcmp(argv[1], "--menu") == 0) window.menuBar()->addMenu(QString::fromUtf8(argv[2]));
    window.resize(1100, 650);
    window.showMaximized();
    return app.exec();
}
