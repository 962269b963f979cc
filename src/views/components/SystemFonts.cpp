#include "views/components/SystemFonts.h"

#include <mutex>
#include <thread>
#include <utility>

namespace {

struct Reader
{
    std::mutex mutex;
    bool started = false;
    std::thread thread;
    // A process that ends before anyone waited (a helper run that shows no
    // window) still lets the reading finish rather than abort it.
    ~Reader()
    {
        if (thread.joinable())
            thread.join();
    }
};

Reader &reader()
{
    static Reader instance;
    return instance;
}

} // namespace

void SystemFonts::startReading()
{
    Reader &state = reader();
    const std::lock_guard lock(state.mutex);
    if (std::exchange(state.started, true))
        return;
    state.thread = std::thread(&SystemFonts::read);
}

void SystemFonts::waitRead()
{
    Reader &state = reader();
    const std::lock_guard lock(state.mutex);
    if (state.thread.joinable())
        state.thread.join();
}
