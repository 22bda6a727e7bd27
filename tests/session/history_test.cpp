// Taking saves back and doing them again, as a user meets it through the window: each row is
// a run of actions, then the last action's outcome, the hp bytes of two entries' records, what
// the fields show, and which saves an undo and a redo would write next.

#include "session/session.h"

#include "sample-image/sampleimage.h"
#include "sessioncases.h"
#include "support/fieldoffset.h"

#include <cerrno>
#include <cstdio>

namespace {

using namespace stats;
using image::ErrorKind;
using image::Field;
using image::Range;
using session::Direction;
using session::Refusal;
using Call = stats::testing::ScriptedFileApi::Call;
using AfterBudget = stats::testing::ScriptedFileApi::AfterBudget;

constexpr int kRowA = 3;
constexpr int kRowB = 4;
const int kHpA = tools::sampleFieldBytes(kRowA)[0];
const int kHpB = tools::sampleFieldBytes(kRowB)[0];

enum class Do {
    OpenA,
    OpenB, // a second image
    LoadA, // List 1 row kRowA
    LoadB, // List 1 row kRowB
    SetHp, // the window reports hp as `value`
    Save,  // Ctrl+S
    Undo,
    Redo,
    ChangeA,       // another program writes hp = `value` into A's record
    FailWrite,     // the next save's first write fails; its bytes are put back
    FailAllWrites, // the next save's writes stop after one byte, putting back too
    ReplaceImage,  // the image's path now leads to a new copy of it
};

struct Step
{
    Do action;
    int value = 0;
};

struct Case
{
    const char *name;
    std::vector<Step> steps;
    // The last step's refusal, and the kind of failure when the image failed it.
    std::optional<Refusal> refusal;
    std::optional<ErrorKind> error;
    int hpA; // in the image's records of the two entries
    int hpB;
    std::string shownHp; // the fields' hp text
    bool unsaved;
    std::optional<int> undoRow; // the row whose save an undo would write next
    std::optional<int> redoRow;
};

std::string text(int value)
{
    return std::to_string(value);
}

std::vector<Case> cases()
{
    const Step openA{Do::OpenA}, openB{Do::OpenB}, loadB{Do::LoadB}, save{Do::Save};
    const Step undo{Do::Undo}, redo{Do::Redo}, failWrite{Do::FailWrite};
    const auto hp = [](int value) { return Step{Do::SetHp, value}; };
    // Each case starts with hp 100 saved into entry A of image A.
    const auto savedA = [&](std::vector<Step> more) {
        std::vector<Step> steps{openA, {Do::LoadA}, hp(100), save};
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };
    const auto failed = Refusal::ImageFailed;
    const auto quiet = Refusal::Quiet;
    const std::string hpA = text(kHpA);
    // clang-format off
    return {
        {"an undo writes back what the save replaced and shows it",
         savedA({undo}), {}, {}, kHpA, kHpB, hpA, false, {}, kRowA},
        {"a redo writes the save again",
         savedA({undo, redo}), {}, {}, 100, kHpB, "100", false, kRowA, {}},
        {"undos go back save by save, also into entries not loaded",
         savedA({hp(101), save, loadB, hp(50), save, undo, undo}),
         {}, {}, 100, kHpB, text(kHpB), false, kRowA, kRowA},
        {"an undo of an entry not loaded leaves the fields as they are",
         savedA({loadB, hp(7), undo}), {}, {}, kHpA, kHpB, "7", true, {}, kRowA},
        {"an undo is refused once another program changed the record",
         savedA({{Do::ChangeA, 1}, undo}), failed, ErrorKind::ChangedSinceLoad,
         1, kHpB, "100", false, kRowA, {}},
        {"a failed write during an undo puts the saved bytes back",
         savedA({failWrite, undo}), failed, ErrorKind::WriteFailed,
         100, kHpB, "100", false, kRowA, {}},
        {"after a failed undo the undo can be tried again",
         savedA({failWrite, undo, undo}), {}, {}, kHpA, kHpB, hpA, false, {}, kRowA},
        {"an undo whose bytes cannot be put back leaves the record unknown",
         savedA({{Do::FailAllWrites}, undo}), failed, ErrorKind::WriteFailedDirty,
         kHpA, kHpB, "100", true, kRowA, {}},
        {"a new save forgets the saves taken back",
         savedA({undo, hp(7), save}), {}, {}, 7, kHpB, "7", false, kRowA, {}},
        {"a save that changes nothing is not kept",
         {openA, {Do::LoadA}, save, undo}, quiet, {}, kHpA, kHpB, hpA, false, {}, {}},
        {"another image has saves of its own",
         savedA({openB, undo}), quiet, {}, 100, kHpB, "100", true, {}, {}},
        {"an image opened again finds its saves",
         savedA({openB, openA, undo}), {}, {}, kHpA, kHpB, hpA, false, {}, kRowA},
        {"a replaced image is not written and its saves are forgotten",
         savedA({{Do::ReplaceImage}, undo}), failed, ErrorKind::Replaced,
         kHpA, kHpB, "100", false, {}, {}},
        {"an image replaced and opened again has no saves",
         savedA({{Do::ReplaceImage}, openA, undo}), quiet, {}, kHpA, kHpB, "100", true, {}, {}},
        {"without an image there is nothing to undo",
         {undo}, quiet, {}, kHpA, kHpB, "", false, {}, {}},
    };
    // clang-format on
}

void PrintTo(const Case &row, std::ostream *out)
{
    *out << row.name;
}

class HistoryTest : public stats::testing::SessionCases<Case>
{
protected:
    static int hpOf(const std::string &path, int row)
    {
        const auto byte = stats::testing::readBytes(
            path, stats::testing::offsetOf(Range::List1, row, Field::hp), 1);
        return byte.empty() ? -1 : byte.front();
    }

