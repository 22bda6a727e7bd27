#include "image/imagefile.h"
#include "runtool.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"
#include "table/tablecsv.h"
#include "table/tabletool.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace stats::image;
using stats::table::runTableTool;
using stats::testing::snapshotOf;

using stats::testing::Outcome;
using stats::testing::run;

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string fileText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string replaced(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The CSV row the export writes for a record of the sample image, with the cells in `edits`
// replaced.
std::string sampleRow(int record, const std::map<std::size_t, std::string> &edits = {})
{
    static const auto rows = [] {
        TableBytes table(kRecordCount);
        for (int r = 0; r < kRecordCount; ++r) {
            table[static_cast<std::size_t>(r)] = stats::tools::sampleFieldBytes(r);
        }
        return linesOf(
            replaced(stats::table::tableCsv(table, stats::catalogues::builtInCatalogues(), false),
                     "\r", ""));
    }();
    std::vector<std::string> cells;
    std::istringstream stream(rows.at(static_cast<std::size_t>(record) + 1));
    for (std::string cell; std::getline(stream, cell, ',');) {
        cells.push_back(cell);
    }
    std::string row;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        row += (i == 0 ? "" : ",") + (edits.contains(i) ? edits.at(i) : cells[i]);
    }
    return row + "\n";
}

class TableTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(stats::testing::makeSampleImage(m_image));
        m_before = snapshotOf(m_image);
    }

    Outcome import(const std::string &csv, const std::vector<std::string> &options = {},
                   FileApi &files = systemFileApi())
    {
        const std::string path = m_dir.file("in" + std::to_string(m_files++) + ".csv");
        EXPECT_TRUE(stats::testing::writeFile(path, {csv.begin(), csv.end()}));
        std::vector<std::string> args{"import", m_image, path};
        args.insert(args.end(), options.begin(), options.end());
        return run(args, files);
    }

    stats::testing::TempDir m_dir;
    std::string m_image = m_dir.file("image.nds");
    stats::testing::Snapshot m_before;
    int m_files = 0;
};

const std::string kHeader = "list,row,name,hp,atk,def,spd,spatk,spdef,ty1,ty2,cr,wh1,wh2,gr,ab1,"
                            "ab2,dw\r\n";

// What a spreadsheet may do to a file it saves unchanged.
struct Resave
{
    const char *name;
    bool names;
    std::function<std::string(std::string)> change;
};

class RoundTrip : public TableTool, public ::testing::WithParamInterface<Resave>
{
};

TEST_P(RoundTrip, AnExportImportsBackWithNoChangeAndNothingWritten)
{
    const std::string out = m_dir.file("out.csv");
    ASSERT_EQ(run({"export", m_image, out, GetParam().names ? "--names" : "--"}).status, 0);
    const std::string text = fileText(out);
    EXPECT_EQ(linesOf(text).size(), std::size_t{kRecordCount + 1});
    const Outcome result = import(GetParam().change(text));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("0 entries change"), std::string::npos) << result.out;
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundTrip,
    ::testing::Values(Resave{"Numbers", false, [](std::string text) { return text; }},
                      Resave{"Names", true, [](std::string text) { return text; }},
                      Resave{"LineFeedsAndNoLastLineEnd", true,
                             [](std::string text) {
                                 text = replaced(text, "\r\n", "\n");
                                 text.pop_back();
                                 return text;
                             }},
                      Resave{"ByteOrderMarkEveryCellQuotedEmptyLineAtTheEnd", true,
                             [](std::string text) {
                                 text = replaced(replaced(replaced(text, "\"", ""), ",", "\",\""),
                                                 "\r\n", "\"\r\n\"");
                                 return "\xEF\xBB\xBF\"" + text.substr(0, text.size() - 1) + "\r\n";
                             }},
                      Resave{"TrailingBlanksTrimmedEmptyCellsAddedRowsReversed", true,
                             [](std::string text) {
                                 auto lines = linesOf(replaced(
                                     replaced(replaced(text, "\r", ""), " \"", ""), "\"", ""));
                                 std::string out = lines.front();
                                 for (auto line = lines.rbegin(); line + 1 != lines.rend();
                                      ++line) {
                                     out += ",,\n" + *line;
                                 }
                                 return out + "\n,,,,\n";
                             }}),
    [](const auto &testInfo) { return testInfo.param.name; });

