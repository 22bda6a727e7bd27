// A whole edit cycle with the keyboard alone: open an image from "<--Open Rom->", walk to a
// list, pick an entry with the arrow keys, type into the edit boxes, choose rows in the choice
// boxes, save, and find exactly the edits in the image.

#include "image/imagefile.h"
#include "image/statstable.h"
#include "modalanswerer.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QAbstractItemView>
#include <QTest>

#include <map>

using namespace stats;
using image::Field;
using image::Range;
using stats::testing::offsetOf;
using stats::testing::sampleByte;
using testing::focusedControlName;

namespace {

// A key pressed on whatever has the focus, as the keyboard delivers it.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused != nullptr);
    QTest::keyClick(focused, key, modifiers);
}

void type(const QString &text)
{
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused != nullptr);
    QTest::keyClicks(focused, text);
}

} // namespace

class KeyboardTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aWholeEditCycleNeedsNoMouse();
    void spaceAndEnterPressTheFocusedButton_data();
    void spaceAndEnterPressTheFocusedButton();
    void aChoiceBoxListCanBeOpenedAndPickedFromWithTheKeyboard();
    void escapeInAChoiceBoxListKeepsTheChosenRow();

private:
    // Presses Tab (or Backtab) until @p name has the focus; false when it never comes.
    [[nodiscard]] bool tabTo(const QString &name, Qt::Key key = Qt::Key_Tab);
};

void KeyboardTest::init()
{
    QVERIFY(startWindow());
}

void KeyboardTest::cleanup()
{
    stopWindow();
}

bool KeyboardTest::tabTo(const QString &name, Qt::Key key)
{
    // The tab chain has 29 stops; more presses than that means the control is not in it.
    for (int presses = 0; presses < 30; ++presses) {
        if (focusedControlName() == name) {
            return true;
        }
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    return focusedControlName() == name;
}

void KeyboardTest::aWholeEditCycleNeedsNoMouse()
{
    const auto before = testing::snapshotOf(m_image);
    QCOMPARE(focusedControlName(), QStringLiteral("Command1"));

    // Open the image: Space on the open button, then the file dialog is answered.
    m_answerer->chooseFile(testing::qpath(m_image));
    press(Qt::Key_Space);
    m_driver->restoreActivation();
    QCOMPARE(QString::fromStdString(m_driver->window().model().romPath()), testing::qpath(m_image));
    QCOMPARE(focusedControlName(), QStringLiteral("Command1"));

    // The search and save area is shown from its own button.
    QVERIFY(tabTo(QStringLiteral("Command7"), Qt::Key_Backtab));
    press(Qt::Key_Space);
    QVERIFY(m_driver->control("Command2")->y() < m_driver->window().height());

    // Into List 1; focusing it loads nothing, each arrow key loads the row it lands on.
    QVERIFY(tabTo(QStringLiteral("List1")));
    QCOMPARE(m_driver->list("List1")->selectedRow(), std::nullopt);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Up);
    QCOMPARE(m_driver->list("List1")->selectedRow(), std::optional<int>(1));
    press(Qt::Key_End);
    press(Qt::Key_Home);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    constexpr int row = 2;
    QCOMPARE(m_driver->list("List1")->selectedRow(), std::optional<int>(row));
    QCOMPARE(m_driver->window().model().currentIndex(), row);
    QCOMPARE(m_driver->edit("hp")->text(), QString::number(sampleByte(row, Field::hp)));

    // Backwards from the list the tab order visits every field and ends on "Save List 1".
    // Tabbing into an edit box selects its text, so typing replaces it.
    std::map<Field, std::uint8_t> edits;
    const auto chooseBy = [&](Field field, Qt::Key key, int steps) {
        for (int i = 0; i < steps; ++i) {
            press(key);
        }
        const int start = sampleByte(row, field);
        edits[field] =
            static_cast<std::uint8_t>(key == Qt::Key_Down ? start + steps : start - steps);
    };
    QVERIFY(tabTo(QStringLiteral("wh1"), Qt::Key_Backtab));
    QCOMPARE(m_driver->list("List1")->selectedRow(), std::optional<int>(row));
    chooseBy(Field::wh1, Qt::Key_Down, 2);
    QVERIFY(tabTo(QStringLiteral("ab2"), Qt::Key_Backtab));
    chooseBy(Field::ab2, Qt::Key_Down, 1);
    QVERIFY(tabTo(QStringLiteral("ty1"), Qt::Key_Backtab));
    chooseBy(Field::ty1, Qt::Key_Down, 3);
    QVERIFY(tabTo(QStringLiteral("ty2"), Qt::Key_Backtab));
    QVERIFY(sampleByte(row, Field::ty2) > 0);
    chooseBy(Field::ty2, Qt::Key_Up, 1);
    QVERIFY(tabTo(QStringLiteral("gr"), Qt::Key_Backtab));
    type(QStringLiteral("127"));
    edits[Field::gr] = 127;
    QVERIFY(tabTo(QStringLiteral("hp"), Qt::Key_Backtab));
    type(QStringLiteral("200.5"));
    edits[Field::hp] = 200;
    QVERIFY(tabTo(QStringLiteral("spdef"), Qt::Key_Backtab));
    // Editing keys inside a box: erase two digits, then type new ones.
    press(Qt::Key_End);
    press(Qt::Key_Backspace);
    press(Qt::Key_Backspace);
    type(QStringLiteral("9"));
    edits[Field::spdef] = static_cast<std::uint8_t>(m_driver->edit("spdef")->text().toInt());
    QVERIFY(tabTo(QStringLiteral("Command2"), Qt::Key_Backtab));
    QVERIFY(m_answerer->messages.isEmpty());
    press(Qt::Key_Space);
    QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));

    std::vector<std::int64_t> expected;
    for (const auto &[field, byte] : edits) {
        if (byte != sampleByte(row, field)) {
            expected.push_back(offsetOf(Range::List1, row, field));
        }
    }
    std::ranges::sort(expected);
    const auto after = testing::snapshotOf(m_image);
    QCOMPARE(testing::differingOffsets(before, after), expected);
    QCOMPARE(expected.size(), edits.size());
    for (const auto &[field, byte] : edits) {
        QCOMPARE(after.nonZero.contains(offsetOf(Range::List1, row, field))
                     ? after.nonZero.at(offsetOf(Range::List1, row, field))
                     : std::uint8_t{0},
                 byte);
    }
}

