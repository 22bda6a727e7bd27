#include "startup.h"

#include <fontconfig/fontconfig.h>

#include <future>
#include <memory>

namespace stats::app {

std::function<void()> beginFontStartUp()
{
    // Qt's first font look-up reads the whole font configuration, a fifth of the work before
    // the first frame. Read on another core while the application connects to the display (or
    // when the window is made, if no thread can be started), it is there when Qt asks for it.
    auto configuration = std::make_shared<std::future<FcBool>>(
        std::async(std::launch::async | std::launch::deferred, [] { return FcInit(); }));
    return [configuration] { configuration->wait(); };
}

void adaptToSystem()
{
    // The system's fonts are the ones the window was made with.
}

} // namespace stats::app