    session::Outcome run(const Step &step) override
    {
        switch (step.action) {
        case Do::OpenA:
            return m_session.open(m_a);
        case Do::OpenB:
            return m_session.open(m_b);
        case Do::LoadA:
            return m_session.load(Range::List1, kRowA);
        case Do::LoadB:
            return m_session.load(Range::List1, kRowB);
        case Do::SetHp:
            m_session.setField(Field::hp, {text(step.value), std::nullopt});
            return {};
        case Do::Save:
            return m_session.saveLoaded();
        case Do::Undo:
            return m_session.undo();
        case Do::Redo:
            return m_session.redo();
        case Do::ChangeA:
            EXPECT_TRUE(stats::testing::writeByteAt(
                m_a, stats::testing::offsetOf(Range::List1, kRowA, Field::hp),
                static_cast<std::uint8_t>(step.value)));
            return {};
        case Do::FailWrite:
            m_files.failAfterStep(image::SaveStep::BeforeWrites, 0, Call::Write, EIO);
            return {};
        case Do::FailAllWrites:
            m_files.atStep(image::SaveStep::BeforeWrites, 0,
                           [this] { m_files.failWritesAfter(1, EIO, AfterBudget::Stay); });
            return {};
        case Do::ReplaceImage: {
            const std::string copy = m_dir.file("copy.nds");
            EXPECT_TRUE(stats::testing::makeSampleImage(copy));
            EXPECT_EQ(std::rename(copy.c_str(), m_a.c_str()), 0);
            return {};
        }
        }
        return {};
    }
};

std::optional<int> rowOf(const std::optional<session::SavedChange> &change)
{
    return change ? std::optional(change->row) : std::nullopt;
}

TEST_P(HistoryTest, TakesSavesBackAndDoesThemAgain)
{
    const Case &row = GetParam();
    const session::Outcome outcome = runSteps();
    const auto problem = outcome ? std::nullopt : std::optional(outcome.error());
    EXPECT_EQ(problem ? std::optional(problem->refusal) : std::nullopt, row.refusal);
    const bool failed = problem && problem->refusal == Refusal::ImageFailed;
    EXPECT_EQ(failed ? std::optional(problem->error.kind) : std::nullopt, row.error);
    EXPECT_EQ(hpOf(m_a, kRowA), row.hpA);
    EXPECT_EQ(hpOf(m_a, kRowB), row.hpB);
    EXPECT_EQ(m_session.fields()[0].text, row.shownHp);
    EXPECT_EQ(m_session.unsaved(), row.unsaved);
    EXPECT_EQ(rowOf(m_session.nextStep(Direction::Undo)), row.undoRow);
    EXPECT_EQ(rowOf(m_session.nextStep(Direction::Redo)), row.redoRow);
    EXPECT_EQ(m_files.openDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(History, HistoryTest, ::testing::ValuesIn(cases()),
                         stats::testing::caseName<Case>);

// Saves far past a hundred are all kept: each undo goes back one of them, to the first value.
TEST(HistoryLimit, KeepsMoreThanAHundredSaves)
{
    stats::testing::TempDir dir;
    const std::string path = dir.file("a.nds");
    ASSERT_TRUE(stats::testing::makeSampleImage(path));
    session::Session model(catalogues::builtInCatalogues(), image::systemFileApi());
    ASSERT_TRUE(model.open(path));
    ASSERT_TRUE(model.load(Range::List1, kRowA));
    constexpr int kSaves = 150;
    for (int i = 1; i <= kSaves; ++i) {
        model.setField(Field::hp, {text((kHpA + i) % 256), std::nullopt});
        ASSERT_TRUE(model.saveLoaded());
    }
    for (int i = kSaves - 1; i >= 0; --i) {
        ASSERT_TRUE(model.undo()) << i;
        ASSERT_EQ(model.fields()[0].text, text((kHpA + i) % 256));
    }
    EXPECT_FALSE(model.nextStep(Direction::Undo));
    const auto at = stats::testing::readBytes(
        path, stats::testing::offsetOf(Range::List1, kRowA, Field::hp), 1);
    EXPECT_EQ(at, std::vector<std::uint8_t>{static_cast<std::uint8_t>(kHpA)});
}

} // namespace
