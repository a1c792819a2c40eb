#include "app/search_progress.h"

#include <fmt/format.h>

#include "platform/terminal.h"

namespace carconv {

SearchProgressLine::SearchProgressLine() : enabled_(IsTerminal(stderr)) {}

SearchProgressLine::~SearchProgressLine() {
    if (drawn_)
        std::fputs("\r\033[K", stderr);
}

void SearchProgressLine::Folder(const std::string& folder) {
    ++folders_;
    if (!enabled_)
        return;
    auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100))
        return;
    last_ = now;
    std::string shown = folder;
    constexpr std::size_t kWidth = 50;
    if (shown.size() > kWidth)
        shown = "..." + shown.substr(shown.size() - (kWidth - 3));
    std::fputs(
        fmt::format("\r\033[Ksearching for the stock car package: {} folders, {}", folders_, shown)
            .c_str(),
        stderr);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace carconv