TEST_F(TableTool, AnEditedSubsetWritesExactlyItsBytesAndADryRunNothing)
{
    // Rows in any order, an unchanged row, blanks and a fraction in numbers, letter case in
    // names, a held item without its trailing blank.
    const std::string csv = kHeader + sampleRow(666, {{8, "48.5"}, {12, "None"}}) + sampleRow(547) +
                            sampleRow(3, {{2, "KINDLET"}, {3, " 50 "}, {9, "STONE"}});
    const Outcome dryRun = import(csv, {"--dry-run"});
    EXPECT_EQ(dryRun.status, 0) << dryRun.err;
    EXPECT_NE(dryRun.out.find("hp 113 -> 50"), std::string::npos) << dryRun.out;
    EXPECT_NE(dryRun.out.find("2 entries change, 4 values.\nDry run"), std::string::npos);
    EXPECT_EQ(snapshotOf(m_image), m_before);

    const Outcome result = import(csv);
    EXPECT_EQ(result.status, 0) << result.err;
    using stats::testing::offsetOf;
    std::vector<std::int64_t> expected{offsetOf(Range::List1, 3, Field::hp),
                                       offsetOf(Range::List1, 3, Field::ty1),
                                       offsetOf(Range::AlternateForms, 17, Field::spdef),
                                       offsetOf(Range::AlternateForms, 17, Field::wh1)};
    EXPECT_EQ(stats::testing::differingOffsets(m_before, snapshotOf(m_image)), expected);
    const auto kindlet = loadEntry(m_image, Range::List1, 3).value();
    const auto last = loadEntry(m_image, Range::AlternateForms, 17).value();
    EXPECT_EQ(std::vector({kindlet[0], kindlet[6], last[5], last[9]}),
              std::vector<std::uint8_t>({50, 5, 48, 0}));
}

struct Refusal
{
    const char *name;
    std::string rows;
    std::string message;
    std::function<void(const std::string &)> spoil = nullptr;
};

