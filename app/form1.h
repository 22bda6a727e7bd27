#pragma once

// The editor window: every control of the program, and the handlers that the controls' clicks
// start. The state of the editing session lives in its model, which the window shows.

#include "catalogues/catalogues.h"
#include "image/imagefile.h"
#include "image/statstable.h"
#include "platform/path.h"
#include "session/session.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;
class QPushButton;
class QSessionManager;

namespace stats::app {

class ChoiceBox;
class ClickLabel;
class EntryList;
class EntryCommands;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    /// @p names fill the lists and choice boxes. @p files is the file layer every action goes
    /// through: the system's, or one that a test makes fail.
    explicit Form1(const catalogues::CatalogueSet &names,
                   image::FileApi &files = image::systemFileApi(), QWidget *parent = nullptr);
    ~Form1() override;

    /// The editing session the window shows.
    [[nodiscard]] const session::Session &model() const { return m_session; }

    /// Looks @p strText up in @p lst and, when a row carries exactly that text (ignoring the
    /// case of ASCII letters), selects it as a click would and gives the list the focus.
    void FindItem(EntryList *lst, const QString &strText);

    /// Opens @p path as if it had been chosen in the open dialog, with the same checks and
    /// messages; the dialog then starts in its folder. Used for an image named on the command
    /// line or dropped on the window.
    void openImage(const QString &path);
    /// The same for @p path in the file system's own bytes, as a command line gives it: a
    /// name that is no text in the system's encoding still opens.
    void openImage(const std::string &path);

signals:
    /// The program must end now: the chosen file is not a supported image.
    void endProgram(int exitCode);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The entry lists' menu commands show the fields and messages as the window's own do.
    friend class EntryCommands;

    void createLines();
    void createControls();
    void fillCatalogues();
    void setTabOrderFromLayout();
    void connectActions();

    void openRom();
    /// Makes @p path the image as an open does: a refused one ends the program, one that
    /// cannot be read is told and forgotten.
    void openPath(const platform::Path &path);
    void pickRow(image::Range range, int row);
    /// Shortcut keys, drops, the unsaved marker and the question before edits are lost.
    void guardUnsavedEdits();
    /// Tells the model what the user made field @p index hold: a typed text or a picked row.
    void reportField(std::size_t index, session::FieldValue value);
    void updateUnsavedMarker();
    /// Asks what to do with unsaved edits before an action throws them away; true when the
    /// action may go on: nothing was unsaved, the save worked, or the user discarded them.
    [[nodiscard]] bool settleUnsavedEdits();
    /// Tells the user why @p outcome did not do all it was asked; nothing when it did.
    void report(const session::Outcome &outcome, std::string_view path);
    void saveSessionData(QSessionManager &manager);
    /// The path chosen in the open dialog, or an empty one when it was cancelled.
    [[nodiscard]] QString askForRom();
    void loadEntry(image::Range range, int row);
    void saveEntry(image::Range range);
    void setClientHeight(int twips);
    void showGenderHelp();

    /// The fields as the model holds them.
    void showFields();
    [[nodiscard]] EntryList *listOf(image::Range range) const;
    [[nodiscard]] QString loadedEntryName() const;
    void showMessage(const QString &text);

    const catalogues::CatalogueSet m_names;
    session::Session m_session;

    QImage m_background;
    /// Where the next open dialog starts, after an image was opened without it.
    QString m_dialogFolder;
    /// The control that had the focus before a click moved it into a list, so that a pick
    /// taken back gives it back.
    QPointer<QWidget> m_focusBeforeClick;
    bool m_showingFields = false;

    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *Command8 = nullptr;
    QPushButton *Command9 = nullptr;
    EntryList *List1 = nullptr;
    EntryList *List2 = nullptr;
    EntryList *List3 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    ClickLabel *Label10 = nullptr;
    /// The control of each editor field, in field order: an edit box for a number field, a
    /// choice box for a choice field.
    struct FieldControl
    {
        QLineEdit *edit = nullptr;
        ChoiceBox *choice = nullptr;
    };
    std::array<FieldControl, image::kFieldCount> m_fields{};
};

} // namespace stats::app
