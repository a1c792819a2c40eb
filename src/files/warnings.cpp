#include "files/warnings.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace carconv {

namespace {

// The innermost sink installed on this thread; none means stderr.
thread_local const ScopedWarningSink* threadSink = nullptr;

// One line per warning even when several threads print at once.
std::mutex stderrMutex;

}  // namespace

void ReportWarning(const std::string& message) {
    if (threadSink != nullptr && threadSink->drops_)
        return;
    if (threadSink != nullptr && threadSink->sink_) {
        threadSink->sink_(message);
        return;
    }
    const std::string line = "carconv: warning: " + message + "\n";
    std::lock_guard<std::mutex> lock(stderrMutex);
    std::fputs(line.c_str(), stderr);
}

bool WarningsHeard() {
    return threadSink == nullptr || !threadSink->drops_;
}

ScopedWarningSink::ScopedWarningSink(WarningSink sink)
    : sink_(std::move(sink)), previous_(threadSink) {
    threadSink = this;
}

ScopedWarningSink::ScopedWarningSink(DropWarnings) : drops_(true), previous_(threadSink) {
    threadSink = this;
}

ScopedWarningSink::~ScopedWarningSink() {
    threadSink = previous_;
}

}  // namespace carconv
