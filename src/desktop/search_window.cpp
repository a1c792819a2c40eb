#include "desktop/search_window.h"

namespace carconv {

SearchWindow::~SearchWindow() = default;

}  // namespace carconv
