#pragma once

// The window's own kinds of control, each a thin layer over a Qt widget that gives it the
// behaviour of a classic desktop control.

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPainterPath>
#include <QPushButton>
#include <QStringListModel>

#include <optional>

namespace stats::app {

/// Rows of a catalogue for the views: read-only and never looked up by their text, so that an
/// editable choice box cannot turn typed text into a chosen row behind the user's back.
class CatalogueModel : public QStringListModel
{
    Q_OBJECT
public:
    CatalogueModel(const QStringList &rows, QObject *parent);

    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;
    [[nodiscard]] QModelIndexList match(const QModelIndex &start, int role, const QVariant &value,
                                        int hits, Qt::MatchFlags flags) const override;
};

/// A drop-down box with an editable text field. It shows a field's value as the session holds
/// it; what a typed text or a kept value stands for is the session's rule, not the box's.
class ChoiceBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ChoiceBox(QWidget *parent);

    void setCatalogue(CatalogueModel *model);
    /// Chooses @p position, or no row with empty text.
    void choose(std::optional<int> position);
    /// Chooses no row and shows @p text: what the user typed, or the number of a value its
    /// list has no row for.
    void showText(const QString &text);
};

/// A list box that reports a row as picked when it becomes selected by mouse, keyboard or
/// selectRow(), or when its selected row is clicked again; getting the focus picks nothing.
/// A pick made by a key or a click is reported once the list has handled that input, so that
/// the receiver may take the pick back with undoPick().
class EntryList : public QListView
{
    Q_OBJECT
public:
    explicit EntryList(QWidget *parent);

    [[nodiscard]] std::optional<int> selectedRow() const;
    /// Selects @p row as a click on it would, picking it once.
    void selectRow(int row);
    /// Selects again the row that was selected before the pick being reported, or none, and
    /// reports nothing.
    void undoPick();

signals:
    void rowPicked(int row);

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    void noteSelection(int row, std::optional<int> before);
    void reportPick();

    // The row that was already selected when the mouse went down on it, if any.
    std::optional<int> m_pressedOnSelectedRow;
    // Input events being handled; picks wait until the outermost one is done.
    int m_inputDepth = 0;
    std::optional<int> m_pendingPick;
    std::optional<int> m_rowBeforePick;
    bool m_undoing = false;
};

/// A label that reports a click, for the one caption that opens a help text.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

/// A push button whose caption is drawn in outline, for a hollow display face.
class HollowButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPainterPath m_outline;
    QString m_outlineText;
    QFont m_outlineFont;
    QSize m_outlineSize;
};

} // namespace stats::app
