#include "settings.h"

#include <QSettings>

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

void dismissDialog(std::unique_ptr<QFileDialog> dialog)
{
    // Qt's file dialog writes its settings into the registry (HKCU\Software\QtProject) when it
    // is destroyed, whatever the default format. So it is never destroyed: hidden and let go
    // of, it ends with the process. What it holds is the system dialog's small wrapper.
    dialog->hide();
    dialog->setParent(nullptr);
    static_cast<void>(dialog.release());
}

} // namespace stats::app
