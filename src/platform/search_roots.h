#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace carconv {

// The folders the stock-package search walks when it is given none, in search order.
std::vector<std::string> PlatformSearchRoots();

// True for a folder the stock-package search never enters: on Linux a folder on one of the
// kernel's own file systems (proc, sysfs, devpts, cgroup, tracefs, debugfs and the like, known by
// their statfs type wherever they are mounted), on a network file system or an automount point,
// and the system's device folder /dev, however the search reaches it. Always false on Windows.
bool IsSystemFolder(const std::string& path);

// The folders one search has entered, by device and inode: a folder that several roots or links
// lead to is walked once. On Windows every visit counts as the first.
class VisitedFolders {
  public:
    // True the first time `path` is offered (also when it cannot be identified).
    bool FirstVisit(const std::string& path);

  private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
};

// Where the template files live when neither the command line nor the environment says.
// `programDirectory` is the current directory at start-up, ending in a separator.
std::string PlatformTemplateDirectory(const std::string& programDirectory);

#ifdef _WIN32
// The roots c:\ to z:\ of the drives whose bit is set in `driveMask` (bit 0 stands for A:,
// which is never searched, nor B:), in letter order.
std::vector<std::string> DriveRoots(unsigned long driveMask);
#endif

}  // namespace carconv
