#include "entrycommands.h"

#include "controls.h"
#include "form1.h"
#include "messages.h"

#include "image/errortext.h"
#include "image/imagefile.h"
#include "table/pastedrow.h"
#include "table/tablecsv.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>

namespace stats::app {

namespace {

using image::Range;
using session::Direction;

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString reasonOf(const image::ImageError &error, session::Action action)
{
    QString reason = QString::fromStdString(image::describeError(error, action));
    if (!reason.isEmpty()) {
        reason[0] = reason[0].toUpper();
    }
    return reason + QLatin1Char('.');
}

} // namespace

EntryCommands::EntryCommands(Form1 &window, image::FileApi &files)
    : QObject(&window), m_window(window), m_files(files)
{
    for (const auto &info : image::kRanges) {
        attach(info.range);
    }
}

void EntryCommands::attach(Range range)
{
    EntryList *list = m_window.listOf(range);
    ListCommands &commands = m_lists[static_cast<std::size_t>(range)];
    // The keys act only while the list has the focus, so that Ctrl+C in a text box still
    // copies its text.
    const auto add = [list](const QString &caption, const QList<QKeySequence> &keys) {
        auto *action = new QAction(caption, list);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        list->addAction(action);
        return action;
    };
    commands.copy =
        add(QStringLiteral("Copy values"), QKeySequence::keyBindings(QKeySequence::Copy));
    commands.paste =
        add(QStringLiteral("Paste values"), QKeySequence::keyBindings(QKeySequence::Paste));
    commands.undo = add(stepCaption(Direction::Undo), {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    commands.redo =
        add(stepCaption(Direction::Redo),
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(commands.copy, &QAction::triggered, this, [this, range] { copyValues(range); });
    connect(commands.paste, &QAction::triggered, this, &EntryCommands::pasteValues);
    connect(commands.undo, &QAction::triggered, this, [this] { takeStep(Direction::Undo); });
    connect(commands.redo, &QAction::triggered, this, [this] { takeStep(Direction::Redo); });

    list->viewport()->installEventFilter(this);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, range, list](QPoint at) { showMenu(range, list->viewport()->mapToGlobal(at)); });
}

bool EntryCommands::eventFilter(QObject *watched, QEvent *event)
{
    // The right button opens the menu and picks no row: a pick would load the entry again,
    // asking about the edits a paste just made.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void EntryCommands::showMenu(Range range, const QPoint &at)
{
    const ListCommands &commands = m_lists[static_cast<std::size_t>(range)];
    const session::Session &model = m_window.m_session;
    commands.copy->setEnabled(m_window.listOf(range)->selectedRow().has_value());
    commands.paste->setEnabled(model.loadedEntry().has_value());
    commands.undo->setText(stepCaption(Direction::Undo));
    commands.undo->setEnabled(model.nextStep(Direction::Undo).has_value());
    commands.redo->setText(stepCaption(Direction::Redo));
    commands.redo->setEnabled(model.nextStep(Direction::Redo).has_value());
    QMenu menu(m_window.listOf(range));
    menu.setObjectName(QStringLiteral("EntryMenu"));
    menu.addActions({commands.copy, commands.paste});
    menu.addSeparator();
    menu.addActions({commands.undo, commands.redo});
    menu.exec(at);
    // The keys stay live: each command says itself when there is nothing to do.
    for (QAction *action : {commands.copy, commands.paste, commands.undo, commands.redo}) {
        action->setEnabled(true);
    }
}

void EntryCommands::copyValues(Range range)
{
    const auto row = m_window.listOf(range)->selectedRow();
    if (!row) {
        m_window.showMessage(QString::fromUtf16(kClickAnEntryFirst));
        return;
    }
    const std::string &path = m_window.m_session.romPath();
    if (path.empty()) {
        m_window.showMessage(QString::fromUtf16(kNoImageOpen));
        return;
    }
    // The record as the image holds it now, not the fields, which may hold edits not saved.
    const auto bytes = image::loadEntry(path, range, static_cast<std::int16_t>(*row), m_files);
    if (!bytes) {
        m_window.showMessage(
            QStringLiteral("The values of \"%1\" cannot be read from the image:\n%2\n\n%3\n\n"
                           "Nothing was copied.")
                .arg(entryName(range, *row), shownPath(m_window.m_session.romPath()),
                     reasonOf(bytes.error(), session::Action::Load)));
        return;
    }
    // Tabs between the cells, as spreadsheets put rows on the clipboard and take them.
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(table::entryRowText(range, *row, *bytes, m_window.m_names, '\t')));
}

void EntryCommands::pasteValues()
{
    session::Session &model = m_window.m_session;
    const auto entry = model.loadedEntry();
    if (!entry) {
        m_window.showMessage(QString::fromUtf16(kClickAnEntryFirst));
        return;
    }
    const auto values = table::readPastedRow(QGuiApplication::clipboard()->text().toStdString(),
                                             m_window.m_names, model.keptBytes());
    if (!values) {
        m_window.showMessage(
            QStringLiteral("The clipboard holds no values that can be pasted into \"%1\":\n\n%2."
                           "\n\nThe boxes are as they were.")
                .arg(m_window.loadedEntryName(), QString::fromStdString(values.error())));
        return;
    }
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        if (const auto byte = (*values)[i]) {
            model.setField(image::kFields[i].field, session::shownValue(image::kFields[i], *byte));
        }
    }
    m_window.showFields();
    m_window.updateUnsavedMarker();
}

void EntryCommands::takeStep(Direction direction)
{
    session::Session &model = m_window.m_session;
    const auto change = model.nextStep(direction);
    if (!change) {
        return;
    }
    // The fields show the record again when it is the loaded entry's, so edits there are
    // settled first, as before a load.
    const bool loaded = model.loadedEntry() == session::Entry{change->range, change->row};
    if (loaded && !m_window.settleUnsavedEdits()) {
        return;
    }
    const session::Outcome outcome = direction == Direction::Undo ? model.undo() : model.redo();
    if (loaded) {
        m_window.showFields();
    }
    m_window.updateUnsavedMarker();
    if (outcome || outcome.error().refusal != session::Refusal::ImageFailed) {
        m_window.report(outcome, m_window.m_session.romPath());
        return;
    }
    const image::ImageError &error = outcome.error().error;
    const QString name = entryName(change->range, change->row);
    if (error.kind == image::ErrorKind::ChangedSinceLoad) {
        m_window.showMessage(
            QStringLiteral("\"%1\" was changed by another program since that save, and %2 would "
                           "overwrite that change.\n\nNothing was written.")
                .arg(name, direction == Direction::Undo ? QStringLiteral("taking it back")
                                                        : QStringLiteral("doing it again")));
        return;
    }
    m_window.showMessage(
        failureMessage(session::Action::Save, error, m_window.m_session.romPath(), name));
}

QString EntryCommands::stepCaption(Direction direction) const
{
    const QString command =
        direction == Direction::Undo ? QStringLiteral("Undo save") : QStringLiteral("Redo save");
    const auto change = m_window.m_session.nextStep(direction);
    if (!change) {
        return command;
    }
    return QStringLiteral("%1 of %2").arg(command, entryName(change->range, change->row));
}

QString EntryCommands::entryName(Range range, int row) const
{
    return fromView(m_window.m_names.entryName(range, row));
}

} // namespace stats::app
