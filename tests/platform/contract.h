#pragma once

// The fixture of the platform layer's contract, which every system's suite derives from, and
// what each system's test support does to a program (contract_posix.cpp,
// contract_windows.cpp): interrupt it as Ctrl+C would, kill it outright, name a file that a
// running program holds.

#include "platform/fileapi.h"
#include "platform/process.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>
#include <string>

namespace stats::testing {

class FileApiContract : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(writeFile(m_path, {1, 2, 3, 4, 5, 6, 7, 8})); }

    platform::FileHandle open(platform::Access access, const std::string &path = {})
    {
        auto opened = m_api.open(path.empty() ? m_path : path, access);
        EXPECT_TRUE(opened.has_value());
        return {m_api, opened.value_or(platform::kNoFile)};
    }

    TempDir m_dir;
    // A name outside every code page but UTF-8's.
    std::string m_path = m_dir.file("\xC3\xA9preuve-\xE6\x97\xA5\xE6\x9C\xAC.nds");
    platform::FileApi &m_api = platform::systemFileApi();
};

/// Ends this program as Ctrl+C at its terminal or console does: its handlers run first.
[[noreturn]] void interruptThisProgram();

/// Ends this program at once, as a kill that no handler of its own sees.
[[noreturn]] void killThisProgram();

/// The path of a file that a running program holds so that no other program may write it:
/// this test program's own.
[[nodiscard]] std::string runningProgramFile();

/// Sets the environment variable @p name, which the programs this one starts inherit; an
/// empty value takes it away.
void setEnvironmentValue(const char *name, const std::string &value);

/// A value for the process that a death test starts, which runs the test again from its
/// start: @p value here, and in that process the value this one handed it, through the
/// environment variable @p name. takeBackFromDeathTests() ends it.
inline std::string handedToDeathTests(const char *name, const std::string &value)
{
    if (std::string handed = platform::environmentValue(name); !handed.empty()) {
        return handed;
    }
    setEnvironmentValue(name, value);
    return value;
}

inline void takeBackFromDeathTests(const char *name)
{
    setEnvironmentValue(name, "");
}

/// The status a death test's program ends with when it finished what it was given.
inline constexpr int kFinished = 77;

/// Whether a program that a death test ran ended before it finished: by a signal, or with a
/// status of the system's.
inline bool endedEarly(int status)
{
    return !::testing::ExitedWithCode(kFinished)(status);
}

/// Makes a symbolic link at @p link to @p target; false where the system makes none.
[[nodiscard]] bool makeLink(const std::string &target, const std::string &link);

} // namespace stats::testing
