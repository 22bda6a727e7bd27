// The file layer's promises, the same on every system: it never creates a file nor makes one
// longer, a path leads to the same identity as the open file, our lock excludes our own opens
// but keeps other programs' reads working and is waited for a while, a file that a running
// program holds is a clear refusal, and a name in any script opens. The suite runs on Linux
// and, in the Windows build, under Wine.

#include "contract.h"
#include "image/errortext.h"
#include "image/imagefile.h"
#include "platform/newfile.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

using stats::platform::Access;
using stats::platform::Fault;
using stats::platform::FileHandle;
using stats::platform::FileType;
using stats::platform::LockKind;
using stats::platform::Path;
using stats::testing::FileApiContract;
using stats::testing::readBytes;
using stats::testing::writeFile;

TEST_F(FileApiContract, OpeningNeverCreatesAFile)
{
    const std::string missing = m_dir.file("missing.nds");
    for (const Access access : {Access::Read, Access::ReadWrite}) {
        const auto opened = m_api.open(missing, access);
        ASSERT_FALSE(opened.has_value());
        EXPECT_EQ(opened.error().fault, Fault::NotFound);
    }
    EXPECT_FALSE(std::filesystem::exists(std::u8string(missing.begin(), missing.end())));
    // Nor over one that is there.
    const auto made = m_api.create(m_path, stats::platform::NewFile::Finished);
    ASSERT_FALSE(made.has_value());
    EXPECT_EQ(made.error().fault, Fault::Exists);
    EXPECT_EQ(readBytes(m_path, 0, 8), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(FileApiContract, ReadsAndWritesAtOffsetsAndNeverMakesAFileLonger)
{
    const FileHandle file = open(Access::ReadWrite);
    const std::array<char, 2> bytes{'x', 'y'};
    EXPECT_EQ(m_api.write(file.file(), bytes.data(), bytes.size(), 3), 2U);
    // Past the end, or running over it: refused, and the file keeps its size.
    for (const std::int64_t offset : {7, 8, 100}) {
        EXPECT_FALSE(m_api.write(file.file(), bytes.data(), bytes.size(), offset).has_value())
            << offset;
    }
    std::array<char, 8> back{};
    EXPECT_EQ(m_api.read(file.file(), back.data(), back.size(), 2), 6U);
    EXPECT_EQ(std::string(back.data(), 3), std::string("\x03xy"));
    EXPECT_EQ(m_api.read(file.file(), back.data(), back.size(), 100), 0U);
    EXPECT_TRUE(m_api.flush(file.file()).has_value());
    EXPECT_EQ(m_api.status(file.file())->size, 8);
}

TEST_F(FileApiContract, APathAndItsOpenFileHaveOneIdentityAndAnotherFileAnother)
{
    const FileHandle file = open(Access::Read);
    const auto byHandle = m_api.status(file.file());
    const auto byPath = m_api.status(m_path);
    ASSERT_TRUE(byHandle && byPath);
    EXPECT_EQ(byHandle->type, FileType::Regular);
    EXPECT_EQ(byHandle->identity, byPath->identity);
    ASSERT_TRUE(writeFile(m_dir.file("other.nds"), {1}));
    EXPECT_NE(m_api.status(m_dir.file("other.nds"))->identity, byPath->identity);
    EXPECT_EQ(m_api.status(m_dir.path())->type, FileType::Folder);
}

TEST_F(FileApiContract, TheLockExcludesOurOpensButNotOtherProgramsReads)
{
    FileHandle writer = open(Access::ReadWrite);
    ASSERT_TRUE(m_api.tryLock(writer.file(), LockKind::Exclusive).has_value());
    const FileHandle reader = open(Access::Read);
    const auto refused = m_api.tryLock(reader.file(), LockKind::Shared);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().fault, Fault::LockHeld);
    // What another program does: read the bytes while the lock is held.
    EXPECT_EQ(readBytes(m_path, 0, 8).size(), 8U);
    static_cast<void>(writer.closeNow());
    EXPECT_TRUE(m_api.tryLock(reader.file(), LockKind::Shared).has_value());
    const FileHandle second = open(Access::Read);
    EXPECT_TRUE(m_api.tryLock(second.file(), LockKind::Shared).has_value());
}

TEST_F(FileApiContract, AFileThatARunningProgramHoldsIsAClearRefusal)
{
    const auto opened = m_api.open(stats::testing::runningProgramFile(), Access::ReadWrite);
    ASSERT_FALSE(opened.has_value());
    EXPECT_EQ(opened.error().fault, Fault::InUse);
    EXPECT_NE(stats::platform::osReason(opened.error().code).find("another program"),
              std::string::npos)
        << stats::platform::osReason(opened.error().code);
}

// A save in another process waits while one of ours holds the image's lock, and goes on once
// it is let go; one held for longer fails with words that say why. The other process is the
// death test's: this program started again, which runs the test up to the save. The image's
// path reaches it through the environment it inherits.
class ImageLock : public FileApiContract
{
protected:
    static constexpr const char *kSharedImage = "STATS_CONTRACT_LOCKED_IMAGE";

    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        m_image = stats::testing::handedToDeathTests(kSharedImage, m_image);
        m_inOtherProcess = m_image != m_dir.file("image.nds");
        if (!m_inOtherProcess) {
            ASSERT_TRUE(stats::testing::makeSampleImage(m_image));
        }
    }
    void TearDown() override { stats::testing::takeBackFromDeathTests(kSharedImage); }

    // Holds the lock in this process; nothing in the other one.
    std::optional<FileHandle> holdLock()
    {
        if (m_inOtherProcess) {
            return std::nullopt;
        }
        FileHandle holder = open(Access::ReadWrite, m_image);
        EXPECT_TRUE(m_api.tryLock(holder.file(), LockKind::Exclusive).has_value());
        return holder;
    }

    // Run in the other process: says it is about to save, saves one entry, and ends with 0
    // when it was saved after at least `waited`, or with 1 and the message the programs give.
    [[noreturn]] void saveAndEnd(std::chrono::milliseconds waited) const
    {
        using namespace stats::image;
        FieldBytes bytes = *loadEntry(m_image, Range::List1, 1);
        bytes[0] = static_cast<std::uint8_t>(bytes[0] + 1);
        const std::vector<EntryUpdate> update{{Range::List1, 1, bytes}};
        if (!writeFile(waitingMark(), {1})) {
            std::exit(3);
        }
        const auto start = std::chrono::steady_clock::now();
        const auto saved = saveEntries(m_image, update);
        if (!saved) {
            std::fprintf(stderr, "%s\n",
                         describeError(saved.error().error, Activity::Save).c_str());
            std::exit(1);
        }
        std::exit(std::chrono::steady_clock::now() - start >= waited ? 0 : 2);
    }

    [[nodiscard]] std::string waitingMark() const { return m_image + ".waiting"; }

    bool m_inOtherProcess = false;
    std::string m_image = m_dir.file("image.nds");
};

TEST_F(ImageLock, HeldByAnotherProcessIsWaitedFor)
{
    using namespace std::chrono_literals;
    std::optional<FileHandle> holder = holdLock();
    std::thread letGo([&] {
        // Let go a while after the other process began to save, however long it took to start.
        while (holder && !std::filesystem::exists(Path(waitingMark()).filesystem())) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(300ms);
        holder.reset();
    });
    EXPECT_EXIT(saveAndEnd(200ms), ::testing::ExitedWithCode(0), "");
    letGo.join();
}

TEST_F(ImageLock, HeldLongerIsNamed)
{
    const std::optional<FileHandle> holder = holdLock();
    EXPECT_EXIT(saveAndEnd(std::chrono::milliseconds(0)), ::testing::ExitedWithCode(1),
                "another program is writing this image");
}

} // namespace
