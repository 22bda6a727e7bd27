// The editor window driven as a person drives it: clicks, keys and focus on the real widgets,
// with every modal box answered by the test.

#include "catalogues/catalogues.h"
#include "controls.h"
#include "form1.h"
#include "image/imagefile.h"
#include "layout.h"
#include "messages.h"
#include "modalanswerer.h"
#include "sample-image/sampleimage.h"
#include "settings.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QDir>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace stats;
using app::ChoiceBox;
using app::EntryList;
using image::Field;
using image::Range;
using stats::testing::offsetOf;

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

QString qpath(const std::string &path)
{
    return QString::fromStdString(path);
}

} // namespace

class Form1Test : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startsCollapsedEmptyAndWithNothingSelected();
    void theLinesDrawTheNineBoxes();
    void labelsAreTransparentFixedAndWrapping();
    void everyControlGetsTheFaceItsWholeListOfFamiliesGives();
    void tabVisitsTheControlsInTheirOrderAlsoWhenCollapsed();
    void showAndHideSearchSizeTheClientArea();
    void theGenderHelpShowsItsSevenLines();
    void exitClosesTheWindow();

    void openCancelledLeavesNoImage();
    void openAcceptsAQvztImageSilently();
    void openRefusesAnUnsupportedFileAndEndsTheProgram_data();
    void openRefusesAnUnsupportedFileAndEndsTheProgram();
    void openOfAFileThatCannotBeReadGoesOn();

    void clickingARowLoadsItsFifteenFields();
    void aClickBeforeAnImageIsOpenLoadsNothing();
    void tabIntoAListLoadsNothingAndArrowsLoadRowByRow();
    void clickingTheSelectedRowAgainReloadsIt();
    void bytesWithoutARowAreShownAsNumbersAndKeptBySaving();
    void aVanishedImageClearsTheFieldsInsteadOfShowingOldValues();

    void aSaveWritesOnlyTheEditedByte();
    void aSaveWithoutASelectedRowAsksForOne();
    void aSaveBeforeAnImageIsOpenDoesNothing();
    void typedTextInAChoiceBoxCountsOnlyWhenItNamesARow();
    void equalTextsInAChoiceBoxKeepTheirOwnPositions();

    void searchSelectsLoadsAndFocusesTheExactRow();
    void searchIgnoresPrefixesTrailingBlanksAndOtherLists();

private:
    template <typename T = QWidget> T *control(const char *name) const
    {
        return m_driver->control<T>(name);
    }
    QLineEdit *edit(const char *name) const { return m_driver->edit(name); }
    ChoiceBox *choice(const char *name) const { return m_driver->choice(name); }
    EntryList *list(const char *name) const { return m_driver->list(name); }
    void expectFieldsShow(const image::FieldBytes &bytes);
    void expectFieldsEmpty();

    std::unique_ptr<testing::TempDir> m_home;
    std::unique_ptr<testing::TempDir> m_caches;
};

void Form1Test::initTestCase()
{
    // Every test opens the file dialog; none of them may leave settings in the user's home.
    m_home = std::make_unique<testing::TempDir>();
    qputenv("HOME", QByteArray::fromStdString(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_home->file(".config")));
    // Caches are the system's, not the editor's: fontconfig, run by someone who may not
    // refresh the system's font cache, keeps its own in the home.
    m_caches = std::make_unique<testing::TempDir>();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(m_caches->path()));
    app::keepNoSettings();
}

void Form1Test::cleanupTestCase()
{
    const QDir home(qpath(m_home->path()));
    const auto left = home.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void Form1Test::init()
{
    QVERIFY(startWindow());
}

void Form1Test::cleanup()
{
    stopWindow();
}

void Form1Test::expectFieldsShow(const image::FieldBytes &bytes)
{
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        const auto &field = image::kFields[i];
        const QByteArray name(field.name.data(), static_cast<qsizetype>(field.name.size()));
        if (field.kind() == image::FieldKind::Number) {
            QCOMPARE(edit(name.constData())->text(), QString::number(bytes[i]));
        } else {
            QCOMPARE(m_driver->chosenPosition(name.constData()), std::optional<int>(bytes[i]));
            QCOMPARE(choice(name.constData())->currentText(),
                     choice(name.constData())->itemText(bytes[i]));
        }
    }
}

