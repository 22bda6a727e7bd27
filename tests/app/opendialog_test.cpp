// The open dialog closed with Return while its completion list shows the typed file: nothing
// of it stays on screen, the first click after it reaches the window, and the next use of the
// dialog still completes typed paths. Keys and clicks go in through the window system's entry
// points, so a completion list left open takes them as it would on a desktop.

#include "controls.h"
#include "form1.h"
#include "support/tempimage.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

using namespace stats;

namespace {

void typeInto(QWidget *dialog, const QString &text)
{
    for (const QChar character : text) {
        QTest::keyClick(dialog->windowHandle(), character.toLatin1());
    }
}

QWidget *openPopup()
{
    return QApplication::activePopupWidget();
}

// Runs @p steps on the dialog that the open action is about to show.
void whenTheDialogOpens(std::function<void(QFileDialog *)> steps)
{
    QTimer::singleShot(0, [steps = std::move(steps)] {
        QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()) != nullptr);
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        // A window manager activates a new dialog; the offscreen platform has none. The call
        // is deprecated since Qt 6.5 for a request that only a window manager acts on.
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(dialog);
        QT_WARNING_POP
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        steps(dialog);
    });
}

} // namespace

class OpenDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void nothingOfTheDialogStaysAfterReturn();
};

void OpenDialogTest::nothingOfTheDialogStaysAfterReturn()
{
    testing::TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    const QString image = folder + QStringLiteral("/good image.nds");
    QVERIFY(testing::makeSampleImage(image.toStdString()));
    app::Form1 window(catalogues::builtInCatalogues());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *open = window.findChild<QWidget *>(QStringLiteral("Command1"));

    whenTheDialogOpens([&](QFileDialog *dialog) {
        typeInto(dialog, image);
        QTRY_VERIFY(openPopup() != nullptr);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
    });
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(window.model().romPath()), image);
    QCOMPARE(openPopup(), nullptr);

    // The first click on a row is the window's: it selects the row and loads it.
    auto *list = window.findChild<app::EntryList *>(QStringLiteral("List1"));
    const QRect row = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                      list->viewport()->mapTo(&window, row.center()));
    QCOMPARE(list->selectedRow(), std::optional<int>(2));
    QVERIFY(!window.findChild<QLineEdit *>(QStringLiteral("hp"))->text().isEmpty());

    // The dialog is kept for the next press, and it still completes what is typed.
    whenTheDialogOpens([&](QFileDialog *dialog) {
        typeInto(dialog, folder + QStringLiteral("/goo"));
        QTRY_VERIFY(openPopup() != nullptr);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
        QCOMPARE(openPopup(), nullptr);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
    });
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(window.model().romPath()), QString());
    QCOMPARE(openPopup(), nullptr);
}

QTEST_MAIN(OpenDialogTest)
#include "opendialog_test.moc"