class Refused : public TableTool, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(Refused, NothingIsWritten)
{
    if (GetParam().spoil) {
        GetParam().spoil(m_image);
        m_before = snapshotOf(m_image);
    }
    // A valid change before the faulty rows, which must not be written either.
    const Outcome result = import(kHeader + sampleRow(0, {{3, "99"}}) + GetParam().rows);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

INSTANTIATE_TEST_SUITE_P(
    Import, Refused,
    ::testing::Values(
        Refusal{"ShiftedRow", sampleRow(5, {{1, "4"}}),
                ":3: column 3 (name): \"Pyrevant\" is not the name of List 1 row 4, "
                "\"Charrow\", but of row 5"},
        Refusal{"WrongName", sampleRow(4, {{2, "Nobody"}}), "\"Nobody\" is not the name of"},
        Refusal{"DuplicateEntry", sampleRow(0),
                ":3: column 2 (row): List 1 row 0 is already "
                "given on line 2"},
        Refusal{"BadNumber", sampleRow(4, {{3, "1e2"}}), "column 4 (hp): \"1e2\" is not a number"},
        Refusal{"AmbiguousText", sampleRow(4, {{12, "??? "}}), "give the number of the one"},
        Refusal{"UnknownList", sampleRow(4, {{0, "List 4"}}), "\"List 4\" is not a list"},
        Refusal{"ChoiceNumberWithoutRow", sampleRow(4, {{9, "17"}}), "17 has no row in the type"},
        Refusal{"UnclosedQuote", "\"List 1,4",
                ":3: column 1 (list): a cell opens a quote that is not closed"},
        Refusal{"TextAfterAClosingQuote", sampleRow(4, {{3, "\"12\"3"}}),
                ":3: column 4 (hp): text follows the closing quote"},
        Refusal{"OneCell", "List 1\n", ":3: the row has 1 cell; the header has 18"},
        Refusal{"MoreCellsThanTheHeader", sampleRow(4, {{17, "0,,x,,"}}),
                ":3: the row has 20 cells; the header has 18\n"},
        Refusal{"EveryFaultListed", sampleRow(4, {{3, "x"}, {4, "-1"}, {17, "Nobody"}}),
                "csv: 3 faults; nothing was written"},
        Refusal{"ShortImage", "", "the file ends before the end of the stats table",
                [](const std::string &image) {
                    ASSERT_EQ(::truncate(image.c_str(), kTableEnd - 1), 0);
                }},
        Refusal{"WrongGameCode", "", "it does not carry the game code QVZT",
                [](const std::string &image) {
                    const int fd = ::open(image.c_str(), O_WRONLY | O_CLOEXEC);
                    ASSERT_EQ(::pwrite(fd, "QVZU", 4, kGameCodeOffset), 4);
                    ::close(fd);
                }}),
    [](const auto &testInfo) { return testInfo.param.name; });

TEST_F(TableTool, AWriteFailingMidwayPutsEveryEntryBack)
{
    TableBytes other(kRecordCount);
    for (int r = 0; r < kRecordCount; ++r) {
        other[static_cast<std::size_t>(r)] = stats::tools::sampleFieldBytes(r + 1);
    }
    stats::testing::ScriptedFileApi files;
    // The disk fills up after the first write of entry 200.
    files.failAfterStep(SaveStep::BetweenWrites, 200, stats::testing::ScriptedFileApi::Call::Write,
                        ENOSPC);
    const Outcome result = import(
        stats::table::tableCsv(other, stats::catalogues::builtInCatalogues(), true), {}, files);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("No space left on device; every entry written so far was put back"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(files.openDescriptors(), 0);
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

// stats-table as a process of its own under one resource limit, its messages going to
// `err`: how it ended, and its peak memory in KiB.
struct Limited
{
    int status = 0;
    long peakKiB = 0;
};

Limited runLimited(int resource, rlim_t limit, const char *command, const std::string &image,
                   const std::string &file, const std::string &err)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write over the size limit fails instead
        const rlimit both{limit, limit};
        ::setrlimit(resource, &both);
        if (::freopen(err.c_str(), "w", stderr) == nullptr) {
            ::_exit(126);
        }
        ::execl(STATS_TABLE_PATH, "stats-table", command, image.c_str(), file.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) {
        return {-1, usage.ru_maxrss};
    }
    return {WEXITSTATUS(status), usage.ru_maxrss};
}

struct ExportTarget
{
    const char *name;
    // Makes the target in the folder; empty when this machine cannot.
    std::function<std::string(const std::string &folder, const std::string &image)> make;
    const char *refusal; ///< nullptr when the export is written
    bool unreadable = false;
};

class Export : public TableTool, public ::testing::WithParamInterface<ExportTarget>
{
};

TEST_P(Export, GoesOnlyToAFileAPipeATerminalOrNullAndNeverOverAnImage)
{
    const std::string target = GetParam().make(m_dir.path(), m_image);
    if (target.empty()) {
        GTEST_SKIP() << "this machine cannot make the target";
    }
    const auto targetBefore = snapshotOf(target);
    stats::testing::ScriptedFileApi files;
    if (GetParam().unreadable) {
        files.arm(stats::testing::ScriptedFileApi::Call::Open, EACCES, 2);
    }
    const Outcome result = run({"export", m_image, target}, files);
    EXPECT_EQ(snapshotOf(m_image), m_before);
    if (GetParam().refusal == nullptr) {
        EXPECT_EQ(result.status, 0) << result.err;
        if (targetBefore.size != 0 || target.find("/dev/") != 0) {
            EXPECT_EQ(linesOf(fileText(target)).size(), std::size_t{kRecordCount + 1});
        }
        return;
    }
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(GetParam().refusal), std::string::npos) << result.err;
    EXPECT_EQ(snapshotOf(target), targetBefore);
}

std::string madeFile(const std::string &path, const std::string &text)
{
    return stats::testing::writeFile(path, {text.begin(), text.end()}) ? path : "";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Export,
    ::testing::Values(
        ExportTarget{"TheImage", [](auto &, auto &image) { return image; }, "the image itself"},
        ExportTarget{"AHardLinkToTheImage",
                     [](auto &folder, auto &image) {
                         const std::string link = folder + "/hard.nds";
                         return ::link(image.c_str(), link.c_str()) == 0 ? link : "";
                     },
                     "the image itself"},
        ExportTarget{"ASymbolicLinkToTheImage",
                     [](auto &folder, auto &image) {
                         const std::string link = folder + "/soft.csv";
                         return ::symlink(image.c_str(), link.c_str()) == 0 ? link : "";
                     },
                     "the image itself"},
        ExportTarget{"AnotherImage",
                     [](auto &folder, auto &) {
                         const std::string other = folder + "/other.nds";
                         return stats::testing::makeSampleImage(other) ? other : "";
                     },
                     "it is an image (its game code is QVZT)"},
        ExportTarget{"AFileThatCannotBeRead",
                     [](auto &folder, auto &) { return madeFile(folder + "/w.nds", "QVZT"); },
                     "it cannot be read, so nothing tells that it is no image", true},
        ExportTarget{"ABlockDevice",
                     [](auto &folder, auto &) {
                         const std::string disk = folder + "/disk";
                         return ::mknod(disk.c_str(), S_IFBLK | 0600, makedev(7, 0)) == 0 ? disk
                                                                                          : "";
                     },
                     "a disk or another device"},
        ExportTarget{"ACharacterDevice", [](auto &, auto &) { return std::string("/dev/full"); },
                     "a disk or another device"},
        ExportTarget{"AFolder", [](auto &folder, auto &) { return folder; }, "a folder"},
        ExportTarget{"DevNull", [](auto &, auto &) { return std::string("/dev/null"); }, nullptr},
        ExportTarget{"ANewFile", [](auto &folder, auto &) { return folder + "/new.csv"; }, nullptr},
        ExportTarget{"AnOldCsv",
                     [](auto &folder, auto &) { return madeFile(folder + "/old.csv", "a,b\n"); },
                     nullptr}),
    [](const auto &testInfo) { return testInfo.param.name; });

// The CSV goes to a new file beside the target first, so a write that fails midway (here:
// over the process's file size limit) leaves the old file as it was and nothing beside it.
TEST_F(TableTool, AnExportThatFailsLeavesTheOldFileWhole)
{
    const std::string target = madeFile(m_dir.file("old.csv"), "a,b\n");
    const std::string err = m_dir.file("err.txt");
    const Limited ended = runLimited(RLIMIT_FSIZE, 4096, "export", m_image, target, err);
    EXPECT_EQ(ended.status, 1) << fileText(err);
    EXPECT_NE(fileText(err).find("the file is as it was"), std::string::npos) << fileText(err);
    EXPECT_EQ(fileText(target), "a,b\n");
    std::set<std::string> left;
    for (const auto &entry : std::filesystem::directory_iterator(m_dir.path())) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, (std::set<std::string>{"image.nds", "old.csv", "err.txt"}));
}

