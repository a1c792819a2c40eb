#include "files/warnings.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace carconv {

namespace {

std::mutex sinkMutex;

WarningSink& CurrentSink() {
    static WarningSink sink = [](const std::string& message) {
        std::fprintf(stderr, "carconv: warning: %s\n", message.c_str());
    };
    return sink;
}

}  // namespace

void ReportWarning(const std::string& message) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    CurrentSink()(message);
}

ScopedWarningSink::ScopedWarningSink(WarningSink sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    previous_ = std::exchange(CurrentSink(), std::move(sink));
}

ScopedWarningSink::~ScopedWarningSink() {
    std::lock_guard<std::mutex> lock(sinkMutex);
    CurrentSink() = std::move(previous_);
}

}  // namespace carconv
