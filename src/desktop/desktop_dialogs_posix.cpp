// The dialogs of the dialog-driven run on POSIX desktops: GTK windows where the GTK module is
// built and a display can be opened, questions on the terminal otherwise.

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "desktop/file_dialogs.h"
#ifdef CARCONV_HAVE_GTK
#include "desktop/gtk_dialogs_posix.h"
#include "platform/file_system.h"
#include "platform/program_module.h"
#endif

namespace carconv {

namespace {

#ifdef CARCONV_HAVE_GTK
bool NamesADisplay(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Where the GTK module may be: beside the program (a build tree), then in the library folder of
// the installation the program belongs to. Only absolute paths; an empty string when the
// program's folder cannot be told.
std::string FindGtkModule(std::string& problem) {
    const std::string programDirectory = ProgramDirectory();
    if (programDirectory.empty()) {
        problem = "the program's own folder cannot be told";
        return "";
    }
    const std::string beside = programDirectory + "/" CARCONV_GTK_MODULE_NAME;
    const std::string installed =
        programDirectory + "/" CARCONV_GTK_MODULE_FOLDER "/" CARCONV_GTK_MODULE_NAME;
    for (const std::string& candidate : {beside, installed})
        if (IsRegularFile(candidate))
            return candidate;
    problem = "no " CARCONV_GTK_MODULE_NAME " in " + programDirectory + " or " + programDirectory +
              "/" CARCONV_GTK_MODULE_FOLDER;
    return "";
}

// The GTK dialogs, or nothing with the reason in `problem` when the module cannot be used.
std::unique_ptr<FileDialogs> LoadGtkFileDialogs(std::string& problem) {
    const std::string path = FindGtkModule(problem);
    if (path.empty())
        return nullptr;
    const auto* version =
        static_cast<const char*>(LoadModuleSymbol(path, kGtkModuleVersionSymbol, problem));
    if (version == nullptr)
        return nullptr;
    if (std::strcmp(version, CARCONV_MODULE_VERSION) != 0) {
        problem = path + " belongs to carconv " + std::string(version, strnlen(version, 64)) +
                  ", not " CARCONV_MODULE_VERSION;
        return nullptr;
    }
    void* make = LoadModuleSymbol(path, kGtkDialogsSymbol, problem);
    if (make == nullptr)
        return nullptr;
    // A display that cannot be opened is no fault of the installation: no note for it.
    return std::unique_ptr<FileDialogs>(reinterpret_cast<GtkDialogsFunction>(make)());
}
#endif

}  // namespace

std::unique_ptr<FileDialogs> MakeDesktopFileDialogs() {
#ifdef CARCONV_HAVE_GTK
    // Without a display there are no windows to show, and starting GTK would still leave folders
    // of its own in the user's home: a session on the terminal does not even load it.
    if (NamesADisplay("DISPLAY") || NamesADisplay("WAYLAND_DISPLAY")) {
        std::string problem;
        if (std::unique_ptr<FileDialogs> gtk = LoadGtkFileDialogs(problem))
            return gtk;
        if (!problem.empty())
            std::cerr << "carconv: no dialog windows (" << problem << "); asking here instead"
                      << std::endl;
    }
#endif
    return std::make_unique<ConsoleFileDialogs>(std::cin, std::cerr);
}

}  // namespace carconv
