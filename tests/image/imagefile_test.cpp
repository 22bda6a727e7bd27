#include "image/imagefile.h"
#include "image/numbertext.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/ordinaryuser.h"
#include "support/tempimage.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace stats::image;
using stats::testing::differingOffsets;
using stats::testing::makeSampleImage;
using stats::testing::offsetOf;
using stats::testing::readBytes;
using stats::testing::snapshotOf;
using stats::testing::TempDir;
using stats::testing::writeFile;
using stats::tools::sampleFieldBytes;

std::vector<std::uint8_t> headerWithCode(std::string_view code, std::size_t size = 512)
{
    std::vector<std::uint8_t> bytes(size, 0x20);
    for (std::size_t i = 0; i < code.size() && 12 + i < size; ++i) {
        bytes[12 + i] = static_cast<std::uint8_t>(code[i]);
    }
    return bytes;
}

std::size_t indexOf(Field field)
{
    return static_cast<std::size_t>(field);
}

class ImageFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeSampleImage(m_image));
        m_before = snapshotOf(m_image);
        m_descriptors = stats::testing::openDescriptorCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(stats::testing::openDescriptorCount(), m_descriptors) << "a file was left open";
    }

    void expectUnchanged() const { EXPECT_EQ(snapshotOf(m_image), m_before); }

    TempDir m_dir;
    std::string m_image = m_dir.file("image.nds");
    stats::testing::Snapshot m_before;
    int m_descriptors = 0;
};

// --- Opening and verifying ---------------------------------------------------------------

TEST_F(ImageFileTest, AnImageWithTheGameCodeIsAcceptedAndLeftAlone)
{
    EXPECT_TRUE(verifyImage(m_image).has_value());
    expectUnchanged();
}

struct RefusalCase
{
    const char *name;
    std::vector<std::uint8_t> content;
    ErrorKind kind;
};

class VerifyContent : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(VerifyContent, ClassifiesTheFile)
{
    TempDir dir;
    const auto path = dir.file("x.nds");
    ASSERT_TRUE(writeFile(path, GetParam().content));
    const auto result = verifyImage(path);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, GetParam().kind);
    EXPECT_EQ(readBytes(path, 0, GetParam().content.size()), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, VerifyContent,
    ::testing::Values(RefusalCase{"LowerCaseCode", headerWithCode("qvzt"), ErrorKind::NotSupported},
                      RefusalCase{"OtherCode", headerWithCode("QVZU"), ErrorKind::NotSupported},
                      RefusalCase{"EmptyFile", {}, ErrorKind::NotSupported},
                      RefusalCase{"FifteenBytes", headerWithCode("QVZT", 15),
                                  ErrorKind::NotSupported}),
    [](const auto &testInfo) { return testInfo.param.name; });

TEST(Verify, SixteenBytesWithTheCodeAreEnoughForTheHeader)
{
    TempDir dir;
    const auto path = dir.file("short.nds");
    ASSERT_TRUE(writeFile(path, headerWithCode("QVZT", 16)));
    EXPECT_TRUE(verifyImage(path).has_value());
}

TEST(Verify, TellsMissingFilesFromFilesThatCannotBeRead)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.nds").c_str(), 0644), 0);
    std::filesystem::create_directory(dir.file("folder.nds"));

    const struct
    {
        std::string path;
        ErrorKind kind;
    } cases[] = {
        {dir.file("missing.nds"), ErrorKind::NoFile},
        {dir.file("no-such-folder/x.nds"), ErrorKind::NoFile},
        {dir.file("folder.nds"), ErrorKind::NotAFile},
        // A FIFO with no writer would block an open for reading forever.
        {dir.file("fifo.nds"), ErrorKind::NotAFile},
        {"/dev/null", ErrorKind::NotAFile},
        {"/dev/zero", ErrorKind::NotAFile},
    };
    for (const auto &c : cases) {
        const auto result = verifyImage(c.path);
        ASSERT_FALSE(result.has_value()) << c.path;
        EXPECT_EQ(result.error().kind, c.kind) << c.path;
        // Neither ends the editor: the user is told and chooses again.
        EXPECT_FALSE(isRefusal(result.error().kind)) << c.path;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.nds")));
}

// --- Loading -----------------------------------------------------------------------------

TEST_F(ImageFileTest, LoadsTheFifteenBytesOfEveryRangesFirstAndLastRow)
{
    for (const auto &info : kRanges) {
        for (const int row : {0, info.rowCount / 2, info.rowCount - 1}) {
            const auto bytes = loadEntry(m_image, info.range, static_cast<std::int16_t>(row));
            ASSERT_TRUE(bytes.has_value()) << info.name << " row " << row;
            EXPECT_EQ(*bytes, sampleFieldBytes(info.firstRecord + row))
                << info.name << " row " << row;
        }
    }
    expectUnchanged();
}

