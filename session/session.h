#pragma once

/// @file
/// The state of one editing session and its rules: which image is open, which entry the
/// fields belong to, what the record held when it was loaded or saved, and what the fields
/// hold now. The window shows this state and forwards the user's actions to it.

#include "catalogues/catalogues.h"
#include "image/errortext.h"
#include "image/imagefile.h"
#include "image/statstable.h"
#include "session/history.h"

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace stats::session {

/// What one field holds, which the window shows. For a number field, the text of its edit box.
/// For a choice field, the chosen row (or a value that has no row, kept from the record) in
/// `position`, or else the text the user typed into the box in `text`; which byte that text
/// stands for is the session's rule (fieldBytes).
struct FieldValue
{
    std::string text;
    std::optional<int> position;
    bool operator==(const FieldValue &) const = default;
};

using FieldValues = std::array<FieldValue, image::kFieldCount>;

/// What a field shows for @p byte: a number field its decimal text, a choice field the row
/// (or the value without a row) @p byte names.
[[nodiscard]] FieldValue shownValue(const image::FieldInfo &field, std::uint8_t byte);

/// The entry whose record the fields belong to.
struct Entry
{
    image::Range range;
    int row;
    bool operator==(const Entry &) const = default;
};

/// What the user was doing when the image failed them: open, load or save.
using Action = image::Activity;

/// Why an action did nothing, or not all it was asked to.
enum class Refusal : std::uint8_t {
    Quiet,              ///< nothing to do and nothing to tell: no image was chosen yet
    UnsupportedImage,   ///< the chosen file is no supported image; the program ends
    NoEntryChosen,      ///< the save's list has no selected row, or not the loaded one
    NoImage,            ///< the image was forgotten, or never opened, after a dialog
    UnconvertibleValue, ///< a field does not convert to a byte
    ImageFailed,        ///< the image failed the action; `error` says how
};

struct Problem
{
    Refusal refusal;
    Action action = Action::Open;
    image::ImageError error{};
    bool operator==(const Problem &) const = default;
};

using Outcome = std::expected<void, Problem>;

class Session
{
public:
    /// @p names give the choice fields their rows; @p files is the file layer every action
    /// goes through.
    Session(const catalogues::CatalogueSet &names, image::FileApi &files);

    /// Makes @p path the image, as the open dialog or the command line name it. An empty path
    /// (a cancelled dialog) and a file that cannot be read forget the image and the loaded
    /// entry. A supported image keeps the fields as they are. Another image than the open one
    /// gives them the loaded entry's record in it, against which "unsaved" and a save compare;
    /// the open image again (the same file, by its identity) keeps what the user last saw of
    /// the record, so that a save still refuses a change made since by another program.
    [[nodiscard]] Outcome open(const std::string &path);
    /// Reads row @p row of @p range into the fields. Without an image, nothing happens.
    [[nodiscard]] Outcome load(image::Range range, int row);
    /// The window reports what the user made field @p field hold: a text typed, or a row
    /// picked (a choice field's `position`); a kept value stays until then.
    void setField(image::Field field, FieldValue value);
    /// Saves the fields with the button of @p range, whose list has @p selectedRow selected:
    /// only into the loaded entry's own record, and only when that is the row selected.
    [[nodiscard]] Outcome save(image::Range range, std::optional<int> selectedRow);
    /// Saves the fields into the loaded entry's record, whichever list it came from.
    [[nodiscard]] Outcome saveLoaded();
    /// The fields as the record held them when it was loaded or last saved; when that is not
    /// known (a write that could not be undone), the entry is dropped and the fields emptied.
    void discard();
    /// Whether a save would change the record: the fields convert to other bytes than the
    /// record holds, do not convert, or the record's bytes are not known.
    [[nodiscard]] bool unsaved() const;

    /// Takes back the last save of this session into the image: writes back the bytes that
    /// save replaced, as a save with every check, and only while the record still holds what
    /// that save wrote. When the record is the loaded entry's, the fields show it again.
    [[nodiscard]] Outcome undo() { return takeStep(Direction::Undo); }
    /// Does the last save taken back again, in the same way.
    [[nodiscard]] Outcome redo() { return takeStep(Direction::Redo); }
    /// The save that undo() or redo() would write into the image, if any.
    [[nodiscard]] std::optional<SavedChange> nextStep(Direction direction) const;
    /// The bytes a choice field without a row keeps: the loaded entry's record as last loaded
    /// or saved.
    [[nodiscard]] const std::optional<image::FieldBytes> &keptBytes() const { return m_keptBytes; }

    [[nodiscard]] const std::string &romPath() const { return m_romPath; }
    [[nodiscard]] std::int16_t currentIndex() const { return m_currentIndex; }
    /// The entry the fields belong to: the range of the last load and currentIndex.
    [[nodiscard]] std::optional<Entry> loadedEntry() const;
    [[nodiscard]] const FieldValues &fields() const { return m_fields; }
    /// The choice fields whose value has no row in their list.
    [[nodiscard]] std::vector<image::Field> unlistedFields() const;
    /// The fifteen bytes the fields convert to, or the first field that does not convert.
    [[nodiscard]] std::expected<image::FieldBytes, image::Field> fieldBytes() const;

private:
    [[nodiscard]] std::optional<std::uint8_t> choiceByte(std::size_t field) const;
    [[nodiscard]] Outcome noImage() const;
    void forgetImage();
    void dropEntry();
    void showBytes(const image::FieldBytes &bytes);
    /// Brings what a save compares with, and the kept bytes, up to what the record holds after
    /// a write of @p written that ended as @p result; whether the record holds @p written.
    bool takeWritten(const std::expected<void, image::ImageError> &result,
                     const image::FieldBytes &written);
    [[nodiscard]] Outcome takeStep(Direction direction);
    /// The record of the loaded entry in a newly opened image becomes what a save compares
    /// with, unless the image is the one already open.
    [[nodiscard]] Outcome takeRecordOf(std::optional<image::FileIdentity> identity);

    const catalogues::CatalogueSet &m_names;
    image::FileApi &m_files;
    std::string m_romPath;
    std::int16_t m_currentIndex = 0;
    /// Whether the user has chosen, or tried to choose, an image.
    bool m_imageAsked = false;
    /// The range of the entry the fields belong to; its row is currentIndex.
    std::optional<image::Range> m_loadedRange;
    /// Which file the image is, so that opening it again is told from opening another one.
    std::optional<image::FileIdentity> m_imageIdentity;
    /// What the record held when the user last saw it loaded or saved, which a save compares
    /// with so that it never overwrites a change it has not shown; none when a failed write
    /// left it unknown.
    std::optional<image::FieldBytes> m_baseline;
    /// The bytes a choice field without a row keeps: a value its list has no row for is
    /// saved only where the record held it. A failed write leaves them valid, since such a
    /// field writes the byte the record held before and after.
    std::optional<image::FieldBytes> m_keptBytes;
    FieldValues m_fields{};
    History m_history;
};

} // namespace stats::session
