#include "table/tabletool.h"

#include "catalogues/catalogues.h"
#include "image/errortext.h"
#include "image/imagefile.h"
#include "table/outputfile.h"
#include "table/tablechanges.h"
#include "table/tablecsv.h"
#include "table/tablenames.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <expected>
#include <getopt.h>
#include <optional>
#include <string>
#include <vector>

namespace stats::table {

namespace {

using image::EntryUpdate;
using image::ErrorKind;
using image::FieldBytes;
using image::ImageError;

// The usage text; @c {fields} and @c {entries} stand for the counts the core knows.
constexpr std::string_view kUsageTemplate =
    R"(usage: stats-table export IMAGE [OUT.csv] [--names]
       stats-table import IMAGE IN.csv [--dry-run]
       stats-table diff OLD.nds NEW.nds [--csv [OUT.csv] [--names] | --markdown]
       stats-table names DIR
       stats-table --help
Every command also takes --name-pack DIR.

export   Writes the {fields} values of all {entries} entries of IMAGE as CSV, one row per entry in
         table order, to OUT.csv, or to standard output when OUT.csv is missing or "-". The
         image is only read. OUT.csv may be a new file, a file that is no image, a pipe, a
         terminal or /dev/null; a file is replaced only once the whole CSV is written.
         --names  the seven choice values as the texts of their rows, not as numbers
import   Reads IN.csv, or standard input when it is "-" (a whole export or any of its rows,
         in any order), and checks all of it first: every fault is listed and nothing is
         written. Then it lists each change and writes every changed entry into IMAGE at
         once, or none of them. While it writes, other imports and saves of the image wait.
         An empty value cell keeps the value the image holds.
         --dry-run  list the changes and write nothing
diff     Lists every entry whose values differ between OLD.nds and NEW.nds, each changed
         value as old -> new, and their count. Both images are only read.
         --csv       instead, the changes as an import file, to OUT.csv or standard output:
                     the changed entries only, and in them only the changed values, so that
                     importing it into another image makes the same changes
         --markdown  instead, the changes as one Markdown table, for release notes
names    Writes the names in use into the folder DIR as a name pack to edit: the six files
         of the lists, one name per line. Never overwrites a file.
--name-pack DIR  Use the names of the pack in DIR. Without it, the first folder
         stats-editor/names in $XDG_DATA_HOME (~/.local/share) or $XDG_DATA_DIRS is used,
         else the built-in names. A pack with a fault is refused and nothing is done.

Exit status: 0 done, 1 refused input or a file problem, 2 bad usage. diff: 0 the images
hold the same table, 1 they differ, 2 trouble.
)";

// An import file larger than this is no export of the table, which is some 100 KiB.
constexpr std::size_t kImportLimitMiB = 16;
constexpr std::size_t kImportLimit = kImportLimitMiB << 20;

std::string usageText()
{
    std::string text(kUsageTemplate);
    for (const auto &[mark, value] :
         {std::pair{std::string_view("{fields}"), image::kFieldCount},
          std::pair{std::string_view("{entries}"), image::kRecordCount}}) {
        text.replace(text.find(mark), mark.size(), std::to_string(value));
    }
    return text;
}

// A file with more faults than this is most likely the wrong file; the rest are counted.
constexpr std::size_t kFaultLimit = 100;

enum class Command : std::uint8_t { Export, Import, Diff, Names };

// What diff writes.
enum class DiffOutput : std::uint8_t { Report, Csv, Markdown };

struct Options
{
    Command command;
    std::string image;
    std::string csv; ///< OUT.csv or IN.csv; empty for standard output
    bool names = false;
    bool dryRun = false;
    std::string newImage; ///< diff's NEW.nds
    DiffOutput diffOutput = DiffOutput::Report;
    std::string folder; ///< names' DIR
    std::optional<std::string> namePack;
};

bool wantsHelp(std::span<const std::string_view> args)
{
    const auto end = std::ranges::find(args, "--");
    return std::find(args.begin(), end, "--help") != end;
}

struct Flags
{
    bool names = false;
    bool dryRun = false;
    bool csv = false;
    bool markdown = false;
};

// The flags that `command` does not take, by their names.
std::string foreignFlag(std::string_view command, const Flags &flags)
{
    const bool diff = command == "diff";
    const std::pair<bool, std::string_view> taken[] = {
        {flags.names && command != "export" && !(diff && flags.csv), "--names"},
        {flags.dryRun && command != "import", "--dry-run"},
        {flags.csv && !diff, "--csv"},
        {flags.markdown && !diff, "--markdown"},
    };
    for (const auto &[given, name] : taken) {
        if (given) {
            return std::string(name) + " is no option of " + std::string(command) +
                   (name == "--names" && diff ? " without --csv" : "");
        }
    }
    if (flags.csv && flags.markdown) {
        return "diff takes --csv or --markdown, not both";
    }
    return {};
}

// The options' codes, past every character so that none is taken for a short option.
enum OptionCode : int {
    kNamesOption = 256,
    kDryRunOption,
    kCsvOption,
    kMarkdownOption,
    kNamePackOption
};

constexpr std::array<option, 6> kLongOptions{{
    {"names", no_argument, nullptr, kNamesOption},
    {"dry-run", no_argument, nullptr, kDryRunOption},
    {"csv", no_argument, nullptr, kCsvOption},
    {"markdown", no_argument, nullptr, kMarkdownOption},
    {"name-pack", required_argument, nullptr, kNamePackOption},
    {nullptr, 0, nullptr, 0},
}};

std::expected<Options, std::string> parseOptions(std::span<const std::string_view> args)
{
    // getopt_long reads a C argument vector with the program's name in front.
    std::vector<std::string> owned{"stats-table"};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : owned) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(owned.size());

