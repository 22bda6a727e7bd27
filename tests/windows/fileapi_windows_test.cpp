// The Windows file layer against the promises the core relies on: it never creates or extends
// a file, a path leads to the same identity as the open file, our lock keeps other programs'
// reads working, and any name opens.

#include "image/fileapi.h"
#include "support/tempimage.h"

#include <windows.h>

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace {

using stats::image::Access;
using stats::image::Fault;
using stats::image::FileHandle;
using stats::image::FileType;
using stats::image::LockKind;
using stats::image::osReason;
using stats::image::systemFileApi;
using stats::testing::readBytes;
using stats::testing::TempDir;
using stats::testing::writeFile;

std::wstring wide(const std::string &path)
{
    std::wstring text(path.size(), L'\0');
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                           text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(size));
    return text;
}

class WindowsFileApi : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(writeFile(m_path, {1, 2, 3, 4, 5, 6, 7, 8})); }

    FileHandle open(Access access, const std::string &path = {})
    {
        auto opened = m_api.open(path.empty() ? m_path : path, access);
        EXPECT_TRUE(opened.has_value());
        return FileHandle(m_api, opened.value_or(stats::image::kNoFile));
    }

    TempDir m_dir;
    // A name outside every code page but UTF-8's.
    std::string m_path = m_dir.file("\xC3\xA9preuve-\xE6\x97\xA5\xE6\x9C\xAC.nds");
    stats::image::FileApi &m_api = systemFileApi();
};

TEST_F(WindowsFileApi, OpeningNeverCreatesAFile)
{
    const std::string missing = m_dir.file("missing.nds");
    for (const Access access : {Access::Read, Access::ReadWrite}) {
        const auto opened = m_api.open(missing, access);
        ASSERT_FALSE(opened.has_value());
        EXPECT_EQ(opened.error().fault, Fault::NotFound);
    }
    EXPECT_EQ(::GetFileAttributesW(wide(missing).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WindowsFileApi, ReadsAndWritesAtOffsetsAndNeverExtends)
{
    const FileHandle file = open(Access::ReadWrite);
    const std::array<char, 2> bytes{'x', 'y'};
    EXPECT_EQ(m_api.write(file.file(), bytes.data(), bytes.size(), 3), 2U);
    // Past the end, or running over it: refused, and the file keeps its size.
    EXPECT_FALSE(m_api.write(file.file(), bytes.data(), bytes.size(), 7).has_value());
    EXPECT_FALSE(m_api.write(file.file(), bytes.data(), bytes.size(), 100).has_value());
    std::array<char, 8> back{};
    EXPECT_EQ(m_api.read(file.file(), back.data(), back.size(), 2), 6U);
    EXPECT_EQ(std::string(back.data(), 3), std::string("\x03xy"));
    EXPECT_EQ(m_api.read(file.file(), back.data(), back.size(), 100), 0U);
    EXPECT_TRUE(m_api.flush(file.file()).has_value());
    EXPECT_EQ(m_api.status(file.file())->size, 8);
}

TEST_F(WindowsFileApi, APathAndItsOpenFileHaveOneIdentityAndAnotherFileAnother)
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

TEST_F(WindowsFileApi, TheLockExcludesOurOpensButNotOtherProgramsReads)
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

TEST_F(WindowsFileApi, AFileHeldWithoutSharingGetsAClearMessage)
{
    const HANDLE holder = ::CreateFileW(wide(m_path).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const auto opened = m_api.open(m_path, Access::Read);
    ::CloseHandle(holder);
    ASSERT_FALSE(opened.has_value());
    EXPECT_EQ(opened.error().code, ERROR_SHARING_VIOLATION);
    EXPECT_NE(osReason(opened.error().code).find("another program has the file open"),
              std::string::npos);
}

TEST(WindowsOsReason, IsTheSystemsTextWithoutItsLineEnd)
{
    const std::string reason = osReason(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(reason.empty());
    EXPECT_NE(reason.back(), '\n');
    EXPECT_NE(reason.back(), '.');
}

} // namespace
