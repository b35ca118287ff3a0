#include <QApplication>

#include "window/qt/form1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("pexal-printer");
    QApplication::setApplicationDisplayName("Pexal Printer");
    QApplication::setDesktopFileName("pexal-printer");
    Form1 window;
    window.show();
    return QApplication::exec();
}
