// The editor's window beside a minimal Qt window, both built, shown and painted offscreen in
// this process: start-up from nothing to the first painted frame with every list filled, and
// loads of an entry through the keyboard until the fields show it.

#include "app/controls.h"
#include "app/form1.h"
#include "bench/figurereporter.h"
#include "bench/minimalwindow.h"
#include "bench/plainwindow.h"
#include "sample-image/sampleimage.h"
#include "support/tempimage.h"
#include "tests/app/modalanswerer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace stats;
using Clock = std::chrono::steady_clock;

constexpr int kLoadsPerRun = 100;
constexpr int kFrameTimeoutMs = 10000;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Notes when a widget is first painted. The whole window is painted in one pass that starts
// with its top-level widget, so once the event that began it is handled the frame is done.
class PaintWatcher : public QObject
{
public:
    explicit PaintWatcher(QWidget &widget) { widget.installEventFilter(this); }

    [[nodiscard]] bool painted() const { return m_painted; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            m_painted = true;
        }
        return false;
    }

private:
    bool m_painted = false;
};

// Shows the window and handles events until its first frame is painted.
bool showFirstFrame(QWidget &window)
{
    const PaintWatcher watcher(window);
    window.show();
    QElapsedTimer waited;
    waited.start();
    while (!watcher.painted() && waited.elapsed() < kFrameTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return watcher.painted();
}

// Paints what the last input changed, as the next turn of the event loop would.
void paintPendingUpdates()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The editor with the names it starts with when no pack is given.
class EditorWindow : public app::Form1
{
public:
    EditorWindow() : Form1(catalogues::builtInCatalogues()) {}
};

template <typename Window> void windowStartup(benchmark::State &state)
{
    for (auto _ : state) {
        const auto start = Clock::now();
        auto window = std::make_unique<Window>();
        const bool painted = showFirstFrame(*window);
        state.SetIterationTime(secondsSince(start));
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!painted) {
            state.SkipWithError("the window was never painted");
            break;
        }
    }
}

// The editor shown with an image open, answered through its own open dialog as a person
// would, and List 1 with the focus.
class EditorWithImage
{
public:
    explicit EditorWithImage(const std::string &image)
    {
        shown = showFirstFrame(window);
        testing::ModalAnswerer answerer;
        answerer.chooseFile(QString::fromStdString(image));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Command1")),
                          Qt::LeftButton);
        window.activateWindow();
        list = window.findChild<app::EntryList *>(QStringLiteral("List1"));
        hp = window.findChild<QLineEdit *>(QStringLiteral("hp"));
        list->setFocus();
        paintPendingUpdates();
    }

    // Whether the fields show the record of the selected row, as the sample image holds it.
    [[nodiscard]] bool showsSelectedRow() const
    {
        const auto row = list->selectedRow();
        return shown && row && window.model().currentIndex() == *row &&
               hp->text() == QString::number(tools::sampleFieldBytes(*row)[0]);
    }

    app::Form1 window{catalogues::builtInCatalogues()};
    app::EntryList *list = nullptr;
    QLineEdit *hp = nullptr;
    bool shown = false;
};

class MinimalWithList
{
public:
    MinimalWithList()
    {
        shown = showFirstFrame(window);
        list = window.list();
        list->setFocus();
        paintPendingUpdates();
    }

    [[nodiscard]] bool showsSelectedRow() const
    {
        return shown && list->selectionModel()->selectedRows().size() == 1;
    }

    bench::MinimalWindow window;
    QListView *list = nullptr;
    bool shown = false;
};

template <typename Subject> void keepRoomBelow(Subject &subject, int keys)
{
    if (subject.list->currentIndex().row() + keys >= subject.list->model()->rowCount()) {
        QTest::keyClick(subject.list, Qt::Key_Home);
        paintPendingUpdates();
    }
}

// How much of a key's effect a figure counts: the load alone, which is done when the key
// event returns with the fields holding the new values, or also the frame that shows them.
enum class Frame { NotCounted, Counted };

// Presses Down @p keys times and returns the seconds it took; whatever is left to paint is
// painted afterwards, outside the time, so that every press starts from a painted window.
template <typename Subject> double pressDown(Subject &subject, int keys, Frame frame)
{
    keepRoomBelow(subject, keys);
    const auto start = Clock::now();
    for (int i = 0; i < keys; ++i) {
        QTest::keyClick(subject.list, Qt::Key_Down);
        if (frame == Frame::Counted) {
            paintPendingUpdates();
        }
    }
    const double seconds = secondsSince(start);
    paintPendingUpdates();
    return seconds;
}

template <typename Subject>
void keyLoads(benchmark::State &state, Subject &subject, int keys, Frame frame)
{
    for (auto _ : state) {
        state.SetIterationTime(pressDown(subject, keys, frame));
    }
    if (!subject.showsSelectedRow()) {
        state.SkipWithError("the fields do not show the selected row");
    }
}

void registerBenchmarks(const std::string &image)
{
    const auto add = [](const char *name, auto function) {
        benchmark::RegisterBenchmark(name, function)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("window/editor", [](benchmark::State &state) { windowStartup<EditorWindow>(state); });
    add("window/minimal",
        [](benchmark::State &state) { windowStartup<bench::MinimalWindow>(state); });
    add("window/plain-controls",
        [](benchmark::State &state) { windowStartup<bench::PlainControlsWindow>(state); });
    struct KeyRun
    {
        const char *name;
        int keys;
        Frame frame;
    };
    constexpr std::array<KeyRun, 4> runs{{
        {"key-load", 1, Frame::NotCounted},
        {"key-load-painted", 1, Frame::Counted},
        {"key-loads-100", kLoadsPerRun, Frame::NotCounted},
        {"key-loads-100-painted", kLoadsPerRun, Frame::Counted},
    }};
    for (const KeyRun &run : runs) {
        add((std::string(run.name) + "/editor").c_str(), [image, run](benchmark::State &state) {
            EditorWithImage editor(image);
            keyLoads(state, editor, run.keys, run.frame);
        });
        add((std::string(run.name) + "/minimal").c_str(), [run](benchmark::State &state) {
            MinimalWithList minimal;
            keyLoads(state, minimal, run.keys, run.frame);
        });
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Both windows on the same platform, without a display server, and with Qt's own file
    // dialog, which the benchmark can answer.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QPA_PLATFORMTHEME");
    qunsetenv("QT_STYLE_OVERRIDE");
    QApplication application(argc, argv);

    const testing::TempDir folder;
    const std::string image = folder.file("image.nds");
    if (const auto written = tools::writeSampleImage(image, std::int64_t{128} << 20); !written) {
        std::fprintf(stderr, "%s: %s\n", image.c_str(), written.error().c_str());
        return 1;
    }
    registerBenchmarks(image);
    return stats::bench::runBenchmarks(argc, argv);
}
