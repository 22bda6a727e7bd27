#include "session/session.h"

#include "image/numbertext.h"

#include <algorithm>

namespace stats::session {

namespace {

using image::FieldKind;

std::unexpected<Problem> refused(Refusal refusal)
{
    return std::unexpected(Problem{refusal});
}

std::unexpected<Problem> failed(Action action, const image::ImageError &error)
{
    return std::unexpected(Problem{Refusal::ImageFailed, action, error});
}

} // namespace

Session::Session(const catalogues::CatalogueSet &names, image::FileApi &files)
    : m_names(names), m_files(files)
{
}

Outcome Session::open(const std::string &path)
{
    m_imageAsked = true;
    m_romPath = path;
    if (m_romPath.empty()) {
        forgetImage();
        return {};
    }
    if (const auto verified = image::verifyImage(m_romPath, m_files); !verified) {
        forgetImage();
        if (image::isRefusal(verified.error().kind)) {
            return refused(Refusal::UnsupportedImage);
        }
        return failed(Action::Open, verified.error());
    }
    m_history.keepIfSameFile(m_romPath, m_files);
    // Which file the path leads to: the one open already, or another.
    const auto status = m_files.status(m_romPath);
    return takeRecordOf(status ? std::optional(status->identity) : std::nullopt);
}

Outcome Session::takeRecordOf(std::optional<image::FileIdentity> identity)
{
    const bool sameImage = identity && identity == m_imageIdentity;
    m_imageIdentity = identity;
    if (!m_loadedRange || sameImage) {
        return {};
    }
    // The fields stay as they are and now stand for the same entry of this image: a save
    // copies them there, and "unsaved" compares them with what this image holds.
    const auto bytes = image::loadEntry(m_romPath, *m_loadedRange, m_currentIndex, m_files);
    if (!bytes) {
        dropEntry();
        return failed(Action::Load, bytes.error());
    }
    m_baseline = *bytes;
    m_keptBytes = *bytes;
    return {};
}

Outcome Session::load(image::Range range, int row)
{
    if (m_romPath.empty()) {
        return refused(Refusal::Quiet);
    }
    const auto bytes = image::loadEntry(m_romPath, range, static_cast<std::int16_t>(row), m_files);
    if (!bytes) {
        dropEntry();
        return failed(Action::Load, bytes.error());
    }
    m_currentIndex = static_cast<std::int16_t>(row);
    m_loadedRange = range;
    m_baseline = *bytes;
    m_keptBytes = *bytes;
    showBytes(*bytes);
    return {};
}

std::optional<Entry> Session::loadedEntry() const
{
    if (!m_loadedRange) {
        return std::nullopt;
    }
    return Entry{*m_loadedRange, m_currentIndex};
}

void Session::setField(image::Field field, FieldValue value)
{
    m_fields[static_cast<std::size_t>(field)] = std::move(value);
}

Outcome Session::save(image::Range range, std::optional<int> selectedRow)
{
    if (!selectedRow) {
        return refused(Refusal::NoEntryChosen);
    }
    if (m_romPath.empty()) {
        return noImage();
    }
    // The fields may show another list's entry, or none if this row was never loaded; writing
    // them here would put that entry's values into this one's record.
    if (loadedEntry() != Entry{range, *selectedRow}) {
        return refused(Refusal::NoEntryChosen);
    }
    return saveLoaded();
}

Outcome Session::saveLoaded()
{
    if (m_romPath.empty()) {
        return noImage();
    }
    if (!m_loadedRange) {
        return refused(Refusal::NoEntryChosen);
    }
    // Every field converts before the file is touched, so a bad value never leaves a record
    // half old and half new.
    const auto bytes = fieldBytes();
    if (!bytes) {
        return refused(Refusal::UnconvertibleValue);
    }
    const auto saved =
        image::saveEntry(m_romPath, *m_loadedRange, m_currentIndex, *bytes, m_files, m_baseline);
    // What a save replaced is known when it checked the record's bytes first.
    const std::optional<image::FieldBytes> replaced = m_baseline;
    if (takeWritten(saved, *bytes) && replaced) {
        m_history.noteSave(m_romPath, m_files, {*m_loadedRange, m_currentIndex, *replaced, *bytes});
    }
    return saved ? Outcome{} : failed(Action::Save, saved.error());
}

bool Session::takeWritten(const std::expected<void, image::ImageError> &result,
                          const image::FieldBytes &written)
{
    switch (result ? image::HeldAfterFailure::NewBytes
                   : image::heldAfterFailure(result.error().kind)) {
    case image::HeldAfterFailure::NewBytes:
        m_baseline = written;
        m_keptBytes = written;
        return true;
    case image::HeldAfterFailure::Unknown:
        // Every value counts as unsaved. A kept value without a row was written over itself,
        // so the record holds it either way.
        m_baseline.reset();
        return false;
    case image::HeldAfterFailure::OldBytes:
        break;
    }
    return false;
}

void Session::discard()
{
    if (m_baseline) {
        showBytes(*m_baseline);
    } else {
        dropEntry();
    }
}

bool Session::unsaved() const
{
    // Without a loaded entry or an image there is nothing a save could keep.
    if (!m_loadedRange || m_romPath.empty()) {
        return false;
    }
    if (!m_baseline) {
        return true;
    }
    const auto bytes = fieldBytes();
    return !bytes || *bytes != *m_baseline;
}

std::vector<image::Field> Session::unlistedFields() const
{
    std::vector<image::Field> fields;
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        const image::FieldInfo &field = image::kFields[i];
        const auto position = m_fields[i].position;
        if (field.list && position && *position >= m_names.values(*field.list).rowCount()) {
            fields.push_back(field.field);
        }
    }
    return fields;
}

