// A save meets another program that cuts the image while the entries are written, or reads
// an entry while one of ours writes it: never reported as success, never a half record shown.

#include "image/imagefile.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace {

using namespace stats::image;
using stats::testing::ScriptedFileApi;

FieldBytes changedBytes(const FieldBytes &bytes)
{
    FieldBytes changed = bytes;
    for (std::uint8_t &byte : changed) {
        byte = static_cast<std::uint8_t>(byte + 1);
    }
    return changed;
}

class CutDuringWrites : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(stats::testing::makeSampleImage(m_image)); }

    // Updates of the first `count` rows of List 1, every field changed.
    std::vector<EntryUpdate> updates(std::int16_t count) const
    {
        std::vector<EntryUpdate> all;
        for (std::int16_t row = 0; row < count; ++row) {
            all.push_back(
                {Range::List1, row, changedBytes(*loadEntry(m_image, Range::List1, row))});
        }
        return all;
    }

    stats::testing::TempDir m_dir;
    std::string m_image = m_dir.file("image.nds");
};

// A write never makes the file longer, so the cut stays as another program left it: the save
// says so with both lengths, and names no entry, as the cut took every one it wrote.
TEST_F(CutDuringWrites, ACutBetweenTwoWritesOfAnEntryFailsWithTheNewLength)
{
    const struct
    {
        const char *name;
        std::int16_t entries;
        std::size_t cutIn; ///< the entry between whose writes the file is cut
    } cases[] = {
        {"the only entry", 1, 0},
        {"the last of four", 4, 3},
        {"the first of four", 4, 0},
    };
    const auto oldLength = static_cast<std::int64_t>(std::filesystem::file_size(m_image));
    for (const auto &c : cases) {
        std::filesystem::remove(m_image);
        ASSERT_TRUE(stats::testing::makeSampleImage(m_image)) << c.name;
        const std::vector<EntryUpdate> batch = updates(c.entries);
        ScriptedFileApi files;
        files.atStep(SaveStep::BetweenWrites, c.cutIn,
                     [&] { std::filesystem::resize_file(m_image, 1 << 20); });
        const auto saved = saveEntries(m_image, batch, files);
        ASSERT_FALSE(saved.has_value()) << c.name;
        EXPECT_EQ(std::filesystem::file_size(m_image), 1U << 20)
            << c.name << ": a write extended the cut file";
        EXPECT_EQ(saved.error().error.kind, ErrorKind::LengthChanged) << c.name;
        EXPECT_EQ(saved.error().error.oldLength, oldLength) << c.name;
        EXPECT_EQ(saved.error().error.newLength, 1 << 20) << c.name;
        EXPECT_TRUE(saved.error().written.empty()) << c.name;
        EXPECT_TRUE(saved.error().entries.empty()) << c.name;
        EXPECT_EQ(files.openDescriptors(), 0) << c.name;
    }
}

// Whatever another program does to the records while they are written, the save reads them
// back after its writes and says what each holds, unless each holds exactly what it wrote
// and what it held besides. The length is the same before and after, so only the read-back
// can tell.
TEST_F(CutDuringWrites, RecordsChangedDuringTheWritesFailTheSaveWithWhatEachHolds)
{
    const std::int64_t start = *recordPosition(Range::List1, 0);
    const auto length = static_cast<std::uintmax_t>(std::filesystem::file_size(m_image));
    const struct
    {
        const char *name;
        std::size_t actIn; ///< the entry between whose writes the other program acts
        bool cutAndRegrow; ///< cut 4 bytes into entry 0 then regrown; else the old content back
        std::vector<RecordFound> found;
        std::vector<std::size_t> written;
    } cases[] = {
        // Entry 0 is written on after the regrow; entry 1 whole: only the rest is lost.
        {"cut and regrown", 0, true, {{FieldsFound::Other, true}, {FieldsFound::New, true}}, {}},
        {"rewritten with its old content",
         1,
         false,
         {{FieldsFound::Old, false}, {FieldsFound::Other, false}},
         {}},
    };
    for (const auto &c : cases) {
        std::filesystem::remove(m_image);
        ASSERT_TRUE(stats::testing::makeSampleImage(m_image)) << c.name;
        const auto old = stats::testing::readBytes(m_image, 0, length);
        const std::vector<EntryUpdate> batch = updates(2);
        ScriptedFileApi files;
        files.atStep(SaveStep::BetweenWrites, c.actIn, [&] {
            if (c.cutAndRegrow) {
                std::filesystem::resize_file(m_image, static_cast<std::uintmax_t>(start + 4));
                std::filesystem::resize_file(m_image, length);
            } else {
                // In place, as an editor that keeps the file's identity saves.
                std::fstream file(m_image, std::ios::in | std::ios::out | std::ios::binary);
                file.write(reinterpret_cast<const char *>(old.data()),
                           static_cast<std::streamsize>(old.size()));
            }
        });
        const auto saved = saveEntries(m_image, batch, files);
        ASSERT_FALSE(saved.has_value()) << c.name;
        EXPECT_EQ(saved.error().error.kind, ErrorKind::NotAsWritten) << c.name;
        EXPECT_EQ(saved.error().entries, (std::vector<std::size_t>{0, 1})) << c.name;
        ASSERT_EQ(saved.error().found.size(), c.found.size()) << c.name;
        for (std::size_t k = 0; k < c.found.size(); ++k) {
            EXPECT_EQ(saved.error().found[k].fields, c.found[k].fields) << c.name << k;
            EXPECT_EQ(saved.error().found[k].restChanged, c.found[k].restChanged) << c.name << k;
        }
        EXPECT_EQ(saved.error().written, c.written) << c.name;
        EXPECT_EQ(files.openDescriptors(), 0) << c.name;
    }
}

// A save that cannot learn what the file holds after its writes does not count them as made.
TEST_F(CutDuringWrites, AFailureToLearnTheFileAfterTheWritesFailsTheSave)
{
    for (const auto call : {ScriptedFileApi::Call::FileStatus, ScriptedFileApi::Call::Read}) {
        const std::vector<EntryUpdate> batch = updates(2);
        ScriptedFileApi files;
        files.failAfterStep(SaveStep::AfterWrites, 0, call, EIO);
        const auto saved = saveEntries(m_image, batch, files);
        ASSERT_FALSE(saved.has_value());
        EXPECT_EQ(saved.error().error.kind, ErrorKind::NotAsWritten);
        EXPECT_EQ(saved.error().error.osError, EIO);
        EXPECT_EQ(saved.error().entries, (std::vector<std::size_t>{0, 1}));
        EXPECT_TRUE(saved.error().found.empty());
        EXPECT_EQ(files.openDescriptors(), 0);
    }
}

// A load that meets one of our writes midway waits for it, then shows the whole new record:
// never the new first fields with the old last ones.
TEST_F(CutDuringWrites, ALoadWhileAWriteHoldsTheLockWaitsThenShowsTheWholeNewRecord)
{
    const std::vector<EntryUpdate> batch = updates(3);
    std::promise<void> midway;
    ScriptedFileApi files;
    files.atStep(SaveStep::BetweenWrites, 2, [&] {
        midway.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    auto saving =
        std::async(std::launch::async, [&] { return saveEntries(m_image, batch, files); });
    midway.get_future().wait();
    const auto loaded = loadEntry(m_image, Range::List1, 2);
    ASSERT_TRUE(saving.get().has_value());
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(*loaded, batch[2].bytes);
}

} // namespace
