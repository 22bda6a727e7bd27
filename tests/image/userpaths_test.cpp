// Files as users really have them, through the core: odd names, links, folders and mounts
// that cannot be written, and images that another program grows, cuts or replaces between
// opening and saving. Whatever happens, the only bytes that ever change are the fifteen of
// the entry being saved, and no file is created, extended or cut.

#include "image/imagefile.h"
#include "image/numbertext.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace stats::image;
using stats::testing::differingOffsets;
using stats::testing::makeSampleImage;
using stats::testing::snapshotOf;
using stats::testing::TempDir;
using stats::tools::sampleFieldBytes;

constexpr std::int16_t kRow = 7;

// The record's own bytes with hp and atk changed: a save of this changes exactly two bytes.
FieldBytes editedBytes()
{
    auto bytes = sampleFieldBytes(kRow);
    bytes[static_cast<std::size_t>(Field::hp)] ^= 0x01;
    bytes[static_cast<std::size_t>(Field::atk)] ^= 0x02;
    return bytes;
}

std::vector<std::int64_t> editedOffsets()
{
    return {*fieldPosition(Range::List1, kRow, fieldInfo(Field::hp).offset),
            *fieldPosition(Range::List1, kRow, fieldInfo(Field::atk).offset)};
}

std::set<std::string> namesIn(const std::string &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Runs @p body in a child process and returns its exit code (or 128 + the signal); the
// child exits with what body returns. Used where the test must change who it is or what it
// sees of the mounts without touching the rest of the test program.
int inChild(const std::function<int()> &body)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return 255;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Becomes an ordinary user, since root writes through permission bits.
bool becomeNobody()
{
    return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
}

class UserPaths : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0); }

    // A sample image at @p name in the test's folder, with its snapshot.
    std::string image(const std::string &name)
    {
        const auto path = m_dir.file(name);
        EXPECT_TRUE(makeSampleImage(path));
        return path;
    }

    TempDir m_dir;
};

// --- Names -------------------------------------------------------------------------------

TEST_F(UserPaths, AnyNameTheFileSystemHoldsIsOpenedLoadedAndSavedInPlace)
{
    const std::string names[] = {
        "my images/Base stats 2.nds",
        "  leading and trailing blanks  .nds",
        "Größe été ñandú Ωμέγα.nds",
        "画像 データ.nds",
        "\xf0\x9f\x8e\xae save \xf0\x9f\x98\x80.nds", // a game controller and a smiling face
        "caf\xe9-latin1.nds",                         // not UTF-8: a name from an old archive
        "semi;colon 'quote' \"double\" $dollar *star?.nds",
        "-starts-with-a-dash.nds",
    };
    std::filesystem::create_directory(m_dir.file("my images"));
    for (const auto &name : names) {
        const auto path = image(name);
        const auto folder = std::filesystem::path(path).parent_path().string();
        const auto before = snapshotOf(path);
        const auto listing = namesIn(folder);
        ASSERT_TRUE(verifyImage(path).has_value()) << name;
        ASSERT_EQ(loadEntry(path, Range::List1, kRow).value_or(FieldBytes{}),
                  sampleFieldBytes(kRow))
            << name;
        ASSERT_TRUE(saveEntry(path, Range::List1, kRow, editedBytes()).has_value()) << name;
        EXPECT_EQ(differingOffsets(before, snapshotOf(path)), editedOffsets()) << name;
        EXPECT_EQ(namesIn(folder), listing) << name;
    }
}

// --- Links -------------------------------------------------------------------------------

TEST_F(UserPaths, ASaveThroughALinkWritesTheImageAndLeavesTheLinkALink)
{
    const auto target = image("real image.nds");
    const auto before = snapshotOf(target);
    std::filesystem::create_symlink("real image.nds", m_dir.file("link.nds"));
    std::filesystem::create_symlink(m_dir.file("link.nds"), m_dir.file("link to link.nds"));
    for (const auto &link : {m_dir.file("link.nds"), m_dir.file("link to link.nds")}) {
        ASSERT_TRUE(verifyImage(link).has_value()) << link;
        ASSERT_TRUE(saveEntry(link, Range::List1, kRow, editedBytes()).has_value()) << link;
        EXPECT_TRUE(std::filesystem::is_symlink(link)) << link;
    }
    EXPECT_EQ(std::filesystem::read_symlink(m_dir.file("link.nds")), "real image.nds");
    EXPECT_EQ(differingOffsets(before, snapshotOf(target)), editedOffsets());
    EXPECT_EQ(namesIn(m_dir.path()),
              (std::set<std::string>{"real image.nds", "link.nds", "link to link.nds"}));
}

