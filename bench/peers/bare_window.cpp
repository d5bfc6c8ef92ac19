// The peer of bench_window: a bare Qt 6 main window, shown as the program
// shows its own (maximised), and nothing else.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1100, 650);
    window.showMaximized();
    return app.exec();
}
