// What a screen reader learns about the window: every control that takes the keyboard focus
// has a name and a description of its own, read through Qt's accessibility interface, and
// labels and buttons speak their captions.

#include "catalogues/catalogues.h"
#include "layout.h"
#include "modalanswerer.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QPushButton>
#include <QTest>

#include <array>
#include <set>

using namespace stats;
using testing::qtext;

namespace {

// The words a screen reader should speak for each focusable control, written from the
// captions the user sees next to it. A box that shares one caption with a second box gets
// the caption's singular and its number.
struct Spoken
{
    const char *control;
    const char *name;
    QAccessible::Role role;
    // A word the description must carry, so that it says more than the name.
    const char *hint;
};

constexpr std::array<Spoken, 29> kSpoken{{
    {"Command1", "Open Rom", QAccessible::Button, "image"},
    {"Command2", "Save List 1", QAccessible::Button, "List 1"},
    {"Command3", "Save List 2", QAccessible::Button, "List 2"},
    {"Command9", "Save Alternate forms", QAccessible::Button, "Alternate forms"},
    {"Command4", "Search List 1", QAccessible::Button, "List 1"},
    {"Command5", "Search List 2", QAccessible::Button, "List 2"},
    {"Command6", "Hide Search", QAccessible::Button, "Hide"},
    {"Command7", "Show Search", QAccessible::Button, "Show"},
    {"Command8", "Exit", QAccessible::Button, "unsaved changes"},
    {"List1", "List 1", QAccessible::List, "loads"},
    {"List2", "List 2", QAccessible::List, "loads"},
    {"List3", "Alternate forms", QAccessible::List, "loads"},
    {"Text1", "Search List 1", QAccessible::EditableText, "name"},
    {"Text2", "Search List 2", QAccessible::EditableText, "name"},
    {"hp", "Hp", QAccessible::EditableText, "0 to 255"},
    {"atk", "Attack", QAccessible::EditableText, "0 to 255"},
    {"def", "Defense", QAccessible::EditableText, "0 to 255"},
    {"spd", "Speed", QAccessible::EditableText, "0 to 255"},
    {"spatk", "Sp.atk", QAccessible::EditableText, "0 to 255"},
    {"spdef", "Sp.def", QAccessible::EditableText, "0 to 255"},
    {"cr", "Catch Rate", QAccessible::EditableText, "0 to 255"},
    {"gr", "Gender", QAccessible::EditableText, "255 genderless"},
    {"ty1", "Type 1", QAccessible::ComboBox, "type"},
    {"ty2", "Type 2", QAccessible::ComboBox, "type"},
    {"ab1", "Ability 1", QAccessible::ComboBox, "ability"},
    {"ab2", "Ability 2", QAccessible::ComboBox, "ability"},
    {"dw", "Dream World", QAccessible::ComboBox, "ability"},
    {"wh1", "Wild hold item 1", QAccessible::ComboBox, "item"},
    {"wh2", "Wild hold item 2", QAccessible::ComboBox, "item"},
}};

bool isLabel(app::ControlKind kind)
{
    return kind == app::ControlKind::Label || kind == app::ControlKind::ClickLabel ||
           kind == app::ControlKind::OpaqueLabel;
}

} // namespace

class AccessibilityTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyFocusableControlIsSpokenByNameAndDescription_data();
    void everyFocusableControlIsSpokenByNameAndDescription();
    void theFocusedControlIsTheOneThatSpeaks_data();
    void theFocusedControlIsTheOneThatSpeaks();
    void noTwoControlsOfOneRoleShareAName();
    void everyControlThatTakesTheFocusIsInTheTable();
    void labelsAndButtonsSpeakTheirCaptions();
    void listsSpeakTheirEntriesAndFieldsTheirLoadedValues();
    void buttonsCanBePressedThroughTheirAction();

private:
    [[nodiscard]] static QAccessibleInterface *accessible(QWidget *widget)
    {
        QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(widget);
        if (interface == nullptr) {
            qFatal("no accessible interface for %s", qPrintable(widget->objectName()));
        }
        return interface;
    }
};

void AccessibilityTest::init()
{
    QVERIFY(startWindow(image::systemFileApi(), false));
}

void AccessibilityTest::cleanup()
{
    stopWindow();
}

void AccessibilityTest::everyFocusableControlIsSpokenByNameAndDescription_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("hint");
    for (const auto &spoken : kSpoken) {
        QTest::newRow(spoken.control)
            << QString::fromLatin1(spoken.control) << QString::fromLatin1(spoken.name)
            << static_cast<int>(spoken.role) << QString::fromLatin1(spoken.hint);
    }
}

void AccessibilityTest::everyFocusableControlIsSpokenByNameAndDescription()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QString, hint);
    auto *widget = m_driver->window().findChild<QWidget *>(control);
    QVERIFY(widget != nullptr);
    QAccessibleInterface *interface = accessible(widget);
    QCOMPARE(interface->text(QAccessible::Name), name);
    QCOMPARE(static_cast<int>(interface->role()), role);
    const QString description = interface->text(QAccessible::Description);
    QVERIFY2(description.size() > name.size(), qPrintable(description));
    QVERIFY2(description.contains(hint, Qt::CaseInsensitive), qPrintable(description));
    QVERIFY(!interface->state().invisible);
    QVERIFY(interface->state().focusable);
}