TEST_F(UserPaths, ADanglingOrLoopingLinkIsRefusedAndNothingIsCreated)
{
    std::filesystem::create_symlink("gone.nds", m_dir.file("dangling.nds"));
    std::filesystem::create_symlink("loop-b.nds", m_dir.file("loop-a.nds"));
    std::filesystem::create_symlink("loop-a.nds", m_dir.file("loop-b.nds"));
    const auto listing = namesIn(m_dir.path());

    auto result = verifyImage(m_dir.file("dangling.nds"));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::NoFile);
    result = saveEntry(m_dir.file("dangling.nds"), Range::List1, kRow, editedBytes());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::NoFile);

    result = saveEntry(m_dir.file("loop-a.nds"), Range::List1, kRow, editedBytes());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::CannotOpen);
    EXPECT_EQ(result.error().osError, ELOOP);
    EXPECT_EQ(namesIn(m_dir.path()), listing);
}

// --- Folders, permissions and mounts -----------------------------------------------------

// The save writes in place: it needs no room beside the image, so a folder nobody may write
// to does not stop it, and it leaves no file behind there.
TEST_F(UserPaths, AFolderWithoutWritePermissionStillLetsTheImageBeSaved)
{
    const auto path = image("in a locked folder.nds");
    const auto before = snapshotOf(path);
    // Root saves as nobody, for whom the folder's permissions hold; nobody then owns the image,
    // as its user would. Anyone else saves as themselves.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0555), 0);
    const int code = inChild([&] {
        if (!becomeNobody()) {
            return 10;
        }
        return saveEntry(path, Range::List1, kRow, editedBytes()).has_value() ? 0 : 11;
    });
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
    EXPECT_EQ(code, 0) << "10: cannot become an ordinary user, 11: the save failed";
    EXPECT_EQ(differingOffsets(before, snapshotOf(path)), editedOffsets());
    EXPECT_EQ(namesIn(m_dir.path()), std::set<std::string>{"in a locked folder.nds"});
}

TEST_F(UserPaths, AnImageWithoutWritePermissionThroughALinkIsRefusedAndUnchanged)
{
    const auto path = image("read only.nds");
    const auto before = snapshotOf(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    std::filesystem::create_symlink("read only.nds", m_dir.file("link.nds"));
    const int code = inChild([&] {
        if (!becomeNobody()) {
            return 10;
        }
        if (!loadEntry(m_dir.file("link.nds"), Range::List1, kRow).has_value()) {
            return 11;
        }
        const auto result = saveEntry(m_dir.file("link.nds"), Range::List1, kRow, editedBytes());
        const bool refused = !result.has_value() && result.error().kind == ErrorKind::CannotOpen &&
                             result.error().osError == EACCES;
        return refused ? 0 : 12;
    });
    EXPECT_EQ(code, 0) << "10: cannot become an ordinary user, 11: the load failed, "
                          "12: the save was not refused with EACCES";
    EXPECT_EQ(snapshotOf(path), before);
}

// A read-only mount refuses even root. The mount is made in a mount namespace of the child's
// own, so nothing outside the test ever sees it.
TEST_F(UserPaths, AnImageOnAReadOnlyMountLoadsButIsNotSaved)
{
    const auto path = image("mounted.nds");
    const auto before = snapshotOf(path);
    std::filesystem::create_directory(m_dir.file("source"));
    std::filesystem::create_directory(m_dir.file("read-only"));
    std::filesystem::rename(path, m_dir.file("source/mounted.nds"));
    const auto mounted = m_dir.file("read-only/mounted.nds");
    const int code = inChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(m_dir.file("source").c_str(), m_dir.file("read-only").c_str(), nullptr, MS_BIND,
                    nullptr) != 0 ||
            ::mount(nullptr, m_dir.file("read-only").c_str(), nullptr,
                    MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            return 77;
        }
        if (!verifyImage(mounted).has_value() ||
            !loadEntry(mounted, Range::List1, kRow).has_value()) {
            return 11;
        }
        const auto result = saveEntry(mounted, Range::List1, kRow, editedBytes());
        const bool refused = !result.has_value() && result.error().kind == ErrorKind::CannotOpen &&
                             result.error().osError == EROFS;
        return refused ? 0 : 12;
    });
    if (code == 77) {
        GTEST_SKIP() << "this machine does not let the test make a private read-only mount";
    }
    EXPECT_EQ(code, 0) << "11: verify or load failed, 12: the save was not refused with EROFS";
    EXPECT_EQ(snapshotOf(m_dir.file("source/mounted.nds")), before);
}

