// stats-table with the names of a pack, its names command, and diff with the patches it makes.

#include "catalogues/namepack.h"
#include "image/imagefile.h"
#include "runtool.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"
#include "table/tablechanges.h"
#include "table/tabletool.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace stats::image;
using stats::testing::offsetOf;
using stats::testing::snapshotOf;

// No pack of the user's or the system's may change what the tests see; the one test of the
// data folders sets its own.
const bool kNoDataFolders = [] {
    ::setenv("XDG_DATA_HOME", "/nonexistent/stats-table-test", 1);
    ::setenv("XDG_DATA_DIRS", "/nonexistent/stats-table-test", 1);
    return true;
}();

using stats::testing::Outcome;
using stats::testing::run;

std::string fileText(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void writeText(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// One value to change: which entry, which field, and the byte.
struct Edit
{
    Range range;
    int row;
    Field field;
    std::uint8_t byte;
};

void applyEdits(const std::string &image, const std::vector<Edit> &edits)
{
    TableBytes table = loadTable(image)->entries;
    std::vector<EntryUpdate> updates;
    for (const Edit &edit : edits) {
        const auto record = static_cast<std::size_t>(rangeInfo(edit.range).firstRecord + edit.row);
        table[record][static_cast<std::size_t>(edit.field)] = edit.byte;
        updates.push_back({edit.range, static_cast<std::int16_t>(edit.row), table[record]});
    }
    ASSERT_TRUE(saveEntries(image, updates).has_value());
}

std::vector<std::uint8_t> tableBytesOf(const std::string &image)
{
    return stats::testing::readBytes(image, kTableOffset,
                                     static_cast<std::size_t>(kTableEnd - kTableOffset));
}

class Table : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const std::string &image : {m_old, m_new}) {
            ASSERT_TRUE(stats::testing::makeSampleImage(image));
        }
        applyEdits(m_new, m_changes);
    }

    stats::testing::TempDir m_dir;
    std::string m_old = m_dir.file("old.nds");
    std::string m_new = m_dir.file("new.nds");
    fs::path m_pack = fs::path(m_dir.path()) / "pack";
    // Three entries, one in each list; a number, a choice, and two values of one entry.
    std::vector<Edit> m_changes{{Range::List1, 3, Field::hp, 50},
                                {Range::List2, 0, Field::ty2, 16},
                                {Range::List2, 0, Field::wh1, 255},
                                {Range::AlternateForms, 17, Field::dw, 5}};
};

TEST_F(Table, APackWithARenamedRowAndAnEighteenthTypeRoundTrips)
{
    ASSERT_EQ(run({"names", m_pack.string()}).status, 0);
    // Over empty lists, so that a file missing from the pack shows.
    const auto written = stats::catalogues::loadNamePack(m_pack.string(), {{}, {}, {}, {}, {}, {}});
    ASSERT_TRUE(written.has_value());
    const auto &builtIn = stats::catalogues::builtInCatalogues();
    for (const Range range : {Range::List1, Range::List2, Range::AlternateForms}) {
        EXPECT_TRUE(
            std::ranges::equal(written->entries(range).rows(), builtIn.entries(range).rows()));
    }
    for (std::size_t list = 0; list < kValueListCount; ++list) {
        EXPECT_TRUE(std::ranges::equal(written->values(static_cast<ValueList>(list)).rows(),
                                       builtIn.values(static_cast<ValueList>(list)).rows()));
    }

    std::string list1 = fileText(m_pack / "list1.txt");
    list1.replace(0, list1.find('\n'), "Re|named");
    writeText(m_pack / "list1.txt", list1);
    writeText(m_pack / "types.txt", fileText(m_pack / "types.txt") + "ether\n");
    const std::string pack = "--name-pack=" + m_pack.string();
    const std::string csv = m_dir.file("names.csv");
    ASSERT_EQ(run({"export", m_old, csv, "--names", pack}).status, 0);
    std::string text = fileText(csv);
    ASSERT_TRUE(contains(text, "\r\nList 1,0,Re|named,20,37,54,71,88,105,hive,")) << text;

    // The eighteenth type by its text in List 1 row 0, by its number in row 1.
    text.replace(text.find(",hive,"), 6, ",Ether,");
    text.replace(text.find(",mind,wyrm,"), 6, ",17,");
    writeText(csv, text);
    const Outcome imported = run({"import", m_old, csv, "--name-pack", m_pack.string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_TRUE(contains(imported.out, "ty1 6 \"hive\" -> 17 \"ether\"")) << imported.out;
    EXPECT_EQ(loadEntry(m_old, Range::List1, 0)->at(6), 17);
    EXPECT_EQ(loadEntry(m_old, Range::List1, 1)->at(6), 17);
    ASSERT_EQ(run({"export", m_old, csv, "--names", pack}).status, 0);
    EXPECT_TRUE(contains(fileText(csv), "\r\nList 1,1,Thornwick,51,70,89,108,127,146,ether,wyrm,"));
    EXPECT_EQ(run({"import", m_old, csv, pack}).out.find("0 entries change"), 0U);
    const Outcome markdown = run({"diff", m_new, m_old, "--markdown", pack});
    EXPECT_TRUE(contains(markdown.out, "| Re\\|named | List 1, row 0 | ty1 | hive | ether |\n"))
        << markdown.out;

    // Without the pack the same file is refused, once with the hint.
    const auto before = snapshotOf(m_old);
    const Outcome refused = run({"import", m_old, csv});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "\"Re|named\" is not the name of List 1 row 0"))
        << refused.err;
    EXPECT_TRUE(contains(refused.err, "the names differ: 3 names in the file are not among the "
                                      "names in use, the built-in names"))
        << refused.err;
    EXPECT_EQ(refused.err.find("--name-pack"), refused.err.rfind("--name-pack"));
    EXPECT_EQ(snapshotOf(m_old), before);
}