void Form1Test::expectFieldsEmpty()
{
    for (const auto &field : image::kFields) {
        const QByteArray name(field.name.data(), static_cast<qsizetype>(field.name.size()));
        if (field.kind() == image::FieldKind::Number) {
            QVERIFY(edit(name.constData())->text().isEmpty());
        } else {
            QCOMPARE(m_driver->chosenPosition(name.constData()), std::nullopt);
            QVERIFY(choice(name.constData())->currentText().isEmpty());
        }
    }
}

// --- Layout and window commands ----------------------------------------------------------

void Form1Test::startsCollapsedEmptyAndWithNothingSelected()
{
    QCOMPARE(m_driver->window().windowHandle()->title(),
             QStringLiteral("Tavrel (-Ondak-) Base Stats Editor"));
    QCOMPARE(m_driver->window().size(), QSize(389, 508));
    QCOMPARE(m_driver->window().minimumSize(), m_driver->window().maximumSize());
    const auto flags = m_driver->window().windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(QApplication::focusWidget(), control("Command1"));

    QCOMPARE(list("List1")->model()->rowCount(), 547);
    QCOMPARE(list("List2")->model()->rowCount(), 102);
    QCOMPARE(list("List3")->model()->rowCount(), 18);
    for (const char *name : {"List1", "List2", "List3"}) {
        QCOMPARE(list(name)->selectedRow(), std::nullopt);
    }
    QCOMPARE(list("List1")->model()->index(0, 0).data().toString(),
             text(catalogues::builtInCatalogues().entries(Range::List1).text(0)));
    const std::pair<const char *, int> boxes[] = {{"ty1", 17},  {"ty2", 17},  {"wh1", 627},
                                                  {"wh2", 627}, {"ab1", 165}, {"ab2", 165},
                                                  {"dw", 164}};
    for (const auto &[name, rows] : boxes) {
        QCOMPARE(choice(name)->count(), rows);
        // Editable, but never completing, sorting or taking typed text in as a row.
        QVERIFY(choice(name)->isEditable());
        QVERIFY(choice(name)->completer() == nullptr);
        QCOMPARE(choice(name)->insertPolicy(), QComboBox::NoInsert);
    }
    expectFieldsEmpty();
    QVERIFY(edit("Text1")->text().isEmpty());
    QVERIFY(edit("Text2")->text().isEmpty());
    QVERIFY(QString::fromStdString(m_driver->window().model().romPath()).isEmpty());
    QCOMPARE(m_driver->window().model().currentIndex(), 0);
    QVERIFY(control<QLabel>("romname")->text().isEmpty());
}

void Form1Test::theLinesDrawTheNineBoxes()
{
    const auto lines = app::allLines();
    QCOMPARE(lines.size(), std::size_t{38});
    for (const auto &line : lines) {
        auto *widget = m_driver->window().findChild<QWidget *>(text(line.name));
        QVERIFY2(widget != nullptr, line.name.data());
        QVERIFY(widget->width() == 1 || widget->height() == 1);
        QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
    }
    // Collapsed, the upper boxes' bottom edges show and the lower boxes' top edges do not.
    QVERIFY(m_driver->window().findChild<QWidget *>(QStringLiteral("Line19"))->y() <
            m_driver->window().height());
    QVERIFY(m_driver->window().findChild<QWidget *>(QStringLiteral("Line21"))->y() >=
            m_driver->window().height());
}

