#pragma once

// The conversion run: one version-3 package in, one version-4 package out.

#include <functional>
#include <string>

#include "platform/file_dialogs.h"
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

// Converts the package at `input` into the package at `output`: unpacks the input, runs every
// stage into a fresh output working directory and writes the output archive, which replaces
// `output` only when complete. Both working directories are gone when it returns or throws.
// `templateDirectory` ends in a separator.
void ConvertPackage(const std::string& input, const std::string& output,
                    const std::string& templateDirectory);

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

  private:
    FileDialogs& dialogs_;
    ProfileStore& profile_;
    Settings settings_;
    Outcome outcome_ = Outcome::kNotRun;
};

}  // namespace carconv
