#pragma once

// Warnings: problems the conversion reports and then works around. The front end prints each as
// "carconv: warning: <message>" on stderr; tests and the batch conversion install their own sink
// to collect or label them.
//
// Sinks belong to a thread: a ScopedWarningSink catches the warnings of the thread that created
// it, so conversions running side by side on worker threads never see each other's sinks, and
// a thread without a sink of its own prints to stderr, one whole line per warning.

#include <functional>
#include <string>

namespace carconv {

using WarningSink = std::function<void(const std::string& message)>;

void ReportWarning(const std::string& message);

// False while the calling thread's sink drops every warning: code that may report thousands (the
// members of a damaged archive) need not compose them then.
bool WarningsHeard();

// The tag of a sink that drops every warning.
struct DropWarnings {};

// Installs `sink` for the calling thread for the lifetime of the object and restores that
// thread's previous sink afterwards. Must be destroyed on the thread that created it.
class ScopedWarningSink {
  public:
    explicit ScopedWarningSink(WarningSink sink);
    explicit ScopedWarningSink(DropWarnings);
    ~ScopedWarningSink();
    ScopedWarningSink(const ScopedWarningSink&) = delete;
    ScopedWarningSink& operator=(const ScopedWarningSink&) = delete;

  private:
    friend void ReportWarning(const std::string& message);
    friend bool WarningsHeard();

    WarningSink sink_;
    bool drops_ = false;
    const ScopedWarningSink* previous_;
};

}  // namespace carconv
