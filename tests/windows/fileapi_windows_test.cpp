// What the Windows file layer promises beyond the shared contract (tests/platform): any file
// another program holds without sharing is a clear refusal, and the system's reasons read as
// ours do.

#include "platform/contract.h"
#include "platform/text.h"

#include <windows.h>

#include <string>

namespace {

using stats::platform::Access;
using stats::platform::Fault;
using stats::platform::osReason;

class WindowsFileApi : public stats::testing::FileApiContract
{
};

TEST_F(WindowsFileApi, AFileHeldWithoutSharingGetsAClearMessage)
{
    const std::wstring wide = stats::platform::toUtf16(m_path).value();
    const HANDLE holder = ::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const auto opened = m_api.open(m_path, Access::Read);
    ::CloseHandle(holder);
    ASSERT_FALSE(opened.has_value());
    EXPECT_EQ(opened.error().fault, Fault::InUse);
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
