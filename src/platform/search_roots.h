#pragma once

#include <string>
#include <vector>

namespace carconv {

// The folders the stock-package search walks when it is given none, in search order.
std::vector<std::string> PlatformSearchRoots();

// True for a folder the stock-package search never enters: on POSIX systems the kernel's /proc
// and /sys and the device folder /dev, however the search reaches them (they hold no game, and
// walking them is slow or reads devices). Always false on Windows.
bool IsSystemFolder(const std::string& path);

// Where the template files live when neither the command line nor the environment says.
// `programDirectory` is the current directory at start-up, ending in a separator.
std::string PlatformTemplateDirectory(const std::string& programDirectory);

#ifdef _WIN32
// The roots c:\ to z:\ of the drives whose bit is set in `driveMask` (bit 0 stands for A:,
// which is never searched, nor B:), in letter order.
std::vector<std::string> DriveRoots(unsigned long driveMask);
#endif

}  // namespace carconv
