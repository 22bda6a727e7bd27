// The file layer failing under the window, one system call at a time, while the user opens,
// loads and saves: every failure is one clear message with the path and the system's reason,
// the program goes on (except for a file that is not there at all), no descriptor stays open
// and the image holds exactly what the message says it holds.

#include "catalogues/catalogues.h"
#include "image/imagefile.h"
#include "image/statstable.h"
#include "modalanswerer.h"
#include "sample-image/sampleimage.h"
#include "support/scriptedfileapi.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <optional>

using namespace stats;
using image::Field;
using image::Range;
using Call = testing::ScriptedFileApi::Call;
using AfterBudget = testing::ScriptedFileApi::AfterBudget;

namespace {

enum class Phase { Open, Load, Save };

// What the user is left with after the failure.
enum class Outcome {
    Ends,        // "Unsupported Rom", and the program ends
    Unchanged,   // one message; the image is byte for byte as it was
    HalfWritten, // one message naming the entry; only that record's edited bytes may differ
    Unconfirmed, // one message that the edits went in but the disk did not confirm them
    Done,        // no message: the failure did not matter, the action did what it should
};

// The nth call fails, or with a step, the first call after the save reaches it.
struct ArmedCall
{
    Call call;
    int error;
    int nth = 1;
    bool sticky = false;
    std::optional<image::SaveStep> step = std::nullopt;
};

struct WriteBudget
{
    std::size_t bytes;
    int error;
    AfterBudget after;
};

// What the file layer is made to do: fail one call, stop writes after some bytes, cut every
// write short, or several of these at once.
struct Injected
{
    std::optional<ArmedCall> armed;
    std::optional<WriteBudget> budget;
    std::size_t eachWriteLimit = 0;