    std::vector<std::string> operands;
    Flags flags;
    std::optional<std::string> namePack;
    // "-": operands come back in their order, as code 1; ":": a missing folder is told apart.
    // The tool may run more than once in a process, so the parser starts afresh; it prints
    // nothing itself.
    opterr = 0;
    optind = 0;
    for (;;) {
        // The element being read: the parser keeps the order, and stops at the first fault.
        const auto next = static_cast<std::size_t>(std::max(optind, 1));
        const std::string element = next < owned.size() ? owned[next] : std::string();
        const int code = getopt_long(argc, argv.data(), "-:", kLongOptions.data(), nullptr);
        if (code == -1) {
            break;
        }
        switch (code) {
        case 1:
            operands.emplace_back(optarg);
            break;
        case kNamesOption:
            flags.names = true;
            break;
        case kDryRunOption:
            flags.dryRun = true;
            break;
        case kCsvOption:
            flags.csv = true;
            break;
        case kMarkdownOption:
            flags.markdown = true;
            break;
        case kNamePackOption:
            if (*optarg == '\0') {
                return std::unexpected(std::string("--name-pack takes a folder: --name-pack DIR"));
            }
            namePack = std::string(optarg);
            break;
        case ':':
            return std::unexpected(std::string("--name-pack takes a folder: --name-pack DIR"));
        default:
            return std::unexpected("unknown option " + element);
        }
    }
    // What follows "--" is operands, whatever it looks like.
    for (int i = optind; i < argc; ++i) {
        operands.emplace_back(argv[static_cast<std::size_t>(i)]);
    }
    if (operands.empty()) {
        return std::unexpected(std::string("no command given"));
    }
    const std::string_view command = operands.front();
    if (command != "export" && command != "import" && command != "diff" && command != "names") {
        return std::unexpected("unknown command " + std::string(command));
    }
    if (const std::string fault = foreignFlag(command, flags); !fault.empty()) {
        return std::unexpected(fault);
    }
    const auto operand = [&](std::size_t i) { return std::string(operands[i]); };
    // "-" or no OUT.csv: standard output.
    const auto output = [&](std::size_t i) {
        return operands.size() > i && operands[i] != "-" ? operand(i) : std::string();
    };
    Options options{Command::Export, {}, {}, flags.names, flags.dryRun, {}, {}, {}, namePack};
    if (command == "export" && (operands.size() == 2 || operands.size() == 3)) {
        options.image = operand(1);
        options.csv = output(2);
        return options;
    }
    if (command == "import" && operands.size() == 3) {
        options.command = Command::Import;
        options.image = operand(1);
        options.csv = operand(2);
        return options;
    }
    if (command == "diff" && (operands.size() == 3 || (operands.size() == 4 && flags.csv))) {
        options.command = Command::Diff;
        options.image = operand(1);
        options.newImage = operand(2);
        options.csv = output(3);
        options.diffOutput = flags.csv        ? DiffOutput::Csv
                             : flags.markdown ? DiffOutput::Markdown
                                              : DiffOutput::Report;
        return options;
    }
    if (command == "names" && operands.size() == 2) {
        options.command = Command::Names;
        options.folder = operand(1);
        return options;
    }
    return std::unexpected(command == "export"   ? "export takes IMAGE and an optional OUT.csv"
                           : command == "import" ? "import takes IMAGE and IN.csv"
                           : command == "diff"
                               ? "diff takes OLD.nds and NEW.nds, and OUT.csv only with --csv"
                               : "names takes one folder, DIR");
}

