#pragma once

// The rows of the catalogue data files. rows() is defined in the source that catalogue-compiler
// generates from catalogues/data at build time; nothing outside this library uses it.

#include <cstdint>
#include <span>
#include <string_view>

namespace stats::catalogues::rowdata {

enum class DataFile : std::uint8_t { List1, List2, AlternateForms, Types, HeldItems, Abilities };

[[nodiscard]] std::span<const std::string_view> rows(DataFile file) noexcept;

} // namespace stats::catalogues::rowdata
