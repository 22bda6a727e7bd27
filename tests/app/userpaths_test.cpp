// Files as users really have them, through the window, where the path goes from the file
// dialog through QString and back to bytes: names with blanks, accents and emoji, links,
// images that may not be written, images changed behind the window's back, and one image
// open in two windows. None of it may cost a byte the user did not mean to change.

#include "catalogues/catalogues.h"
#include "image/imagefile.h"
#include "image/statstable.h"
#include "modalanswerer.h"
#include "sample-image/sampleimage.h"
#include "support/fieldoffset.h"
#include "support/tempimage.h"
#include "windowdriver.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace stats;
using image::Field;
using image::Range;
using stats::testing::offsetOf;
using stats::testing::sampleByte;
using testing::qpath;

namespace {

// The file system's bytes for a path the window shows as text.
std::string bytesOf(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Acts as an ordinary user until it goes out of scope; root writes through permission bits.
// Only the effective user changes, so the test can become root again.
class OrdinaryUser
{
public:
    OrdinaryUser() : m_changed(::geteuid() == 0 && ::seteuid(65534) == 0) {}
    ~OrdinaryUser()
    {
        if (m_changed && ::seteuid(0) != 0) {
            qFatal("cannot become root again");
        }
    }
    OrdinaryUser(const OrdinaryUser &) = delete;
    OrdinaryUser &operator=(const OrdinaryUser &) = delete;

private:
    bool m_changed;
};

} // namespace

class UserPathsTest : public QObject, public testing::WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void anyNameOpensLoadsSavesAndShowsInMessages_data();
    void anyNameOpensLoadsSavesAndShowsInMessages();
    void aNameThatIsNotUtf8IsNeverWrittenNorCreated();
    void aNameThatIsNotUtf8OpensByItsBytesAndShowsEscaped();
    void aLinkOpensAndSavesTheImageItPointsTo();
    void anImageWhoseWritePermissionWasTakenAwayIsNotSaved();
    void anImageOnAReadOnlyMountIsNotSaved();
    void anImageChangedBehindTheWindowsBack_data();
    void anImageChangedBehindTheWindowsBack();
    void twoWindowsOnOneImageSaveTheirOwnEntries();
    void twoWindowsOnOneEntryDoNotUndoEachOther();

private:
    [[nodiscard]] std::string newImage(const std::string &name) const
    {
        const auto path = m_dir->file(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        if (!testing::makeSampleImage(path)) {
            qFatal("cannot make %s", path.c_str());
        }
        return path;
    }
    // Opens @p path in the window, loads List 1's @p row and changes its hp by one.
    void openLoadAndEdit(testing::WindowDriver &driver, const QString &path, int row,
                         const char *field = "hp");
    // Saves the edited hp of List 1's row 3 into @p path, where no other byte may change from
    // @p before; then takes the file away and loads row 4, which the window tells of in one
    // message.
    void saveThenLoseTheFile(const std::string &path, const testing::Snapshot &before);
};

void UserPathsTest::init()
{
    QVERIFY(startWindow(image::systemFileApi(), false));
    // An ordinary user must be able to reach the images.
    QCOMPARE(::chmod(m_dir->path().c_str(), 0755), 0);
}

void UserPathsTest::cleanup()
{
    stopWindow();
}

void UserPathsTest::openLoadAndEdit(testing::WindowDriver &driver, const QString &path, int row,
                                    const char *field)
{
    driver.open(path);
    QCOMPARE(QString::fromStdString(driver.window().model().romPath()), path);
    driver.clickRow("List1", row);
    QLineEdit *edit = driver.edit(field);
    edit->setText(QString::number((edit->text().toInt() + 1) % 256));
    driver.showSaveButtons();
}

void UserPathsTest::saveThenLoseTheFile(const std::string &path, const testing::Snapshot &before)
{
    m_driver->click("Command2");
    QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(path)),
             std::vector<std::int64_t>{offsetOf(Range::List1, 3, Field::hp)});
    QCOMPARE(::unlink(path.c_str()), 0);
    m_driver->clickRow("List1", 4);
    QCOMPARE(m_answerer->messages.size(), 1);
}

