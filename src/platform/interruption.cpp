#include "platform/interruption.h"

#include <atomic>
#include <cstdlib>

#include "platform/temporary_path.h"

namespace carconv {

namespace {

std::atomic<int> stopSignal{0};

}  // namespace

InterruptedError::InterruptedError(int signal)
    : std::runtime_error("interrupted"), signal_(signal) {}

void RequestStop(int signal) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
}

bool StopRequested() {
    return stopSignal.load(std::memory_order_relaxed) != 0;
}

int StopSignal() {
    return stopSignal.load();
}

void ThrowIfStopRequested() {
    if (const int signal = stopSignal.load(std::memory_order_relaxed); signal != 0)
        throw InterruptedError(signal);
}

void ClearStopRequest() {
    stopSignal.store(0);
}

void EndInterruptedProcess(int signal) {
    RemoveAllTemporaryPaths(true);
    // Not through stdio: the thread it interrupts may hold the lock of stderr.
    WriteToStandardError("carconv: interrupted\n");
    std::_Exit(128 + signal);
}

}  // namespace carconv
