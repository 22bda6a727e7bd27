#pragma once

// The commands of the entry lists' context menus and keys: copy the selected entry's values
// to the clipboard, paste values from it into the fields, and take the last save back or do it
// again. They add no control and move none; they live in each list's menu and keys.

#include "platform/fileapi.h"
#include "image/statstable.h"
#include "session/history.h"

#include <QObject>
#include <QString>

#include <array>

class QAction;
class QPoint;

namespace stats::app {

class Form1;

class EntryCommands : public QObject
{
    Q_OBJECT
public:
    /// Gives the entry lists of @p window their commands; @p files is the file layer a copy
    /// reads the image through.
    EntryCommands(Form1 &window, image::FileApi &files);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct ListCommands
    {
        QAction *copy = nullptr;
        QAction *paste = nullptr;
        QAction *undo = nullptr;
        QAction *redo = nullptr;
    };

    void attach(image::Range range);
    void showMenu(image::Range range, const QPoint &at);
    /// Puts the values of @p range's selected entry, as its record holds them now, on the
    /// clipboard.
    void copyValues(image::Range range);
    /// Puts the values on the clipboard into the loaded entry's fields; nothing is written.
    void pasteValues();
    void takeStep(session::Direction direction);
    /// "Undo save of NAME" or "Redo save of NAME", or the command's name alone when there is
    /// nothing to take back or do again.
    [[nodiscard]] QString stepCaption(session::Direction direction) const;
    [[nodiscard]] QString entryName(image::Range range, int row) const;

    Form1 &m_window;
    image::FileApi &m_files;
    std::array<ListCommands, image::kRanges.size()> m_lists{};
};

} // namespace stats::app
