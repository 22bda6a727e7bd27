#pragma once

/// @file
/// The changes between two versions of the stats table: which entries differ, and how a
/// report, a change list for release notes and an import file show them.

#include "catalogues/catalogues.h"
#include "image/imagefile.h"

#include <span>
#include <string>
#include <vector>

namespace stats::table {

/// One entry whose fifteen values differ between two tables.
struct EntryChange
{
    image::Range range;
    int row;
    image::FieldBytes old;
    image::FieldBytes now;
};

/// Every entry whose values differ between @p old and @p now (whole tables, record 0 first),
/// in table order.
[[nodiscard]] std::vector<EntryChange> tableChanges(const image::TableBytes &old,
                                                    const image::TableBytes &now);

/// An entry as messages name it: `List 1 row 3 "Name"`.
[[nodiscard]] std::string entryLabel(const catalogues::CatalogueSet &names, image::Range range,
                                     int row);

/// The new values of @p changes that have no row in their lists, each as
/// `List 1 row 3 "Name" ty1 200`: an import takes such a value only into an image whose
/// entry holds it already.
[[nodiscard]] std::vector<std::string> valuesWithoutRow(std::span<const EntryChange> changes,
                                                        const catalogues::CatalogueSet &names);

/// The report of @p changes: one line per entry, its label and each changed field as
/// `name old -> new`, a choice with its row's text; then a line that counts the entries and
/// values that change.
[[nodiscard]] std::string changesReport(std::span<const EntryChange> changes,
                                        const catalogues::CatalogueSet &names);

/// The changes as one Markdown table for release notes, one row per changed value: the
/// entry's name, its list and row, the field, the old and the new value, choices as the texts
/// of their rows.
[[nodiscard]] std::string changesMarkdown(std::span<const EntryChange> changes,
                                          const catalogues::CatalogueSet &names);

} // namespace stats::table
