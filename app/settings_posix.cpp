#include "settings.h"

#include <QFileDialog>
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

QString askForImage(QWidget *parent, const QString &folder)
{
    // A new dialog for every press, gone before the image is looked at. Qt's own dialog shows
    // the completions of a typed path in a list of its own, which outlives the dialog's
    // closing: Return accepts with the list still up, and a folder listing that arrives later
    // shows it again. Left on screen, it would take the next click and every key. It goes with
    // the dialog that owns it. The dialog still opens in the folder visited last, which Qt
    // keeps for the process, and a kept dialog would also keep the last name in its box, where
    // a newly typed path would be appended to it. Its settings go to the path that cannot be
    // made.
    QFileDialog CommonDialog1(parent);
    CommonDialog1.setObjectName(QStringLiteral("CommonDialog1"));
    CommonDialog1.setNameFilter(QStringLiteral("NDS Roms (*.nds)"));
    CommonDialog1.setWindowTitle(QStringLiteral("Open Rom"));
    if (!folder.isEmpty()) {
        CommonDialog1.setDirectory(folder);
    }
    if (CommonDialog1.exec() != QDialog::Accepted) {
        return {};
    }
    return CommonDialog1.selectedFiles().value(0);
}

} // namespace stats::app