    // The error the user is told about.
    [[nodiscard]] int error() const { return budget ? budget->error : armed ? armed->error : 0; }
};

Injected failing(Call call, int error, int nth = 1, bool sticky = false)
{
    return {ArmedCall{call, error, nth, sticky}, std::nullopt};
}

Injected failingAfter(image::SaveStep step, Call call, int error, bool sticky = false)
{
    return {ArmedCall{call, error, 1, sticky, step}, std::nullopt};
}

Injected writesStopAfter(std::size_t bytes, int error, AfterBudget after)
{
    return {std::nullopt, WriteBudget{bytes, error, after}};
}

Injected withEachWriteLimitedTo(Injected injected, std::size_t bytes)
{
    injected.eachWriteLimit = bytes;
    return injected;
}

Injected withFailing(Injected injected, Call call, int error)
{
    injected.armed = ArmedCall{call, error};
    return injected;
}

struct WindowFault
{
    const char *name;
    Phase phase;
    Injected injected;
    Outcome outcome;
    // Words the message must carry besides the path and the system's reason.
    const char *says;
};

constexpr auto Recover = AfterBudget::Recover;
constexpr auto Stay = AfterBudget::Stay;

// A save reads the header (first read) and the record (second), writes the fifteen bytes and
// flushes once.
const WindowFault kFaults[] = {
    // A typing error in the dialog: told, and the user chooses again.
    {"open: nothing at the path", Phase::Open, failing(Call::Status, ENOENT), Outcome::Unchanged,
     "No image is open"},
    {"open: no permission to look", Phase::Open, failing(Call::Status, EACCES), Outcome::Unchanged,
     "No image is open"},
    {"open: no permission to read", Phase::Open, failing(Call::Open, EACCES), Outcome::Unchanged,
     "No image is open"},
    {"open: a folder after all", Phase::Open, failing(Call::Open, EISDIR), Outcome::Unchanged,
     "No image is open"},
    {"open: too many files open", Phase::Open, failing(Call::Open, EMFILE), Outcome::Unchanged,
     "No image is open"},
    {"open: fstat fails", Phase::Open, failing(Call::FileStatus, EIO), Outcome::Unchanged,
     "No image is open"},
    {"open: the header cannot be read", Phase::Open, failing(Call::Read, EIO), Outcome::Unchanged,
     "No image is open"},
    {"open: closing reports an error", Phase::Open, failing(Call::Close, EIO), Outcome::Done, ""},

    {"load: the image vanished", Phase::Load, failing(Call::Status, ENOENT), Outcome::Unchanged,
     "No such file"},
    {"load: no permission to read", Phase::Load, failing(Call::Open, EACCES), Outcome::Unchanged,
     "Nothing was loaded"},
    {"load: fstat fails", Phase::Load, failing(Call::FileStatus, EIO), Outcome::Unchanged,
     "Nothing was loaded"},
    {"load: the header cannot be read", Phase::Load, failing(Call::Read, EIO, 1),
     Outcome::Unchanged, "Nothing was loaded"},
    {"load: the record cannot be read", Phase::Load, failing(Call::Read, EIO, 2),
     Outcome::Unchanged, "Nothing was loaded"},

    {"save: the image vanished", Phase::Save, failing(Call::Status, ENOENT), Outcome::Unchanged,
     "Nothing was saved"},
    {"save: no permission to write", Phase::Save, failing(Call::Open, EACCES), Outcome::Unchanged,
     "Nothing was saved"},
    {"save: read-only mount", Phase::Save, failing(Call::Open, EROFS), Outcome::Unchanged,
     "Nothing was saved"},
    {"save: a folder after all", Phase::Save, failing(Call::Open, EISDIR), Outcome::Unchanged,
     "Nothing was saved"},
    {"save: fstat fails", Phase::Save, failing(Call::FileStatus, EIO), Outcome::Unchanged,
     "Nothing was saved"},
    {"save: the header cannot be read", Phase::Save, failing(Call::Read, EIO, 1),
     Outcome::Unchanged, "Nothing was saved"},
    {"save: the old record cannot be read", Phase::Save, failing(Call::Read, EIO, 2),
     Outcome::Unchanged, "Nothing was saved"},
    {"save: disk full at the first write", Phase::Save,
     failingAfter(image::SaveStep::BeforeWrites, Call::Write, ENOSPC), Outcome::Unchanged,
     "nothing in the image changed"},
    {"save: a write after the first fails", Phase::Save,
     failingAfter(image::SaveStep::BetweenWrites, Call::Write, EIO), Outcome::Unchanged,
     "nothing in the image changed"},
    {"save: the last byte cannot be written", Phase::Save, writesStopAfter(14, EIO, Recover),
     Outcome::Unchanged, "nothing in the image changed"},
    {"save: disk full after four bytes", Phase::Save, writesStopAfter(4, ENOSPC, Recover),
     Outcome::Unchanged, "nothing in the image changed"},
    {"save: disk full after eleven bytes", Phase::Save, writesStopAfter(11, ENOSPC, Recover),
     Outcome::Unchanged, "nothing in the image changed"},
    {"save: failing drive, one byte at a time", Phase::Save,
     withEachWriteLimitedTo(writesStopAfter(6, EIO, Recover), 1), Outcome::Unchanged,
     "nothing in the image changed"},
    {"save: putting back fails too", Phase::Save,
     failingAfter(image::SaveStep::BetweenWrites, Call::Write, EIO, true), Outcome::HalfWritten,
     "may be half-written"},
    {"save: the disk stays full", Phase::Save, writesStopAfter(4, ENOSPC, Stay),
     Outcome::HalfWritten, "may be half-written"},
    {"save: put back but not flushed", Phase::Save,
     withFailing(writesStopAfter(4, EIO, Recover), Call::Flush, EIO), Outcome::HalfWritten,
     "may be half-written"},
    {"save: the flush fails", Phase::Save, failing(Call::Flush, EIO), Outcome::Unconfirmed,
     "did not confirm"},
    {"save: closing reports an error", Phase::Save, failing(Call::Close, EIO), Outcome::Done, ""},
    {"save: every write is short", Phase::Save, withEachWriteLimitedTo({}, 1), Outcome::Done, ""},
};

constexpr int kRow = 3;

// Edits in every one of the five runs, so every write carries a new byte.
struct Edit
{
    const char *control;
    Field field;
};

constexpr Edit kEdits[] = {{"hp", Field::hp},
                           {"wh1", Field::wh1},
                           {"wh2", Field::wh2},
                           {"gr", Field::gr},
                           {"ab2", Field::ab2}};

std::int64_t offsetOf(Field field)
{
    return *image::fieldPosition(Range::List1, kRow, image::fieldInfo(field).offset);
}

std::vector<std::int64_t> editedOffsets()
{
    std::vector<std::int64_t> offsets;
    for (const auto &edit : kEdits) {
        offsets.push_back(offsetOf(edit.field));
    }
    std::ranges::sort(offsets);
    return offsets;
}

} // namespace

