#pragma once

/// @file
/// The one wording of what went wrong with an image, shared by the editor's messages and the
/// table tool's reports.

#include "image/imagefile.h"

#include <cstdint>
#include <string>

namespace stats::image {

/// What was being done to the image when it failed.
enum class Activity : std::uint8_t {
    Open,      ///< the check of a chosen image
    Load,      ///< the read of one entry
    Save,      ///< the write of one entry
    ReadTable, ///< the read of the whole table
    Import,    ///< the write of many entries at once
};

/// What is wrong, as a phrase in UTF-8 that starts in lower case and has no final full stop:
/// the caller frames it. The system's own words stand where it gave a reason.
[[nodiscard]] std::string describeError(const ImageError &error, Activity activity);

/// What a record that did not read back as written holds now, as a phrase in UTF-8 such as
/// "its old values", to follow an entry's name.
[[nodiscard]] std::string describeFound(const RecordFound &found);

} // namespace stats::image