void UserPathsTest::anyNameOpensLoadsSavesAndShowsInMessages_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << QStringLiteral("my images/base stats  copy 2 .nds");
    QTest::newRow("accents") << QStringLiteral("Größe été ñandú/Ωμέγα.nds");
    QTest::newRow("CJK") << QStringLiteral("画像/データ.nds");
    // A game controller and a grinning face, both outside the Basic Multilingual Plane.
    QTest::newRow("emoji") << QStringLiteral("\U0001F3AE saves/\U0001F600 main.nds");
    // Quotes and wildcards are left out: typed into the dialog they mean several names or a
    // filter; the core's own test covers them in names.
    QTest::newRow("shell characters") << QStringLiteral("a;b 'c' $e #g & (h) [i].nds");
}

void UserPathsTest::anyNameOpensLoadsSavesAndShowsInMessages()
{
    QFETCH(QString, name);
    const std::string path = newImage(bytesOf(name));
    const QString shown = qpath(path);
    const auto before = testing::snapshotOf(path);
    openLoadAndEdit(*m_driver, shown, 3);
    saveThenLoseTheFile(path, before);
    if (QTest::currentTestFailed()) {
        return;
    }
    // A message names the file exactly as the user knows it.
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(QLatin1Char('\n') + shown + QLatin1Char('\n')), qPrintable(message));
    QVERIFY(!std::filesystem::exists(path));
}

// Qt reads every file name as UTF-8, so a name in an older encoding reaches the dialog's
// answer with a replacement character and cannot be opened by it. The file behind it must come
// to no harm, and no file of the mangled name may appear.
void UserPathsTest::aNameThatIsNotUtf8IsNeverWrittenNorCreated()
{
    const std::string path = newImage("caf\xe9.nds");
    const auto before = testing::snapshotOf(path);
    const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
    QVERIFY(shown.contains(QChar::ReplacementCharacter));
    QSignalSpy ended(&m_driver->window(), &app::Form1::endProgram);
    m_driver->open(shown);
    // Nothing is at the mangled name, which the window tells as any missing file.
    QVERIFY2(
        m_answerer->messages.value(0).text.startsWith(QStringLiteral("The file cannot be read")),
        qPrintable(m_answerer->messages.value(0).text));
    QCOMPARE(ended.count(), 0);
    QCOMPARE(testing::snapshotOf(path), before);
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(m_dir->path())) {
        names.push_back(entry.path().filename().string());
    }
    QCOMPARE(names, std::vector<std::string>{"caf\xe9.nds"});
}

// The command line hands the editor a name's own bytes, which open the file; a message shows
// them as stats-table shows a cell, so that no name can colour or hide the text.
void UserPathsTest::aNameThatIsNotUtf8OpensByItsBytesAndShowsEscaped()
{
    const std::string path = newImage("caf\xe9 \x1b[31m.nds");
    const auto before = testing::snapshotOf(path);
    m_driver->window().openImage(path);
    QCOMPARE(m_driver->window().model().romPath(), path);
    m_driver->clickRow("List1", 3);
    m_driver->edit("hp")->setText(QStringLiteral("7"));
    m_driver->showSaveButtons();
    saveThenLoseTheFile(path, before);
    if (QTest::currentTestFailed()) {
        return;
    }
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(QStringLiteral("/caf\\xE9 \\u001B[31m.nds\n")), qPrintable(message));
    QVERIFY(!message.contains(QChar(0x1B)));
}

void UserPathsTest::aLinkOpensAndSavesTheImageItPointsTo()
{
    const std::string target = newImage("images/real image.nds");
    std::filesystem::create_symlink("images/real image.nds", m_dir->file("shortcut.nds"));
    const auto before = testing::snapshotOf(target);
    openLoadAndEdit(*m_driver, qpath(m_dir->file("shortcut.nds")), 20, "spd");
    m_driver->click("Command2");
    QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(target)),
             std::vector<std::int64_t>{offsetOf(Range::List1, 20, Field::spd)});
    QVERIFY(std::filesystem::is_symlink(m_dir->file("shortcut.nds")));
    QCOMPARE(std::filesystem::read_symlink(m_dir->file("shortcut.nds")).string(),
             std::string("images/real image.nds"));
}

