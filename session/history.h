#pragma once

/// @file
/// The saves of one editing session, kept in memory only, so that the last save into an image
/// can be taken back and done again. Taking a save back is itself a save, with every check a
/// save makes: it writes the bytes the save replaced, and only while the record still holds
/// what that save wrote.

#include "image/imagefile.h"
#include "image/statstable.h"
#include "platform/fileapi.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace stats::session {

/// One save as the history keeps it: the entry it wrote (row @p row of @p range), what its
/// record held before, and what the save wrote there.
struct SavedChange
{
    image::Range range;
    int row;
    image::FieldBytes before;
    image::FieldBytes after;
    bool operator==(const SavedChange &) const = default;
};

enum class Direction : std::uint8_t {
    Undo, ///< write back what the last save replaced
    Redo, ///< do the last save taken back again
};

/// The saves into each image of the session, newest last, and the saves taken back, newest
/// last, which a redo does again.
class History
{
public:
    /// How many saves of one image are kept; older ones are forgotten.
    static constexpr std::size_t kLimit = 1000;

    /// Notes that @p change was saved into the image at @p path. A save that changed nothing is not
    /// kept. The image is known by the file
    /// @p path leads to now: a save into another file at the same path starts its history
    /// anew. A new save forgets the saves taken back.
    void noteSave(const std::string &path, image::FileApi &files, const SavedChange &change);

    /// The save that a step in @p direction would write in the image at @p path.
    [[nodiscard]] std::optional<SavedChange> next(Direction direction,
                                                  const std::string &path) const;

    /// Forgets the saves into @p path unless it still leads to the file they went into.
    void keepIfSameFile(const std::string &path, image::FileApi &files);

    /// Takes the step: writes the next change's bytes (its old ones for an undo, its new ones
    /// for a redo) as a save does, refused unless the record holds the other ones. Once
    /// written, the change moves to the other side. Nothing to do is no failure: next() says
    /// whether there is a step.
    [[nodiscard]] std::expected<void, image::ImageError>
    step(Direction direction, const std::string &path, image::FileApi &files);

private:
    struct ImageSaves
    {
        std::string path;
        image::FileIdentity file;
        std::deque<SavedChange> done;
        std::vector<SavedChange> undone;
    };

    [[nodiscard]] const ImageSaves *find(const std::string &path) const;
    [[nodiscard]] ImageSaves *find(const std::string &path);
    void forget(const std::string &path);

    std::vector<ImageSaves> m_images;
};

} // namespace stats::session
