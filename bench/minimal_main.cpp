// The reference program of the whole-process start-up and memory figures: a Qt program that
// shows nothing but the minimal window.

#include "bench/minimalwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    stats::bench::MinimalWindow window;
    window.show();
    return QApplication::exec();
}
