// Starts whole programs under the X server named by DISPLAY and measures, from the moment
// each is started, when its window is mapped and when its first frame is on the screen, and
// how much memory it holds once it is up. Usage:
//
//   bench-startup RUNS NAME=PROGRAM...
//
// prints the figures process/NAME (start to first frame), mapped/NAME (start to map) and
// rss/NAME (peak resident memory), each the median of RUNS starts. The programs take turns,
// in a rotating order, so that a slow moment of the machine falls on all of them alike.
//
// The first frame is seen from the server's side: the server starts with a black screen and
// the window has no background of its own, so it shows black until the program has drawn
// into it. The probe reads the window's pixels back until one is not black.

#include "bench/figures.h"

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using stats::bench::Unit;

constexpr auto kStartTimeout = std::chrono::seconds(20);
// Time the program gets after its first frame before its memory is read, for the work a
// toolkit does just after the first frame.
constexpr auto kSettleTime = std::chrono::milliseconds(300);

struct Program
{
    std::string name;
    std::string path;
};

struct Start
{
    double mappedSeconds;
    double frameSeconds;
    double peakBytes;
};

struct FreeDeleter
{
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

class Display
{
public:
    Display()
    {
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection) != 0) {
            return;
        }
        auto screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber; ++i) {
            xcb_screen_next(&screens);
        }
        m_root = screens.data->root;
        // Every window mapped on the root is reported to the probe.
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
    ~Display() { xcb_disconnect(m_connection); }
    Display(const Display &) = delete;
    Display &operator=(const Display &) = delete;

    [[nodiscard]] bool connected() const { return xcb_connection_has_error(m_connection) == 0; }

    void discardEvents()
    {
        while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
        }
    }

    // The next top-level window mapped, or nothing when none is by the deadline.
    [[nodiscard]] std::optional<xcb_window_t> waitForMap(Clock::time_point deadline, pid_t child)
    {
        while (Clock::now() < deadline && isRunning(child)) {
            while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event.get());
                    if (map->event == m_root && map->override_redirect == 0) {
                        return map->window;
                    }
                }
            }
            pollfd wake{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&wake, 1, 5);
        }
        return std::nullopt;
    }

    // Whether anything has been drawn into the window: one of its pixels is not black.
    [[nodiscard]] bool hasDrawn(xcb_window_t window)
    {
        const XcbReply<xcb_get_geometry_reply_t> geometry{
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr)};
        if (!geometry) {
            return false;
        }
        const XcbReply<xcb_get_image_reply_t> image{
            xcb_get_image_reply(m_connection,
                                xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                              geometry->width, geometry->height, 0x00ffffff),
                                nullptr)};
        if (!image) {
            return false;
        }
        const std::uint8_t *pixels = xcb_get_image_data(image.get());
        const int length = xcb_get_image_data_length(image.get());
        for (int i = 0; i < length; ++i) {
            if (pixels[i] != 0) {
                return true;
            }
        }
        return false;
    }

    static bool isRunning(pid_t child)
    {
        int status = 0;
        return ::waitpid(child, &status, WNOHANG) == 0;
    }

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
};

// The peak resident memory of a running process, from /proc; 0 when it cannot be read.
double peakResidentBytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtod(line.c_str() + 6, nullptr) * 1024;
        }
    }
    return 0;
}

pid_t startProgram(const std::string &path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        // The real platform, whatever the caller's environment asks for, and nothing of the
        // programs' chatter in the table.
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        const int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(nothing, STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
        char *const argv[] = {const_cast<char *>(path.c_str()), nullptr};
        ::execv(path.c_str(), argv);
        ::_exit(127);
    }
    return child;
}

void stopProgram(pid_t child)
{
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
}

std::optional<Start> measureStart(Display &display, const Program &program)
{
    display.discardEvents();
    const auto started = Clock::now();
    const pid_t child = startProgram(program.path);
    if (child < 0) {
        std::perror("fork");
        return std::nullopt;
    }
    const auto deadline = started + kStartTimeout;
    const auto window = display.waitForMap(deadline, child);
    const auto mapped = Clock::now();
    bool drawn = false;
    while (window && !drawn && Clock::now() < deadline) {
        drawn = display.hasDrawn(*window);
    }
    const auto framed = Clock::now();
    if (!drawn) {
        std::fprintf(stderr, "%s: no window was drawn\n", program.path.c_str());
        stopProgram(child);
        return std::nullopt;
    }
    std::this_thread::sleep_for(kSettleTime);
    const double peak = peakResidentBytes(child);
    stopProgram(child);
    return Start{secondsBetween(started, mapped), secondsBetween(started, framed), peak};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNS NAME=PROGRAM...\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto equals = argument.find('=');
        if (equals == std::string::npos || runs < 1) {
            std::fprintf(stderr, "usage: %s RUNS NAME=PROGRAM...\n", argv[0]);
            return 2;
        }
        programs.push_back({argument.substr(0, equals), argument.substr(equals + 1)});
    }
    Display display;
    if (!display.connected()) {
        std::fprintf(stderr, "%s: cannot connect to the X server\n", argv[0]);
        return 1;
    }
    // One start of each first, not counted: it brings the libraries and fonts into the page
    // cache, where every later start finds them, as on a machine that has run Qt programs.
    for (const auto &program : programs) {
        if (!measureStart(display, program)) {
            return 1;
        }
    }
    std::vector<std::vector<Start>> starts(programs.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t turn = 0; turn < programs.size(); ++turn) {
            const std::size_t which = (turn + static_cast<std::size_t>(run)) % programs.size();
            const auto start = measureStart(display, programs[which]);
            if (!start) {
                return 1;
            }
            starts[which].push_back(*start);
        }
    }
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::vector<double> mapped;
        std::vector<double> framed;
        std::vector<double> peak;
        for (const Start &start : starts[i]) {
            mapped.push_back(start.mappedSeconds);
            framed.push_back(start.frameSeconds);
            peak.push_back(start.peakBytes);
        }
        const std::string &name = programs[i].name;
        stats::bench::printFigure(stdout, "process/" + name, stats::bench::median(framed),
                                  Unit::Seconds);
        stats::bench::printFigure(stdout, "mapped/" + name, stats::bench::median(mapped),
                                  Unit::Seconds);
        stats::bench::printFigure(stdout, "rss/" + name, stats::bench::median(peak), Unit::Bytes);
        std::fprintf(stderr,
                     "  %-10s first frame %7.1f ms, mapped %7.1f ms, peak memory %6.1f MiB\n",
                     name.c_str(), stats::bench::median(framed) * 1e3,
                     stats::bench::median(mapped) * 1e3, stats::bench::median(peak) / 1048576);
    }
    return 0;
}