std::expected<image::FieldBytes, image::Field> Session::fieldBytes() const
{
    image::FieldBytes bytes{};
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        const std::optional<std::uint8_t> byte = image::kFields[i].kind() == FieldKind::Number
                                                     ? image::parseNumberText(m_fields[i].text)
                                                     : choiceByte(i);
        if (!byte) {
            return std::unexpected(image::kFields[i].field);
        }
        bytes[i] = *byte;
    }
    return bytes;
}

std::optional<std::uint8_t> Session::choiceByte(std::size_t field) const
{
    const catalogues::Catalogue &list = m_names.values(*image::kFields[field].list);
    const FieldValue &value = m_fields[field];
    const auto held = m_keptBytes ? std::optional((*m_keptBytes)[field]) : std::nullopt;
    if (value.position) {
        return catalogues::choiceByte(list, *value.position, held);
    }
    // Typed text that names a row counts as that row. Where several rows carry the text, it
    // stands for the one the record holds, or for none: a guess could write another value.
    const std::vector<int> named = list.rowsNamed(value.text);
    if (held && std::ranges::find(named, int{*held}) != named.end()) {
        return *held;
    }
    std::vector<int> storable;
    std::ranges::copy_if(named, std::back_inserter(storable),
                         [&list](int row) { return row < catalogues::storableRows(list); });
    if (storable.size() != 1) {
        return std::nullopt;
    }
    return catalogues::choiceByte(list, storable.front(), held);
}

std::optional<SavedChange> Session::nextStep(Direction direction) const
{
    return m_history.next(direction, m_romPath);
}

Outcome Session::takeStep(Direction direction)
{
    if (m_romPath.empty()) {
        return noImage();
    }
    const auto change = m_history.next(direction, m_romPath);
    if (!change) {
        return refused(Refusal::Quiet);
    }
    const auto written = m_history.step(direction, m_romPath, m_files);
    if (loadedEntry() != Entry{change->range, change->row}) {
        return written ? Outcome{} : failed(Action::Save, written.error());
    }
    const image::FieldBytes &now = direction == Direction::Undo ? change->before : change->after;
    if (takeWritten(written, now)) {
        showBytes(now);
    }
    return written ? Outcome{} : failed(Action::Save, written.error());
}

Outcome Session::noImage() const
{
    // Before any image was chosen, a save has nothing to say; afterwards, silence would read
    // as a save that worked.
    return refused(m_imageAsked ? Refusal::NoImage : Refusal::Quiet);
}

void Session::forgetImage()
{
    m_romPath.clear();
    m_imageIdentity.reset();
    m_loadedRange.reset();
    m_baseline.reset();
    m_keptBytes.reset();
}

void Session::dropEntry()
{
    m_loadedRange.reset();
    m_baseline.reset();
    m_keptBytes.reset();
    m_fields = {};
}

void Session::showBytes(const image::FieldBytes &bytes)
{
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        m_fields[i] = shownValue(image::kFields[i], bytes[i]);
    }
}

FieldValue shownValue(const image::FieldInfo &field, std::uint8_t byte)
{
    switch (field.kind()) {
    case FieldKind::Number:
        return {image::numberText(byte), std::nullopt};
    case FieldKind::Choice:
        break;
    }
    return {{}, byte};
}

} // namespace stats::session