// --- Images that change between opening and saving ---------------------------------------

TEST_F(UserPaths, AnImageThatGrewIsSavedAndItsNewTailKept)
{
    const auto path = image("growing.nds");
    ASSERT_TRUE(verifyImage(path).has_value());
    const auto size = std::filesystem::file_size(path);
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        const std::string tail = "appended by another program";
        ASSERT_EQ(::write(fd, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    const auto before = snapshotOf(path);
    ASSERT_TRUE(saveEntry(path, Range::List1, kRow, editedBytes()).has_value());
    const auto after = snapshotOf(path);
    EXPECT_EQ(differingOffsets(before, after), editedOffsets());
    EXPECT_GT(after.size, static_cast<std::int64_t>(size));
}

struct Shrink
{
    const char *name;
    std::int64_t size;
    std::optional<ErrorKind> refusal;
};

class ShrunkImage : public ::testing::TestWithParam<Shrink>
{
};

// However far the file was cut, a save either fits inside what is left or writes nothing: it
// never writes past the end, which would make the file longer again.
TEST_P(ShrunkImage, IsSavedOnlyWhereTheRecordIsStillWhole)
{
    TempDir dir;
    const auto path = dir.file("shrinking.nds");
    ASSERT_TRUE(makeSampleImage(path));
    ASSERT_TRUE(verifyImage(path).has_value());
    ASSERT_EQ(::truncate(path.c_str(), GetParam().size), 0);
    const auto before = snapshotOf(path);
    const auto result = saveEntry(path, Range::List1, kRow, editedBytes());
    const auto after = snapshotOf(path);
    EXPECT_EQ(after.size, GetParam().size);
    if (GetParam().refusal) {
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind, *GetParam().refusal);
        EXPECT_EQ(after, before);
    } else {
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(differingOffsets(before, after), editedOffsets());
    }
}

const auto kRecordStart = *recordPosition(Range::List1, kRow);

INSTANTIATE_TEST_SUITE_P(
    Cut, ShrunkImage,
    ::testing::Values(Shrink{"ToNothing", 0, ErrorKind::NotSupported},
                      Shrink{"IntoTheGameCode", 15, ErrorKind::NotSupported},
                      Shrink{"ToTheHeader", 16, ErrorKind::RecordMissing},
                      Shrink{"BeforeTheTable", kTableOffset, ErrorKind::RecordMissing},
                      Shrink{"InsideTheRecord", kRecordStart + 20, ErrorKind::RecordMissing},
                      Shrink{"OneByteShortOfTheSpan", kRecordStart + kRecordSpan - 1,
                             ErrorKind::RecordMissing},
                      Shrink{"RightAfterTheSpan", kRecordStart + kRecordSpan, std::nullopt},
                      Shrink{"AtTheTablesEnd", kTableEnd, std::nullopt}),
    [](const auto &shrink) { return shrink.param.name; });

TEST_F(UserPaths, AnImageReplacedByAnotherKindOfFileIsNotWritten)
{
    const auto path = image("replaced.nds");
    ASSERT_TRUE(verifyImage(path).has_value());
    // The old image is kept under another name, as a program that replaces files by renaming
    // a new one over them leaves it.
    ASSERT_EQ(::link(path.c_str(), m_dir.file("old.nds").c_str()), 0);
    const auto old = snapshotOf(path);
    const std::vector<std::uint8_t> other(4096, 0x20);
    ASSERT_TRUE(stats::testing::writeFile(m_dir.file("new.bin"), other));
    std::filesystem::rename(m_dir.file("new.bin"), path);
    const auto replacement = snapshotOf(path);

    const auto result = saveEntry(path, Range::List1, kRow, editedBytes());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, ErrorKind::NotSupported);
    EXPECT_EQ(snapshotOf(path), replacement);
    EXPECT_EQ(snapshotOf(m_dir.file("old.nds")), old);
}

} // namespace