void Form1Test::labelsAreTransparentFixedAndWrapping()
{
    for (auto *label : m_driver->window().findChildren<QLabel *>()) {
        const bool opaque = label->objectName() == QLatin1String("Label1") ||
                            label->objectName() == QLatin1String("romname");
        QCOMPARE(label->autoFillBackground(), opaque);
        QVERIFY(label->wordWrap());
        QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }
    QCOMPARE(control<QLabel>("Label10")->text(), QStringLiteral("Gender "));
    // The two hidden labels lie beyond the client area's right edge.
    QVERIFY(control("Label1")->x() >= m_driver->window().width());
    QVERIFY(control("romname")->x() >= m_driver->window().width());
}

void Form1Test::everyControlGetsTheFaceItsWholeListOfFamiliesGives()
{
    // The window names only the first installed family of each font. Qt, given the design's
    // whole list, must end at the same face.
    for (const auto &design : app::kControls) {
        const QWidget *widget = m_driver->window().findChild<QWidget *>(text(design.name));
        QStringList families;
        for (const auto family : app::kFonts[static_cast<std::size_t>(design.font)].families) {
            families << text(family);
        }
        QFont wholeList = widget->font();
        wholeList.setFamilies(families);
        const QFontInfo shown(widget->font());
        const QFontInfo expected(wholeList);
        QVERIFY2(shown.family() == expected.family() && shown.styleName() == expected.styleName(),
                 qPrintable(text(design.name) + QLatin1Char(' ') + shown.family() +
                            QLatin1Char(' ') + expected.family()));
    }
}

void Form1Test::tabVisitsTheControlsInTheirOrderAlsoWhenCollapsed()
{
    const QStringList order{
        QStringLiteral("Command1"), QStringLiteral("Command2"), QStringLiteral("Command3"),
        QStringLiteral("spdef"),    QStringLiteral("spatk"),    QStringLiteral("spd"),
        QStringLiteral("def"),      QStringLiteral("atk"),      QStringLiteral("hp"),
        QStringLiteral("gr"),       QStringLiteral("ty2"),      QStringLiteral("ty1"),
        QStringLiteral("dw"),       QStringLiteral("ab1"),      QStringLiteral("ab2"),
        QStringLiteral("wh2"),      QStringLiteral("wh1"),      QStringLiteral("List2"),
        QStringLiteral("List1"),    QStringLiteral("Text1"),    QStringLiteral("Command4"),
        QStringLiteral("Command5"), QStringLiteral("Text2"),    QStringLiteral("cr"),
        QStringLiteral("Command6"), QStringLiteral("Command7"), QStringLiteral("Command8"),
        QStringLiteral("List3"),    QStringLiteral("Command9"), QStringLiteral("Command1")};
    const auto focusedName = [] {
        QWidget *focused = QApplication::focusWidget();
        // An editable choice box hands the focus to its text field.
        while (focused != nullptr && focused->objectName().isEmpty()) {
            focused = focused->parentWidget();
        }
        return focused ? focused->objectName() : QString();
    };
    QCOMPARE(focusedName(), order.first());
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusedName(), order[i]);
    }
    for (qsizetype i = order.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focusedName(), order[i]);
    }
}

void Form1Test::showAndHideSearchSizeTheClientArea()
{
    m_driver->click("Command6");
    QCOMPARE(m_driver->window().height(), 507);
    m_driver->click("Command7");
    QCOMPARE(m_driver->window().height(), 729);
    m_driver->click("Command7");
    QCOMPARE(m_driver->window().height(), 729);
    QCOMPARE(m_driver->window().width(), 389);
    // The credit label's bottom edge is the last row of the expanded window.
    QCOMPARE(control("Label19")->geometry().bottom(), m_driver->window().height() - 1);
    edit("Text1")->setText(QStringLiteral("kept"));
    m_driver->click("Command6");
    QCOMPARE(m_driver->window().height(), 507);
    QVERIFY(control("Command2")->y() >= m_driver->window().height());
    QCOMPARE(edit("Text1")->text(), QStringLiteral("kept"));
    QVERIFY(m_answerer->messages.isEmpty());
}

