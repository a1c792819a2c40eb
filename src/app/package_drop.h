#pragma once

// Packages handed to the program by the desktop: dropped onto it, or opened with it from a file
// manager, which starts it with the packages' paths as its only arguments.

#include <string>
#include <vector>

#include "app/batch_convert.h"
#include "desktop/file_dialogs.h"

namespace carconv {

inline constexpr const char* kOutputFolderTitle = "Choose the Folder for the V4 CAR Files";

// Whether `arguments` (without the program's name) are packages handed over: at least one, and
// each an existing file whose name ends in ".viv" in any letter case and is none of `commands`.
bool AreHandedPackages(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& commands);

// The folder that holds `path`; the current directory for a bare file name.
std::string FolderOf(const std::string& path);

// A file name for the converted `input` that nothing in the input's folder carries yet:
// "NAME-v4.viv" for "NAME.viv", else "NAME-v4-2.viv", "NAME-v4-3.viv", and so on. When all of
// those up to a thousand are taken, "NAME-v4.viv" (the Save dialog asks before replacing it).
std::string FreshOutputName(const std::string& input);

// The text of the message that ends the conversion of several handed packages: how many of the
// packages were converted into `outputDirectory`, their file names, then every package that was
// not converted with the reason. `summary` is what ConvertPackages returned for `jobs`.
std::string HandedPackagesReport(const std::vector<BatchJob>& jobs, const BatchSummary& summary,
                                 const std::string& outputDirectory);

// Several handed packages: asks for the output folder (one folder question, opening in the first
// package's folder), converts every package into it as `convert ... --output-dir` does, with
// the same refusals and the same lines on stderr, and ends with one message listing what was
// converted and what failed. Returns the exit status: 0 when every package was converted or the
// question was cancelled, 1 otherwise. `templateDirectory` must hold the template files.
int ConvertHandedPackages(FileDialogs& dialogs, const std::vector<std::string>& inputs,
                          const std::string& templateDirectory);

}  // namespace carconv
