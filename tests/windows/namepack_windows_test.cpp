// Where both programs look for a name pack on Windows: stats-editor\names in %APPDATA% only.

#include "catalogues/namepack.h"
#include "platform/newfile.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using stats::catalogues::DataFolders;
using stats::catalogues::namePackFolders;
using stats::platform::Path;

TEST(WindowsNamePack, IsLookedForInTheRoamingApplicationDataOnly)
{
    EXPECT_EQ(namePackFolders({"C:\\Users\\u\\AppData\\Roaming", "C:\\Users\\u", "D:\\share"}),
              std::vector<Path>{"C:\\Users\\u\\AppData\\Roaming\\stats-editor\\names"});
    // Not set, or a relative folder that would depend on where a program starts: nowhere.
    EXPECT_TRUE(namePackFolders({"", "", ""}).empty());
    EXPECT_TRUE(namePackFolders({"AppData\\Roaming", "", ""}).empty());
}

TEST(WindowsNamePack, TakesAppDataFromTheEnvironmentInUtf8)
{
    ASSERT_EQ(::_wputenv_s(L"APPDATA", L"C:\\Users\\\u00E9l\u00E8ve\\AppData\\Roaming"), 0);
    EXPECT_EQ(DataFolders::fromEnvironment().dataHome,
              "C:\\Users\\\xC3\xA9l\xC3\xA8ve\\AppData\\Roaming");
}

// Found in %APPDATA% and read there under a name in or outside the system's code page, which
// the system calls take only in UTF-16.
TEST(WindowsNamePack, IsReadFromAFolderWhoseNameIsNotAscii)
{
    const stats::testing::TempDir dir;
    for (const std::string name :
         {"noms-\xC3\xA9t\xC3\xA9",
          "\xCE\xBF\xCE\xBD\xCF\x8C\xCE\xBC\xCE\xB1\xCF\x84\xCE\xB1-\xE5\x90\x8D"}) {
        const Path appData = Path(dir.path()) / name;
        const Path pack = appData / "stats-editor" / "names";
        std::filesystem::create_directories(pack.filesystem());
        ASSERT_TRUE(stats::platform::writeNewFile(stats::platform::systemFileApi(),
                                                  pack / "types.txt", name + "\n"));
        const auto chosen = stats::catalogues::chooseNames(std::nullopt, {appData.text(), {}, {}});
        ASSERT_TRUE(chosen.has_value()) << name;
        ASSERT_TRUE(chosen->pack.has_value()) << name;
        EXPECT_EQ(chosen->pack->text(), pack.text());
        EXPECT_EQ(chosen->names.values(stats::catalogues::ValueList::Types).text(0), name);
    }
}

} // namespace