TEST_F(ImageFileTest, LoadRefusesRowsOutsideTheRange)
{
    for (const auto &info : kRanges) {
        for (const int row : {-1, info.rowCount, 547}) {
            const auto bytes = loadEntry(m_image, info.range, static_cast<std::int16_t>(row));
            ASSERT_FALSE(bytes.has_value());
            EXPECT_EQ(bytes.error().kind, ErrorKind::RowOutOfRange);
        }
    }
}

TEST_F(ImageFileTest, LoadOfARecordPastTheEndOfTheFileFails)
{
    // The file ends one byte before the last record's byte 26.
    ASSERT_EQ(::truncate(m_image.c_str(), offsetOf(Range::AlternateForms, 17, Field::dw)), 0);
    const auto before = snapshotOf(m_image);
    const auto bytes = loadEntry(m_image, Range::AlternateForms, 17);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().kind, ErrorKind::RecordMissing);
    EXPECT_TRUE(loadEntry(m_image, Range::AlternateForms, 16).has_value());
    EXPECT_EQ(snapshotOf(m_image), before);
}

TEST_F(ImageFileTest, TheTableReadHoldsEveryRecordAndNeedsTheWholeTable)
{
    const auto table = loadTable(m_image);
    ASSERT_TRUE(table.has_value());
    ASSERT_EQ(table->entries.size(), std::size_t{kRecordCount});
    for (int record = 0; record < kRecordCount; ++record) {
        EXPECT_EQ(table->entries[static_cast<std::size_t>(record)], sampleFieldBytes(record));
    }
    ASSERT_EQ(::truncate(m_image.c_str(), kTableEnd - 1), 0);
    EXPECT_EQ(loadTable(m_image).error().kind, ErrorKind::RecordMissing);
}

TEST_F(ImageFileTest, LoadChecksTheGameCodeAgain)
{
    ASSERT_EQ(::unlink(m_image.c_str()), 0);
    auto bytes = loadEntry(m_image, Range::List1, 0);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().kind, ErrorKind::NoFile);

    ASSERT_TRUE(writeFile(m_image, headerWithCode("ABCD")));
    bytes = loadEntry(m_image, Range::List1, 0);
    ASSERT_FALSE(bytes.has_value());
    EXPECT_EQ(bytes.error().kind, ErrorKind::NotSupported);
}

// --- Saving ------------------------------------------------------------------------------

TEST_F(ImageFileTest, SavingUneditedFieldsLeavesTheImageAsItWas)
{
    for (const auto &info : kRanges) {
        const auto row = static_cast<std::int16_t>(info.rowCount - 1);
        const auto bytes = loadEntry(m_image, info.range, row);
        ASSERT_TRUE(bytes.has_value());
        ASSERT_TRUE(saveEntry(m_image, info.range, row, *bytes).has_value());
    }
    expectUnchanged();
}

TEST_F(ImageFileTest, AnEditedHpChangesExactlyItsOneByte)
{
    auto bytes = *loadEntry(m_image, Range::List1, 3);
    bytes[indexOf(Field::hp)] = 100;
    ASSERT_TRUE(saveEntry(m_image, Range::List1, 3, bytes).has_value());
    EXPECT_EQ(differingOffsets(m_before, snapshotOf(m_image)),
              std::vector<std::int64_t>{0x694EA08});
    EXPECT_EQ(readBytes(m_image, 0x694EA08, 1)[0], 100);
}

TEST_F(ImageFileTest, ASaveWritesTheFifteenFieldBytesAndNothingElse)
{
    // Every field gets a value unlike the sample's, so every written byte shows.
    for (const auto &info : kRanges) {
        const auto row = static_cast<std::int16_t>(info.rowCount / 3);
        auto bytes = *loadEntry(m_image, info.range, row);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(bytes[i] == 0 ? 1 : bytes[i] - 1);
        }
        const auto before = snapshotOf(m_image);
        ASSERT_TRUE(saveEntry(m_image, info.range, row, bytes).has_value());

        std::vector<std::int64_t> expected;
        for (const auto &field : kFields) {
            expected.push_back(offsetOf(info.range, row, field.field));
        }
        EXPECT_EQ(differingOffsets(before, snapshotOf(m_image)), expected) << info.name;
        EXPECT_EQ(*loadEntry(m_image, info.range, row), bytes) << info.name;
    }
}

TEST_F(ImageFileTest, HeldItemByte255WritesOnlyByteTwelve)
{
    auto bytes = *loadEntry(m_image, Range::List1, 0);
    bytes[indexOf(Field::wh1)] = 255;
    ASSERT_TRUE(saveEntry(m_image, Range::List1, 0, bytes).has_value());
    EXPECT_EQ(differingOffsets(m_before, snapshotOf(m_image)),
              std::vector<std::int64_t>{offsetOf(Range::List1, 0, Field::wh1)});
}

