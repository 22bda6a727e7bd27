#include "image/imagefile.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"
#include "table/tablecsv.h"
#include "table/tabletool.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

using namespace stats::image;
using stats::table::runTableTool;
using stats::testing::snapshotOf;

struct Outcome
{
    int status;
    std::string out;
    std::string err;
};

Outcome run(const std::vector<std::string> &args, FileApi &files = systemFileApi())
{
    char *out = nullptr;
    char *err = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    std::FILE *outStream = open_memstream(&out, &outSize);
    std::FILE *errStream = open_memstream(&err, &errSize);
    const std::vector<std::string_view> views(args.begin(), args.end());
    Outcome result{runTableTool(views, {outStream, errStream}, files), {}, {}};
    std::fclose(outStream);
    std::fclose(errStream);
    result.out.assign(out, outSize);
    result.err.assign(err, errSize);
    std::free(out);
    std::free(err);
    return result;
}

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
        return linesOf(replaced(stats::table::tableCsv(table, stats::catalogues::builtInCatalogues(), false), "\r", ""));
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
        Refusal{"UnclosedQuote", "\"List 1,4", ":3: a cell opens a quote that is not closed"},
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
    files.arm(stats::testing::ScriptedFileApi::Call::Pwrite, ENOSPC, 1000);
    const Outcome result = import(stats::table::tableCsv(other, stats::catalogues::builtInCatalogues(), true), {}, files);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("No space left on device; every entry written so far was put back"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(files.openDescriptors(), 0);
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

TEST_F(TableTool, TheCsvIsNeverWrittenOverAnImage)
{
    const std::string hardLink = m_dir.file("hard.nds");
    const std::string symlink = m_dir.file("soft.csv");
    const std::string other = m_dir.file("other.nds");
    ASSERT_EQ(::link(m_image.c_str(), hardLink.c_str()), 0);
    ASSERT_EQ(::symlink(m_image.c_str(), symlink.c_str()), 0);
    ASSERT_TRUE(stats::testing::makeSampleImage(other));
    const auto otherBefore = snapshotOf(other);
    for (const std::string &out : {m_image, hardLink, symlink, other}) {
        const Outcome result = run({"export", m_image, out});
        EXPECT_EQ(result.status, 1) << out;
        EXPECT_NE(result.err.find("the CSV is never written over"), std::string::npos);
    }
    EXPECT_EQ(snapshotOf(m_image), m_before);
    EXPECT_EQ(snapshotOf(other), otherBefore);
    const Outcome full = run({"export", m_image, "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find(osReason(ENOSPC)), std::string::npos);
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
        {{"copy", "a.nds"}, 2, "unknown command copy"},
    };
    for (const auto &c : cases) {
        const Outcome result = run(c.args);
        EXPECT_EQ(result.status, c.status) << c.text;
        EXPECT_NE((result.out + result.err).find(c.text), std::string::npos) << c.text;
    }
}

} // namespace