Q_DECLARE_METATYPE(const WindowFault *)

class WindowFaultsTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eachFailureIsOneTruthfulMessageAndLosesNothing_data();
    void eachFailureIsOneTruthfulMessageAndLosesNothing();

private:
    void reachPhase(Phase phase);
    void makeEdits();
    void act(Phase phase);
    void checkImage(Outcome outcome);
    void checkRecovery(Phase phase);

    testing::Snapshot m_before;
    std::unique_ptr<testing::ScriptedFileApi> m_api;
};

void WindowFaultsTest::init()
{
    m_api = std::make_unique<testing::ScriptedFileApi>();
    QVERIFY(startWindow(*m_api));
    m_before = testing::snapshotOf(m_image);
}

void WindowFaultsTest::cleanup()
{
    stopWindow();
    m_api.reset();
}

void WindowFaultsTest::makeEdits()
{
    const auto sample = tools::sampleFieldBytes(kRow);
    const auto byteOf = [&](Field field) { return sample[static_cast<std::size_t>(field)]; };
    m_driver->edit("hp")->setText(QString::number((byteOf(Field::hp) + 1) % 256));
    m_driver->edit("gr")->setText(QString::number((byteOf(Field::gr) + 1) % 256));
    for (const char *name : {"wh1", "wh2", "ab2"}) {
        app::ChoiceBox *box = m_driver->choice(name);
        box->choose((*m_driver->chosenPosition(name) + 1) % box->count());
    }
}

void WindowFaultsTest::reachPhase(Phase phase)
{
    if (phase == Phase::Open) {
        return;
    }
    m_driver->open(m_image);
    QCOMPARE(QString::fromStdString(m_driver->window().model().romPath()), testing::qpath(m_image));
    if (phase == Phase::Save) {
        m_driver->clickRow("List1", kRow);
        makeEdits();
        m_driver->showSaveButtons();
    }
    QVERIFY(m_answerer->messages.isEmpty());
}

void WindowFaultsTest::act(Phase phase)
{
    switch (phase) {
    case Phase::Open:
        m_driver->open(m_image);
        break;
    case Phase::Load:
        m_driver->clickRow("List1", kRow);
        break;
    case Phase::Save:
        m_driver->click("Command2");
        break;
    }
}

void WindowFaultsTest::checkImage(Outcome outcome)
{
    const auto after = testing::snapshotOf(m_image);
    QCOMPARE(after.size, m_before.size);
    const auto changed = testing::differingOffsets(m_before, after);
    switch (outcome) {
    case Outcome::Ends:
    case Outcome::Unchanged:
        QCOMPARE(changed, std::vector<std::int64_t>{});
        break;
    case Outcome::HalfWritten:
        for (const auto offset : changed) {
            QVERIFY2(std::ranges::binary_search(editedOffsets(), offset),
                     qPrintable(QString::number(offset, 16)));
        }
        break;
    case Outcome::Unconfirmed:
        QCOMPARE(changed, editedOffsets());
        break;
    case Outcome::Done:
        break;
    }
}