TEST_F(ImageFileTest, SaveRefusesRowsOutsideItsRangeWithoutTouchingTheFile)
{
    const auto bytes = sampleFieldBytes(0);
    for (const auto &[range, row] : {std::pair{Range::List1, 547},
                                     {Range::List2, 102},
                                     {Range::AlternateForms, 18},
                                     {Range::List2, 500},
                                     {Range::List1, -1}}) {
        const auto result = saveEntry(m_image, range, static_cast<std::int16_t>(row), bytes);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind, ErrorKind::RowOutOfRange);
    }
    expectUnchanged();
}

TEST_F(ImageFileTest, SaveIntoAFileThatEndsBeforeTheRecordWritesNothing)
{
    const auto end = offsetOf(Range::AlternateForms, 17, Field::dw);
    ASSERT_EQ(::truncate(m_image.c_str(), end), 0);
    const auto before = snapshotOf(m_image);
    const auto result = saveEntry(m_image, Range::AlternateForms, 17, sampleFieldBytes(1));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::RecordMissing);
    EXPECT_EQ(snapshotOf(m_image), before);
}

TEST_F(ImageFileTest, SaveIntoAReplacedFileWritesNothing)
{
    const auto bytes = sampleFieldBytes(9);
    ASSERT_EQ(::unlink(m_image.c_str()), 0);
    auto result = saveEntry(m_image, Range::List1, 0, bytes);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::NoFile);
    EXPECT_FALSE(std::filesystem::exists(m_image)) << "a save created a file";

    // Another game's image, large enough to hold the table, now lies at the path.
    ASSERT_TRUE(writeFile(m_image, headerWithCode("ZZZZ")));
    ASSERT_EQ(::truncate(m_image.c_str(), kTableEnd), 0);
    const auto before = snapshotOf(m_image);
    result = saveEntry(m_image, Range::List1, 0, bytes);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::NotSupported);
    EXPECT_EQ(snapshotOf(m_image), before);
}

TEST(Save, RefusesFoldersFifosAndDevices)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo.nds").c_str(), 0644), 0);
    std::filesystem::create_directory(dir.file("folder.nds"));
    const auto bytes = sampleFieldBytes(0);
    for (const auto &path :
         {dir.file("fifo.nds"), dir.file("folder.nds"), std::string("/dev/null")}) {
        const auto result = saveEntry(path, Range::List1, 0, bytes);
        ASSERT_FALSE(result.has_value()) << path;
        EXPECT_EQ(result.error().kind, ErrorKind::NotAFile) << path;
    }
}

// Root writes through permission bits, so the check runs as an unprivileged user in a child
// process; the kernel then refuses the write exactly as it would for any user.
TEST_F(ImageFileTest, AReadOnlyImageIsRefusedForSavingButStillLoads)
{
    ASSERT_EQ(::chmod(m_image.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
    EXPECT_TRUE(stats::testing::asOrdinaryUser([&] {
        if (!loadEntry(m_image, Range::List1, 0).has_value()) {
            return false;
        }
        const auto result = saveEntry(m_image, Range::List1, 0, sampleFieldBytes(5));
        return !result.has_value() && result.error().kind == ErrorKind::CannotOpen &&
               result.error().osError == EACCES;
    })) << "the load failed, or the save was not refused";
    expectUnchanged();
}

TEST_F(ImageFileTest, ASaveRefusesARecordThatChangedSinceItWasLoaded)
{
    const auto loaded = *loadEntry(m_image, Range::List1, 7);
    auto other = loaded;
    other[indexOf(Field::spd)] = static_cast<std::uint8_t>(other[indexOf(Field::spd)] + 1);
    // Another writer changes the record after the load.
    ASSERT_TRUE(saveEntry(m_image, Range::List1, 7, other).has_value());
    const auto changed = snapshotOf(m_image);

    const auto result = saveEntry(m_image, Range::List1, 7, loaded, systemFileApi(), loaded);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::ChangedSinceLoad);
    EXPECT_EQ(snapshotOf(m_image), changed);
    // Saving over what the record holds now works.
    EXPECT_TRUE(saveEntry(m_image, Range::List1, 7, loaded, systemFileApi(), other));
}

TEST_F(ImageFileTest, ALoadAfterASaveReadsTheBytesJustWritten)
{
    for (int round = 0; round < 3; ++round) {
        auto bytes = sampleFieldBytes(round + 40);
        ASSERT_TRUE(saveEntry(m_image, Range::List2, 7, bytes).has_value());
        EXPECT_EQ(*loadEntry(m_image, Range::List2, 7), bytes);
    }
}

} // namespace
