#pragma once

// Warnings: problems the conversion reports and then works around. The front end prints each as
// "carconv: warning: <message>" on stderr; tests install their own sink to collect them.

#include <functional>
#include <string>

namespace carconv {

using WarningSink = std::function<void(const std::string& message)>;

void ReportWarning(const std::string& message);

// Installs `sink` for the lifetime of the object and restores the previous sink afterwards.
class ScopedWarningSink {
  public:
    explicit ScopedWarningSink(WarningSink sink);
    ~ScopedWarningSink();
    ScopedWarningSink(const ScopedWarningSink&) = delete;
    ScopedWarningSink& operator=(const ScopedWarningSink&) = delete;

  private:
    WarningSink previous_;
};

}  // namespace carconv
