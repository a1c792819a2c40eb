#include "platform/folder_access.h"

namespace carconv {

std::optional<std::string> FolderWriteProblem(const std::string&) {
    return std::nullopt;
}

}  // namespace carconv