TEST_F(Table, ARefusedPackStopsEveryCommandBeforeItDoesAnything)
{
    fs::create_directories(m_pack);
    writeText(m_pack / "types.txt", "plain\r\n\r\nbrawn\r\n");
    const std::string csv = m_dir.file("out.csv");
    const std::string folder = m_dir.file("names");
    ASSERT_EQ(run({"export", m_new, m_dir.file("in.csv")}).status, 0);
    const struct
    {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"export", m_old, csv}, 1},
        {{"import", m_old, m_dir.file("in.csv")}, 1},
        {{"diff", m_old, m_new, "--csv", csv}, 2},
        {{"names", folder}, 1},
    };
    const auto before = snapshotOf(m_old);
    for (const auto &c : cases) {
        auto args = c.args;
        args.insert(args.end(), {"--name-pack", m_pack.string()});
        const Outcome result = run(args);
        EXPECT_EQ(result.status, c.status) << c.args[0];
        EXPECT_TRUE(contains(result.err, (m_pack / "types.txt").string() + ":2: row 1 is empty"))
            << result.err;
        EXPECT_EQ(result.out, "") << c.args[0];
    }
    EXPECT_EQ(snapshotOf(m_old), before);
    EXPECT_FALSE(fs::exists(csv));
    EXPECT_FALSE(fs::exists(folder));

    // The same pack found in the data folders, with no option given.
    fs::create_directories(m_dir.file("data/stats-editor"));
    fs::rename(m_pack, m_dir.file("data/stats-editor/names"));
    ::setenv("XDG_DATA_HOME", m_dir.file("data").c_str(), 1);
    const Outcome found = run({"export", m_old, csv});
    ::setenv("XDG_DATA_HOME", "/nonexistent/stats-table-test", 1);
    EXPECT_EQ(found.status, 1);
    EXPECT_TRUE(contains(found.err, "names/types.txt:2: row 1 is empty")) << found.err;
    EXPECT_FALSE(fs::exists(csv));
}