void Form1Test::theGenderHelpShowsItsSevenLines()
{
    edit("gr")->setText(QStringLiteral("12"));
    QTest::mouseClick(control("Label10"), Qt::LeftButton);
    QCOMPARE(m_answerer->messages.size(), 1);
    const auto &shown = m_answerer->messages.first();
    QCOMPARE(shown.text, QStringLiteral("Genderless = 255\r\n\r\n100% Female = 254\r\n\r\n"
                                        "50% Male 50% Female = 127\r\n\r\n100% Male  = 0"));
    QCOMPARE(shown.text.split(QStringLiteral("\r\n")).size(), 7);
    QCOMPARE(shown.icon, QMessageBox::NoIcon);
    QCOMPARE(shown.buttonCount, 1);
    QVERIFY(shown.title.isEmpty());
    QCOMPARE(edit("gr")->text(), QStringLiteral("12"));
    // No other label reacts.
    QTest::mouseClick(control("Label18"), Qt::LeftButton);
    QTest::mouseClick(control("gr"), Qt::LeftButton);
    QCOMPARE(m_answerer->messages.size(), 1);
}

void Form1Test::exitClosesTheWindow()
{
    edit("hp")->setText(QStringLiteral("99"));
    m_driver->click("Command7");
    m_driver->click("Command8");
    QVERIFY(!m_driver->window().isVisible());
    QVERIFY(m_answerer->messages.isEmpty());
}

// --- Opening -----------------------------------------------------------------------------

void Form1Test::openCancelledLeavesNoImage()
{
    m_answerer->chooseFile(QString());
    m_driver->click("Command1");
    QCOMPARE(m_answerer->dialogTitles, QStringList{QStringLiteral("Open Rom")});
    QCOMPARE(m_answerer->dialogFilters, QStringList{QStringLiteral("NDS Roms (*.nds)")});
    QVERIFY(QString::fromStdString(m_driver->window().model().romPath()).isEmpty());
    QVERIFY(m_answerer->messages.isEmpty());
    QVERIFY(m_driver->window().isVisible());
}

void Form1Test::openAcceptsAQvztImageSilently()
{
    const auto before = testing::snapshotOf(m_image);
    QSignalSpy ended(&m_driver->window(), &app::Form1::endProgram);
    m_driver->open(m_image);
    QCOMPARE(QString::fromStdString(m_driver->window().model().romPath()), qpath(m_image));
    QVERIFY(m_answerer->messages.isEmpty());
    QCOMPARE(ended.count(), 0);
    QCOMPARE(testing::snapshotOf(m_image), before);

    // Any name will do as long as the game code is right.
    const auto renamed = m_dir->file("image.bin");
    QCOMPARE(::link(m_image.c_str(), renamed.c_str()), 0);
    m_driver->open(renamed);
    QCOMPARE(QString::fromStdString(m_driver->window().model().romPath()), qpath(renamed));
    QVERIFY(m_answerer->messages.isEmpty());
}

void Form1Test::openRefusesAnUnsupportedFileAndEndsTheProgram_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray header(512, ' ');
    header.replace(12, 4, "qvzt");
    QTest::newRow("lower-case code") << header;
    header.replace(12, 4, "ABCD");
    QTest::newRow("other code") << header;
    QTest::newRow("fifteen bytes") << QByteArray("123456789012QVZ");
}

void Form1Test::openRefusesAnUnsupportedFileAndEndsTheProgram()
{
    QFETCH(QByteArray, content);
    const auto path = m_dir->file("other.nds");
    QVERIFY(testing::writeFile(path, {content.begin(), content.end()}));
    QSignalSpy ended(&m_driver->window(), &app::Form1::endProgram);
    m_driver->open(m_image);
    m_driver->open(path);
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("Unsupported Rom")});
    QCOMPARE(m_answerer->messages.first().icon, QMessageBox::NoIcon);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!m_driver->window().isVisible());
    const auto after = testing::readBytes(path, 0, static_cast<std::size_t>(content.size()));
    QVERIFY(QByteArray(reinterpret_cast<const char *>(after.data()),
                       static_cast<qsizetype>(after.size())) == content);
}

