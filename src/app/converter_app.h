#pragma once

// The conversion run: one version-3 package in, one version-4 package out.

#include <functional>
#include <string>

#include "desktop/file_dialogs.h"
#include "platform/profile_store.h"

namespace carconv {

inline constexpr const char* kOrganisationKey = "Quillmark";
inline constexpr const char* kOpenDialogTitle = "Load V3 CAR File";
inline constexpr const char* kSaveDialogTitle = "Save V4 CAR File";
inline constexpr const char* kOpenDialogFilter = "V3 CAR-Files (*.viv)|*.viv||";
inline constexpr const char* kSaveDialogFilter = "V4 CAR-Files (*.viv)|*.viv||";

// Decides before the dialogs whether the run may go on (the template files are in place).
// Returns false to end the run; throws to end it with an error.
using FirstRunCheckFunction =
    std::function<bool(ProfileStore& profile, const std::string& templateDirectory)>;

// Checks, before anything else is done, that a conversion of `input` into `output` can go ahead:
// the input is an existing file; the output has a name, its folder exists, it is not a directory
// and not the input itself (through any path, link or hard link; the conversion cannot be undone,
// so the version-3 original would be lost). Throws CarconvError saying what is wrong.
void CheckConversionPaths(const std::string& input, const std::string& output);

// What a conversion does first about the temporary files that killed runs left beside its output:
// removes them, or nothing, as a batch has removed them for all of its outputs at once.
enum class Leftovers { kSweep, kSwept };

// Converts the package at `input` into the package at `output`: checks the two paths and the
// template files, unpacks the input, runs every stage into a fresh output working directory and
// writes the output archive, which replaces `output` only when complete (an output that is a
// device or FIFO is written into). Both working directories are gone when it returns or throws.
// Input members the version-4 package does not carry are named in one warning.
// `templateDirectory` ends in a separator.
void ConvertPackage(const std::string& input, const std::string& output,
                    const std::string& templateDirectory, Leftovers leftovers = Leftovers::kSweep);

// The dialog-driven run.
class ConverterApp {
  public:
    enum class Outcome { kNotRun, kStoppedAtFirstRun, kCancelled, kConverted };

    struct Settings {
        // Where the template files live; empty means the program directory (the current
        // directory at start-up).
        std::string templateDirectory;
        FirstRunCheckFunction firstRunCheck;  // empty: always go on
        // A package handed to the program (dropped onto it): the run converts it without the
        // Open dialog, and the Save dialog opens in its folder proposing a name not taken there.
        std::string handedPackage;
    };

    ConverterApp(FileDialogs& dialogs, ProfileStore& profile, Settings settings);

    // Performs the whole run and returns false on every path, as the framework's start-up
    // operation of an application without a main window does. Failures are thrown.
    bool InitInstance();

    Outcome outcome() const { return outcome_; }
    // The package written, once the outcome is kConverted.
    const std::string& outputPath() const { return outputPath_; }

  private:
    FileDialogs& dialogs_;
    ProfileStore& profile_;
    Settings settings_;
    Outcome outcome_ = Outcome::kNotRun;
    std::string outputPath_;
};

}  // namespace carconv
