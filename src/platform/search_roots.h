#pragma once

#include <string>
#include <vector>

namespace carconv {

// The folders the stock-package search walks when it is given none, in search order.
std::vector<std::string> PlatformSearchRoots();

// Where the template files live when neither the command line nor the environment says.
// `programDirectory` is the current directory at start-up, ending in a separator.
std::string PlatformTemplateDirectory(const std::string& programDirectory);

}  // namespace carconv
