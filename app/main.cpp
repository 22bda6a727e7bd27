// The editor starts with its one window and ends when the window closes.
//
//   stats-editor [--name-pack DIR] [IMAGE]

#include "catalogues/namepack.h"
#include "form1.h"
#include "layout.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QMessageBox>

#include <optional>

namespace {

using stats::catalogues::Diagnostics;

// Enough faults to see what is wrong with a pack; a box taller than the screen would hide its
// OK button.
constexpr std::size_t kFaultsShown = 20;

QString namePackFaults(const Diagnostics &faults)
{
    QString text = QStringLiteral("The names in the name pack are not used; the editor uses "
                                  "its own. The pack breaks these rules:\n");
    for (std::size_t i = 0; i < std::min(faults.size(), kFaultsShown); ++i) {
        text += QLatin1Char('\n') +
                QString::fromStdString(stats::catalogues::formatDiagnostic(faults[i]));
    }
    if (faults.size() > kFaultsShown) {
        text += QStringLiteral("\nand %1 more").arg(faults.size() - kFaultsShown);
    }
    return text;
}

void showAtStart(const QString &text)
{
    QMessageBox box;
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("stats-editor"));
    QApplication::setApplicationVersion(QStringLiteral(STATS_VERSION));
    // Message boxes have no title of their own; the title bar shows this name.
    QApplication::setApplicationDisplayName(QString::fromUtf8(
        stats::app::kWindowTitle.data(), static_cast<qsizetype>(stats::app::kWindowTitle.size())));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/stats-editor.ico")));
    // Ties the window to its menu entry and icon on desktops that match them by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.StatsEditor"));
    stats::app::keepNoSettings();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edit the base stats of the entries in a QVZT cartridge image."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption namePack(
        QStringLiteral("name-pack"),
        QStringLiteral("Use the names of the name pack in <folder> instead of the first "
                       "stats-editor/names folder in the XDG data folders."),
        QStringLiteral("folder"));
    parser.addOption(namePack);
    parser.addPositionalArgument(QStringLiteral("image"),
                                 QStringLiteral("The image to open, as if chosen with "
                                                "<--Open Rom->."),
                                 QStringLiteral("[image]"));
    parser.process(app);
    const QStringList images = parser.positionalArguments();
    if (images.size() > 1) {
        qCritical("stats-editor: one image at a time; see stats-editor --help");
        return 2;
    }

    std::optional<std::filesystem::path> given;
    if (parser.isSet(namePack)) {
        given = std::filesystem::path(QFile::encodeName(parser.value(namePack)).toStdString());
    }
    auto names = stats::catalogues::chooseNames(given, stats::catalogues::DataFolders::fromEnvironment());
    if (!names) {
        showAtStart(namePackFaults(names.error()));
    }

    stats::app::Form1 window(names ? names->names : stats::catalogues::builtInCatalogues());
    // An image refused before the event loop runs must still end the process.
    std::optional<int> ended;
    QObject::connect(&window, &stats::app::Form1::endProgram, &app, [&ended](int exitCode) {
        ended = exitCode;
        QCoreApplication::exit(exitCode);
    });
    window.show();
    if (!images.isEmpty()) {
        window.openImage(images.first());
    }
    return ended ? *ended : QApplication::exec();
}
