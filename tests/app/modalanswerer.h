#pragma once

// Answers the window's modal boxes from the test, the way a person would: it waits for a box
// to open, notes what it shows and presses its button, or picks a file in the open dialog.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <deque>

namespace stats::testing {

struct ShownMessage
{
    QString text;
    QString title;
    QMessageBox::Icon icon;
    int buttonCount;
};

class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    ModalAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::answer);
        m_timer.start(5);
    }

    /// The next open dialog picks @p path; an empty path cancels it.
    void chooseFile(const QString &path) { m_files.push_back(path); }
    /// The next question about unsaved edits is answered with @p button (Save, Discard or
    /// Cancel); a question without an answer given is cancelled.
    void answerQuestion(QMessageBox::StandardButton button) { m_answers.push_back(button); }

    QList<ShownMessage> messages;
    QStringList questions;
    QStringList dialogTitles;
    QStringList dialogFilters;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal); box && box->button(QMessageBox::Ok)) {
            messages.push_back({box->text(), box->windowTitle(), box->icon(),
                                static_cast<int>(box->buttons().size())});
            box->button(QMessageBox::Ok)->click();
        } else if (box != nullptr) {
            questions << box->text();
            const auto button = m_answers.empty() ? QMessageBox::Cancel : m_answers.front();
            if (!m_answers.empty()) {
                m_answers.pop_front();
            }
            box->button(button)->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            dialogTitles << dialog->windowTitle();
            dialogFilters << dialog->nameFilters().join(QLatin1Char(';'));
            const QString path = m_files.empty() ? QString() : m_files.front();
            if (!m_files.empty()) {
                m_files.pop_front();
            }
            if (path.isEmpty()) {
                dialog->reject();
            } else {
                // Typed into the file name field, as a person does; a selection left over from
                // an earlier use of the dialog would win over the typed name.
                for (auto *view : dialog->findChildren<QAbstractItemView *>()) {
                    if (view->selectionModel() != nullptr) {
                        view->selectionModel()->clearSelection();
                    }
                }
                auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                if (name != nullptr) {
                    name->setText(path);
                } else {
                    dialog->selectFile(path);
                }
                // accept() is protected in QFileDialog; the dialog's public slot runs it.
                static_cast<QDialog *>(dialog)->accept();
            }
        }
    }

    QTimer m_timer;
    std::deque<QString> m_files;
    std::deque<QMessageBox::StandardButton> m_answers;
};

} // namespace stats::testing