// A cell echoed in a fault shows what a terminal would act on, or hide, as an escape.
TEST_F(TableTool, AnEchoedCellCarriesNoControlCharacterToTheTerminal)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\x1B[2J1", R"("\u001B[2J1")"},
        {"\xC2\x9B"
         "31m",
         R"("\u009B31m")"},
        {"\xE2\x80\xAE"
         "21",
         R"("\u202E21")"},
        {"\xC2\xA0"
         "12",
         R"("\u00A012")"},
        {"\xEF\xBB\xBF"
         "12",
         R"("\uFEFF12")"},
        {std::string(39, '9') + "\xC3\xA9", "\"" + std::string(39, '9') + "...\""},
    };
    for (const auto &[cell, shown] : cases) {
        const Outcome result = import(kHeader + sampleRow(4, {{3, "\"" + cell + "\""}}));
        EXPECT_NE(result.err.find("column 4 (hp): " + shown + " is not"), std::string::npos)
            << result.err;
        for (const std::string_view raw :
             {"\x1B", "\xC2\x9B", "\xE2\x80\xAE", "\xC2\xA0", "\xFF"}) {
            EXPECT_EQ(result.err.find(raw), std::string::npos) << shown;
        }
    }
}

// File names come from the user as cells do, and every message shows them escaped alike.
TEST_F(TableTool, AFileNameInAMessageCarriesNoControlCharacterToTheTerminal)
{
    const std::string csv = m_dir.file("bad\x1B[31mname\xFF.csv");
    const std::string text = kHeader + sampleRow(4, {{3, "x"}});
    ASSERT_TRUE(stats::testing::writeFile(csv, {text.begin(), text.end()}));
    for (const auto &args : {std::vector<std::string>{"import", m_image, csv},
                             std::vector<std::string>{"import", csv + ".nds", csv}}) {
        const Outcome result = run(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("bad\\u001B[31mname\\xFF.csv"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\x1B'), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\xFF'), std::string::npos) << result.err;
    }
}

