// Where both programs look for a name pack on Windows: stats-editor\names in %APPDATA% only.

#include "catalogues/namepack.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using stats::catalogues::DataFolders;
using stats::catalogues::namePackFolders;

TEST(WindowsNamePack, IsLookedForInTheRoamingApplicationDataOnly)
{
    EXPECT_EQ(namePackFolders({"C:\\Users\\u\\AppData\\Roaming", "C:\\Users\\u", "D:\\share"}),
              std::vector<std::filesystem::path>{
                  std::filesystem::path("C:\\Users\\u\\AppData\\Roaming\\stats-editor\\names")});
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

} // namespace
