#include <corvid/platform/subsystem.h>

#include <corvid/platform/error.h>
#include <corvid/platform/sys.h>

#include <atomic>

namespace corvid::platform {

namespace {

std::atomic<int> start_count{0};
thread_local int thread_error = 0;

}  // namespace

int startup() noexcept {
    int status = sys::calls().startup();
    if (status == 0) ++start_count;
    return status;
}

int cleanup() noexcept {
    // Take the count back only when there is one, so that a surplus clean-up
    // cannot drive it below zero while another thread starts.
    int count = start_count.load();
    do {
        if (count == 0) {
            set_last_error(static_cast<int>(socket_errc::not_initialised));
            return -1;
        }
    } while (!start_count.compare_exchange_weak(count, count - 1));
    int status = sys::calls().cleanup();
    if (status != 0) {
        ++start_count;  // a failed stop leaves the subsystem running
        set_last_error(status);
        return -1;
    }
    return 0;
}

bool started() noexcept { return start_count.load() > 0; }

int last_error() noexcept { return thread_error; }

void set_last_error(int code) noexcept { thread_error = code; }

}  // namespace corvid::platform
