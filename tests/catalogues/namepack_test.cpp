// Name packs: the faults that refuse one, what a sound one changes, and where one is found.

#include "catalogues/namepack.h"
#include "support/ordinaryuser.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;
using stats::catalogues::builtInCatalogues;
using stats::catalogues::chooseNames;
using stats::catalogues::DataFolders;
using stats::catalogues::FaultLog;
using stats::catalogues::loadNamePack;
using stats::catalogues::namePackFolders;
using stats::catalogues::ValueList;
using stats::image::Range;
using stats::platform::Path;
using stats::testing::TempDir;

void writeText(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The built-in rows of a list as a data file's text, LF after every line.
std::string rowsText(const stats::catalogues::Catalogue &list)
{
    std::string text;
    for (const auto row : list.rows()) {
        text.append(row).push_back('\n');
    }
    return text;
}

std::string lines(int count, const std::string &text = "word")
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += text + std::to_string(i) + '\n';
    }
    return out;
}

std::string faultsText(const FaultLog &faults)
{
    std::string text;
    for (const auto &fault : faults.kept()) {
        text += stats::catalogues::formatDiagnostic(fault) + '\n';
    }
    return text;
}

struct FaultCase
{
    const char *name;
    const char *file;
    std::string content;
    std::string expected; ///< "file:line: message", after the folder
};

const std::vector<FaultCase> kFaults{
    {"EntryListShort", "list1.txt", lines(546),
     "list1.txt:546: the list has 546 rows; it must have exactly 547"},
    {"ValueListLong", "types.txt", lines(257),
     "types.txt:257: the list has 257 rows; it must have 1 to 256"},
    {"AbilitiesWithoutADreamWorldRow", "abilities.txt", "-None-\n",
     "abilities.txt:1: the list has 1 row; it must have 2 to 256"},
    {"EmptyRow", "types.txt", "plain\n\nbrawn\n", "types.txt:2: row 1 is empty"},
    {"NotUtf8", "types.txt", "pl\xE9in\n", "types.txt:1: line is not valid UTF-8"},
    {"TooLong", "abilities.txt", "-No Ability-\n" + std::string(65, 'x') + "\n",
     "abilities.txt:2: row 1 has 65 characters; at most 64"},
    {"ControlCharacter", "held-items.txt", "None\t\n",
     "held-items.txt:1: row 0 holds U+0009, a control character"},
    {"C1ControlCharacter", "types.txt",
     "a\xC2\x9B"
     "b\n",
     "types.txt:1: row 0 holds U+009B, a control character"},
    // Characters that reorder or hide text, each refused where a terminal would act on it.
    {"RightToLeftOverride", "types.txt", "plain\nfi\u202Ere\n",
     "types.txt:2: row 1 holds U+202E, a control character"},
    {"FirstStrongIsolate", "types.txt", "\u2068plain\n", "types.txt:1: row 0 holds U+2068"},
    {"PopDirectionalIsolate", "types.txt", "plain\u2069\n", "types.txt:1: row 0 holds U+2069"},
    {"ZeroWidthSpace", "abilities.txt", "a\nb\u200Bc\n", "abilities.txt:2: row 1 holds U+200B"},
    {"RightToLeftMark", "types.txt", "a\u200F\n", "types.txt:1: row 0 holds U+200F"},
    {"ByteOrderMarkInARow", "types.txt", "a\n\uFEFFb\n", "types.txt:2: row 1 holds U+FEFF"},
    // Blanks at the ends: only a held item may end in one.
    {"LeadingBlank", "types.txt", "a\n b\n", "types.txt:2: row 1 starts with a blank"},
    {"TrailingBlank", "abilities.txt", "a\nb \n", "abilities.txt:2: row 1 ends with a blank"},
    {"HeldItemWithTwoBlanks", "held-items.txt", "None \nJar  \n",
     "held-items.txt:2: row 1 ends with more than one blank"},
    {"HeldItemStartingWithABlank", "held-items.txt", " Jar \n",
     "held-items.txt:1: row 0 starts with a blank"},
    {"LargerThanTheLongestList", "types.txt", std::string(256 * 258 + 4, 'a'),
     "types.txt: is 66052 bytes long, larger than the 66051 bytes"},
};

class PackFault : public testing::TestWithParam<FaultCase>
{
};

TEST_P(PackFault, RefusesThePackWholeNamingFileAndLine)
{
    const TempDir dir;
    const FaultCase &c = GetParam();
    // A sound file beside the faulty one: a refused pack changes no list at all.
    writeText(fs::path(dir.path()) / "types.txt", "ether\n");
    writeText(fs::path(dir.path()) / c.file, c.content);
    const auto names = loadNamePack(dir.path(), builtInCatalogues());
    ASSERT_FALSE(names.has_value());
    EXPECT_NE(faultsText(names.error()).find(dir.path() + "/" + c.expected), std::string::npos)
        << faultsText(names.error());
}

