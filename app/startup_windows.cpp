#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>

#include <windows.h>

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

bool errorsAreSeen()
{
    // A file or a pipe someone redirected it to, or the console of this process. A program with
    // a window that is started from a Command Prompt gets no console of its own, and one
    // started from the desktop gets no handle at all.
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = GetFileType(error);
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
        return true;
    }
    return type == FILE_TYPE_CHAR && GetConsoleWindow() != nullptr;
}

} // namespace stats::app
