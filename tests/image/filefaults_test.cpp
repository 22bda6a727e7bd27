#include "image/imagefile.h"
#include "image/numbertext.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace {

using namespace stats::image;
using Call = stats::testing::ScriptedFileApi::Call;
using stats::testing::ScriptedFileApi;
using stats::testing::snapshotOf;

FieldBytes editedBytes()
{
    // Every field differs from the sample's record, so any byte that went in shows.
    return stats::tools::sampleFieldBytes(100);
}

// A fault of @p call: its @p nth call fails, or with @p step, its first call after that step.
struct FaultCase
{
    const char *name;
    Call call;
    int error;
    int nth;
    ErrorKind kind;
    std::optional<SaveStep> step = std::nullopt;
    std::size_t entry = 0;
};

void inject(ScriptedFileApi &api, const FaultCase &fault)
{
    if (fault.step) {
        api.failAfterStep(*fault.step, fault.entry, fault.call, fault.error);
    } else {
        api.arm(fault.call, fault.error, fault.nth);
    }
}

// A sample image and its snapshot, for a table of fault cases.
template <typename Case> class FaultFixture : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(stats::testing::makeSampleImage(m_image));
        m_before = snapshotOf(m_image);
    }
    stats::testing::TempDir m_dir;
    std::string m_image = m_dir.file("image.nds");
    stats::testing::Snapshot m_before;
};

using FileFault = FaultFixture<FaultCase>;

TEST_P(FileFault, SaveReportsTheFailureLeavesNothingOpenAndTheImageAsItWas)
{
    const auto &c = GetParam();
    ScriptedFileApi api;
    inject(api, c);
    const auto result = saveEntry(m_image, Range::List1, 3, editedBytes(), api);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, c.kind);
    if (c.error != 0 && c.kind != ErrorKind::NotAFile) {
        EXPECT_EQ(result.error().osError, c.error);
    }
    EXPECT_EQ(api.openDescriptors(), 0);
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

// A write that fails after the first one leaves some new bytes behind, which the save puts
// back. Reads before the writes are counted: the header's is the first, the record's the second.
INSTANTIATE_TEST_SUITE_P(
    Save, FileFault,
    ::testing::Values(FaultCase{"StatVanished", Call::Status, ENOENT, 1, ErrorKind::NoFile},
                      FaultCase{"StatDenied", Call::Status, EACCES, 1, ErrorKind::CannotOpen},
                      FaultCase{"OpenDenied", Call::Open, EACCES, 1, ErrorKind::CannotOpen},
                      FaultCase{"OpenReadOnlyMount", Call::Open, EROFS, 1, ErrorKind::CannotOpen},
                      FaultCase{"OpenVanished", Call::Open, ENOENT, 1, ErrorKind::NoFile},
                      FaultCase{"FstatFails", Call::FileStatus, EIO, 1, ErrorKind::CannotRead},
                      FaultCase{"HeaderReadFails", Call::Read, EIO, 1, ErrorKind::CannotRead},
                      FaultCase{"RecordReadFails", Call::Read, EIO, 2, ErrorKind::CannotRead},
                      FaultCase{"FirstWriteDiskFull", Call::Write, ENOSPC, 1,
                                ErrorKind::WriteFailed, SaveStep::BeforeWrites},
                      FaultCase{"SecondWriteFails", Call::Write, EIO, 1, ErrorKind::WriteFailed,
                                SaveStep::BetweenWrites}),
    [](const auto &testInfo) { return testInfo.param.name; });

TEST_F(FileFault, TheLastByteThatCannotBeWrittenIsPutBackWithTheOthers)
{
    ScriptedFileApi api;
    api.failWritesAfter(kFieldCount - 1, EIO, ScriptedFileApi::AfterBudget::Recover);
    const auto result = saveEntry(m_image, Range::List1, 3, editedBytes(), api);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::WriteFailed);
    EXPECT_EQ(api.openDescriptors(), 0);
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

TEST_F(FileFault, AWriteThatCannotBePutBackNamesTheEntryAsHalfWritten)
{
    ScriptedFileApi api;
    api.failAfterStep(SaveStep::BetweenWrites, 0, Call::Write, EIO, /*sticky=*/true);
    const auto result = saveEntry(m_image, Range::List1, 3, editedBytes(), api);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::WriteFailedDirty);
    EXPECT_EQ(result.error().osError, EIO);
    EXPECT_EQ(api.openDescriptors(), 0);
}

TEST_F(FileFault, AFlushThatFailsIsNotReportedAsSuccess)
{
    ScriptedFileApi api;
    api.arm(Call::Flush, EIO);
    const auto result = saveEntry(m_image, Range::List1, 3, editedBytes(), api);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::FlushFailed);
    EXPECT_EQ(api.openDescriptors(), 0);
}

