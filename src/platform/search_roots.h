#pragma once

#include <cstdint>
#include <map>
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
// lead to is walked once, and no system folder is walked at all. On Windows every folder is
// entered.
class VisitedFolders {
  public:
    // True when the search is to walk `path`: the first time it is offered (also when it cannot be
    // identified), unless it is a system folder (IsSystemFolder).
    bool Enter(const std::string& path);

  private:
    using Identity = std::pair<std::uint64_t, std::uint64_t>;  // device, inode
    std::set<Identity> seen_;
    // Learnt as the search goes, so that a folder costs one stat: the file system of each device
    // met (skipped or not), and /proc, /sys and /dev.
    std::map<std::uint64_t, bool> skippedDevice_;
    std::vector<Identity> system_;
    bool systemKnown_ = false;
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
