#include "files/warnings.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace carconv {

namespace {

// The innermost sink installed on this thread; none means stderr.
thread_local const WarningSink* threadSink = nullptr;

// One line per warning even when several threads print at once.
std::mutex stderrMutex;

}  // namespace

void ReportWarning(const std::string& message) {
    if (threadSink != nullptr && *threadSink) {
        (*threadSink)(message);
        return;
    }
    const std::string line = "carconv: warning: " + message + "\n";
    std::lock_guard<std::mutex> lock(stderrMutex);
    std::fputs(line.c_str(), stderr);
}

ScopedWarningSink::ScopedWarningSink(WarningSink sink)
    : sink_(std::move(sink)), previous_(threadSink) {
    threadSink = &sink_;
}

ScopedWarningSink::~ScopedWarningSink() {
    threadSink = previous_;
}

}  // namespace carconv
