#include "minimalwindow.h"

#include "catalogues/catalogues.h"

namespace stats::bench {

namespace {

QStringList listOneRows()
{
    const auto &catalogue = catalogues::builtInCatalogues().entries(image::Range::List1);
    QStringList rows;
    rows.reserve(catalogue.rowCount());
    for (const auto text : catalogue.rows()) {
        rows << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    return rows;
}

} // namespace

MinimalWindow::MinimalWindow() : m_rows(listOneRows()), m_list(this)
{
    setWindowTitle(QStringLiteral("Minimal list"));
    // The editor's client area and List 1's place in it, so both paint the same surface.
    setFixedSize(389, 508);
    m_list.setGeometry(16, 120, 137, 99);
    m_list.setUniformItemSizes(true);
    m_list.setModel(&m_rows);
}

} // namespace stats::bench