TEST_F(FileFault, ShortWritesAreCompleted)
{
    ScriptedFileApi api;
    api.limitEachWriteTo(1);
    ASSERT_TRUE(saveEntry(m_image, Range::List1, 3, editedBytes(), api).has_value());
    EXPECT_EQ(api.calls(Call::Write), 15);
    const auto loaded = loadEntry(m_image, Range::List1, 3);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(*loaded, stats::tools::sampleFieldBytes(100));
}

TEST_F(FileFault, LoadAndVerifyCloseTheFileOnEveryFailure)
{
    for (const auto call : {Call::FileStatus, Call::Read}) {
        for (const int nth : {1, 2}) {
            ScriptedFileApi api;
            api.arm(call, EIO, nth);
            const auto loaded = loadEntry(m_image, Range::List2, 5, api);
            if (call == Call::FileStatus && nth == 2) {
                EXPECT_TRUE(loaded.has_value());
            } else {
                ASSERT_FALSE(loaded.has_value());
                EXPECT_EQ(loaded.error().kind, ErrorKind::CannotRead);
                EXPECT_EQ(loaded.error().osError, EIO);
            }
            EXPECT_EQ(api.openDescriptors(), 0);
        }
        ScriptedFileApi api;
        api.arm(call, EIO);
        EXPECT_FALSE(verifyImage(m_image, api).has_value());
        EXPECT_EQ(api.openDescriptors(), 0);
    }
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

TEST_F(FileFault, ACloseErrorAfterAFlushedSaveLosesNothing)
{
    ScriptedFileApi api;
    api.arm(Call::Close, EIO);
    EXPECT_TRUE(saveEntry(m_image, Range::List1, 3, editedBytes(), api).has_value());
    EXPECT_EQ(api.openDescriptors(), 0);
    EXPECT_EQ(*loadEntry(m_image, Range::List1, 3), stats::tools::sampleFieldBytes(100));
}

} // namespace

