// The yardstick for the printer's start-up: a window of the same size with a label, a
// button and a 200 ms timer, and nothing else.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare Window");
    window.setFixedSize(273, 396);
    QLabel label("Printer data port: 130", &window);
    label.setGeometry(8, 8, 105, 17);
    QPushButton button("New page", &window);
    button.setGeometry(16, 32, 81, 25);
    QTimer timer;
    timer.start(200);
    window.show();
    return QApplication::exec();
}