// A file name as a message shows it: escaped as cells are, so that a name cannot colour the
// terminal or move its cursor.
std::string shown(std::string_view path)
{
    return shownEscaped(path);
}

// Reads the whole of an open file or pipe, refusing one larger than kImportLimit.
std::expected<std::string, std::string> readAll(platform::FileApi &files, platform::NativeFile file)
{
    auto text = platform::readAllNext(files, file, kImportLimit);
    if (text) {
        return std::move(*text);
    }
    if (text.error().error) {
        return std::unexpected("it cannot be read: " + systemReason(text.error().error->code));
    }
    return std::unexpected("it is larger than " + std::to_string(kImportLimitMiB) +
                           std::string(" MiB, far larger than a CSV "
                                       "of the table (is it the right file?)"));
}

std::expected<std::string, std::string> readTextFile(platform::FileApi &files,
                                                     const std::string &path)
{
    const auto opened = files.openStream(path, platform::Direction::Read);
    if (!opened) {
        return std::unexpected("it cannot be opened: " + systemReason(opened.error().code));
    }
    const platform::FileHandle file(files, *opened);
    return readAll(files, *opened);
}

// A report that could not be written is a failure, though the image is settled by then:
// the message says what it holds.
int reportWritten(Streams streams, const std::string &outcome)
{
    errno = 0;
    if (std::fflush(streams.out) == 0 && std::ferror(streams.out) == 0) {
        return kExitDone;
    }
    // A C stream's failure is in the C library's errno on every system.
    std::fprintf(streams.err, "stats-table: the report could not be written: %s; %s\n",
                 std::strerror(errno), outcome.c_str());
    return kExitRefused;
}

class TableTool
{
public:
    TableTool(Streams streams, platform::FileApi &files, const catalogues::NamesInUse &names)
        : m_streams(streams), m_files(files), m_names(names.names), m_namesInUse(names)
    {
    }

    int exportTable(const Options &options)
    {
        const auto table = image::loadTable(options.image, m_files);
        if (!table) {
            return refuse(options.image,
                          image::describeError(table.error(), image::Activity::ReadTable));
        }
        const std::string csv = tableCsv(table->entries, m_names, options.names);
        if (options.csv.empty()) {
            return writeOut(csv) ? kExitDone : kExitRefused;
        }
        const auto written = writeOutputFile(options.csv, csv, table->file, m_files);
        return written ? kExitDone : refuse(options.csv, written.error());
    }

    int importTable(const Options &options)
    {
        m_outcome = "nothing was written to " + shown(options.image);
        const auto table = image::loadTable(options.image, m_files);
        if (!table) {
            return refuse(options.image,
                          image::describeError(table.error(), image::Activity::ReadTable) +
                              "; nothing was written");
        }
        const auto text = readImport(options.csv);
        if (!text) {
            return refuse(csvName(options), text.error() + "; nothing was written");
        }
        ImportTable imported = readImportCsv(*text, table->entries, m_names, kFaultLimit);
        if (!imported.faults.empty()) {
            const int status = refuseFaults(options, imported);
            suggestNamePack(csvName(options), imported.unknownNames);
            return status;
        }
        std::ranges::sort(imported.rows, {}, [](const ImportRow &row) {
            return catalogues::recordOfRow(row.range, row.row);
        });
        const std::vector<EntryUpdate> updates = reportChanges(imported.rows, table->entries);
        if (updates.empty()) {
            std::fprintf(m_streams.out, "Nothing to write: the image already holds every value.\n");
            return kExitDone;
        }
        if (options.dryRun) {
            std::fprintf(m_streams.out, "Dry run: nothing was written.\n");
            return kExitDone;
        }
        const auto saved = image::saveEntries(options.image, updates, m_files);
        if (!saved) {
            return refuseSave(options.image, saved.error(), updates);
        }
        m_outcome = "all " + std::to_string(updates.size()) +
                    " changed entries were written into " + shown(options.image);
        std::fprintf(m_streams.out, "Wrote %zu %s into %s.\n", updates.size(),
                     updates.size() == 1 ? "entry" : "entries", shown(options.image).c_str());
        return kExitDone;
    }

