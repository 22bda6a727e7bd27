// catalogue-compiler on broken copies of the real data: each fault is refused with the file,
// the line and the rule.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A fresh folder holding a copy of the data files, removed again with the object.
class DataCopy
{
public:
    DataCopy()
    {
        std::string pattern = (fs::temp_directory_path() / "catalogue-data-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_directory = pattern;
            fs::copy(CATALOGUE_DATA_DIR, m_directory);
        }
    }
    ~DataCopy()
    {
        std::error_code ignored;
        fs::remove_all(m_directory, ignored);
    }
    DataCopy(const DataCopy &) = delete;
    DataCopy &operator=(const DataCopy &) = delete;

    [[nodiscard]] const fs::path &directory() const { return m_directory; }

    [[nodiscard]] std::string read(const std::string &fileName) const
    {
        std::ifstream stream(m_directory / fileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    }

    void write(const std::string &fileName, const std::string &bytes) const
    {
        std::ofstream stream(m_directory / fileName, std::ios::binary | std::ios::trunc);
        stream << bytes;
    }

private:
    fs::path m_directory;
};

struct RunResult
{
    int exitCode = -1;
    std::string output;
};

RunResult runCompiler(const std::string &arguments)
{
    const std::string command = std::string("'") + CATALOGUE_COMPILER + "' " + arguments + " 2>&1";
    RunResult result;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RunResult check(const DataCopy &data)
{
    return runCompiler("--check '" + data.directory().string() + "'");
}

// Replaces 1-based line @p line of @p bytes, keeping its line feed.
std::string replaceLine(const std::string &bytes, int line, const std::string &text)
{
    std::size_t start = 0;
    for (int i = 1; i < line; ++i) {
        start = bytes.find('\n', start) + 1;
    }
    const std::size_t end = bytes.find('\n', start);
    return bytes.substr(0, start) + text + bytes.substr(end);
}

std::string lineOf(const std::string &bytes, int line)
{
    std::size_t start = 0;
    for (int i = 1; i < line; ++i) {
        start = bytes.find('\n', start) + 1;
    }
    return bytes.substr(start, bytes.find('\n', start) - start);
}

struct BrokenData
{
    const char *name;
    const char *fileName;
    std::string (*breakIt)(const std::string &bytes);
    const char *expected; ///< the start of the fault as the compiler reports it
};

void PrintTo(const BrokenData &value, std::ostream *out)
{
    *out << value.name;
}

const std::array<BrokenData, 17> kBrokenData{{
    {"StrippedBlankOfAStarredItem", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 113, "Gloam Seal Stone*"); },
     "held-items.txt:113: row 112 must end in \"* \" (asterisk and one blank)"},
    {"StrippedBlankOfAnItem", "held-items.txt",
     [](const std::string &b) {
         const std::string row = lineOf(b, 2);
         return replaceLine(b, 2, row.substr(0, row.size() - 1));
     },
     "held-items.txt:2: row 1 must end in exactly one blank"},
    {"DoubledBlankOfAnItem", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 2, lineOf(b, 2) + " "); },
     "held-items.txt:2: row 1 must end in exactly one blank"},
    {"AsteriskOnAPlainItem", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 3, "Ironbound Jar* "); },
     "held-items.txt:3: row 2 must not contain an asterisk"},
    {"ItemInAnUnusedRow", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 114, "Spare Jar "); },
     "held-items.txt:114: row 113 must be \"??? \""},
    {"SecondHyphen", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 2, "Gilded-Jar "); },
     "held-items.txt:28: row 27 holds another hyphen; the list holds exactly one, in row 1"},
    {"StrayAccent", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 3, "Ironbound Jar\u00e9 "); },
     "held-items.txt:3: row 2 must not contain the letter \u00e9"},
    {"RepeatLost", "held-items.txt",
     [](const std::string &b) { return replaceLine(b, 627, "Pathfinder* "); },
     "held-items.txt:627: row 626 must repeat row 621"},
    {"EntryTooLong", "list1.txt",
     [](const std::string &b) { return replaceLine(b, 1, "Spriggetling"); },
     "list1.txt:1: row 0 has 12 characters; at most 10 are allowed"},
    {"EntryRepeatedInOtherCase", "list1.txt",
     [](const std::string &b) { return replaceLine(b, 3, "SPRIGGET"); },
     "list1.txt:3: row 2 repeats row 0 (letter case ignored)"},
    {"EntryInBothLists", "list2.txt",
     [](const std::string &b) { return replaceLine(b, 1, "sprigget"); },
     "list2.txt:1: row 0 is also List 1 row 0"},
    {"FormLosesItsEntry", "alternate-forms.txt",
     [](const std::string &b) { return replaceLine(b, 9, "Dust Skirrows"); },
     "alternate-forms.txt:9: row 8 must contain the name of List 1 row 478"},
    {"FormInTheWrongPlace", "alternate-forms.txt",
     [](const std::string &b) { return replaceLine(b, 1, "Waxing Astrevel"); },
     "alternate-forms.txt:1: row 0 must put the form in parentheses after the name"},
    {"TypeForNoType", "types.txt", [](const std::string &b) { return replaceLine(b, 1, "none"); },
     "types.txt:1: row 0 must name a real type"},
    {"AbilityWithADigit", "abilities.txt",
     [](const std::string &b) { return replaceLine(b, 2, "Ember Veil 2"); },
     "abilities.txt:2: row 1 may hold only ASCII letters and blanks"},
    {"CarriageReturn", "types.txt",
     [](const std::string &b) { return replaceLine(b, 5, lineOf(b, 5) + "\r"); },
     "types.txt:5: line holds a carriage return"},
    {"UnendedLastLine", "abilities.txt",
     [](const std::string &b) { return b.substr(0, b.size() - 1); },
     "abilities.txt:165: the last line must end in a line feed"},
}};

class CompilerRefuses : public testing::TestWithParam<BrokenData>
{
};

TEST_P(CompilerRefuses, NamingFileLineAndRule)
{
    const DataCopy data;
    ASSERT_FALSE(data.directory().empty());
    const BrokenData &broken = GetParam();
    data.write(broken.fileName, broken.breakIt(data.read(broken.fileName)));

    const RunResult result = check(data);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find(data.directory().string() + "/" + broken.expected),
              std::string::npos)
        << result.output;
}

INSTANTIATE_TEST_SUITE_P(BrokenData, CompilerRefuses, testing::ValuesIn(kBrokenData),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(CompilerRefuses, AListWithARowMissing)
{
    const DataCopy data;
    const std::string types = data.read("types.txt");
    data.write("types.txt", types.substr(0, types.rfind('\n', types.size() - 2) + 1));
    const RunResult result = check(data);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("types.txt:16: the list has 16 rows; it must have exactly 17"),
              std::string::npos)
        << result.output;
}

TEST(CompilerRefuses, AMissingFileAsAFileError)
{
    const DataCopy data;
    fs::remove(data.directory() / "abilities.txt");
    const RunResult result = check(data);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("abilities.txt: cannot open the file"), std::string::npos)
        << result.output;
}

TEST(Compiler, AcceptsTheRealDataSilently)
{
    const DataCopy data;
    const RunResult result = check(data);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
}

TEST(Compiler, WritesNoSourceForBrokenData)
{
    const DataCopy data;
    data.write("types.txt", replaceLine(data.read("types.txt"), 1, "Plain"));
    const fs::path output = data.directory() / "rows.cpp";
    const RunResult result =
        runCompiler("'" + data.directory().string() + "' '" + output.string() + "'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(fs::exists(output));
}

} // namespace