void Form1Test::openOfAFileThatCannotBeReadGoesOn()
{
    const auto fifo = m_dir->file("pipe.nds");
    QCOMPARE(::mkfifo(fifo.c_str(), 0644), 0);
    QSignalSpy ended(&m_driver->window(), &app::Form1::endProgram);
    // A path typed wrong in the dialog is one such file: nothing is there, and none is made.
    const auto typo = m_dir->file("typo.nds");
    for (const auto &path : {fifo, std::string("/dev/zero"), typo}) {
        m_answerer->messages.clear();
        m_driver->open(m_image);
        m_driver->open(path);
        QCOMPARE(m_answerer->messages.size(), 1);
        QVERIFY(m_answerer->messages.first().text.startsWith(
            QStringLiteral("The file cannot be read")));
        QVERIFY(m_answerer->messages.first().text.contains(qpath(path)));
        QVERIFY(QString::fromStdString(m_driver->window().model().romPath()).isEmpty());
        QCOMPARE(ended.count(), 0);
        QVERIFY(m_driver->window().isVisible());
    }
    QVERIFY(::access(typo.c_str(), F_OK) != 0);
}

// --- Loading -----------------------------------------------------------------------------

void Form1Test::clickingARowLoadsItsFifteenFields()
{
    m_driver->open(m_image);
    const struct
    {
        const char *list;
        int row;
        int record;
    } cases[] = {{"List1", 3, 3},     {"List1", 546, 546}, {"List2", 0, 547},
                 {"List2", 101, 648}, {"List3", 0, 649},   {"List3", 17, 666}};
    for (const auto &c : cases) {
        m_driver->clickRow(c.list, c.row);
        QCOMPARE(list(c.list)->selectedRow(), std::optional<int>(c.row));
        QCOMPARE(m_driver->window().model().currentIndex(), c.row);
        expectFieldsShow(tools::sampleFieldBytes(c.record));
    }
    // A load selects nothing elsewhere.
    QCOMPARE(list("List1")->selectedRow(), std::optional<int>(546));
    QVERIFY(m_answerer->messages.isEmpty());
}

void Form1Test::aClickBeforeAnImageIsOpenLoadsNothing()
{
    m_driver->clickRow("List2", 5);
    QCOMPARE(list("List2")->selectedRow(), std::optional<int>(5));
    QCOMPARE(m_driver->window().model().currentIndex(), 0);
    expectFieldsEmpty();
    QVERIFY(m_answerer->messages.isEmpty());
}

void Form1Test::tabIntoAListLoadsNothingAndArrowsLoadRowByRow()
{
    m_driver->open(m_image);
    control("wh1")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), list("List2"));
    QCOMPARE(list("List2")->selectedRow(), std::nullopt);
    expectFieldsEmpty();
    QTest::keyClick(list("List2"), Qt::Key_Down);
    QCOMPARE(list("List2")->selectedRow(), std::optional<int>(0));
    expectFieldsShow(tools::sampleFieldBytes(547));
    QTest::keyClick(list("List2"), Qt::Key_Down);
    QCOMPARE(m_driver->window().model().currentIndex(), 1);
    expectFieldsShow(tools::sampleFieldBytes(548));
    QTest::keyClick(list("List2"), Qt::Key_Up);
    expectFieldsShow(tools::sampleFieldBytes(547));
}

void Form1Test::clickingTheSelectedRowAgainReloadsIt()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 8);
    edit("hp")->setText(QStringLiteral("1"));
    choice("ty1")->choose(std::nullopt);
    m_answerer->answerQuestion(QMessageBox::Discard);
    m_driver->clickRow("List1", 8);
    expectFieldsShow(tools::sampleFieldBytes(8));
}

