#include "session/history.h"

#include <algorithm>

namespace stats::session {

namespace {

std::optional<image::FileIdentity> fileAt(const std::string &path, image::FileApi &files)
{
    const auto status = files.status(path);
    if (!status) {
        return std::nullopt;
    }
    return status->identity;
}

} // namespace

void History::noteSave(const std::string &path, image::FileApi &files, const SavedChange &change)
{
    if (change.before == change.after) {
        return;
    }
    // A file that cannot be told apart from another cannot be undone safely later.
    const auto file = fileAt(path, files);
    if (!file) {
        forget(path);
        return;
    }
    ImageSaves *saves = find(path);
    if (saves == nullptr || saves->file != *file) {
        forget(path);
        saves = &m_images.emplace_back(ImageSaves{path, *file, {}, {}});
    }
    saves->undone.clear();
    saves->done.push_back(change);
    if (saves->done.size() > kLimit) {
        saves->done.pop_front();
    }
}

std::optional<SavedChange> History::next(Direction direction, const std::string &path) const
{
    const ImageSaves *saves = find(path);
    if (saves == nullptr) {
        return std::nullopt;
    }
    switch (direction) {
    case Direction::Undo:
        if (!saves->done.empty()) {
            return saves->done.back();
        }
        break;
    case Direction::Redo:
        if (!saves->undone.empty()) {
            return saves->undone.back();
        }
        break;
    }
    return std::nullopt;
}

void History::keepIfSameFile(const std::string &path, image::FileApi &files)
{
    if (const ImageSaves *saves = find(path);
        saves != nullptr && fileAt(path, files) != saves->file) {
        forget(path);
    }
}

std::expected<void, image::ImageError> History::step(Direction direction, const std::string &path,
                                                     image::FileApi &files)
{
    const auto change = next(direction, path);
    if (!change) {
        return {};
    }
    // The bytes of another file that now has this path were never saved by this session.
    const auto status = files.status(path);
    if (!status) {
        return std::unexpected(image::ImageError{status.error().fault == image::Fault::NotFound
                                                     ? image::ErrorKind::NoFile
                                                     : image::ErrorKind::CannotRead,
                                                 status.error().code});
    }
    if (status->identity != find(path)->file) {
        forget(path);
        return std::unexpected(image::ImageError{image::ErrorKind::Replaced});
    }
    const bool undo = direction == Direction::Undo;
    const image::FieldBytes &wanted = undo ? change->before : change->after;
    const image::FieldBytes &held = undo ? change->after : change->before;
    const auto saved = image::saveEntry(path, change->range, static_cast<std::int16_t>(change->row),
                                        wanted, files, held);
    // A write the disk did not confirm is in the file all the same.
    if (saved || image::heldAfterFailure(saved.error().kind) == image::HeldAfterFailure::NewBytes) {
        ImageSaves &saves = *find(path);
        if (undo) {
            saves.done.pop_back();
            saves.undone.push_back(*change);
        } else {
            saves.undone.pop_back();
            saves.done.push_back(*change);
        }
    }
    return saved;
}

const History::ImageSaves *History::find(const std::string &path) const
{
    const auto found = std::ranges::find(m_images, path, &ImageSaves::path);
    return found == m_images.end() ? nullptr : &*found;
}

History::ImageSaves *History::find(const std::string &path)
{
    const auto found = std::ranges::find(m_images, path, &ImageSaves::path);
    return found == m_images.end() ? nullptr : &*found;
}

void History::forget(const std::string &path)
{
    std::erase_if(m_images, [&path](const ImageSaves &saves) { return saves.path == path; });
}

} // namespace stats::session