namespace {

// Three entries of a batch in three ranges, each going out in five writes (fifteen in all).
std::vector<EntryUpdate> batchOfThree()
{
    return {{Range::List1, 3, stats::tools::sampleFieldBytes(100)},
            {Range::List2, 0, stats::tools::sampleFieldBytes(101)},
            {Range::AlternateForms, 17, stats::tools::sampleFieldBytes(102)}};
}

// The writes fail from the first one after @p step of @p entry on (with @p sticky) or only there.
struct BatchFaultCase
{
    const char *name;
    SaveStep step;
    std::size_t entry;
    bool sticky;
    ErrorKind kind;
    std::vector<std::size_t> halfWritten;
    std::vector<std::size_t> written = {};
};

using BatchFault = FaultFixture<BatchFaultCase>;

TEST_P(BatchFault, AFailedWritePutsBackEveryEntryWrittenSoFar)
{
    const auto &c = GetParam();
    ScriptedFileApi api;
    api.failAfterStep(c.step, c.entry, Call::Write, EIO, c.sticky);
    const auto result = saveEntries(m_image, batchOfThree(), api);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().error.kind, c.kind);
    EXPECT_EQ(result.error().error.osError, EIO);
    EXPECT_EQ(result.error().entries, c.halfWritten);
    EXPECT_EQ(result.error().written, c.written);
    EXPECT_EQ(api.openDescriptors(), 0);
    if (!c.sticky) {
        EXPECT_EQ(snapshotOf(m_image), m_before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchFault,
    ::testing::Values(
        BatchFaultCase{"FirstWrite", SaveStep::BeforeWrites, 0, false, ErrorKind::WriteFailed, {}},
        BatchFaultCase{
            "SecondEntry", SaveStep::BetweenWrites, 1, false, ErrorKind::WriteFailed, {}},
        BatchFaultCase{"LastEntry", SaveStep::BetweenWrites, 2, false, ErrorKind::WriteFailed, {}},
        // Entries are named for what they hold when read back: a write on a
        // full disk may fail before it puts a byte.
        BatchFaultCase{"NothingPutBack",
                       SaveStep::BetweenWrites,
                       1,
                       true,
                       ErrorKind::WriteFailedDirty,
                       {1},
                       {0}},
        BatchFaultCase{"FullBetweenEntries",
                       SaveStep::BeforeEntry,
                       1,
                       true,
                       ErrorKind::WriteFailedDirty,
                       {},
                       {0}},
        BatchFaultCase{"FullAtOnce", SaveStep::BeforeWrites, 0, true, ErrorKind::WriteFailed, {}}),
    [](const auto &testInfo) { return testInfo.param.name; });

TEST_F(FileFault, ABatchWritesNothingWhenOneRecordChangedSinceItWasRead)
{
    auto updates = batchOfThree();
    for (auto &update : updates) {
        update.expected = *loadEntry(m_image, update.range, update.row);
    }
    (*updates[1].expected)[0] ^= 1;
    const auto result = saveEntries(m_image, updates);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().error.kind, ErrorKind::ChangedSinceLoad);
    EXPECT_EQ(result.error().entries, std::vector<std::size_t>{1});
    EXPECT_EQ(snapshotOf(m_image), m_before);
}

// What another program does to the image between the save's check of the records and its
// writes, or between the writes of two entries.
struct GapCase
{
    const char *name;
    std::function<void(const std::string &image, const std::string &other)> act;
    ErrorKind kind;
    SaveStep step = SaveStep::RecordsChecked;
    std::size_t entry = 0;
};

void cutShort(const std::string &image, const std::string & /*other*/)
{
    std::filesystem::resize_file(image, 1 << 20);
}

using Gap = FaultFixture<GapCase>;

TEST_P(Gap, NothingIsWrittenIntoAnImageChangedByAnother)
{
    const std::string other = m_dir.file("other.nds");
    ASSERT_TRUE(stats::testing::makeSampleImage(other));
    ScriptedFileApi api;
    std::array<stats::testing::Snapshot, 2> left;
    api.atStep(GetParam().step, GetParam().entry, [&] {
        GetParam().act(m_image, other);
        left = {snapshotOf(m_image), snapshotOf(other)};
    });
    const auto result = saveEntries(m_image, batchOfThree(), api);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().error.kind, GetParam().kind);
    EXPECT_EQ(api.openDescriptors(), 0);
    EXPECT_EQ(snapshotOf(m_image), left[0]);
    EXPECT_EQ(snapshotOf(other), left[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Save, Gap,
    ::testing::Values(GapCase{"CutShort", cutShort, ErrorKind::RecordMissing},
                      // After the check of the path, right before the first write.
                      GapCase{"CutShortBeforeTheWrites", cutShort, ErrorKind::RecordMissing,
                              SaveStep::BeforeWrites},
                      // After the first entry's writes: the next entry would lie past the
                      // end, and the first one's bytes went with the cut.
                      GapCase{"CutShortBetweenEntries", cutShort, ErrorKind::RecordMissing,
                              SaveStep::BeforeEntry, 1},
                      GapCase{"ReplacedByRename",
                              [](const std::string &image, const std::string &other) {
                                  std::filesystem::rename(other, image);
                                  ASSERT_TRUE(stats::testing::makeSampleImage(other));
                              },
                              ErrorKind::Replaced},
                      GapCase{"Deleted",
                              [](const std::string &image, const std::string &) {
                                  ASSERT_TRUE(std::filesystem::remove(image));
                              },
                              ErrorKind::Replaced}),
    [](const auto &testInfo) { return testInfo.param.name; });

// Another writer of ours holds the image for a while: a save, and a read of the whole table,
// wait for it a short time only.
TEST_F(FileFault, ASecondWriterOrATableReadWaitsABoundedTimeForTheFirstWriter)
{
    for (const bool save : {true, false}) {
        for (const auto held : {std::chrono::milliseconds(300), std::chrono::milliseconds(3000)}) {
            const auto before = snapshotOf(m_image);
            FileApi &files = systemFileApi();
            // The lock of another writer of ours, taken as the programs take it.
            const auto writer = files.open(m_image, Access::ReadWrite);
            ASSERT_TRUE(writer.has_value());
            ASSERT_TRUE(files.tryLock(*writer, LockKind::Exclusive).has_value());
            std::thread first([&] {
                std::this_thread::sleep_for(held);
                static_cast<void>(files.close(*writer));
            });
            std::optional<ErrorKind> failed;
            if (save) {
                const auto saved = saveEntry(m_image, Range::List1, 3, editedBytes());
                failed = saved ? std::nullopt : std::optional(saved.error().kind);
            } else {
                const auto read = loadTable(m_image);
                failed = read ? std::nullopt : std::optional(read.error().kind);
            }
            first.join();
            // The first writer lets go within the two seconds a second one waits, or not.
            const bool letGo = held < std::chrono::seconds(2);
            EXPECT_EQ(failed, letGo ? std::nullopt : std::optional(ErrorKind::Busy))
                << (save ? "save" : "table read") << " after " << held.count() << " ms";
            if (!save || !letGo) {
                EXPECT_EQ(snapshotOf(m_image), before);
            } else {
                EXPECT_EQ(*loadEntry(m_image, Range::List1, 3),
                          stats::tools::sampleFieldBytes(100));
            }
        }
    }
}

} // namespace
