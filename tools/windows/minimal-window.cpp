// The smallest Qt Widgets program: one empty window. The Windows tests time its start under
// Wine beside the editor's, built with the same Qt and started the same way, so that the
// editor's own share of the start-up shows.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal Qt window"));
    window.show();
    return app.exec();
}
