#include "host/Sleep.h"

#include <cerrno>
#include <ctime>

namespace {

FSleepFunction& SleepOverride() {
    static FSleepFunction function;
    return function;
}

}  // namespace

extern "C" void RHSLEEP_InTeRnAl(unsigned int milliseconds, const char* /*file*/, int /*line*/) {
    if (SleepOverride()) {
        SleepOverride()(milliseconds);
        return;
    }
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal may cut the sleep short; sleep out the rest.
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

FSleepFunction SetSleepFunction(FSleepFunction function) {
    FSleepFunction previous = SleepOverride();
    SleepOverride() = std::move(function);
    return previous;
}
