#pragma once

// The rows of the catalogue data files. rows() is defined in the source that catalogue-compiler
// generates from catalogues/data at build time; nothing outside this library uses it.

#include "catalogues/files/cataloguefiles.h"

#include <span>
#include <string_view>

namespace stats::catalogues::rowdata {

[[nodiscard]] std::span<const std::string_view> rows(CatalogueFileId file) noexcept;

} // namespace stats::catalogues::rowdata
