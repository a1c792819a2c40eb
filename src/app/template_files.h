#pragma once

// Template files: the dashboard and engine-sound files that a version-3 package lacks, taken once
// from the installed version-4 game's stock car package and kept in the templates directory.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/stage.h"
#include "files/errors.h"
#include "platform/profile_store.h"

namespace carconv {

// In the order the installation copies them.
inline constexpr std::array<const char*, 8> kTemplateFiles = {
    "dash.fsh",   "dash.fce",   "dash00.tga",  "careng.ctb",
    "careng.ltb", "careng.bnk", "ocareng.bnk", "scareng.bnk"};

inline constexpr const char* kInstalledSection = "Settings";
inline constexpr const char* kInstalledKey = "Installed";

// The stock package's path ends in these components (compared without regard to letter case).
inline constexpr const char* kStockPackageSuffix = "\\data\\cars\\fm50\\car.viv";

// Called for every folder the search enters.
using SearchProgress = std::function<void(const std::string& folder)>;

// The folders searched when no folder is given: on Windows the drives C: to Z: that exist; on
// other systems the Wine drives c: to z:, then $HOME, /mnt, /media and /run/media.
std::vector<std::string> DefaultSearchRoots();

// Searches `folder` and everything beneath it, depth-first in directory-search order, for the
// stock car package, and returns its path with its real letter case, or "" when there is none.
// Names beginning with "." are neither entered nor tested, links to folders are not followed (a
// link to a file is tested like the file), folders that cannot be read are skipped, and so are
// the system's folders (IsSystemFolder) and every folder already walked by the same search
// (several Wine drives may lead to one). An empty `folder` searches the default roots in order.
std::string FindStockCarPackage(std::string folder, const SearchProgress& progress = {});

// Where the template files live, and whether the user named that place.
struct TemplateLocation {
    std::string directory;  // ends in a separator
    bool named = false;     // given with --templates or CARCONV_TEMPLATES
};

// `requested` if not empty, else $CARCONV_TEMPLATES, else the per-user templates directory, the
// platform's place (%LOCALAPPDATA%\carconv on Windows, $XDG_DATA_HOME/carconv elsewhere).
TemplateLocation LocateTemplates(const std::string& requested, const std::string& programDirectory);

// LocateTemplates(...).directory.
std::string ResolveTemplateDirectory(const std::string& requested,
                                     const std::string& programDirectory);

// True when every template file lies in `templateDirectory`, its name in any letter case.
bool TemplatesPresent(const std::string& templateDirectory);

// Checks, before a conversion copies any of them, that each template file in `templateDirectory`
// is a regular file (not a link, device or FIFO) that can be read, and that together they fit a
// package (2 GiB). Throws CarconvError naming the template and the directory.
void CheckTemplateFiles(const std::string& templateDirectory);

// Unpacks the stock package at `stockPackage` into a working directory of its own and copies the
// eight template files into `templateDirectory` (created if missing), each through a new file
// renamed over an older copy (a link of that name is replaced, never written through, and a run
// reading the templates meanwhile sees the old or the new file whole). Then records the
// installation in `profile`. Throws when the package lacks a template file.
void InstallTemplatesFrom(const std::string& stockPackage, const std::string& templateDirectory,
                          ProfileStore& profile);

// Finds the stock package under `roots` (each searched in turn; none: the default roots) and
// installs from it. Returns the package's path, or "" when none was found (nothing installed).
std::string InstallTemplates(const std::string& templateDirectory, ProfileStore& profile,
                             const std::vector<std::string>& roots = {},
                             const SearchProgress& progress = {});

// No stock car package was found where the first-run check looked.
class StockPackageNotFound : public CarconvError {
  public:
    using CarconvError::CarconvError;
};

// The check before the dialogs, for the per-user templates directory: when the directory holds
// all eight template files as regular, readable files, they are installed (a marker that reads 0
// or is absent is written anew, with a warning when it cannot be) and nothing is searched;
// otherwise the check installs them; throws StockPackageNotFound,
// a message saying what to do, when no stock package can be found (naming the missing templates
// and the directory when some were installed before).
bool FirstRunCheck(ProfileStore& profile, const std::string& templateDirectory,
                   const SearchProgress& progress = {});

// The same for any location: a directory the user named that holds all eight files is used as it
// is, without reading or writing the marker; any other goes through the check above.
bool FirstRunCheck(ProfileStore& profile, const TemplateLocation& templates,
                   const SearchProgress& progress = {});

// Stage 4: "dash.fsh", "dash.fce" and "dash00.tga" from the templates directory; "dash.fsh" is
// carried as it is also when the loader finds it malformed (LoadCarriedPictureArchive).
void RunDashboardStage(StageContext& context);
// Stage 6: the five engine-sound files from the templates directory, carried as they are.
void RunEngineSoundStage(StageContext& context);

}  // namespace carconv
