// The file layer's promises, the same on every system: it never creates a file, a path leads
// to the same identity as the open file, our lock excludes our own opens but keeps other
// programs' reads working, and a name in any script opens. The suite runs on Linux and, in
// the Windows build, under Wine.

#include "platform/fileapi.h"
#include "support/tempimage.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

using stats::platform::Access;
using stats::platform::Fault;
using stats::platform::FileHandle;
using stats::platform::FileType;
using stats::platform::LockKind;
using stats::platform::systemFileApi;
using stats::testing::readBytes;
using stats::testing::TempDir;
using stats::testing::writeFile;

class FileApiContract : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(writeFile(m_path, {1, 2, 3, 4, 5, 6, 7, 8})); }

    FileHandle open(Access access, const std::string &path = {})
    {
        auto opened = m_api.open(path.empty() ? m_path : path, access);
        EXPECT_TRUE(opened.has_value());
        return FileHandle(m_api, opened.value_or(stats::platform::kNoFile));
    }

    TempDir m_dir;
    // A name outside every code page but UTF-8's.
    std::string m_path = m_dir.file("\xC3\xA9preuve-\xE6\x97\xA5\xE6\x9C\xAC.nds");
    stats::platform::FileApi &m_api = systemFileApi();
};

TEST_F(FileApiContract, OpeningNeverCreatesAFile)
{
    const std::string missing = m_dir.file("missing.nds");
    for (const Access access : {Access::Read, Access::ReadWrite}) {
        const auto opened = m_api.open(missing, access);
        ASSERT_FALSE(opened.has_value());
        EXPECT_EQ(opened.error().fault, Fault::NotFound);
    }
    EXPECT_FALSE(std::filesystem::exists(std::u8string(missing.begin(), missing.end())));
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

} // namespace
