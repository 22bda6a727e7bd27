#include "settings.h"

#include <QSettings>

namespace stats::app {

void keepNoSettings()
{
    // A folder below a device cannot be created, so every attempt to save settings fails
    // quietly and none are ever read back.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/settings"));
        QSettings::setPath(format, QSettings::SystemScope, QStringLiteral("/dev/null/settings"));
    }
}

void dismissDialog(std::unique_ptr<QFileDialog> dialog)
{
    // Its settings go to the path that cannot be made. The dialog goes now, and with it the
    // list of completions its path box may still show.
    dialog.reset();
}

} // namespace stats::app