TEST_F(Table, NamesNeverOverwritesAFile)
{
    fs::create_directories(m_pack);
    writeText(m_pack / "types.txt", "mine\n");
    const Outcome result = run({"names", m_pack.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "types.txt: it exists already")) << result.err;
    EXPECT_EQ(fileText(m_pack / "types.txt"), "mine\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_pack), fs::directory_iterator()), 1);
}

TEST_F(Table, APatchMadeByDiffMakesOldsTableNewsAndChangesOnlyItsCells)
{
    const std::string patch = m_dir.file("patch.csv");
    const Outcome made = run({"diff", m_old, m_new, "--csv", patch});
    ASSERT_EQ(made.status, 1) << made.err;
    EXPECT_TRUE(contains(made.out, "3 entries change, 4 values.\n")) << made.out;
    EXPECT_TRUE(contains(fileText(patch), "\r\nList 2,0,")) << fileText(patch);
    EXPECT_TRUE(contains(fileText(patch), ",255,")) << "a number without --names";

    const std::string copy = m_dir.file("copy.nds");
    fs::copy_file(m_old, copy);
    ASSERT_EQ(run({"import", copy, patch}).status, 0);
    EXPECT_EQ(tableBytesOf(copy), tableBytesOf(m_new));
    EXPECT_EQ(run({"diff", copy, m_new}).status, 0);

    // A third image whose every entry differs from the first: only the patched cells change,
    // and the name guard still checks each row.
    const std::string third = m_dir.file("third.nds");
    ASSERT_TRUE(stats::testing::makeSampleImage(third));
    applyEdits(third, {{Range::List1, 3, Field::atk, 1},
                       {Range::List2, 0, Field::ty2, 2},
                       {Range::AlternateForms, 17, Field::hp, 3}});
    const auto before = snapshotOf(third);
    ASSERT_EQ(run({"import", third, patch}).status, 0);
    std::vector<std::int64_t> expected;
    for (const Edit &edit : m_changes) {
        expected.push_back(offsetOf(edit.range, edit.row, edit.field));
    }
    std::ranges::sort(expected);
    EXPECT_EQ(stats::testing::differingOffsets(before, snapshotOf(third)), expected);
    EXPECT_EQ(loadEntry(third, Range::List1, 3)->at(1), 1);
}

TEST_F(Table, DiffAnswersAsDiffDoes)
{
    const struct
    {
        std::vector<std::string> args;
        int status;
        std::string text; ///< in what it prints
    } cases[] = {
        {{"diff", m_old, m_old}, 0, "0 entries change, 0 values.\n"},
        {{"diff", m_old, m_new}, 1, "List 1 row 3 \"Kindlet\": hp 113 -> 50\n"},
        {{"diff", m_old, m_new},
         1,
         "List 2 row 0 \"Vashkit\": ty2 14 \"rime\" -> 16 \"dusk\", wh1 103 \"Whorl Fossil \" -> "
         "255 \"Lore Scroll 57 \"\n"},
        {{"diff", m_old, m_new, "--markdown"},
         1,
         "| Vashkit | List 2, row 0 | wh1 | Whorl Fossil | Lore Scroll 57 |\n"},
        {{"diff", m_old, m_new, "--csv", "--names"},
         1,
         "\r\nList 2,0,Vashkit,,,,,,,,dusk,,\"Lore Scroll 57 \",,,,,\r\n"},
        {{"diff", m_old, m_dir.file("missing.nds")}, 2, "missing.nds: No such file"},
        {{"diff", m_old, m_new, "--csv", m_old}, 2, "the CSV is never written over"},
        {{"diff", m_old}, 2, "diff takes OLD.nds and NEW.nds"},
        {{"diff", m_old, m_new, m_dir.file("out.csv")}, 2, "OUT.csv only with --csv"},
        {{"diff", m_old, m_new, "--csv", "--markdown"}, 2, "--csv or --markdown, not both"},
        {{"diff", m_old, m_new, "--names"}, 2, "--names is no option of diff without --csv"},
        {{"diff", m_old, m_new, "--name-pack"}, 2, "--name-pack takes a folder"},
    };
    for (const auto &c : cases) {
        const Outcome result = run(c.args);
        EXPECT_EQ(result.status, c.status) << c.text;
        EXPECT_TRUE(contains(result.out + result.err, c.text)) << result.out << result.err;
    }
}

} // namespace

namespace {

// Names no pack may hold, put into a set by hand: every output of names to a terminal shows
// them escaped all the same, so that no name can turn a line around or hide in it.
TEST(NamesShown, HiddenAndDirectionCharactersAreEscapedInEveryReport)
{
    const auto &built = stats::catalogues::builtInCatalogues();
    const auto rowsOf = [](const stats::catalogues::Catalogue &list) {
        return std::vector<std::string>(list.rows().begin(), list.rows().end());
    };
    std::vector<std::string> list1 = rowsOf(built.entries(Range::List1));
    list1[3] = "Kin\u202Edlet\u200B";
    std::vector<std::string> types = rowsOf(built.values(ValueList::Types));
    types[16] = "\u2066dusk\u2069";
    const stats::catalogues::CatalogueSet names(
        stats::catalogues::Catalogue(list1), built.entries(Range::List2),
        built.entries(Range::AlternateForms), stats::catalogues::Catalogue(types),
        built.values(ValueList::HeldItems), built.values(ValueList::Abilities));
    FieldBytes now{};
    now[static_cast<std::size_t>(Field::ty1)] = 16;
    const stats::table::EntryChange change{Range::List1, 3, FieldBytes{}, now};
    const std::string outputs[] = {stats::table::changesReport({&change, 1}, names),
                                   stats::table::changesMarkdown({&change, 1}, names),
                                   stats::table::entryLabel(names, Range::List1, 3)};
    for (const std::string &shown : outputs) {
        for (const char *hidden : {"\u202E", "\u200B", "\u2066", "\u2069"}) {
            EXPECT_FALSE(contains(shown, hidden)) << shown;
        }
        EXPECT_TRUE(contains(shown, "Kin\\u202Edlet\\u200B") ||
                    contains(shown, "Kin\\\\u202Edlet\\\\u200B"))
            << shown;
    }
    EXPECT_TRUE(contains(outputs[0], "\"\\u2066dusk\\u2069\"")) << outputs[0];
}

} // namespace
