#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>

namespace stats::app {

std::function<void()> beginFontStartUp()
{
    // Windows lists its fonts itself, at no cost to the start.
    return [] {};
}

void adaptToSystem()
{
    // The faces Windows lacks come with the program, in fonts/ beside it, and are known to
    // this process only: nothing is installed.
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    const QStringList files =
        fonts.entryList({QStringLiteral("*.ttf"), QStringLiteral("*.otf")}, QDir::Files);
    for (const QString &file : files) {
        QFontDatabase::addApplicationFont(fonts.filePath(file));
    }
    // Boxes and dialogs take the application's font. Left to Qt it is the system's message
    // font, which Wine stands in for with a serif face; the window sets its own fonts.
    QApplication::setFont(QFont(
        {QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans")},
        9));
}

} // namespace stats::app