void Form1Test::bytesWithoutARowAreShownAsNumbersAndKeptBySaving()
{
    // Record 10 gets a type byte and a Dream World byte that no list row stands for.
    auto bytes = tools::sampleFieldBytes(10);
    bytes[static_cast<std::size_t>(Field::ty1)] = 20;
    bytes[static_cast<std::size_t>(Field::dw)] = 200;
    QVERIFY(image::saveEntry(m_image, Range::List1, 10, bytes).has_value());
    m_driver->open(m_image);
    m_driver->clickRow("List1", 9);
    m_driver->clickRow("List1", 10);
    QCOMPARE(m_answerer->messages.size(), 1);
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(QStringLiteral("Type 1: 20")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("Dream World: 200")), qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("Type 2")));
    QCOMPARE(choice("ty1")->currentIndex(), -1);
    QCOMPARE(m_driver->chosenPosition("ty1"), std::optional<int>(20));
    QCOMPARE(choice("ty1")->currentText(), QStringLiteral("20"));
    QCOMPARE(choice("dw")->currentText(), QStringLiteral("200"));
    // A save keeps both values as they are: only the edited byte changes.
    edit("hp")->setText(QStringLiteral("1"));
    const auto before = testing::snapshotOf(m_image);
    m_driver->click("Command7");
    m_driver->click("Command2");
    QCOMPARE(m_answerer->messages.size(), 1);
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(m_image)),
             std::vector<std::int64_t>{testing::offsetOf(Range::List1, 10, Field::hp)});
}

void Form1Test::aVanishedImageClearsTheFieldsInsteadOfShowingOldValues()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 1);
    QCOMPARE(::unlink(m_image.c_str()), 0);
    m_driver->clickRow("List1", 2);
    QCOMPARE(m_answerer->messages.size(), 1);
    QVERIFY(m_answerer->messages.first().text.contains(qpath(m_image)));
    expectFieldsEmpty();
    QCOMPARE(m_driver->window().model().currentIndex(), 1);
    QVERIFY(m_driver->window().isVisible());
    QVERIFY(::access(m_image.c_str(), F_OK) != 0);
}

// --- Saving ------------------------------------------------------------------------------

void Form1Test::aSaveWritesOnlyTheEditedByte()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 3);
    const auto before = testing::snapshotOf(m_image);
    m_driver->click("Command7");
    m_driver->click("Command2");
    QCOMPARE(testing::snapshotOf(m_image), before);

    edit("hp")->setText(QStringLiteral(" 100 "));
    m_driver->click("Command2");
    QVERIFY(m_answerer->messages.isEmpty());
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(m_image)),
             std::vector<std::int64_t>{0x694EA08});
    // The fields stay as typed, and a load reads back what was written.
    QCOMPARE(edit("hp")->text(), QStringLiteral(" 100 "));
    m_driver->clickRow("List1", 3);
    QCOMPARE(edit("hp")->text(), QStringLiteral("100"));
}

void Form1Test::aSaveWithoutASelectedRowAsksForOne()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 2);
    const auto before = testing::snapshotOf(m_image);
    m_driver->click("Command7");
    for (const char *button : {"Command3", "Command9"}) {
        m_answerer->messages.clear();
        m_driver->click(button);
        QCOMPARE(messageTexts(), QStringList{QStringLiteral("Please Click an Attack to Begin")});
    }
    QCOMPARE(testing::snapshotOf(m_image), before);
}

void Form1Test::aSaveBeforeAnImageIsOpenDoesNothing()
{
    m_driver->click("Command7");
    m_driver->click("Command2");
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("Please Click an Attack to Begin")});
    m_answerer->messages.clear();
    m_driver->clickRow("List1", 0);
    m_driver->click("Command2");
    QVERIFY(m_answerer->messages.isEmpty());
}

