// What the Windows file layer promises beyond the shared contract (tests/platform): a write
// never extends a file, a file another program holds without sharing is a clear refusal, and
// the system's reasons read as ours do.

#include "platform/fileapi.h"
#include "platform/text.h"
#include "support/tempimage.h"

#include <windows.h>

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace {

using stats::platform::Access;
using stats::platform::Fault;
using stats::platform::FileHandle;
using stats::platform::osReason;
using stats::platform::systemFileApi;
using stats::testing::TempDir;
using stats::testing::writeFile;

std::wstring wide(const std::string &path)
{
    return stats::platform::toUtf16(path).value();
}

class WindowsFileApi : public ::testing::Test
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