void AccessibilityTest::theFocusedControlIsTheOneThatSpeaks_data()
{
    everyFocusableControlIsSpokenByNameAndDescription_data();
}

// A screen reader speaks the object that has the focus; an editable choice box must keep it
// itself rather than hand it to its inner text field, which has no name of its own.
void AccessibilityTest::theFocusedControlIsTheOneThatSpeaks()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    auto *widget = m_driver->window().findChild<QWidget *>(control);
    m_driver->showSaveButtons();
    widget->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), widget);
    QAccessibleInterface *focused = accessible(QApplication::focusWidget());
    QVERIFY(focused->state().focused);
    QCOMPARE(focused->text(QAccessible::Name), name);
}

void AccessibilityTest::noTwoControlsOfOneRoleShareAName()
{
    std::set<std::pair<int, QString>> seen;
    for (const auto &spoken : kSpoken) {
        auto *widget = m_driver->control(spoken.control);
        QAccessibleInterface *interface = accessible(widget);
        const auto key =
            std::pair{static_cast<int>(interface->role()), interface->text(QAccessible::Name)};
        QVERIFY2(seen.insert(key).second, spoken.control);
    }
}

void AccessibilityTest::everyControlThatTakesTheFocusIsInTheTable()
{
    std::set<QString> spoken;
    for (const auto &entry : kSpoken) {
        spoken.insert(QString::fromLatin1(entry.control));
    }
    std::set<QString> focusable;
    for (const auto &design : app::kControls) {
        auto *widget = m_driver->window().findChild<QWidget *>(qtext(design.name));
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->focusPolicy() != Qt::NoFocus, !isLabel(design.kind));
        if (!isLabel(design.kind)) {
            focusable.insert(qtext(design.name));
        }
    }
    QCOMPARE(focusable, spoken);
}

void AccessibilityTest::labelsAndButtonsSpeakTheirCaptions()
{
    for (const auto &design : app::kControls) {
        auto *widget = m_driver->window().findChild<QWidget *>(qtext(design.name));
        const QString caption = qtext(design.caption);
        QAccessibleInterface *interface = accessible(widget);
        if (isLabel(design.kind)) {
            QCOMPARE(interface->role(), QAccessible::StaticText);
            QCOMPARE(interface->text(QAccessible::Name), caption);
        } else if (qobject_cast<QPushButton *>(widget) != nullptr) {
            // The name is the caption's words, without the arrows drawn around "Open Rom".
            QString words = caption;
            words.remove(QLatin1Char('<')).remove(QLatin1Char('>')).remove(QLatin1Char('-'));
            QVERIFY2(
                interface->text(QAccessible::Name).contains(words.trimmed(), Qt::CaseInsensitive),
                qPrintable(interface->text(QAccessible::Name)));
        }
    }
    QCOMPARE(accessible(&m_driver->window())->text(QAccessible::Name),
             QStringLiteral("Tavrel (-Ondak-) Base Stats Editor"));
}

void AccessibilityTest::listsSpeakTheirEntriesAndFieldsTheirLoadedValues()
{
    const struct
    {
        const char *list;
        image::Range range;
    } lists[] = {{"List1", image::Range::List1},
                 {"List2", image::Range::List2},
                 {"List3", image::Range::AlternateForms}};
    for (const auto &entry : lists) {
        const auto &catalogue = catalogues::builtInCatalogues().entries(entry.range);
        QAccessibleInterface *list = accessible(m_driver->control(entry.list));
        QVERIFY(list->childCount() >= 1);
        QCOMPARE(list->child(0)->text(QAccessible::Name), qtext(catalogue.text(0)));
    }

    const auto image = m_dir->file("image.nds");
    QVERIFY(testing::makeSampleImage(image));
    m_driver->open(image);
    m_driver->clickRow("List1", 12);
    QVERIFY(m_answerer->messages.isEmpty());
    for (const auto &field : image::kFields) {
        const QByteArray name(field.name.data(), static_cast<qsizetype>(field.name.size()));
        QWidget *widget = m_driver->control(name.constData());
        const QString shown = field.kind() == image::FieldKind::Number
                                  ? m_driver->edit(name.constData())->text()
                                  : m_driver->choice(name.constData())->currentText();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(accessible(widget)->text(QAccessible::Value), shown);
    }
}

void AccessibilityTest::buttonsCanBePressedThroughTheirAction()
{
    const int collapsed = m_driver->window().height();
    QAccessibleInterface *show = accessible(m_driver->control("Command7"));
    QVERIFY(show->actionInterface() != nullptr);
    QVERIFY(
        show->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    show->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(m_driver->window().height() > collapsed);
    const int expanded = m_driver->window().height();
    accessible(m_driver->control("Command6"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(m_driver->window().height() < expanded);
}

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