void Form1Test::typedTextInAChoiceBoxCountsOnlyWhenItNamesARow()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 5);
    m_driver->click("Command7");
    const auto before = testing::snapshotOf(m_image);
    ChoiceBox *ty1 = choice("ty1");
    const auto type = [ty1](const QString &text) {
        ty1->setFocus();
        ty1->lineEdit()->selectAll();
        QTest::keyClicks(ty1->lineEdit(), text);
        // Leaving the box finishes the edit.
        QTest::keyClick(ty1->lineEdit(), Qt::Key_Tab);
    };
    // The row's own name, typed in capitals, is that row: nothing unsaved, a save refuses
    // nothing.
    type(ty1->itemText(ty1->currentIndex()).toUpper());
    QVERIFY(!m_driver->window().isWindowModified());
    m_driver->click("Command2");
    QVERIFY(m_answerer->messages.isEmpty());
    QCOMPARE(testing::snapshotOf(m_image), before);

    type(QStringLiteral("nosuchtype"));
    QVERIFY(m_driver->window().isWindowModified());
    m_driver->click("Command2");
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("Insufficient Value in One box")});
    QCOMPARE(testing::snapshotOf(m_image), before);
}

void Form1Test::equalTextsInAChoiceBoxKeepTheirOwnPositions()
{
    ChoiceBox *wh1 = choice("wh1");
    QCOMPARE(wh1->itemText(621), wh1->itemText(626));
    wh1->choose(626);
    wh1->setFocus();
    QTest::keyClick(wh1->lineEdit(), Qt::Key_Tab);
    QCOMPARE(m_driver->chosenPosition("wh1"), std::optional<int>(626));
    QCOMPARE(m_driver->chosenPosition("wh2"), std::nullopt);
}

// --- Search ------------------------------------------------------------------------------

void Form1Test::searchSelectsLoadsAndFocusesTheExactRow()
{
    m_driver->open(m_image);
    m_driver->click("Command7");
    const QString name = text(catalogues::builtInCatalogues().entries(Range::List1).text(200));
    edit("Text1")->setText(name.toUpper());
    m_driver->click("Command4");
    QCOMPARE(list("List1")->selectedRow(), std::optional<int>(200));
    QCOMPARE(m_driver->window().model().currentIndex(), 200);
    QCOMPARE(QApplication::focusWidget(), list("List1"));
    expectFieldsShow(tools::sampleFieldBytes(200));
    QCOMPARE(edit("Text1")->text(), name.toUpper());
    QTest::keyClick(list("List1"), Qt::Key_Down);
    expectFieldsShow(tools::sampleFieldBytes(201));

    const QString second = text(catalogues::builtInCatalogues().entries(Range::List2).text(30));
    edit("Text2")->setText(second.toLower());
    m_driver->click("Command5");
    QCOMPARE(list("List2")->selectedRow(), std::optional<int>(30));
    expectFieldsShow(tools::sampleFieldBytes(577));
    QVERIFY(m_answerer->messages.isEmpty());
}

void Form1Test::searchIgnoresPrefixesTrailingBlanksAndOtherLists()
{
    m_driver->open(m_image);
    m_driver->click("Command7");
    m_driver->clickRow("List1", 4);
    const auto &listOne = catalogues::builtInCatalogues().entries(Range::List1);
    const QString name = text(listOne.text(10));
    QString prefix = name.left(name.size() - 1);
    // The prefix of one name may be another whole name; that one would rightly be found.
    while (listOne.findExact(prefix.toStdString())) {
        prefix.chop(1);
    }
    QVERIFY(!prefix.isEmpty());
    const QString listTwoName = text(catalogues::builtInCatalogues().entries(Range::List2).text(3));
    for (const QString &search :
         QStringList{name + QLatin1Char(' '), prefix, listTwoName, QString()}) {
        edit("Text1")->setText(search);
        m_driver->click("Command4");
        QCOMPARE(list("List1")->selectedRow(), std::optional<int>(4));
        QCOMPARE(m_driver->window().model().currentIndex(), 4);
    }
    QVERIFY(m_answerer->messages.isEmpty());
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
