// The rules of one editing session, as a user meets them through the window: each row is a
// run of actions, then the last action's outcome, the unsaved answer and the bytes of the
// entry's record in both images.

#include "session/session.h"

#include "sample-image/sampleimage.h"
#include "sessioncases.h"
#include "support/fieldoffset.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

using namespace stats;
using image::Field;
using image::FieldBytes;
using image::Range;
using session::FieldValue;
using session::Refusal;

constexpr int kRow = 3;

enum class Do {
    OpenA,       // the image the entry is loaded from
    OpenB,       // another image whose record of the entry holds other values
    OpenNothing, // a cancelled dialog
    OpenFifo,    // a file that cannot be read as an image
    OpenOther,   // a file with another game code
    OpenMissing, // a path with no file, as a typing error gives
    Load,        // row kRow of List 1
    Set,         // the window reports a field
    Save,        // the save button of `range` with row kRow selected
    SaveLoaded,  // Ctrl+S
    Discard,
    ChangeA,    // another program writes hp = 1 into A's record
    UnlistedA,  // another program writes a type without a row into A's record
    OpenALink,  // A again, by another path to the same file
    FailWrites, // from now on every write fails after its first byte, the put-back too
    Heal,       // writes work again
};

constexpr int kUnlistedType = 20;

struct Step
{
    Do action;
    Field field = Field::hp;
    FieldValue value = {};
    Range range = Range::List1;
};

Step set(Field field, std::string text)
{
    return {Do::Set, field, {std::move(text), std::nullopt}};
}

Step choose(Field field, int position)
{
    return {Do::Set, field, {{}, position}};
}