void KeyboardTest::spaceAndEnterPressTheFocusedButton_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << static_cast<int>(Qt::Key_Space);
    QTest::newRow("Return") << static_cast<int>(Qt::Key_Return);
    QTest::newRow("Enter") << static_cast<int>(Qt::Key_Enter);
}

// A focused button reacts to Space and to Enter alike, as on every desktop the program runs
// on; a user who presses Enter on "Save List 1" must not be left believing it saved.
void KeyboardTest::spaceAndEnterPressTheFocusedButton()
{
    QFETCH(int, key);
    const int collapsed = m_driver->window().height();
    QVERIFY(tabTo(QStringLiteral("Command7"), Qt::Key_Backtab));
    press(static_cast<Qt::Key>(key));
    QVERIFY(m_driver->window().height() > collapsed);

    m_driver->open(m_image);
    m_driver->clickRow("List1", 4);
    m_driver->edit("atk")->setText(QStringLiteral("1"));
    m_driver->control("Command2")->setFocus(Qt::TabFocusReason);
    const auto before = testing::snapshotOf(m_image);
    press(static_cast<Qt::Key>(key));
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(m_image)),
             std::vector<std::int64_t>{offsetOf(Range::List1, 4, Field::atk)});
}

void KeyboardTest::aChoiceBoxListCanBeOpenedAndPickedFromWithTheKeyboard()
{
    m_driver->open(m_image);
    m_driver->clickRow("List2", 6);
    app::ChoiceBox *ab1 = m_driver->choice("ab1");
    const int start = sampleByte(547 + 6, Field::ab1);
    ab1->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(ab1->view()->isVisible());
    QTest::keyClick(ab1->view(), Qt::Key_Down);
    QTest::keyClick(ab1->view(), Qt::Key_Down);
    QTest::keyClick(ab1->view(), Qt::Key_Return);
    QTRY_VERIFY(!ab1->view()->isVisible());
    QCOMPARE(m_driver->chosenPosition("ab1"), std::optional<int>(start + 2));
    QCOMPARE(focusedControlName(), QStringLiteral("ab1"));

    m_driver->showSaveButtons();
    m_driver->control("Command3")->setFocus(Qt::TabFocusReason);
    const auto before = testing::snapshotOf(m_image);
    press(Qt::Key_Space);
    QVERIFY(m_answerer->messages.isEmpty());
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(m_image)),
             std::vector<std::int64_t>{offsetOf(Range::List2, 6, Field::ab1)});
    QCOMPARE(testing::readBytes(m_image, offsetOf(Range::List2, 6, Field::ab1), 1).at(0),
             start + 2);
}

void KeyboardTest::escapeInAChoiceBoxListKeepsTheChosenRow()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 9);
    app::ChoiceBox *wh2 = m_driver->choice("wh2");
    const auto chosen = m_driver->chosenPosition("wh2");
    QVERIFY(chosen.has_value());
    wh2->setFocus(Qt::TabFocusReason);
    press(Qt::Key_F4);
    QTRY_VERIFY(wh2->view()->isVisible());
    QTest::keyClick(wh2->view(), Qt::Key_Down);
    QTest::keyClick(wh2->view(), Qt::Key_Escape);
    QTRY_VERIFY(!wh2->view()->isVisible());
    QCOMPARE(m_driver->chosenPosition("wh2"), chosen);
}

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
