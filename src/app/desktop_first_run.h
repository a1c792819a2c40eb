#pragma once

// The first-run check of a run on the desktop: the search for the version-4 game's stock car
// package shows itself in a window the user can steer, and a search that finds nothing ends in a
// dialog that asks for the package instead of in an error.

#include <functional>
#include <string>

#include "app/template_files.h"
#include "desktop/file_dialogs.h"
#include "platform/profile_store.h"

namespace carconv {

inline constexpr const char* kSearchWindowTitle = "Looking for the V4 Game";
inline constexpr const char* kSearchWindowMessage =
    "carconv needs the stock car package of the version-4 game (data/cars/fm50/car.viv in the "
    "game's folder) once, for the dashboard and engine sounds of converted cars. Looking in:";
inline constexpr const char* kLocateDialogTitle = "Locate data/cars/fm50/car.viv of the V4 Game";
inline constexpr const char* kLocateDialogFilter = "V4 CAR-Files (*.viv)|*.viv||";

// The check itself, as FirstRunCheck: answers whether the run may go on, reports each folder it
// searches through `progress`, and throws StockPackageNotFound when the search finds nothing.
using TemplateCheck = std::function<bool(
    ProfileStore& profile, const std::string& templateDirectory, const SearchProgress& progress)>;

// Runs `check` with the search shown to the user. On a desktop (`dialogs.OnDesktop()`) a search
// window opens when the search enters its first folder: Cancel there ends the run quietly
// (false; nothing written, the marker unchanged); "Locate..." stops the search and asks for the
// stock package with an Open dialog titled kLocateDialogTitle, which also opens by itself when the
// search finds nothing. The package chosen there is installed as `install-templates --from`
// installs it; a package that is not usable is reported and asked for again; cancelling ends the
// run quietly. On a terminal the search shows a progress line and a search that finds nothing
// throws, as FirstRunCheck does. An empty `check` is FirstRunCheck of `templateDirectory` as the
// per-user templates directory.
bool DesktopFirstRunCheck(FileDialogs& dialogs, ProfileStore& profile,
                          const std::string& templateDirectory, const TemplateCheck& check = {});

}  // namespace carconv
