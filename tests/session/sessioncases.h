#pragma once

// What the session suites share: each is a table of cases, a case a run of steps that a user
// takes through the window, played into one session over the scripted file seam, on two sample
// images A and B in a folder of their own.

#include "catalogues/catalogues.h"
#include "session/session.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <string>

namespace stats::testing {

/// A suite of @p Case rows, each with a `name` and its `steps`; the suite says in run() what
/// one step does.
template <typename Case> class SessionCases : public ::testing::TestWithParam<Case>
{
protected:
    using Step = typename decltype(Case::steps)::value_type;

    void SetUp() override
    {
        ASSERT_TRUE(makeSampleImage(m_a));
        ASSERT_TRUE(makeSampleImage(m_b));
    }

    /// Does @p step in m_session, or to its images as another program would.
    virtual session::Outcome run(const Step &step) = 0;

    /// Runs the case's steps in order: the last one's outcome.
    session::Outcome runSteps()
    {
        session::Outcome outcome;
        for (const Step &step : this->GetParam().steps) {
            outcome = run(step);
        }
        return outcome;
    }

    TempDir m_dir;
    std::string m_a = m_dir.file("a.nds");
    std::string m_b = m_dir.file("b.nds");
    ScriptedFileApi m_files;
    session::Session m_session{catalogues::builtInCatalogues(), m_files};
};

/// A case's name as a test's name: every character but a letter or a digit becomes '_'.
template <typename Case> std::string caseName(const ::testing::TestParamInfo<Case> &info)
{
    std::string name = info.param.name;
    std::ranges::replace_if(
        name, [](unsigned char c) { return std::isalnum(c) == 0; }, '_');
    return name;
}

/// Writes @p byte at @p offset of the image at @p path, as another program would; false when
/// it cannot.
[[nodiscard]] inline bool writeByteAt(const std::string &path, std::int64_t offset,
                                      std::uint8_t byte)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.put(static_cast<char>(byte));
    return file.good();
}

} // namespace stats::testing
