#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace carconv {

// Live progress of the stock-package search on a terminal: one line on stderr, redrawn at most
// ten times a second, cleared when the object is destroyed. Off a terminal it prints nothing.
class SearchProgressLine {
  public:
    SearchProgressLine();
    ~SearchProgressLine();
    SearchProgressLine(const SearchProgressLine&) = delete;
    SearchProgressLine& operator=(const SearchProgressLine&) = delete;

    void Folder(const std::string& folder);

  private:
    bool enabled_;
    bool drawn_ = false;
    long long folders_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace carconv
