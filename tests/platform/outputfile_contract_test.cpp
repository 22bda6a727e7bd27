// The output file's promises, the same on every system: a file is replaced whole or not at
// all, only the file that was looked at is replaced, a link stays a link, and no temporary
// file outlives the program that made it, whether it fails, is interrupted or is killed.

#include "contract.h"
#include "platform/outputfile.h"
#include "support/scriptedfileapi.h"

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using stats::platform::FileStatus;
using stats::platform::OutputStage;
using stats::platform::Path;
using stats::platform::replaceWhole;
using stats::platform::SaveStep;
using stats::testing::endedEarly;
using stats::testing::ScriptedFileApi;
using Call = ScriptedFileApi::Call;

class OutputFileContract : public ::testing::Test
{
protected:
    [[nodiscard]] std::string path(const std::string &name) const { return m_dir.file(name); }

    static std::string text(const std::string &path)
    {
        std::ifstream file(Path(path).filesystem(), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    static void put(const std::string &path, const std::string &text)
    {
        std::ofstream(Path(path).filesystem(), std::ios::binary) << text;
    }

    // What is at `path` now, as the caller of replaceWhole looks before it.
    std::optional<FileStatus> looked(const std::string &path)
    {
        const auto info = m_files.status(path);
        return info ? std::optional(*info) : std::nullopt;
    }

    // The temporary files in the folder.
    [[nodiscard]] int temporaries() const { return temporariesIn(m_dir.path()); }
    static int temporariesIn(const std::string &folder)
    {
        int count = 0;
        for (const auto &entry : fs::directory_iterator(Path(folder).filesystem())) {
            count += Path::fromFilesystem(entry.path().filename())
                             .text()
                             .starts_with(stats::platform::kTemporaryPrefix)
                         ? 1
                         : 0;
        }
        return count;
    }

    // Marks every file in the folder as written a while ago, as one a killed program left
    // is by the time another looks, and not one that a running program is about to put in
    // place.
    void age() const
    {
        for (const auto &entry : fs::directory_iterator(Path(m_dir.path()).filesystem())) {
            // A file that a running program on Windows shares with no one keeps its time.
            std::error_code held;
            fs::last_write_time(entry.path(),
                                fs::file_time_type::clock::now() - std::chrono::minutes(2), held);
        }
    }

    stats::testing::TempDir m_dir;
    ScriptedFileApi m_files;
};

TEST_F(OutputFileContract, AFailureAtAnyStepLeavesTheOldFileAndNoTemporaryFile)
{
    const struct
    {
        const char *name;
        std::optional<SaveStep> step; ///< the call fails first after this step
        Call call;
        OutputStage stage;
    } cases[] = {
        {"no new file", std::nullopt, Call::Create, OutputStage::MakeTemporary},
        {"the write", SaveStep::TemporaryMade, Call::Write, OutputStage::Write},
        {"the flush", SaveStep::TemporaryMade, Call::Flush, OutputStage::Write},
        {"putting it in place", SaveStep::TemporaryWritten, Call::PutInPlace,
         OutputStage::PutInPlace},
    };
    const std::string target = path("out.csv");
    for (const auto &c : cases) {
        put(target, "old\n");
        ScriptedFileApi files;
        if (c.step) {
            files.failAfterStep(*c.step, 0, c.call, EIO);
        } else {
            files.arm(c.call, EIO);
        }
        const auto written = replaceWhole(files, target, "new\n", looked(target));
        ASSERT_FALSE(written.has_value()) << c.name;
        EXPECT_EQ(written.error().stage, c.stage) << c.name;
        EXPECT_EQ(text(target), "old\n") << c.name;
        EXPECT_EQ(temporaries(), 0) << c.name;
        EXPECT_EQ(files.openDescriptors(), 0) << c.name;
    }
}

// Another program that puts a file at the path while the new one is written keeps its file:
// the new one is put in place only where the old one was looked at.
TEST_F(OutputFileContract, OnlyTheFileThatWasLookedAtIsReplaced)
{
    for (const bool existed : {true, false}) {
        const std::string target = path(existed ? "old.csv" : "new.csv");
        if (existed) {
            put(target, "the user's old CSV\n");
        }
        m_files.atStep(SaveStep::TemporaryWritten, 0, [&] {
            put(path("theirs"), "theirs\n");
            fs::rename(Path(path("theirs")).filesystem(), Path(target).filesystem());
        });
        const auto written = replaceWhole(m_files, target, "ours\n", looked(target));
        ASSERT_FALSE(written.has_value()) << existed;
        EXPECT_EQ(written.error().stage, existed ? OutputStage::Replaced : OutputStage::PutInPlace)
            << existed;
        EXPECT_EQ(text(target), "theirs\n") << existed;
        EXPECT_EQ(temporaries(), 0) << existed;
    }
}

TEST_F(OutputFileContract, ALinkStaysALinkAndTheFileItLeadsToIsReplaced)
{
    const std::string file = path("file.csv");
    const std::string link = path("link.csv");
    put(file, "old\n");
    if (!stats::testing::makeLink(file, link)) {
        GTEST_SKIP() << "this system makes no link here";
    }
    ASSERT_TRUE(replaceWhole(m_files, link, "new\n", looked(link)).has_value());
    EXPECT_EQ(text(file), "new\n");
    // Still a link: the path leads to the file, and is no file of its own.
    EXPECT_EQ(m_files.status(link)->identity, m_files.status(file)->identity);
    EXPECT_EQ(temporaries(), 0);
}

// A program that is interrupted removes its temporary file; one killed outright cannot, and
// the next replacement in that folder finds the file and removes it. The program is the
// death test's, ended at the moment its file is written and not yet in place.
TEST_F(OutputFileContract, NoTemporaryFileOutlivesAnInterruptOrAKill)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The folder is this process's in the death test's too.
    const std::string folder =
        stats::testing::handedToDeathTests("STATS_CONTRACT_FOLDER", m_dir.path());
    const std::string target = folder + "/out.csv";
    const auto endAt = [&](void (*end)()) {
        m_files.atStep(SaveStep::TemporaryWritten, 0, end);
        static_cast<void>(replaceWhole(m_files, target, "new\n", std::nullopt));
        std::exit(stats::testing::kFinished);
    };
    EXPECT_EXIT(endAt(stats::testing::interruptThisProgram), endedEarly, "");
    EXPECT_EQ(temporariesIn(folder), 0);
    EXPECT_EXIT(endAt(stats::testing::killThisProgram), endedEarly, "");
    stats::testing::takeBackFromDeathTests("STATS_CONTRACT_FOLDER");
    EXPECT_FALSE(fs::exists(Path(target).filesystem()));
    EXPECT_EQ(temporaries(), 1);
    age();
    ASSERT_TRUE(replaceWhole(m_files, path("next.csv"), "next\n", std::nullopt).has_value());
    EXPECT_EQ(temporaries(), 0);
}

// The temporary file of a program that is still writing is not taken for abandoned, however
// old it looks.
TEST_F(OutputFileContract, ARunningProgramsTemporaryFileIsLeftToIt)
{
    int during = -1;
    m_files.atStep(SaveStep::TemporaryMade, 0, [&] {
        age();
        EXPECT_TRUE(replaceWhole(stats::platform::systemFileApi(), path("other.csv"), "other\n",
                                 std::nullopt)
                        .has_value());
        during = temporaries();
    });
    ASSERT_TRUE(replaceWhole(m_files, path("out.csv"), "mine\n", std::nullopt).has_value());
    EXPECT_EQ(during, 1);
    EXPECT_EQ(text(path("out.csv")), "mine\n");
    EXPECT_EQ(temporaries(), 0);
}

} // namespace
