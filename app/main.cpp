// The editor starts with its one window and ends when the window closes.

#include "form1.h"
#include "layout.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("stats-editor"));
    // Message boxes have no title of their own; the title bar shows this name.
    QApplication::setApplicationDisplayName(QString::fromUtf8(
        stats::app::kWindowTitle.data(), static_cast<qsizetype>(stats::app::kWindowTitle.size())));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/stats-editor.ico")));
    // Ties the window to its menu entry and icon on desktops that match them by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.StatsEditor"));
    stats::app::keepNoSettings();

    stats::app::Form1 window(stats::catalogues::builtInCatalogues());
    QObject::connect(&window, &stats::app::Form1::endProgram, &app, &QCoreApplication::exit,
                     Qt::DirectConnection);
    window.show();
    return QApplication::exec();
}
