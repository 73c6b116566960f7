// Lists the sound system's devices and ends: the device listing alone (PortAudio's start, which
// opens JACK clients), for tests that run it in a process of its own with libjack's threads held
// back.
#include <cstdio>
#include <cstdlib>

#include "support/HeldBackJack.h"

int main() {
    ::unsetenv("SORVEL_VIRTUAL_IN");
    ::unsetenv("SORVEL_VIRTUAL_OUT");
    std::fputs(heldjack::DeviceListing().c_str(), stdout);
    std::fflush(stdout);
    // Ends only once every thread held back has begun, so that one that runs on memory libjack
    // freed meets it while this process lives.
    return heldjack::AwaitHeldThreads() ? 0 : 2;
}