    /// What the image holds after the command, for a report that could not be written.
    [[nodiscard]] const std::string &outcome() const { return m_outcome; }

    // Compares the tables of two images. A problem with either image, or with the file the
    // changes go to, is trouble (2); otherwise 0 for the same table and 1 for changes.
    int diffTables(const Options &options)
    {
        const auto old = image::loadTable(options.image, m_files);
        if (!old) {
            refuse(options.image, image::describeError(old.error(), image::Activity::ReadTable));
            return kExitTrouble;
        }
        const auto now = image::loadTable(options.newImage, m_files);
        if (!now) {
            refuse(options.newImage, image::describeError(now.error(), image::Activity::ReadTable));
            return kExitTrouble;
        }
        const std::vector<EntryChange> changes = tableChanges(old->entries, now->entries);
        const int found = changes.empty() ? kExitDone : kExitDiffer;
        switch (options.diffOutput) {
        case DiffOutput::Report:
            return writeOut(changesReport(changes, m_names)) ? found : kExitTrouble;
        case DiffOutput::Markdown:
            return writeOut(changesMarkdown(changes, m_names)) ? found : kExitTrouble;
        case DiffOutput::Csv:
            break;
        }
        const std::string csv = changesCsv(changes, m_names, options.names);
        warnOfValuesWithoutRow(changes);
        if (options.csv.empty()) {
            return writeOut(csv) ? found : kExitTrouble;
        }
        // Never over either image: the new one by its identity, and any image by its code.
        if (const auto written = writeOutputFile(options.csv, csv, now->file, m_files); !written) {
            refuse(options.csv, written.error());
            return kExitTrouble;
        }
        const std::string report = changesReport(changes, m_names);
        if (!writeOut(report + "Wrote the changes into " + shown(options.csv) + ".\n")) {
            std::fprintf(m_streams.err,
                         "stats-table: the changes were written into %s; only this report of "
                         "them could not be\n",
                         shown(options.csv).c_str());
            return kExitTrouble;
        }
        return found;
    }

private:
    // A patch holds the new values as they are, and one without a row in its list is taken
    // only by an image that holds it already: said, so that no one expects the patch to
    // make every table that of NEW.
    void warnOfValuesWithoutRow(const std::vector<EntryChange> &changes)
    {
        const std::vector<std::string> cells = valuesWithoutRow(changes, m_names);
        if (cells.empty()) {
            return;
        }
        std::string listed;
        for (std::size_t i = 0; i < std::min(cells.size(), kFaultLimit); ++i) {
            listed += (i == 0 ? "" : "; ") + cells[i];
        }
        if (cells.size() > kFaultLimit) {
            listed += "; and " + std::to_string(cells.size() - kFaultLimit) + " more";
        }
        std::fprintf(m_streams.err,
                     "stats-table: warning: %zu new %s no row in %s list, so an import takes %s "
                     "only into an image that holds %s already: %s\n",
                     cells.size(), cells.size() == 1 ? "value has" : "values have",
                     cells.size() == 1 ? "its" : "their", cells.size() == 1 ? "it" : "them",
                     cells.size() == 1 ? "that value" : "those values", listed.c_str());
    }

    bool writeOut(std::string_view text)
    {
        if (std::fwrite(text.data(), 1, text.size(), m_streams.out) != text.size() ||
            std::fflush(m_streams.out) != 0) {
            refuse("standard output", std::strerror(errno));
            return false;
        }
        return true;
    }

    // A file whose names the names in use do not have may have been made with other names:
    // said once, after its faults.
    void suggestNamePack(const std::string &csv, std::size_t unknownNames)
    {
        if (unknownNames == 0) {
            return;
        }
        std::fprintf(m_streams.err,
                     "stats-table: %s: the names differ: %zu %s in the file %s not among the "
                     "names in use, %s. If the file was made with a name pack, import it with "
                     "the same pack: --name-pack DIR\n",
                     shown(csv).c_str(), unknownNames, unknownNames == 1 ? "name" : "names",
                     unknownNames == 1 ? "is" : "are", namesInUseText(m_namesInUse).c_str());
    }

