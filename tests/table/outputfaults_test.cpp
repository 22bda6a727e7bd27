// What stats-table says and leaves behind where the file it writes, or its report, meets
// trouble.

#include "image/imagefile.h"
#include "runtool.h"
#include "support/ordinaryuser.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"
#include "table/tablecsv.h"
#include "table/tabletool.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace stats::image;
using stats::testing::Outcome;
using stats::testing::run;

std::string fileText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The temporary files of exports in `folder`.
int temporaries(const std::string &folder)
{
    int count = 0;
    for (const auto &entry : fs::directory_iterator(folder)) {
        count += entry.path().filename().string().starts_with(".stats-table.") ? 1 : 0;
    }
    return count;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

class OutputFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(stats::testing::makeSampleImage(m_old));
        ASSERT_TRUE(stats::testing::makeSampleImage(m_new));
        // ty1 200: a byte the type list has no row for.
        FieldBytes entry = *loadEntry(m_new, Range::List1, 3);
        entry[static_cast<std::size_t>(Field::ty1)] = 200;
        const std::vector<EntryUpdate> update{{Range::List1, 3, entry}};
        ASSERT_TRUE(saveEntries(m_new, update).has_value());
    }

    stats::testing::TempDir m_dir;
    std::string m_old = m_dir.file("old.nds");
    std::string m_new = m_dir.file("new.nds");
    std::string m_patch = m_dir.file("patch.csv");
};

// A patch can carry a value that no list has a row for; an import takes it only where the
// image holds it already, and diff says so.
TEST_F(OutputFaults, APatchWithAValueWithoutARowNamesTheCell)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"diff", m_old, m_new, "--csv", m_patch},
          std::vector<std::string>{"diff", m_old, m_new, "--csv", "--names"}}) {
        const Outcome made = run(args);
        EXPECT_EQ(made.status, 1) << made.err;
        EXPECT_TRUE(contains(made.err, "1 new value has no row in its list, so an import takes "
                                       "it only into an image that holds that value already: "
                                       "List 1 row 3 \"Kindlet\" ty1 200\n"))
            << made.err;
    }
    const Outcome imported = run({"import", m_old, m_patch});
    EXPECT_EQ(imported.status, 1) << "the warning holds: " << imported.err;
}

// The patch is in place when only the report to standard output fails, and the message says
// so rather than leave the user to think nothing was written.
TEST_F(OutputFaults, AReportThatFailsAfterThePatchWasWrittenSaysTheFileIsThere)
{
    std::FILE *full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    char *err = nullptr;
    std::size_t errSize = 0;
    std::FILE *errStream = open_memstream(&err, &errSize);
    const std::vector<std::string_view> args{"diff", m_old, m_new, "--csv", m_patch};
    const int status = stats::table::runTableTool(args, {full, errStream});
    std::fclose(full);
    std::fclose(errStream);
    const std::string message(err, errSize);
    std::free(err);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(contains(message, "the changes were written into " + m_patch)) << message;
    EXPECT_TRUE(contains(fileText(m_patch), "List 1,3,Kindlet")) << fileText(m_patch);
}

// A file the user may not write is left alone, as a shell's redirect would leave it. Run as
// a user without root's rights, who may write nothing that is read-only.
TEST_F(OutputFaults, AnExportRefusesAFileTheUserMayNotWrite)
{
    const std::string target = m_dir.file("read-only.csv");
    std::ofstream(target) << "mine\n";
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(m_old.c_str(), 0644), 0);
    EXPECT_TRUE(stats::testing::asOrdinaryUser([&] {
        const Outcome result = run({"export", m_old, target});
        return result.status == 1 && contains(result.err, "it may not be written");
    }));
    EXPECT_EQ(fileText(target), "mine\n");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0444));
}

