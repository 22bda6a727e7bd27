#include "controls.h"

#include "layout.h"

#include <QCompleter>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace stats::app {

CatalogueModel::CatalogueModel(const QStringList &rows, QObject *parent)
    : QStringListModel(rows, parent)
{
}

Qt::ItemFlags CatalogueModel::flags(const QModelIndex &index) const
{
    return QStringListModel::flags(index) &
           ~(Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
}

QModelIndexList CatalogueModel::match(const QModelIndex &, int, const QVariant &, int,
                                      Qt::MatchFlags) const
{
    // QComboBox looks typed text up when editing finishes and would choose a row of the same
    // text; a chosen row must only ever come from a pick.
    return {};
}

ChoiceBox::ChoiceBox(QWidget *parent) : QComboBox(parent)
{
    // A line edit that already has a completer keeps QComboBox from building its own over the
    // whole catalogue, only for it to be thrown away: the box completes nothing.
    auto *edit = new QLineEdit(this);
    edit->setCompleter(new QCompleter(edit));
    setLineEdit(edit);
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setMaxVisibleItems(10);
    lineEdit()->setMaxLength(std::numeric_limits<int>::max());
}

void ChoiceBox::setCatalogue(CatalogueModel *model)
{
    setModel(model);
    choose(std::nullopt);
}

void ChoiceBox::choose(std::optional<int> position)
{
    setCurrentIndex(position.value_or(-1));
    if (!position) {
        clearEditText();
    }
}

void ChoiceBox::showText(const QString &text)
{
    choose(std::nullopt);
    setEditText(text);
}

namespace {

// Gives every row the same height, whatever the face's line spacing.
class FixedRowHeight final : public QStyledItemDelegate
{
public:
    FixedRowHeight(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_height};
    }

private:
    int m_height;
};

} // namespace

EntryList::EntryList(QWidget *parent) : QListView(parent)
{
    setItemDelegate(new FixedRowHeight(pixels(kEntryRowHeight), this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
}

std::optional<int> EntryList::selectedRow() const
{
    const auto rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList{};
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return rows.first().row();
}

void EntryList::selectRow(int row)
{
    if (selectedRow() == row) {
        noteSelection(row, row);
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

void EntryList::undoPick()
{
    m_undoing = true;
    if (m_rowBeforePick) {
        selectionModel()->setCurrentIndex(model()->index(*m_rowBeforePick, 0),
                                          QItemSelectionModel::ClearAndSelect);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    m_undoing = false;
}

bool EntryList::event(QEvent *event)
{
    ++m_inputDepth;
    const bool handled = QListView::event(event);
    --m_inputDepth;
    reportPick();
    return handled;
}

bool EntryList::viewportEvent(QEvent *event)
{
    ++m_inputDepth;
    const bool handled = QListView::viewportEvent(event);
    --m_inputDepth;
    reportPick();
    return handled;
}

void EntryList::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QListView::selectionChanged(selected, deselected);
    if (!selected.indexes().isEmpty() && !m_undoing) {
        const auto before = deselected.indexes().isEmpty()
                                ? std::nullopt
                                : std::optional(deselected.indexes().first().row());
        noteSelection(selected.indexes().first().row(), before);
    }
}

void EntryList::noteSelection(int row, std::optional<int> before)
{
    // A drag over several rows in one event is one pick, from where the selection was.
    if (!m_pendingPick) {
        m_rowBeforePick = before;
    }
    m_pendingPick = row;
    reportPick();
}

void EntryList::reportPick()
{
    // Qt goes on changing the current row after the selection changed; a receiver that
    // selects another row at once would have its choice overwritten.
    if (m_inputDepth > 0 || !m_pendingPick) {
        return;
    }
    const int row = *m_pendingPick;
    m_pendingPick.reset();
    emit rowPicked(row);
}

void EntryList::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    m_pressedOnSelectedRow.reset();
    if (index.isValid() && selectedRow() == index.row()) {
        m_pressedOnSelectedRow = index.row();
    }
    QListView::mousePressEvent(event);
}

void EntryList::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    // A click on the row that already was selected changes no selection, yet it is a pick.
    if (event->button() == Qt::LeftButton && m_pressedOnSelectedRow && index.isValid() &&
        index.row() == *m_pressedOnSelectedRow && selectedRow() == index.row()) {
        noteSelection(index.row(), index.row());
    }
    m_pressedOnSelectedRow.reset();
}

void EntryList::focusInEvent(QFocusEvent *event)
{
    const bool hadCurrent = currentIndex().isValid();
    QListView::focusInEvent(event);
    // Qt makes the first row current when the list gets the focus by keyboard; leaving none
    // current lets the first arrow key select the first row, as a classic list box does.
    if (!hadCurrent && !selectedRow()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void HollowButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    // Turning a caption into outlines is dear; it is done again only when the caption, the
    // font or the size changes.
    if (m_outlineText != text() || m_outlineFont != font() || m_outlineSize != size()) {
        m_outlineText = text();
        m_outlineFont = font();
        m_outlineSize = size();
        const QFontMetricsF metrics(font());
        const QPointF origin((width() - metrics.horizontalAdvance(text())) / 2.0,
                             (height() - metrics.height()) / 2.0 + metrics.ascent());
        m_outline = QPainterPath();
        m_outline.addText(origin, font(), text());
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(m_outline);
}

} // namespace stats::app