// Faults of the whole file: one fault each, with no second one that follows from it.
TEST_F(TableTool, AFileThatIsNoCsvOfTheTableGetsOneFault)
{
    const std::pair<std::string, std::string> cases[] = {
        {std::string("\xFF\xFEl\0i\0s\0t\0", 10), ":1: the file is not UTF-8 text"},
        {"\"list,row\r\n", ":1: column 1 (list): a cell opens a quote that is not closed"},
        {"\r\n,,\r\n", ":1: the file is empty;"},
        // Saved in a Windows character set: its fault is the character set, not the names.
        {kHeader + sampleRow(4, {{12, "Cloisonn\xe9 Jar"}}),
         ":2: the file is not UTF-8 text: this line holds a byte that is no UTF-8 character"},
    };
    for (const auto &[text, fault] : cases) {
        const Outcome result = import(text);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(fault), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("name pack"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(": 1 fault; nothing was written"), std::string::npos)
            << result.err;
    }
}

// A name is matched as the editor matches it: whatever the case of its letters, also beyond
// ASCII, and whatever the Unicode form of its accents.
TEST(ImportCheck, ANameMatchesInAnyLetterCaseAndUnicodeForm)
{
    TableBytes table(kRecordCount);
    for (int r = 0; r < kRecordCount; ++r) {
        table[static_cast<std::size_t>(r)] = stats::tools::sampleFieldBytes(r);
    }
    for (const std::string cell :
         {"CLOISONN\u00c9 JAR", "cloisonn\u00e9 jar", "Cloisonne\u0301 Jar"}) {
        const auto result = stats::table::readImportCsv(kHeader + sampleRow(4, {{12, cell}}), table,
                                                        stats::catalogues::builtInCatalogues());
        ASSERT_EQ(result.faultCount, 0U) << cell;
        EXPECT_EQ(result.rows.at(0).bytes[9], 4) << cell;
    }
}

// A number without a row in its list is taken only where the image holds it already.
TEST(ImportCheck, AChoiceNumberWithoutARowIsTakenOnlyWhereTheImageHoldsIt)
{
    TableBytes table(kRecordCount);
    for (int r = 0; r < kRecordCount; ++r) {
        table[static_cast<std::size_t>(r)] = stats::tools::sampleFieldBytes(r);
    }
    table[4][6] = 200;
    for (const auto &[cell, faults] : {std::pair{"200", 0}, std::pair{"201", 1}}) {
        const auto result = stats::table::readImportCsv(kHeader + sampleRow(4, {{9, cell}}), table,
                                                        stats::catalogues::builtInCatalogues());
        EXPECT_EQ(result.faultCount, std::size_t(faults)) << cell;
        EXPECT_EQ(result.rows.size(), std::size_t(1 - faults)) << cell;
    }
}

TEST_F(TableTool, DashReadsStandardInputAndAReportThatCannotBeWrittenFails)
{
    const std::string csv = m_dir.file("in.csv");
    const std::string text = kHeader + sampleRow(4, {{3, "77"}});
    ASSERT_TRUE(stats::testing::writeFile(csv, {text.begin(), text.end()}));
    std::FILE *in = std::fopen(csv.c_str(), "r");
    std::FILE *full = std::fopen("/dev/full", "w");
    char *err = nullptr;
    std::size_t errSize = 0;
    std::FILE *errStream = open_memstream(&err, &errSize);
    const std::vector<std::string_view> args{"import", m_image, "-"};
    EXPECT_EQ(runTableTool(args, {full, errStream, in}), 1);
    std::fclose(errStream);
    const std::string message(err, errSize);
    std::free(err);
    std::fclose(in);
    std::fclose(full);
    EXPECT_NE(message.find("the report could not be written: " + osReason(ENOSPC) +
                           "; all 1 changed entries were written into"),
              std::string::npos)
        << message;
    EXPECT_EQ(loadEntry(m_image, Range::List1, 4).value()[0], 77);
}