    int refuse(std::string_view file, const std::string &problem)
    {
        std::fprintf(m_streams.err, "stats-table: %s: %s\n", shown(file).c_str(), problem.c_str());
        return kExitRefused;
    }

    static std::string csvName(const Options &options)
    {
        return options.csv == "-" ? std::string("standard input") : options.csv;
    }

    // "-" is standard input, as it is standard output for an export.
    std::expected<std::string, std::string> readImport(const std::string &path)
    {
        auto text = path != "-" ? readTextFile(m_files, path) : readStandardInput();
        m_files.reached(platform::SaveStep::CsvRead, 0);
        return text;
    }

    std::expected<std::string, std::string> readStandardInput()
    {
        std::fflush(m_streams.out);
        return readAll(m_files, platform::nativeFileOf(m_streams.in));
    }

    int refuseFaults(const Options &options, const ImportTable &imported)
    {
        const std::string name = shown(csvName(options));
        for (const ImportFault &fault : imported.faults) {
            std::string column;
            if (fault.column > 0) {
                column = "column " + std::to_string(fault.column);
                if (fault.column <= kColumnNames.size()) {
                    column += " (" + std::string(kColumnNames[fault.column - 1]) + ")";
                }
                column += ": ";
            }
            std::fprintf(m_streams.err, "%s:%d: %s%s\n", name.c_str(), fault.line, column.c_str(),
                         fault.reason.c_str());
        }
        const std::size_t more = imported.faultCount - imported.faults.size();
        if (more > 0) {
            std::fprintf(m_streams.err, "%s: and %zu more %s\n", name.c_str(), more,
                         more == 1 ? "fault" : "faults");
        }
        return refuse(csvName(options), std::to_string(imported.faultCount) +
                                            (imported.faultCount == 1 ? " fault" : " faults") +
                                            "; nothing was written to " + shown(options.image));
    }

    // Lists every entry whose bytes the file changes, field by field, and the count; the
    // writes that make those changes.
    std::vector<EntryUpdate> reportChanges(const std::vector<ImportRow> &rows,
                                           const image::TableBytes &current)
    {
        std::vector<EntryUpdate> updates;
        std::vector<EntryChange> changes;
        for (const ImportRow &row : rows) {
            const FieldBytes &old =
                current[static_cast<std::size_t>(catalogues::recordOfRow(row.range, row.row))];
            if (old == row.bytes) {
                continue;
            }
            changes.push_back({row.range, row.row, old, row.bytes});
            updates.push_back({row.range, row.row, row.bytes, old});
        }
        const std::string report = changesReport(changes, m_names);
        std::fwrite(report.data(), 1, report.size(), m_streams.out);
        return updates;
    }

    std::string labels(const std::vector<std::size_t> &positions,
                       const std::vector<EntryUpdate> &updates) const
    {
        std::string entries;
        for (const std::size_t i : positions) {
            entries += (entries.empty() ? "" : ", ") +
                       entryLabel(m_names, updates[i].range, updates[i].row);
        }
        return entries;
    }

    // Which entries read back as written after an import's writes, and what the others hold.
    std::string notAsWritten(const image::SaveError &failure,
                             const std::vector<EntryUpdate> &updates) const
    {
        std::string held;
        if (failure.found.empty()) {
            return "; these entries may hold anything: " + labels(failure.entries, updates);
        }
        for (std::size_t k = 0; k < failure.entries.size(); ++k) {
            held += "; " + labels({failure.entries[k]}, updates) + " holds " +
                    image::describeFound(failure.found[k]);
        }
        if (!failure.written.empty()) {
            held += "; these entries hold their new values: " + labels(failure.written, updates);
        }
        return held;
    }

