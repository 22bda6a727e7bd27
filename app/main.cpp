// The editor starts with its one window and ends when the window closes.

#include "form1.h"
#include "layout.h"

#include <QApplication>

#include <fontconfig/fontconfig.h>

#include <future>

int main(int argc, char *argv[])
{
    // Qt's first font look-up reads the whole font configuration, a fifth of the work before
    // the first frame. Read on another core while the application connects to the display (or
    // when the window is made, if no thread can be started), it is there when Qt asks for it.
    auto fontConfiguration =
        std::async(std::launch::async | std::launch::deferred, [] { return FcInit(); });
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("stats-editor"));
    // Message boxes have no title of their own; the title bar shows this name.
    QApplication::setApplicationDisplayName(QString::fromUtf8(
        stats::app::kWindowTitle.data(), static_cast<qsizetype>(stats::app::kWindowTitle.size())));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/stats-editor.ico")));
    // Ties the window to its menu entry and icon on desktops that match them by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.StatsEditor"));
    stats::app::keepNoSettings();

    // The window looks its fonts up as it is made.
    fontConfiguration.wait();
    stats::app::Form1 window;
    QObject::connect(&window, &stats::app::Form1::endProgram, &app, &QCoreApplication::exit,
                     Qt::DirectConnection);
    window.show();
    return QApplication::exec();
}
