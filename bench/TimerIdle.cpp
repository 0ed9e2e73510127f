// The idle reference of the end-to-end bench: a Qt application that shows
// one empty window and runs a timer whose slot does nothing, every 100 ms
// unless the first argument names another period. Its CPU use while idle is
// what the event loop's wake-ups alone cost on the machine.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QTimer timer;
    timer.setInterval(argc > 1 ? std::atoi(argv[1]) : 100);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start();
    return QApplication::exec();
}