INSTANTIATE_TEST_SUITE_P(Structure, PackFault, testing::ValuesIn(kFaults),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(PackFault, EveryFaultOfEveryFileIsListed)
{
    const TempDir dir;
    writeText(fs::path(dir.path()) / "types.txt", "\n");
    fs::create_directory(fs::path(dir.path()) / "abilities.txt");
    const auto names = loadNamePack(dir.path(), builtInCatalogues());
    ASSERT_FALSE(names.has_value());
    const std::string text = faultsText(names.error());
    EXPECT_NE(text.find("types.txt:1: row 0 is empty"), std::string::npos) << text;
    EXPECT_NE(text.find("abilities.txt: is not a plain file"), std::string::npos) << text;
}

// Looked at as a user without root's rights, whom a folder's permissions bind.
TEST(PackFault, AFolderThatCannotBeSearchedGivesTheSystemsReason)
{
    const TempDir dir;
    const fs::path pack = fs::path(dir.path()) / "pack";
    fs::create_directory(pack);
    writeText(pack / "types.txt", "ether\n");
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(pack, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(stats::testing::asOrdinaryUser([&] {
        for (const fs::path &folder : {pack, pack / "inner"}) {
            const auto names = loadNamePack(Path::fromFilesystem(folder), builtInCatalogues());
            if (names || faultsText(names.error()).find("cannot be looked at: Permission denied") ==
                             std::string::npos) {
                return false;
            }
        }
        return true;
    }));
    fs::permissions(pack, fs::perms::owner_all);
}

TEST(PackFault, AFolderWithoutNameFilesOrNoFolderAtAll)
{
    const TempDir dir;
    for (const std::string &folder : {dir.path(), dir.file("missing")}) {
        const auto names = loadNamePack(folder, builtInCatalogues());
        ASSERT_FALSE(names.has_value()) << folder;
        EXPECT_EQ(names.error().count(), 1U) << faultsText(names.error());
    }
}

TEST(NamePack, ReplacesTheListsItHoldsAndKeepsTheOthers)
{
    const TempDir dir;
    const auto &builtIn = builtInCatalogues();
    // Edited on another system: CRLF line ends, a byte order mark, no line end at the last line.
    std::string types = "\xEF\xBB\xBF";
    for (const auto row : builtIn.values(ValueList::Types).rows()) {
        types.append(row).append("\r\n");
    }
    types += "ether";
    writeText(fs::path(dir.path()) / "types.txt", types);
    std::string list1 = rowsText(builtIn.entries(Range::List1));
    list1.replace(0, list1.find('\n'), "Renamed");
    writeText(fs::path(dir.path()) / "list1.txt", list1);
    writeText(fs::path(dir.path()) / "abilities.txt", "-No Ability-\nGlow\nDim\n");

    const auto names = loadNamePack(dir.path(), builtIn);
    ASSERT_TRUE(names.has_value()) << faultsText(names.error());
    const auto &packTypes = names->values(ValueList::Types);
    ASSERT_EQ(packTypes.rowCount(), builtIn.values(ValueList::Types).rowCount() + 1);
    EXPECT_EQ(packTypes.text(0), builtIn.values(ValueList::Types).text(0));
    EXPECT_EQ(packTypes.text(17), "ether");
    EXPECT_EQ(names->entryName(Range::List1, 0), "Renamed");
    EXPECT_EQ(names->entryName(Range::List1, 1), builtIn.entryName(Range::List1, 1));
    EXPECT_EQ(names->entryName(Range::List2, 5), builtIn.entryName(Range::List2, 5));
    EXPECT_EQ(names->values(ValueList::DreamWorldAbilities).rowCount(), 2);
}

TEST(NamePack, IsLookedForInTheXdgDataFoldersInTheirOrder)
{
    const auto inside = [](const std::string &folder) {
        return Path(folder) / "stats-editor" / "names";
    };
    EXPECT_EQ(namePackFolders({"", "/home/u", ""}),
              (std::vector{inside("/home/u/.local/share"), inside("/usr/local/share"),
                           inside("/usr/share")}));
    EXPECT_EQ(namePackFolders({"/data", "/home/u", "/a:relative::/b"}),
              (std::vector{inside("/data"), inside("/a"), inside("/b")}));
}

TEST(NamePack, TheFirstFolderFoundIsUsedElseTheBuiltInNames)
{
    const TempDir dir;
    const DataFolders folders{dir.path() + "/home", "",
                              dir.path() + "/first:" + dir.path() + "/second"};
    auto chosen = chooseNames(std::nullopt, folders);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_FALSE(chosen->pack.has_value());

    for (const char *folder : {"first", "second"}) {
        fs::create_directories(fs::path(dir.path()) / folder / "stats-editor" / "names");
        writeText(fs::path(dir.path()) / folder / "stats-editor" / "names" / "types.txt",
                  std::string(folder) + "\n");
    }
    chosen = chooseNames(std::nullopt, folders);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->names.values(ValueList::Types).text(0), "first");
    // A pack named on the command line comes before every folder.
    chosen = chooseNames(dir.file("second/stats-editor/names"), folders);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->names.values(ValueList::Types).text(0), "second");
}

} // namespace