    int refuseSave(const std::string &path, const image::SaveError &failure,
                   const std::vector<EntryUpdate> &updates)
    {
        const std::string reason = systemReason(failure.error.osError);
        switch (image::heldAfterFailure(failure.error.kind)) {
        case image::HeldAfterFailure::NewBytes:
            m_outcome = "the entries were written, but the disk did not confirm them";
            break;
        case image::HeldAfterFailure::Unknown:
            m_outcome = "the message above says what the image holds";
            break;
        case image::HeldAfterFailure::OldBytes:
            break;
        }
        switch (failure.error.kind) {
        case ErrorKind::ChangedSinceLoad:
            return refuse(path, "these entries changed in the image while the import ran: " +
                                    labels(failure.entries, updates) +
                                    "; nothing was written. Import again to see the changes "
                                    "against what the image holds now");
        case ErrorKind::WriteFailed:
            return refuse(path, "writing failed: " + reason +
                                    "; every entry written so far was put back, so the image is "
                                    "as it was");
        case ErrorKind::WriteFailedDirty: {
            std::string held;
            if (!failure.written.empty()) {
                held +=
                    "; these entries hold their new values: " + labels(failure.written, updates);
            }
            if (!failure.entries.empty()) {
                held += "; these entries may be half-written: " + labels(failure.entries, updates);
            }
            return refuse(path, "writing failed: " + reason +
                                    "; putting the old values back failed too" + held +
                                    ". Every other entry is as it was. Import the same file "
                                    "again once the problem is solved");
        }
        case ErrorKind::LengthChanged: {
            const std::string held =
                !failure.written.empty()
                    ? "; these entries were written whole and hold their new values: " +
                          labels(failure.written, updates)
                : !failure.entries.empty()
                    ? "; these entries were written into it, then put back where it still held "
                      "them: " +
                          labels(failure.entries, updates)
                    : "; the file no longer reaches the entries it was writing, so none of them "
                      "is in it";
            return refuse(path, image::describeError(failure.error, image::Activity::Import) +
                                    held +
                                    ". Check the image before you rely on it, and import again "
                                    "once no other program writes it");
        }
        case ErrorKind::NotAsWritten:
            m_outcome = "the message above says what the image holds";
            return refuse(path, image::describeError(failure.error, image::Activity::Import) +
                                    notAsWritten(failure, updates) +
                                    ". Check the image before you rely on it, and import again "
                                    "once no other program writes it");
        case ErrorKind::FlushFailed:
            return refuse(path,
                          "the entries were written, but the disk did not confirm them: " + reason +
                              "; they may be lost if the system stops now. Import again "
                              "to be sure");
        case ErrorKind::CannotOpen:
            return refuse(path,
                          "it cannot be opened for writing: " + reason + "; nothing was written");
        case ErrorKind::NoFile:
        case ErrorKind::NotAFile:
        case ErrorKind::CannotRead:
        case ErrorKind::NotSupported:
        case ErrorKind::RecordMissing:
        case ErrorKind::RowOutOfRange:
        case ErrorKind::Busy:
        case ErrorKind::Replaced:
            break;
        }
        return refuse(path, image::describeError(failure.error, image::Activity::Import) +
                                "; nothing was written");
    }

    Streams m_streams;
    platform::FileApi &m_files;
    const catalogues::CatalogueSet &m_names;
    const catalogues::NamesInUse &m_namesInUse;
    std::string m_outcome = "the image was only read";
};

} // namespace

int runTableTool(std::span<const std::string_view> args, Streams streams, platform::FileApi &files)
{
    if (wantsHelp(args)) {
        std::fputs(usageText().c_str(), streams.out);
        return reportWritten(streams, "the image was not touched");
    }
    const auto options = parseOptions(args);
    if (!options) {
        std::fprintf(streams.err, "stats-table: %s\nTry 'stats-table --help'.\n",
                     options.error().c_str());
        return kExitUsage;
    }
    const auto names = namesForTool(options->namePack, streams);
    if (!names) {
        // diff keeps 1 for "the images differ".
        return options->command == Command::Diff ? kExitTrouble : kExitRefused;
    }
    TableTool tool(streams, files, *names);
    int status = kExitUsage;
    switch (options->command) {
    case Command::Export:
        status = tool.exportTable(*options);
        break;
    case Command::Import:
        status = tool.importTable(*options);
        break;
    case Command::Diff:
        // diff writes its output itself and says when it could not.
        return tool.diffTables(*options);
    case Command::Names:
        status = writeNamePack(options->folder, *names, streams, files);
        return status == kExitDone ? reportWritten(streams, "the name files were written") : status;
    }
    if (status != kExitDone) {
        return status;
    }
    return reportWritten(streams, tool.outcome());
}

} // namespace stats::table