std::string upper(std::string_view text)
{
    std::string result(text);
    std::ranges::transform(result, result.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

std::size_t at(Field field)
{
    return static_cast<std::size_t>(field);
}

const FieldBytes kA = tools::sampleFieldBytes(kRow);

// B's record differs from A's in a number and a choice field.
FieldBytes recordOfB()
{
    FieldBytes bytes = kA;
    bytes[at(Field::hp)] = static_cast<std::uint8_t>(kA[at(Field::hp)] + 1);
    bytes[at(Field::ty1)] = static_cast<std::uint8_t>((kA[at(Field::ty1)] + 1) % 17);
    return bytes;
}

const catalogues::Catalogue &list(image::ValueList which)
{
    return catalogues::builtInCatalogues().values(which);
}

// A held item other than A's, named as a person types it: without its final blank, in capitals.
int otherHeldItem()
{
    for (int row = 1;; ++row) {
        const std::string_view text = list(image::ValueList::HeldItems).text(row);
        if (row != kA[at(Field::wh1)] &&
            list(image::ValueList::HeldItems).rowsNamed(text.substr(0, text.size() - 1)).size() ==
                1) {
            return row;
        }
    }
}

FieldBytes with(FieldBytes bytes, Field field, int byte)
{
    bytes[at(field)] = static_cast<std::uint8_t>(byte);
    return bytes;
}

struct Case
{
    const char *name;
    std::vector<Step> steps;
    std::optional<Refusal> outcome; // of the last step; none when it worked
    bool unsaved;
    FieldBytes a;
    FieldBytes b;
};

std::vector<Case> cases()
{
    const FieldBytes b = recordOfB();
    const std::string_view type = list(image::ValueList::Types).text(kA[at(Field::ty1)]);
    const int item = otherHeldItem();
    const std::string_view itemText = list(image::ValueList::HeldItems).text(item);
    return {
        {"a load shows the record", {{Do::OpenA}, {Do::Load}}, {}, false, kA, b},
        {"an edit is unsaved", {{Do::OpenA}, {Do::Load}, set(Field::hp, "100")}, {}, true, kA, b},
        {"a save writes the edit and leaves nothing unsaved",
         {{Do::OpenA}, {Do::Load}, set(Field::hp, " 100 "), {Do::Save}},
         {},
         false,
         with(kA, Field::hp, 100),
         b},
        {"a discard brings the record back",
         {{Do::OpenA}, {Do::Load}, set(Field::hp, "100"), {Do::Discard}},
         {},
         false,
         kA,
         b},
        {"another image keeps the fields and compares them with its record",
         {{Do::OpenA}, {Do::Load}, {Do::OpenB}},
         {},
         true,
         kA,
         b},
        {"a save after opening another image copies the entry into it",
         {{Do::OpenA}, {Do::Load}, {Do::OpenB}, {Do::SaveLoaded}},
         {},
         false,
         kA,
         kA},
        {"a forgotten image leaves nothing to save, and a save says so",
         {{Do::OpenA}, {Do::Load}, set(Field::hp, "100"), {Do::OpenFifo}, {Do::Save}},
         Refusal::NoImage,
         false,
         kA,
         b},
        {"a cancelled dialog forgets the image too",
         {{Do::OpenA}, {Do::Load}, {Do::OpenNothing}, {Do::SaveLoaded}},
         Refusal::NoImage,
         false,
         kA,
         b},
        {"before any image a save has nothing to say", {{Do::Save}}, Refusal::Quiet, false, kA, b},
        {"a path with no file is told, not refused, and forgets the image",
         {{Do::OpenA}, {Do::Load}, {Do::OpenMissing}, {Do::SaveLoaded}},
         Refusal::NoImage,
         false,
         kA,
         b},
        {"another game code is refused",
         {{Do::OpenOther}},
         Refusal::UnsupportedImage,
         false,
         kA,
         b},
        {"a typed row name in other letter case is that row",
         {{Do::OpenA}, {Do::Load}, set(Field::ty1, upper(type)), {Do::SaveLoaded}},
         {},
         false,
         kA,
         b},
        {"a typed held item without its blank is that item",
         {{Do::OpenA},
          {Do::Load},
          set(Field::wh1, std::string(itemText.substr(0, itemText.size() - 1))),
          {Do::SaveLoaded}},
         {},
         false,
         with(kA, Field::wh1, item),
         b},
        {"typed text that names no row does not convert",
         {{Do::OpenA}, {Do::Load}, set(Field::ty1, "nosuchtype"), {Do::SaveLoaded}},
         Refusal::UnconvertibleValue,
         true,
         kA,
         b},
        {"a number above 255 does not convert",
         {{Do::OpenA}, {Do::Load}, set(Field::gr, "256"), {Do::SaveLoaded}},
         Refusal::UnconvertibleValue,
         true,
         kA,
         b},
        {"a held item that one byte cannot hold does not convert",
         {{Do::OpenA}, {Do::Load}, choose(Field::wh2, 300), {Do::SaveLoaded}},
         Refusal::UnconvertibleValue,
         true,
         kA,
         b},
        {"another list's save button does not write this entry",
         {{Do::OpenA}, {Do::Load}, set(Field::hp, "100"), {Do::Save, {}, {}, Range::List2}},
         Refusal::NoEntryChosen,
         true,
         kA,
         b},
        {"a record changed by another program is not overwritten",
         {{Do::OpenA}, {Do::Load}, {Do::ChangeA}, set(Field::hp, "100"), {Do::SaveLoaded}},
         Refusal::ImageFailed,
         true,
         with(kA, Field::hp, 1),
         b},
        {"the open image again leaves nothing unsaved",
         {{Do::OpenA}, {Do::Load}, {Do::ChangeA}, {Do::OpenA}},
         {},
         false,
         with(kA, Field::hp, 1),
         b},
        {"the open image again keeps the edits unsaved, and a save writes them",
         {{Do::OpenA}, {Do::Load}, set(Field::hp, "100"), {Do::OpenALink}, {Do::SaveLoaded}},
         {},
         false,
         with(kA, Field::hp, 100),
         b},
        {"the open image again still refuses to overwrite another program's change",
         {{Do::OpenA}, {Do::Load}, {Do::ChangeA}, {Do::OpenA}, {Do::SaveLoaded}},
         Refusal::ImageFailed,
         false,
         with(kA, Field::hp, 1),
         b},
        {"the open image again by another path is the same image",
         {{Do::OpenA}, {Do::Load}, {Do::ChangeA}, {Do::OpenALink}, {Do::SaveLoaded}},
         Refusal::ImageFailed,
         false,
         with(kA, Field::hp, 1),
         b},
        {"a write that could not be put back leaves everything unsaved",
         {{Do::OpenA}, {Do::Load}, set(Field::hp, "100"), {Do::FailWrites}, {Do::SaveLoaded}},
         Refusal::ImageFailed,
         true,
         with(kA, Field::hp, 100),
         b},
        {"after a write that could not be put back, a value without a row is still kept",
         {{Do::UnlistedA},
          {Do::OpenA},
          {Do::Load},
          set(Field::hp, "100"),
          {Do::FailWrites},
          {Do::SaveLoaded},
          {Do::Heal},
          {Do::SaveLoaded}},
         {},
         false,
         with(with(kA, Field::ty1, kUnlistedType), Field::hp, 100),
         b},
    };
}

void PrintTo(const Case &row, std::ostream *out)
{
    *out << row.name;
}

class SessionTest : public stats::testing::SessionCases<Case>
{
protected:
    void SetUp() override
    {
        SessionCases::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(writeRecord(m_b, recordOfB()));
        ASSERT_EQ(::mkfifo(m_fifo.c_str(), 0600), 0);
        std::ofstream(m_other) << std::string(512, 'X');
        ASSERT_EQ(::link(m_a.c_str(), m_aLink.c_str()), 0);
    }

    static bool writeRecord(const std::string &path, const FieldBytes &bytes)
    {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (!stats::testing::writeByteAt(
                    path, stats::testing::offsetOf(Range::List1, kRow, image::kFields[i].field),
                    bytes[i])) {
                return false;
            }
        }
        return true;
    }

    static FieldBytes recordOf(const std::string &path)
    {
        FieldBytes bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto byte = stats::testing::readBytes(
                path, stats::testing::offsetOf(Range::List1, kRow, image::kFields[i].field), 1);
            bytes[i] = byte.empty() ? 0 : byte.front();
        }
        return bytes;
    }

    session::Outcome run(const Step &step) override
    {
        switch (step.action) {
        case Do::OpenA:
            return m_session.open(m_a);
        case Do::OpenALink:
            return m_session.open(m_aLink);
        case Do::OpenB:
            return m_session.open(m_b);
        case Do::OpenNothing:
            return m_session.open({});
        case Do::OpenFifo:
            return m_session.open(m_fifo);
        case Do::OpenOther:
            return m_session.open(m_other);
        case Do::OpenMissing:
            return m_session.open(m_dir.file("no such image.nds"));
        case Do::Load:
            return m_session.load(Range::List1, kRow);
        case Do::Set:
            m_session.setField(step.field, step.value);
            return {};
        case Do::Save:
            return m_session.save(step.range, kRow);
        case Do::SaveLoaded:
            return m_session.saveLoaded();
        case Do::Discard:
            m_session.discard();
            return {};
        case Do::ChangeA:
            return writeRecord(m_a, with(kA, Field::hp, 1))
                       ? session::Outcome{}
                       : std::unexpected(session::Problem{Refusal::ImageFailed});
        case Do::UnlistedA:
            return writeRecord(m_a, with(kA, Field::ty1, kUnlistedType))
                       ? session::Outcome{}
                       : std::unexpected(session::Problem{Refusal::ImageFailed});
        case Do::FailWrites:
            m_files.failWritesAfter(1, EIO, stats::testing::ScriptedFileApi::AfterBudget::Stay);
            return {};
        case Do::Heal:
            m_files.disarm();
            return {};
        }
        return {};
    }

    std::string m_aLink = m_dir.file("a-again.nds");
    std::string m_fifo = m_dir.file("fifo.nds");
    std::string m_other = m_dir.file("other.nds");
};

TEST_P(SessionTest, Rules)
{
    const Case &row = GetParam();
    const session::Outcome outcome = runSteps();
    EXPECT_EQ(outcome ? std::nullopt : std::optional(outcome.error().refusal), row.outcome);
    EXPECT_EQ(m_session.unsaved(), row.unsaved);
    EXPECT_EQ(recordOf(m_a), row.a);
    EXPECT_EQ(recordOf(m_b), row.b);
}

INSTANTIATE_TEST_SUITE_P(Session, SessionTest, ::testing::ValuesIn(cases()),
                         stats::testing::caseName<Case>);

} // namespace