void UserPathsTest::anImageWhoseWritePermissionWasTakenAwayIsNotSaved()
{
    const std::string path = newImage("write protected.nds");
    if (::geteuid() == 0) {
        QCOMPARE(::chown(path.c_str(), 65534, 65534), 0);
    }
    const auto before = testing::snapshotOf(path);
    const OrdinaryUser user;
    openLoadAndEdit(*m_driver, qpath(path), 30);
    QVERIFY(m_answerer->messages.isEmpty());
    // Taken away while the image is open, as the user or another program may do.
    QCOMPARE(::chmod(path.c_str(), 0444), 0);
    QSignalSpy ended(&m_driver->window(), &app::Form1::endProgram);
    m_driver->click("Command2");
    QCOMPARE(m_answerer->messages.size(), 1);
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(qpath(path)), qPrintable(message));
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(EACCES))), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("Nothing was saved")), qPrintable(message));
    QCOMPARE(ended.count(), 0);
    QVERIFY(m_driver->window().isVisible());
    QCOMPARE(testing::snapshotOf(path), before);

    // Given back, the same save goes through.
    QCOMPARE(::chmod(path.c_str(), 0644), 0);
    m_driver->click("Command2");
    QCOMPARE(m_answerer->messages.size(), 1);
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(path)),
             std::vector<std::int64_t>{offsetOf(Range::List1, 30, Field::hp)});
}

// A read-only mount refuses even root. The mount lives in a mount namespace of the test
// program's own, so nothing outside it sees the mount.
void UserPathsTest::anImageOnAReadOnlyMountIsNotSaved()
{
    const std::string path = newImage("source/on a read-only mount.nds");
    const auto before = testing::snapshotOf(path);
    const std::string mountPoint = m_dir->file("mounted");
    std::filesystem::create_directory(mountPoint);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        QSKIP("this machine does not let the test have mounts of its own");
    }
    if (::mount(m_dir->file("source").c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) !=
        0) {
        QSKIP("this machine does not let the test bind a folder");
    }
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.c_str(), MNT_DETACH); });
    if (::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
        0) {
        QSKIP("this machine does not let the test make a mount read-only");
    }
    const QString mounted = qpath(mountPoint + "/on a read-only mount.nds");
    openLoadAndEdit(*m_driver, mounted, 40);
    QVERIFY(m_answerer->messages.isEmpty());
    m_driver->click("Command2");
    QCOMPARE(m_answerer->messages.size(), 1);
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(mounted), qPrintable(message));
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(EROFS))), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("Nothing was saved")), qPrintable(message));
    QVERIFY(m_driver->window().isVisible());
    QCOMPARE(testing::snapshotOf(path), before);
}

namespace {

enum class Change { Grown, CutBeforeTheRecord, ReplacedByOtherFile, ReplacedByOtherImage };

} // namespace

void UserPathsTest::anImageChangedBehindTheWindowsBack_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("says");
    QTest::newRow("grown") << static_cast<int>(Change::Grown) << QString();
    QTest::newRow("cut before the record")
        << static_cast<int>(Change::CutBeforeTheRecord) << QStringLiteral("ends before");
    QTest::newRow("replaced by another file")
        << static_cast<int>(Change::ReplacedByOtherFile) << QStringLiteral("not a supported");
    QTest::newRow("replaced by another image")
        << static_cast<int>(Change::ReplacedByOtherImage) << QStringLiteral("Nothing was saved");
}

