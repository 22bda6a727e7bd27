#include "catalogues/catalogues.h"

#include "catalogues/rowdata.h"

#include <utf8proc.h>

#include <algorithm>
#include <memory>

namespace stats::catalogues {

namespace {

using image::Range;

[[nodiscard]] constexpr char foldAsciiCase(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] Catalogue builtIn(CatalogueFileId file)
{
    return Catalogue(rowdata::rows(file));
}

} // namespace

std::string nameKey(std::string_view text)
{
    std::string key(text);
    // Plain ASCII, as most names are, needs no tables: its folded form is its small letters.
    if (std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::ranges::transform(key, key.begin(), foldAsciiCase);
        return key;
    }
    utf8proc_uint8_t *mapped = nullptr;
    const auto length = utf8proc_map(
        reinterpret_cast<const utf8proc_uint8_t *>(text.data()),
        static_cast<utf8proc_ssize_t>(text.size()), &mapped,
        static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD));
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(mapped, &std::free);
    if (length < 0) {
        // Not UTF-8: the bytes beyond ASCII name nothing else, and compare as they are.
        std::ranges::transform(key, key.begin(), foldAsciiCase);
        return key;
    }
    return {reinterpret_cast<const char *>(mapped), static_cast<std::size_t>(length)};
}

bool sameName(std::string_view a, std::string_view b)
{
    return nameKey(a) == nameKey(b);
}

Catalogue::Catalogue(std::vector<std::string> rows)
    : m_texts(std::make_shared<const std::vector<std::string>>(std::move(rows))),
      m_views(
          std::make_shared<const std::vector<std::string_view>>(m_texts->begin(), m_texts->end())),
      m_rows(*m_views)
{
}

int Catalogue::rowCount() const noexcept
{
    return static_cast<int>(m_rows.size());
}

std::string_view Catalogue::text(int row) const
{
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return m_rows[static_cast<std::size_t>(row)];
}

std::span<const std::string_view> Catalogue::rows() const noexcept
{
    return m_rows;
}

std::optional<int> Catalogue::findExact(std::string_view text, int from) const
{
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string key = nameKey(text);
    for (int row = std::max(from, 0); row < rowCount(); ++row) {
        if (nameKey(m_rows[static_cast<std::size_t>(row)]) == key) {
            return row;
        }
    }
    return std::nullopt;
}

std::vector<int> Catalogue::rowsNamed(std::string_view text) const
{
    std::vector<int> rows;
    if (text.empty()) {
        return rows;
    }
    const std::string key = nameKey(text);
    for (int row = 0; row < rowCount(); ++row) {
        std::string_view rowText = m_rows[static_cast<std::size_t>(row)];
        if (!text.ends_with(' ') && rowText.ends_with(' ')) {
            rowText.remove_suffix(1);
        }
        if (nameKey(rowText) == key) {
            rows.push_back(row);
        }
    }
    return rows;
}

Catalogue Catalogue::firstRows(int count) const
{
    Catalogue first = *this;
    first.m_rows = m_rows.first(static_cast<std::size_t>(std::clamp(count, 0, rowCount())));
    return first;
}

CatalogueSet::CatalogueSet(Catalogue list1, Catalogue list2, Catalogue alternateForms,
                           Catalogue types, Catalogue heldItems, Catalogue abilities)
    : m_entries{std::move(list1), std::move(list2), std::move(alternateForms)},
      // In ValueList order: types, held items, abilities, Dream World abilities.
      m_values{std::move(types), std::move(heldItems), abilities,
               abilities.firstRows(abilities.rowCount() - 1)}
{
}

const Catalogue &CatalogueSet::entries(Range range) const noexcept
{
    return m_entries[static_cast<std::size_t>(range)];
}

const Catalogue &CatalogueSet::values(ValueList list) const noexcept
{
    return m_values[static_cast<std::size_t>(list)];
}

std::string_view CatalogueSet::entryName(Range range, int row) const
{
    return entries(range).text(row);
}

const CatalogueSet &builtInCatalogues()
{
    static const CatalogueSet set(
        builtIn(CatalogueFileId::List1), builtIn(CatalogueFileId::List2),
        builtIn(CatalogueFileId::AlternateForms), builtIn(CatalogueFileId::Types),
        builtIn(CatalogueFileId::HeldItems), builtIn(CatalogueFileId::Abilities));
    return set;
}

int recordOfRow(Range range, int row) noexcept
{
    return image::rangeInfo(range).firstRecord + row;
}

int storableRows(const Catalogue &list) noexcept
{
    return std::min(list.rowCount(), 256);
}

std::optional<std::uint8_t> choiceByte(const Catalogue &list, int value,
                                       std::optional<std::uint8_t> held) noexcept
{
    if ((value >= 0 && value < storableRows(list)) || (held && value == *held)) {
        return static_cast<std::uint8_t>(value);
    }
    return std::nullopt;
}

} // namespace stats::catalogues
