// Edits that a load, an open or the end of the program would throw away: the title marks them,
// and every way there asks first. Also what reaches the window from outside: a dropped image
// and a name pack.

#include "catalogues/namepack.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include <fstream>

using namespace stats;
using image::Field;
using image::Range;
using stats::testing::qpath;

namespace {

enum class Path { OtherRow, SameRow, DownKey, Search, Open, Exit };

// An edit of @p value's text that converts to another byte.
QString otherByte(std::uint8_t value)
{
    return QString::number((value + 1) % 256);
}

} // namespace

class UnsavedEditsTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void theTitleMarksWhatASaveWouldChange();
    void everyWayToLeaveTheEntryAsksFirst_data();
    void everyWayToLeaveTheEntryAsksFirst();
    void aRefusedSaveInTheQuestionStaysPut();
    void aDroppedImageOpensAfterTheQuestion();
    void aNamePackWithAnEighteenthTypeIsShownAndSaved();

private:
    void loadRowFiveWithAnEdit();
    void follow(Path path);
};

void UnsavedEditsTest::init()
{
    QVERIFY(startWindow());
}

void UnsavedEditsTest::cleanup()
{
    stopWindow();
}

void UnsavedEditsTest::loadRowFiveWithAnEdit()
{
    m_driver->open(m_image);
    m_driver->clickRow("List1", 5);
    m_driver->edit("hp")->setText(otherByte(tools::sampleFieldBytes(5)[0]));
    QVERIFY(m_driver->window().isWindowModified());
}

void UnsavedEditsTest::follow(Path path)
{
    switch (path) {
    case Path::OtherRow:
        m_driver->clickRow("List1", 6);
        break;
    case Path::SameRow:
        m_driver->clickRow("List1", 5);
        break;
    case Path::DownKey:
        m_driver->list("List1")->setFocus();
        QTest::keyClick(m_driver->list("List1"), Qt::Key_Down);
        break;
    case Path::Search:
        m_driver->edit("Text1")->setText(
            testing::qtext(catalogues::builtInCatalogues().entries(Range::List1).text(6)));
        m_driver->click("Command4");
        break;
    case Path::Open:
        m_answerer->chooseFile(qpath(m_image));
        QTest::keySequence(&m_driver->window(), QKeySequence::Open);
        m_driver->restoreActivation();
        break;
    case Path::Exit:
        m_driver->click("Command8");
        break;
    }
}

void UnsavedEditsTest::theTitleMarksWhatASaveWouldChange()
{
    // Which texts count as a change is the model's rule; the window shows its answer.
    app::Form1 &window = m_driver->window();
    m_driver->open(m_image);
    m_driver->clickRow("List1", 3);
    const QString title = QStringLiteral("Tavrel (-Ondak-) Base Stats Editor");
    const auto loaded = tools::sampleFieldBytes(3);
    m_driver->edit("hp")->setText(otherByte(loaded[0]));
    QCOMPARE(window.windowHandle()->title(), QLatin1Char('*') + title);
    m_driver->edit("hp")->setText(QString::number(loaded[0]));
    QCOMPARE(window.windowHandle()->title(), title);
    m_driver->choice("ty1")->choose((loaded[6] + 1) % 17);
    QCOMPARE(window.windowHandle()->title(), QLatin1Char('*') + title);
}

void UnsavedEditsTest::everyWayToLeaveTheEntryAsksFirst_data()
{
    QTest::addColumn<Path>("path");
    QTest::newRow("a click on another row") << Path::OtherRow;
    QTest::newRow("a click on the loaded row") << Path::SameRow;
    QTest::newRow("the Down key") << Path::DownKey;
    QTest::newRow("the search") << Path::Search;
    QTest::newRow("Ctrl+O") << Path::Open;
    QTest::newRow("Exit") << Path::Exit;
}