// An import whose image another program cuts while it writes says what happened, leaves the
// file as short as the cut made it, and never says that nothing was written.
TEST_F(OutputFaults, AnImportCutWhileItWritesGivesBothLengthsAndTheEntriesWritten)
{
    std::string csv;
    for (const std::string_view column : stats::table::kColumnNames) {
        csv += std::string(csv.empty() ? "" : ",") + std::string(column);
    }
    csv += "\nList 1,3,Kindlet,50" + std::string(stats::table::kColumnCount - 4, ',') + "\n";
    std::ofstream(m_patch) << csv;
    const auto oldLength = std::to_string(fs::file_size(m_old));
    stats::testing::ScriptedFileApi files;
    files.atStep(SaveStep::BetweenWrites, 0, [&] { fs::resize_file(m_old, 1 << 20); });
    const Outcome cut = run({"import", m_old, m_patch}, files);
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(contains(cut.err, "its length changed from " + oldLength + " to 1048576 bytes"))
        << cut.err;
    EXPECT_TRUE(contains(cut.err, "no longer reaches the entries it was writing")) << cut.err;
    EXPECT_FALSE(contains(cut.out + cut.err, "nothing was written")) << cut.err;
    EXPECT_FALSE(contains(cut.out, "Wrote 1 entry")) << cut.out;
}

// An import whose entries another program puts back to their old bytes right after the
// writes reads them back, and says so instead of "Wrote 1 entry".
TEST_F(OutputFaults, AnImportWhoseRecordsReadBackOtherwiseSaysWhatEachHolds)
{
    std::string csv;
    for (const std::string_view column : stats::table::kColumnNames) {
        csv += std::string(csv.empty() ? "" : ",") + std::string(column);
    }
    csv += "\nList 1,3,Kindlet,50" + std::string(stats::table::kColumnCount - 4, ',') + "\n";
    std::ofstream(m_patch) << csv;
    const std::string old = fileText(m_old);
    stats::testing::ScriptedFileApi files;
    files.atStep(SaveStep::AfterWrites, 0, [&] {
        std::fstream file(m_old, std::ios::in | std::ios::out | std::ios::binary);
        file.write(old.data(), static_cast<std::streamsize>(old.size()));
    });
    const Outcome rewritten = run({"import", m_old, m_patch}, files);
    EXPECT_EQ(rewritten.status, 1);
    EXPECT_TRUE(contains(rewritten.err, "List 1 row 3 \"Kindlet\" holds its old values"))
        << rewritten.err;
    EXPECT_FALSE(contains(rewritten.out, "Wrote 1 entry")) << rewritten.out;
    EXPECT_EQ(fileText(m_old), old);
}

// What an export says where its file work fails: each step in its own words, and what the
// file at the path holds then. The file work itself is the platform's, whose contract suite
// says that no step leaves a temporary file or a part of the CSV.
TEST_F(OutputFaults, AnExportThatFailsSaysWhereAndThatTheFileIsAsItWas)
{
    using Call = stats::testing::ScriptedFileApi::Call;
    const struct
    {
        SaveStep step;
        Call call;
        int error;
        const char *words;
    } cases[] = {
        {SaveStep::TemporaryMade, Call::Write, ENOSPC, "writing the CSV failed: "},
        {SaveStep::TemporaryMade, Call::Flush, EIO, "writing the CSV failed: "},
        {SaveStep::TemporaryWritten, Call::Status, ENOENT,
         "it was replaced by another file while the CSV was written"},
        {SaveStep::TemporaryWritten, Call::Status, EIO, "it cannot be looked at: "},
        {SaveStep::TemporaryWritten, Call::PutInPlace, EACCES, "the CSV cannot be put in place: "},
    };
    const std::string target = m_dir.file("out.csv");
    for (const auto &c : cases) {
        std::ofstream(target) << "the user's old CSV\n";
        stats::testing::ScriptedFileApi files;
        files.failAfterStep(c.step, 0, c.call, c.error);
        const Outcome result = run({"export", m_old, target}, files);
        EXPECT_EQ(result.status, 1) << c.words;
        EXPECT_TRUE(contains(result.err, std::string(c.words))) << result.err;
        EXPECT_TRUE(contains(result.err, "; the file is as it was")) << result.err;
        EXPECT_EQ(fileText(target), "the user's old CSV\n") << c.words;
        EXPECT_EQ(temporaries(m_dir.path()), 0) << c.words;
    }
}

} // namespace