// Once the disk behaves again, the same window does what was asked, with nothing left over
// from the failure.
void WindowFaultsTest::checkRecovery(Phase phase)
{
    m_api->disarm();
    m_answerer->messages.clear();
    switch (phase) {
    case Phase::Open:
        m_driver->open(m_image);
        QCOMPARE(QString::fromStdString(m_driver->window().model().romPath()),
                 testing::qpath(m_image));
        break;
    case Phase::Load:
        m_driver->clickRow("List1", kRow);
        QCOMPARE(m_driver->edit("hp")->text(), QString::number(tools::sampleFieldBytes(kRow)[0]));
        break;
    case Phase::Save:
        m_driver->click("Command2");
        QCOMPARE(testing::differingOffsets(m_before, testing::snapshotOf(m_image)),
                 editedOffsets());
        break;
    }
    QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));
    QCOMPARE(m_api->openDescriptors(), 0);
}

void WindowFaultsTest::eachFailureIsOneTruthfulMessageAndLosesNothing_data()
{
    QTest::addColumn<const WindowFault *>("fault");
    for (const auto &fault : kFaults) {
        QTest::newRow(fault.name) << &fault;
    }
}

void WindowFaultsTest::eachFailureIsOneTruthfulMessageAndLosesNothing()
{
    QFETCH(const WindowFault *, fault);
    reachPhase(fault->phase);
    const QString typedHp = m_driver->edit("hp")->text();

    const Injected &injected = fault->injected;
    if (injected.armed && injected.armed->step) {
        m_api->failAfterStep(*injected.armed->step, 0, injected.armed->call, injected.armed->error,
                             injected.armed->sticky);
    } else if (injected.armed) {
        m_api->arm(injected.armed->call, injected.armed->error, injected.armed->nth,
                   injected.armed->sticky);
    }
    if (injected.budget) {
        m_api->failWritesAfter(injected.budget->bytes, injected.budget->error,
                               injected.budget->after);
    }
    if (injected.eachWriteLimit != 0) {
        m_api->limitEachWriteTo(injected.eachWriteLimit);
    }
    QSignalSpy ended(&m_driver->window(), &app::Form1::endProgram);
    act(fault->phase);
    QCOMPARE(m_api->openDescriptors(), 0);
    checkImage(fault->outcome);

    if (fault->outcome == Outcome::Done) {
        QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));
        if (fault->phase == Phase::Save) {
            QCOMPARE(testing::differingOffsets(m_before, testing::snapshotOf(m_image)),
                     editedOffsets());
        }
        return;
    }
    QCOMPARE(m_answerer->messages.size(), 1);
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(QString::fromLatin1(fault->says)), qPrintable(message));
    if (fault->outcome == Outcome::Ends) {
        QCOMPARE(message, QStringLiteral("Unsupported Rom"));
        QCOMPARE(ended.count(), 1);
        QVERIFY(!m_driver->window().isVisible());
        return;
    }

    QCOMPARE(ended.count(), 0);
    QVERIFY(m_driver->window().isVisible());
    QVERIFY2(message.contains(testing::qpath(m_image)), qPrintable(message));
    // A file that is not there has words of the window's own; every other failure gives the
    // system's.
    if (injected.error() != ENOENT) {
        const QString reason = QString::fromLocal8Bit(std::strerror(injected.error()));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }
    if (fault->outcome == Outcome::HalfWritten) {
        const QString entry =
            testing::qtext(catalogues::builtInCatalogues().entries(Range::List1).text(kRow));
        QVERIFY2(message.contains(QLatin1Char('"') + entry + QLatin1Char('"')),
                 qPrintable(message));
    }
    if (fault->phase == Phase::Save) {
        // What the user typed is still there to save again.
        QCOMPARE(m_driver->edit("hp")->text(), typedHp);
    }
    checkRecovery(fault->phase);
}

QTEST_MAIN(WindowFaultsTest)
#include "windowfaults_test.moc"
