#pragma once

#include <optional>
#include <string>

namespace carconv {

// Why the program cannot create files in the existing folder `folder` (the system's reason), or
// nothing when it can as far as the permissions tell. Nothing on Windows, which answers only by
// creating the file.
std::optional<std::string> FolderWriteProblem(const std::string& folder);

}  // namespace carconv