// A killed import leaves the entries before the write it was killed at written, and at
// most one of them half-written; the same import run again completes it.
TEST_F(TableTool, AnImportKilledMidwayIsCompletedByRunningItAgain)
{
    TableBytes other(kRecordCount);
    for (int r = 0; r < kRecordCount; ++r) {
        other[static_cast<std::size_t>(r)] = stats::tools::sampleFieldBytes(r + 1);
    }
    const std::string csv =
        stats::table::tableCsv(other, stats::catalogues::builtInCatalogues(), false);
    const pid_t child = ::fork();
    if (child == 0) {
        stats::testing::ScriptedFileApi files;
        // Killed midway through entry 200: its first fields are new, the others old.
        files.atStep(SaveStep::BetweenWrites, 200, [] { ::raise(SIGKILL); });
        (void)import(csv, {}, files);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const TableBytes killed = loadTable(m_image).value().entries;
    int newEntries = 0;
    int halfWritten = 0;
    for (int r = 0; r < kRecordCount; ++r) {
        const auto &now = killed[static_cast<std::size_t>(r)];
        newEntries += now == other[static_cast<std::size_t>(r)];
        halfWritten +=
            now != other[static_cast<std::size_t>(r)] && now != stats::tools::sampleFieldBytes(r);
    }
    EXPECT_EQ(newEntries, 200);
    EXPECT_LE(halfWritten, 1);
    const Outcome rerun = run({"import", m_image, m_dir.file("in0.csv")});
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_EQ(loadTable(m_image).value().entries, other);
}

constexpr std::size_t kLimit = std::size_t{16} << 20;

// Hostile files up to the size limit are checked in bounded memory and time, with a bounded
// report; the program runs in a process of its own under an address-space limit.
TEST_F(TableTool, AFileOfAnyAcceptedSizeIsCheckedInBoundedMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit";
#endif
    const auto repeated = [](std::string_view head, std::string_view unit,
                             std::size_t size = kLimit) {
        return [=] {
            std::string text(head);
            text.reserve(size);
            while (text.size() + unit.size() <= size) {
                text += unit;
            }
            return text;
        };
    };
    // Made one at a time, so that the test process stays small: a forked child counts the
    // memory of its parent.
    const std::pair<std::function<std::string()>, const char *> cases[] = {
        {repeated("", ","), "the header row must read"},
        {repeated("", "\n"), "the file is empty"},
        {repeated(kHeader, "x\n"), "more faults"},
        {repeated("\"", "a"), "a cell opens a quote that is not closed"},
        {repeated(kHeader, "\"1\"x,"), "text follows the closing quote"},
        {repeated(kHeader, "1,"), "the row has 8388570 cells"},
        {repeated("", ",", kLimit + 1), "it is larger than 16 MiB"},
    };
    for (const auto &[make, message] : cases) {
        const std::string csv = m_dir.file("big.csv");
        ::unlink(csv.c_str());
        {
            const std::string text = make();
            ASSERT_TRUE(stats::testing::writeFile(csv, {text.begin(), text.end()}));
        }
        const std::string err = m_dir.file("err.txt");
        const Limited ended = runLimited(RLIMIT_AS, rlim_t{512} << 20, "import", m_image, csv, err);
        const std::string report = fileText(err);
        EXPECT_EQ(ended.status, 1) << message << "\n" << report;
        EXPECT_LT(ended.peakKiB, 64 * 1024) << message;
        EXPECT_NE(report.find(message), std::string::npos) << report.substr(0, 2000);
        EXPECT_LE(linesOf(report).size(), std::size_t{102}) << message;
    }
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

TEST(TableToolUsage, BadUsageExitsWithTwoAndHelpWithZero)
{
    const struct
    {
        std::vector<std::string> args;
        int status;
        const char *text;
    } cases[] = {
        {{}, 2, "no command given"},
        {{"import", "a.nds", "--help"}, 0, "usage: stats-table export"},
        {{"export"}, 2, "export takes IMAGE"},
        {{"import", "a.nds"}, 2, "import takes IMAGE and IN.csv"},
        {{"import", "a.nds", "b.csv", "--names"}, 2, "--names is no option of import"},
        {{"export", "a.nds", "-dry-run"}, 2, "unknown option -dry-run"},
        {{"export", "a.nds", "--names=yes"}, 2, "unknown option --names=yes"},
        {{"export", "a.nds", "--name-pack="}, 2, "--name-pack takes a folder"},
        // After "--" an operand may look like an option: here it is the image.
        {{"export", "--", "--names"}, 1, "stats-table: --names: "},
        {{"copy", "a.nds"}, 2, "unknown command copy"},
    };
    for (const auto &c : cases) {
        const Outcome result = run(c.args);
        EXPECT_EQ(result.status, c.status) << c.text;
        EXPECT_NE((result.out + result.err).find(c.text), std::string::npos) << c.text;
    }
}

} // namespace