// Between the load and the save another program changes the file. The save either writes the
// user's edits into the very record they were loaded from, or nothing at all.
void UserPathsTest::anImageChangedBehindTheWindowsBack()
{
    QFETCH(int, change);
    QFETCH(QString, says);
    constexpr int row = 50;
    const std::string path = newImage("changing.nds");
    openLoadAndEdit(*m_driver, qpath(path), row);
    QVERIFY(m_answerer->messages.isEmpty());

    switch (static_cast<Change>(change)) {
    case Change::Grown: {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "tail", 4), ssize_t{4});
        ::close(fd);
        break;
    }
    case Change::CutBeforeTheRecord:
        QCOMPARE(::truncate(path.c_str(), offsetOf(Range::List1, row, Field::hp) + 10), 0);
        break;
    case Change::ReplacedByOtherFile:
        QVERIFY(testing::writeFile(m_dir->file("other.bin"), std::vector<std::uint8_t>(4096, 1)));
        std::filesystem::rename(m_dir->file("other.bin"), path);
        break;
    case Change::ReplacedByOtherImage: {
        // Another image, whose record holds values the window never showed.
        const std::string other = newImage("other.nds");
        QVERIFY(image::saveEntry(other, Range::List1, row, tools::sampleFieldBytes(row + 100))
                    .has_value());
        std::filesystem::rename(other, path);
        break;
    }
    }
    const auto before = testing::snapshotOf(path);
    m_driver->click("Command2");
    const auto after = testing::snapshotOf(path);
    QCOMPARE(after.size, before.size);
    QVERIFY(m_driver->window().isVisible());
    if (says.isEmpty()) {
        QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));
        QCOMPARE(testing::differingOffsets(before, after),
                 std::vector<std::int64_t>{offsetOf(Range::List1, row, Field::hp)});
        return;
    }
    QCOMPARE(m_answerer->messages.size(), 1);
    const QString message = m_answerer->messages.first().text;
    QVERIFY2(message.contains(says), qPrintable(message));
    QVERIFY2(message.contains(qpath(path)), qPrintable(message));
    QCOMPARE(after, before);
}

void UserPathsTest::twoWindowsOnOneImageSaveTheirOwnEntries()
{
    const std::string path = newImage("shared.nds");
    const auto before = testing::snapshotOf(path);
    testing::WindowDriver second(*m_answerer);
    openLoadAndEdit(*m_driver, qpath(path), 3, "hp");
    openLoadAndEdit(second, qpath(path), 10, "atk");
    second.click("Command2");
    m_driver->click("Command2");
    // Each window loads the other's save, then saves again unchanged.
    m_driver->clickRow("List1", 10);
    second.clickRow("List1", 3);
    QCOMPARE(m_driver->edit("atk")->text(),
             QString::number((sampleByte(10, Field::atk) + 1) % 256));
    QCOMPARE(second.edit("hp")->text(), QString::number((sampleByte(3, Field::hp) + 1) % 256));
    m_driver->click("Command2");
    second.click("Command2");
    QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.value(0).text));
    QCOMPARE(testing::differingOffsets(before, testing::snapshotOf(path)),
             (std::vector<std::int64_t>{offsetOf(Range::List1, 3, Field::hp),
                                        offsetOf(Range::List1, 10, Field::atk)}));
}

// Both windows show the same entry; one saves a change, then the other saves a change of
// another field. The second save must not put back the value the first one replaced.
void UserPathsTest::twoWindowsOnOneEntryDoNotUndoEachOther()
{
    constexpr int row = 5;
    const std::string path = newImage("shared entry.nds");
    testing::WindowDriver second(*m_answerer);
    openLoadAndEdit(*m_driver, qpath(path), row, "atk");
    openLoadAndEdit(second, qpath(path), row, "hp");
    second.click("Command2");
    const auto afterSecond = testing::snapshotOf(path);
    QVERIFY(m_answerer->messages.isEmpty());

    m_driver->click("Command2");
    QCOMPARE(testing::snapshotOf(path), afterSecond);
    QCOMPARE(m_answerer->messages.size(), 1);
    QVERIFY(m_answerer->messages.first().text.contains(
        testing::qtext(catalogues::builtInCatalogues().entries(Range::List1).text(row))));
    // Loaded again, the first window shows the second one's hp and can add its own change.
    m_driver->clickRow("List1", row);
    m_driver->edit("atk")->setText(QString::number((sampleByte(row, Field::atk) + 1) % 256));
    m_driver->click("Command2");
    QCOMPARE(testing::readBytes(path, offsetOf(Range::List1, row, Field::hp), 1).at(0),
             (sampleByte(row, Field::hp) + 1) % 256);
}

QTEST_MAIN(UserPathsTest)
#include "userpaths_test.moc"