void UnsavedEditsTest::everyWayToLeaveTheEntryAsksFirst()
{
    QFETCH(Path, path);
    loadRowFiveWithAnEdit();
    const QString edited = m_driver->edit("hp")->text();
    const auto before = testing::snapshotOf(m_image);
    const auto dialogs = m_answerer->dialogTitles.size();
    const QString entry =
        testing::qtext(catalogues::builtInCatalogues().entries(Range::List1).text(5));

    // Cancel changes nothing.
    follow(path);
    QCOMPARE(m_answerer->questions.size(), 1);
    QVERIFY2(m_answerer->questions.first().contains(entry),
             qPrintable(m_answerer->questions.first()));
    QCOMPARE(m_driver->list("List1")->selectedRow(), std::optional<int>(5));
    QCOMPARE(m_driver->window().model().currentIndex(), 5);
    QCOMPARE(m_driver->edit("hp")->text(), edited);
    QVERIFY(m_driver->window().isVisible());
    QCOMPARE(m_answerer->dialogTitles.size(), dialogs);
    // The list keeps its place: the next Down moves on from the loaded row.
    if (path == Path::DownKey) {
        QCOMPARE(m_driver->list("List1")->currentIndex().row(), 5);
    }

    // Discard goes on as if nothing had been edited.
    m_answerer->answerQuestion(QMessageBox::Discard);
    follow(path);
    QCOMPARE(m_answerer->questions.size(), 2);
    switch (path) {
    case Path::OtherRow:
    case Path::DownKey:
    case Path::Search:
        QCOMPARE(m_driver->window().model().currentIndex(), 6);
        QCOMPARE(m_driver->edit("hp")->text(), QString::number(tools::sampleFieldBytes(6)[0]));
        break;
    case Path::SameRow:
        QCOMPARE(m_driver->edit("hp")->text(), QString::number(tools::sampleFieldBytes(5)[0]));
        break;
    case Path::Open:
        QCOMPARE(m_answerer->dialogTitles.size(), dialogs + 1);
        break;
    case Path::Exit:
        QVERIFY(!m_driver->window().isVisible());
        break;
    }
    QVERIFY(!m_driver->window().isWindowModified());
    QVERIFY(m_answerer->messages.isEmpty());
    QCOMPARE(testing::snapshotOf(m_image), before);
}

void UnsavedEditsTest::aRefusedSaveInTheQuestionStaysPut()
{
    loadRowFiveWithAnEdit();
    m_driver->edit("gr")->setText(QStringLiteral("300"));
    const auto before = testing::snapshotOf(m_image);
    for (const Path path : {Path::OtherRow, Path::Exit}) {
        m_answerer->messages.clear();
        m_answerer->answerQuestion(QMessageBox::Save);
        follow(path);
        QCOMPARE(m_answerer->messages.size(), 1);
        QCOMPARE(m_answerer->messages.first().text,
                 QStringLiteral("Insufficient Value in One box"));
        QCOMPARE(m_driver->list("List1")->selectedRow(), std::optional<int>(5));
        QCOMPARE(m_driver->edit("gr")->text(), QStringLiteral("300"));
        QVERIFY(m_driver->window().isVisible());
    }
    QCOMPARE(testing::snapshotOf(m_image), before);
}

void UnsavedEditsTest::aDroppedImageOpensAfterTheQuestion()
{
    loadRowFiveWithAnEdit();
    const auto other = m_dir->file("other.nds");
    QVERIFY(testing::makeSampleImage(other));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(qpath(other))});
    data.setText(qpath(other));
    // On an edit box, which would otherwise take the path as text.
    QLineEdit *hp = m_driver->edit("hp");
    const QString edited = hp->text();
    const QPoint centre = hp->rect().center();
    const auto dropOnHp = [&] {
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(hp, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(hp, &drop);
        QVERIFY(drop.isAccepted());
    };
    dropOnHp();
    QTRY_COMPARE(m_answerer->questions.size(), 1);
    QCOMPARE(QString::fromStdString(m_driver->window().model().romPath()), qpath(m_image));
    QCOMPARE(hp->text(), edited);

    m_answerer->answerQuestion(QMessageBox::Discard);
    dropOnHp();
    QTRY_COMPARE(QString::fromStdString(m_driver->window().model().romPath()), qpath(other));
    QVERIFY(m_answerer->messages.isEmpty());
}

void UnsavedEditsTest::aNamePackWithAnEighteenthTypeIsShownAndSaved()
{
    const auto &builtIn = catalogues::builtInCatalogues().values(image::ValueList::Types);
    std::ofstream types(m_dir->file("types.txt"));
    types << "renamed\n";
    for (int row = 1; row < builtIn.rowCount(); ++row) {
        types << builtIn.text(row) << '\n';
    }
    types << "eighteenth\n";
    types.close();
    // The window under test is the only one, so that the keys reach it.
    m_driver.reset();
    const auto names = catalogues::loadNamePack(m_dir->path(), catalogues::builtInCatalogues());
    QVERIFY(names.has_value());

    app::Form1 window(*names);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *ty1 = window.findChild<app::ChoiceBox *>(QStringLiteral("ty1"));
    QCOMPARE(ty1->count(), 18);
    QCOMPARE(ty1->itemText(0), QStringLiteral("renamed"));
    QCOMPARE(ty1->itemText(17), QStringLiteral("eighteenth"));

    m_answerer->chooseFile(qpath(m_image));
    QTest::keySequence(&window, QKeySequence::Open);
    window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    auto *list = window.findChild<app::EntryList *>(QStringLiteral("List1"));
    list->selectRow(7);
    ty1->choose(17);
    QTest::keySequence(&window, QKeySequence::Save);
    QVERIFY(m_answerer->messages.isEmpty());
    QCOMPARE(testing::readBytes(m_image, testing::offsetOf(Range::List1, 7, Field::ty1), 1).at(0),
             17);
}

QTEST_MAIN(UnsavedEditsTest)
#include "unsavededits_test.moc"
