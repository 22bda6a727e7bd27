#include "settings.h"

#include "platform/opendialog.h"

#include <QDir>
#include <QSettings>
#include <QWidget>

#include <cstdint>

namespace stats::app {

void keepNoSettings()
{
    // The native settings are the registry, which a path cannot redirect: every setting that
    // Qt lets a program place goes to an INI file instead, in a folder below a device, which
    // cannot be made.
    QSettings::setDefaultFormat(QSettings::IniFormat);
    for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::IniFormat, scope, QStringLiteral("//./NUL/settings"));
    }
}

QString askForImage(QWidget *parent, const QString &folder)
{
    // Windows' own dialog, asked for directly: Qt's file dialog reads and writes its settings
    // in the registry (HKCU\Software\QtProject) whatever the default format, and creates the
    // key just by reading it.
    const std::uintptr_t owner =
        parent != nullptr ? static_cast<std::uintptr_t>(parent->window()->winId()) : 0;
    const auto chosen =
        platform::askForFileToOpen({.owner = owner,
                                    .title = L"Open Rom",
                                    .filterName = L"NDS Roms",
                                    .pattern = L"*.nds",
                                    .folder = QDir::toNativeSeparators(folder).toStdWString()});
    return chosen ? QDir::fromNativeSeparators(QString::fromStdWString(*chosen)) : QString();
}

} // namespace stats::app
