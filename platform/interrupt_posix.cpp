#include "platform/interrupt.h"

#include <array>
#include <atomic>
#include <csignal>
#include <string>
#include <unistd.h>

namespace stats::platform {

namespace {

// The file that a signal which ends the process removes first; nullptr when there is none.
// Read by the handler, so it is a lock-free atomic over text that outlives the guard's use.
std::atomic<const char *> g_removed{nullptr};
std::string g_removedText;

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct ::sigaction, kSignals.size()> g_old{};

extern "C" void removeAndEnd(int signal)
{
    if (const char *path = g_removed.load()) {
        ::unlink(path);
    }
    // The default action ends the process once the handler returns, as if it had none.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

RemovedOnInterrupt::RemovedOnInterrupt(const Path &path)
{
    g_removedText = path.text();
    g_removed = g_removedText.c_str();
    struct ::sigaction action
    {
    };
    action.sa_handler = removeAndEnd;
    ::sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], nullptr, &g_old[i]);
        // A signal that the process ignores stays ignored.
        if (g_old[i].sa_handler != SIG_IGN) {
            ::sigaction(kSignals[i], &action, nullptr);
        }
    }
}

RemovedOnInterrupt::~RemovedOnInterrupt()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &g_old[i], nullptr);
    }
    g_removed = nullptr;
}

} // namespace stats::platform
