// The entry lists' commands as a person uses them: copy an entry, paste it into another and
// save, take that save back and do it again, through the keys and the context menu.

#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

#include <functional>

using namespace stats;
using image::Field;
using image::FieldBytes;
using image::Range;

namespace {

constexpr int kRowA = 3;
constexpr int kRowB = 4;

QString clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

} // namespace

class EntryCommandsTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void anEntryCopiedOntoAnotherIsSavedTakenBackAndDoneAgain();
    void aRefusedPasteNamesTheCellAndLeavesTheBoxes();
    void ctrlCInATextBoxCopiesItsText();
    void theMenuNamesTheSaveItTakesBack();
    void theRightButtonPicksNoRow();

private:
    [[nodiscard]] FieldBytes recordOf(int row) const;
    void press(QWidget *target, Qt::Key key,
               Qt::KeyboardModifiers modifiers = Qt::ControlModifier) const;
    /// Opens List 1's menu and hands it to @p use before it closes; the accessible names of its
    /// commands, each followed by " (off)" when it is disabled.
    QStringList menuOfList1(const std::function<void(QMenu &)> &use = {});
};

void EntryCommandsTest::init()
{
    QVERIFY(startWindow());
    m_driver->open(m_image);
}

void EntryCommandsTest::cleanup()
{
    stopWindow();
}

FieldBytes EntryCommandsTest::recordOf(int row) const
{
    FieldBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = testing::readBytes(
            m_image, testing::offsetOf(Range::List1, row, image::kFields[i].field), 1);
        bytes[i] = byte.empty() ? 0 : byte.front();
    }
    return bytes;
}

void EntryCommandsTest::press(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers) const
{
    target->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(target, key, modifiers);
}

QStringList EntryCommandsTest::menuOfList1(const std::function<void(QMenu &)> &use)
{
    app::EntryList *list = m_driver->list("List1");
    QStringList names;
    QTimer::singleShot(50, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        // As a screen reader reads them: each command's accessible name and state.
        QAccessibleInterface *items = QAccessible::queryAccessibleInterface(menu);
        for (int i = 0; i < items->childCount(); ++i) {
            const QAccessibleInterface *item = items->child(i);
            if (item->role() != QAccessible::Separator) {
                names << item->text(QAccessible::Name) +
                             (item->state().disabled ? QStringLiteral(" (off)") : QString());
            }
        }
        if (use) {
            use(*menu);
        }
        menu->close();
    });
    const QPoint at = list->visualRect(list->model()->index(0, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    return names;
}

void EntryCommandsTest::anEntryCopiedOntoAnotherIsSavedTakenBackAndDoneAgain()
{
    const FieldBytes a = tools::sampleFieldBytes(kRowA);
    const FieldBytes b = tools::sampleFieldBytes(kRowB);
    QVERIFY(a != b);
    app::EntryList *list = m_driver->list("List1");
    m_driver->clickRow("List1", kRowA);
    press(list, Qt::Key_C);
    QVERIFY(clipboardText().startsWith(QStringLiteral("list\trow\tname\thp\tatk")));
    QVERIFY(clipboardText().contains(QStringLiteral("\nList 1\t3\t")));

    m_driver->clickRow("List1", kRowB);
    press(list, Qt::Key_V);
    QCOMPARE(m_driver->edit("hp")->text(), QString::number(a[0]));
    QCOMPARE(m_driver->chosenPosition("ab1"), std::optional<int>(a[12]));
    QVERIFY(m_driver->window().isWindowModified());
    QCOMPARE(recordOf(kRowB), b);

    press(list, Qt::Key_S);
    QCOMPARE(recordOf(kRowB), a);
    QVERIFY(!m_driver->window().isWindowModified());

    press(list, Qt::Key_Z);
    QCOMPARE(recordOf(kRowB), b);
    QCOMPARE(m_driver->edit("hp")->text(), QString::number(b[0]));
    QVERIFY(!m_driver->window().isWindowModified());

    press(list, Qt::Key_Y);
    QCOMPARE(recordOf(kRowB), a);
    press(list, Qt::Key_Z);
    press(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(recordOf(kRowB), a);
    QCOMPARE(recordOf(kRowA), a);
    QVERIFY(m_answerer->messages.isEmpty());
}

void EntryCommandsTest::aRefusedPasteNamesTheCellAndLeavesTheBoxes()
{
    m_driver->clickRow("List1", kRowB);
    const QString hp = m_driver->edit("hp")->text();
    QGuiApplication::clipboard()->setText(
        QStringLiteral("1\t2\t3\t4\t5\t6\tloam\tloam\t9\tNone\tNone\t300\t1\t2\t3\n"));
    press(m_driver->list("List1"), Qt::Key_V);
    QTRY_COMPARE(m_answerer->messages.size(), 1);
    QVERIFY(m_answerer->messages.front().text.contains(
        QStringLiteral("line 1, column 12 (gr): \"300\" is not a number from 0 to 255")));
    QCOMPARE(m_driver->edit("hp")->text(), hp);
    QVERIFY(!m_driver->window().isWindowModified());
}

void EntryCommandsTest::ctrlCInATextBoxCopiesItsText()
{
    m_driver->clickRow("List1", kRowA);
    QLineEdit *hp = m_driver->edit("hp");
    hp->setFocus(Qt::OtherFocusReason);
    hp->selectAll();
    QTest::keyClick(hp, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboardText(), hp->text());
}

void EntryCommandsTest::theMenuNamesTheSaveItTakesBack()
{
    QCOMPARE(menuOfList1(),
             QStringList({QStringLiteral("Copy values (off)"), QStringLiteral("Paste values (off)"),
                          QStringLiteral("Undo save (off)"), QStringLiteral("Redo save (off)")}));
    m_driver->clickRow("List1", kRowB);
    m_driver->edit("hp")->setText(QStringLiteral("7"));
    press(m_driver->edit("hp"), Qt::Key_S);
    const QString name = m_driver->list("List1")->model()->index(kRowB, 0).data().toString();
    QCOMPARE(
        menuOfList1([](QMenu &menu) { menu.actions().at(3)->trigger(); }),
        QStringList({QStringLiteral("Copy values"), QStringLiteral("Paste values"),
                     QStringLiteral("Undo save of ") + name, QStringLiteral("Redo save (off)")}));
    QCOMPARE(recordOf(kRowB), tools::sampleFieldBytes(kRowB));
    QCOMPARE(menuOfList1().at(3), QStringLiteral("Redo save of ") + name);
    // Still live on the keys after the menu showed them disabled.
    press(m_driver->list("List1"), Qt::Key_Y);
    QCOMPARE(recordOf(kRowB)[0], 7);
}

void EntryCommandsTest::theRightButtonPicksNoRow()
{
    m_driver->clickRow("List1", kRowB);
    m_driver->edit("hp")->setText(QStringLiteral("7"));
    app::EntryList *list = m_driver->list("List1");
    QTest::mouseClick(list->viewport(), Qt::RightButton, {},
                      list->visualRect(list->model()->index(kRowA, 0)).center());
    QCOMPARE(list->selectedRow(), std::optional<int>(kRowB));
    QVERIFY(m_answerer->questions.isEmpty());
    QCOMPARE(m_driver->edit("hp")->text(), QStringLiteral("7"));
}

QTEST_MAIN(EntryCommandsTest)
#include "entrycommands_test.moc"
