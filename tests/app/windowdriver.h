#pragma once

// One editor window driven as a person drives it, for the suites that need a window and not
// much else: it finds controls by object name, opens an image through the real file dialog
// and clicks rows and buttons, while a ModalAnswerer answers every box the window shows.

#include "controls.h"
#include "form1.h"
#include "image/imagefile.h"
#include "modalanswerer.h"
#include "support/tempimage.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <memory>
#include <string>

namespace stats::testing {

[[nodiscard]] inline QString qpath(const std::string &path)
{
    return QString::fromStdString(path);
}

[[nodiscard]] inline QString qtext(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The object name of the control that has the keyboard focus; an editable choice box's
/// text field counts as the box.
[[nodiscard]] inline QString focusedControlName()
{
    QWidget *focused = QApplication::focusWidget();
    while (focused != nullptr && focused->objectName().isEmpty()) {
        focused = focused->parentWidget();
    }
    return focused != nullptr ? focused->objectName() : QString();
}

class WindowDriver
{
public:
    /// A shown window on @p files. Several drivers may share one @p answerer.
    explicit WindowDriver(ModalAnswerer &answerer, image::FileApi &files = image::systemFileApi())
        : m_answerer(answerer),
          m_window(std::make_unique<app::Form1>(catalogues::builtInCatalogues(), files))
    {
        m_window->show();
        m_window->activateWindow();
    }

    [[nodiscard]] app::Form1 &window() const { return *m_window; }

    template <typename T = QWidget> [[nodiscard]] T *control(const char *name) const
    {
        auto *widget = m_window->findChild<T *>(QString::fromLatin1(name));
        if (widget == nullptr) {
            qFatal("no control %s", name);
        }
        return widget;
    }
    [[nodiscard]] QLineEdit *edit(const char *name) const { return control<QLineEdit>(name); }
    [[nodiscard]] app::ChoiceBox *choice(const char *name) const
    {
        return control<app::ChoiceBox>(name);
    }
    [[nodiscard]] app::EntryList *list(const char *name) const
    {
        return control<app::EntryList>(name);
    }
    /// The row choice field @p name holds in the session: the one its box shows chosen, a kept
    /// value without a row, or none once a text of the user's own was typed.
    [[nodiscard]] std::optional<int> chosenPosition(const char *name) const
    {
        for (std::size_t i = 0; i < image::kFields.size(); ++i) {
            if (image::kFields[i].name == name) {
                return m_window->model().fields()[i].position;
            }
        }
        qFatal("no field %s", name);
    }

    /// Presses "<--Open Rom->" and picks @p path in the dialog.
    void open(const QString &path)
    {
        m_answerer.chooseFile(path);
        click("Command1");
        restoreActivation();
    }
    void open(const std::string &path) { open(qpath(path)); }

    /// A window manager hands the activation back once a dialog has gone; the offscreen
    /// platform has none, so the driver does what it would.
    void restoreActivation() const
    {
        if (m_window->isVisible()) {
            m_window->activateWindow();
            // Deprecated since Qt 6.5 for the request above, which only a window manager
            // acts on; the offscreen platform needs the active window set directly.
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            QApplication::setActiveWindow(m_window.get());
            QT_WARNING_POP
        }
    }

    void click(const char *name) const { QTest::mouseClick(control(name), Qt::LeftButton); }

    void clickRow(const char *listName, int row) const
    {
        app::EntryList *entryList = list(listName);
        const QModelIndex index = entryList->model()->index(row, 0);
        entryList->scrollTo(index);
        QTest::mouseClick(entryList->viewport(), Qt::LeftButton, {},
                          entryList->visualRect(index).center());
    }

    /// Opens the search and save area, where the save buttons are.
    void showSaveButtons() const { click("Command7"); }

private:
    ModalAnswerer &m_answerer;
    std::unique_ptr<app::Form1> m_window;
};

/// The set-up the window suites share: a temporary folder with a sample image in it, the
/// answerer of modal boxes and one shown, active window. A suite derives from it, starts it in
/// init() and stops it in cleanup().
class WindowFixture
{
protected:
    /// A new folder, with a sample image unless @p withImage is false, and a window on
    /// @p files; false when one of them fails.
    [[nodiscard]] bool startWindow(image::FileApi &files = image::systemFileApi(),
                                   bool withImage = true)
    {
        m_dir = std::make_unique<TempDir>();
        m_image = m_dir->file("sample image.nds");
        if (withImage && !makeSampleImage(m_image)) {
            return false;
        }
        m_answerer = std::make_unique<ModalAnswerer>();
        m_driver = std::make_unique<WindowDriver>(*m_answerer, files);
        return QTest::qWaitForWindowActive(&m_driver->window());
    }

    void stopWindow()
    {
        m_driver.reset();
        m_answerer.reset();
        m_dir.reset();
    }

    /// The texts of the message boxes shown so far.
    [[nodiscard]] QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto &message : m_answerer->messages) {
            texts << message.text;
        }
        return texts;
    }

    std::unique_ptr<TempDir> m_dir;
    std::string m_image;
    std::unique_ptr<ModalAnswerer> m_answerer;
    std::unique_ptr<WindowDriver> m_driver;
};

} // namespace stats::testing
