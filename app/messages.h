#pragma once

// Every text the window shows in a message box, and the one place that turns a failure of
// the core into words for the user.

#include "image/imagefile.h"
#include "session/session.h"

#include <QString>
#include <QStringList>

#include <string_view>

namespace stats::app {

inline constexpr char16_t kUnsupportedRom[] = u"Unsupported Rom";
inline constexpr char16_t kClickAnEntryFirst[] = u"Please Click an Attack to Begin";
inline constexpr char16_t kInsufficientValue[] = u"Insufficient Value in One box";
inline constexpr char16_t kNoImageOpen[] = u"No image is open";
inline constexpr char16_t kGenderHelp[] = u"Genderless = 255\r\n\r\n"
                                          u"100% Female = 254\r\n\r\n"
                                          u"50% Male 50% Female = 127\r\n\r\n"
                                          u"100% Male  = 0";

using session::Action;

/// @p path, in the file system's own bytes, as a message shows it: escaped as the table tool
/// shows cells, so that no name can hide or turn the text around.
[[nodiscard]] QString shownPath(std::string_view path);

/// The message for a failure of @p action on the image at @p path (the file system's bytes);
/// @p entry names the entry a load or save was for.
[[nodiscard]] QString failureMessage(Action action, const image::ImageError &error,
                                     std::string_view path, const QString &entry = {});

/// The message for a loaded entry whose choice bytes in @p fields have no row in their lists.
[[nodiscard]] QString unlistedValuesMessage(const QString &entry, const QStringList &fields);

} // namespace stats::app
