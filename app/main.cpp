// The editor starts with its one window and ends when the window closes.
//
//   stats-editor [--name-pack DIR] [IMAGE]

#include "catalogues/files/utf8.h"
#include "catalogues/namepack.h"
#include "form1.h"
#include "layout.h"
#include "platform/process.h"
#include "qtpath.h"
#include "settings.h"
#include "startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

using stats::catalogues::FaultLog;

// Enough faults to see what is wrong with a pack; a box taller than the screen would hide its
// OK button.
constexpr std::size_t kFaultsShown = 12;

QString namePackFaults(const FaultLog &faults)
{
    QString text = QStringLiteral("The names in the name pack are not used; the editor uses "
                                  "its own. The pack breaks these rules:\n");
    const std::size_t shown = std::min(faults.kept().size(), kFaultsShown);
    for (std::size_t i = 0; i < shown; ++i) {
        text += QLatin1Char('\n') +
                QString::fromStdString(stats::catalogues::formatDiagnostic(faults.kept()[i]));
    }
    if (faults.count() > shown) {
        text += QStringLiteral("\nand %1 more").arg(faults.count() - shown);
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

// A fault found before the window shows goes to standard error, as from any command; where no
// one sees that, as for a Windows program started from the desktop, a box shows it too.
void tellAtStart(const std::string &line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    if (!stats::platform::standardErrorIsSeen() &&
        qobject_cast<QApplication *>(QCoreApplication::instance())) {
        showAtStart(QString::fromStdString(line));
    }
}

struct CommandLine
{
    std::optional<QString> image;
    std::optional<stats::platform::Path> namePack;
};

// The command line after the toolkit took its own options. --help and --version print and
// end the process; a wrong command line ends it with status 2, as it does for stats-table.
CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edit the base stats of the entries in a QVZT cartridge image."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
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
    if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
        const QString fault = parser.errorText().isEmpty()
                                  ? QStringLiteral("give one image at most")
                                  : parser.errorText();
        tellAtStart("stats-editor: " + fault.toStdString() + "; see stats-editor --help");
        std::exit(2);
    }
    if (parser.isSet(help)) {
        parser.showHelp();
    }
    if (parser.isSet(version)) {
        parser.showVersion();
    }
    CommandLine line;
    if (!parser.positionalArguments().isEmpty()) {
        line.image = parser.positionalArguments().first();
    }
    if (parser.isSet(namePack)) {
        line.namePack = stats::app::pathOf(parser.value(namePack));
    }
    return line;
}

// The image's name as the command line gave it, byte for byte: Qt's text of an argument loses
// the bytes of a name that is no UTF-8. Where no argument's bytes read as Qt's text, as on a
// Windows that hands programs their arguments in a code page other than UTF-8, that text is
// the name.
std::string nativeArgument(const QString &argument, int argc, char *argv[])
{
    for (int i = argc - 1; i > 0; --i) {
        if (stats::app::textOf(argv[i]) == argument) {
            return argv[i];
        }
    }
    return stats::app::pathOf(argument).text();
}

// Whether the command line only asks for text, which needs no display.
bool asksForTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "-?" ||
            argument == "--help-all" || argument == "--version" || argument == "-v") {
            return true;
        }
    }
    return false;
}

void nameTheProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("stats-editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STATS_VERSION));
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication text(argc, argv);
        nameTheProgram();
        parseCommandLine(QCoreApplication::arguments());
    }
    const auto fontsReady = stats::app::beginFontStartUp();
    QApplication app(argc, argv);
    nameTheProgram();
    // Message boxes have no title of their own; the title bar shows this name.
    QApplication::setApplicationDisplayName(QString::fromUtf8(
        stats::app::kWindowTitle.data(), static_cast<qsizetype>(stats::app::kWindowTitle.size())));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/stats-editor.ico")));
    // Ties the window to its menu entry and icon on desktops that match them by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.StatsEditor"));
    stats::app::keepNoSettings();
    stats::app::adaptToSystem();
    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    // The arguments Qt took for itself are gone from argv too, so the image is among the rest.
    const std::optional<std::string> image =
        line.image ? std::optional(nativeArgument(*line.image, argc, argv)) : std::nullopt;
    if (image) {
        // A mistyped path is told as the shell tells one, before any window shows; "Unsupported
        // Rom" is kept for a file that was read.
        if (const auto found = stats::image::verifyImage(*image);
            !found && found.error().kind == stats::image::ErrorKind::NoFile) {
            tellAtStart("stats-editor: " + stats::catalogues::shownEscaped(*image) + ": " +
                        stats::image::osReason(found.error().osError));
            return EXIT_FAILURE;
        }
    }

    auto names = stats::catalogues::chooseNames(line.namePack,
                                                stats::catalogues::DataFolders::fromEnvironment());
    // Every window looks its fonts up as it is made.
    fontsReady();
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
    if (image) {
        window.openImage(*image);
    }
    return ended ? *ended : QApplication::exec();
}
