#pragma once

/// @file
/// The one conversion between the UTF-8 the programs speak and the UTF-16 that the Windows
/// calls take for paths, arguments and environment values, with one rule for bad input: a
/// sequence that is no valid text (a stray or overlong byte, a lone surrogate) is refused,
/// never replaced, so a path is either exactly the one the user gave or an error.

#include <optional>
#include <string>
#include <string_view>

namespace stats::platform {

/// UTF-16 code units, in the wchar_t that the Windows calls take. Other systems hold the same
/// units in their wider wchar_t, so that the conversion is one code tested everywhere.
using Utf16 = std::wstring;

/// @p text as UTF-16; nothing when it is no valid UTF-8.
[[nodiscard]] std::optional<Utf16> toUtf16(std::string_view text);

/// @p text as UTF-8; nothing when it is no valid UTF-16.
[[nodiscard]] std::optional<std::string> toUtf8(std::wstring_view text);

} // namespace stats::platform
