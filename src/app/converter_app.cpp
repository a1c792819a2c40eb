#include "app/converter_app.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/package_drop.h"
#include "app/stage.h"
#include "app/stage_table.h"
#include "app/template_files.h"
#include "files/errors.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "files/working_directory.h"
#include "platform/file_system.h"
#include "platform/folder_access.h"
#include "platform/interruption.h"

namespace carconv {

namespace {

// Holds the stage objects and destroys them in reverse order of creation.
class StageObjects {
  public:
    ~StageObjects() {
        while (!objects.empty())
            objects.pop_back();
    }
    std::vector<std::unique_ptr<GameFile>> objects;
};

}  // namespace

void CheckConversionPaths(const std::string& input, const std::string& output) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path in = NativePath(input);
    const fs::file_status inStatus = fs::status(in, ec);
    if (!fs::exists(inStatus)) {
        throw IoError(input, "cannot open for reading: " +
                                 (ec ? ec.message() : std::string("No such file or directory")));
    }
    if (fs::is_directory(inStatus))
        throw IoError(input, "is a directory, not a package");
    if (!fs::is_regular_file(inStatus))
        throw IoError(input, "not a regular file");

    if (output.empty())
        throw CarconvError("the output path is empty");
    const fs::path out = NativePath(output);
    if (!out.has_filename())
        throw IoError(output, "names a folder, not the package to write");
    const fs::path folder = out.has_parent_path() ? out.parent_path() : fs::path(".");
    const fs::file_status folderStatus = fs::status(folder, ec);
    if (!fs::is_directory(folderStatus)) {
        // A folder that exists but cannot be reached (no search permission, a loop of links, a
        // name too long) says why; only a folder that is not there "does not exist".
        const bool missing = folderStatus.type() == fs::file_type::not_found;
        const std::string why = missing                    ? std::string("does not exist")
                                : fs::exists(folderStatus) ? std::string("is not a folder")
                                                           : "cannot be reached: " + ec.message();
        throw IoError(output, fmt::format("cannot write there: {} {}",
                                          PrintableName(PathString(folder)), why));
    }
    if (std::optional<std::string> problem = FolderWriteProblem(PathString(folder)))
        throw IoError(output, fmt::format("cannot write there: {}: {}",
                                          PrintableName(PathString(folder)), *problem));
    if (fs::is_directory(fs::symlink_status(out, ec)))
        throw IoError(output, "is a directory");
    std::error_code same;
    if (fs::equivalent(in, out, same) && !same) {
        throw IoError(output,
                      fmt::format("is the input package {} itself (the same file); the conversion "
                                  "cannot be undone and would replace the version-3 original: "
                                  "choose another output",
                                  PrintableName(input)));
    }
}

namespace {

// The input members that no stage asked for, in directory order, each name once.
std::vector<std::string> UncarriedMembers(const std::vector<VivEntry>& directory,
                                          const std::set<std::string>& requested) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const VivEntry& entry : directory) {
        const std::string lower = AsciiLowerCase(entry.name);
        if (requested.count(lower) == 0 && seen.insert(lower).second)
            names.push_back(PrintableName(entry.name));
    }
    return names;
}

}  // namespace

void ConvertPackage(const std::string& input, const std::string& output,
                    const std::string& templateDirectory, Leftovers leftovers) {
    CheckConversionPaths(input, output);
    if (leftovers == Leftovers::kSweep)
        SweepAbandonedTemporariesBeside(output);

    // In a batch's worker, the working directories of the conversion before, emptied once both
    // archives and the stage objects are gone.
    struct ReturnedAtTheEnd {
        ~ReturnedAtTheEnd() {
            WorkingDirectoryReuse::Return(0);
            WorkingDirectoryReuse::Return(1);
        }
    } returned;
    // Declaration order is destruction order in reverse: stage objects go first, then the output
    // archive, then the input archive, each removing its working directory unless it was given
    // one above.
    VivArchive inputArchive(input);
    VivArchive outputArchive(output);
    if (WorkingDirectory* kept = WorkingDirectoryReuse::Take(0, inputArchive.GetFileName(), input))
        inputArchive.UseWorkingDirectory(*kept);
    if (WorkingDirectory* kept =
            WorkingDirectoryReuse::Take(1, outputArchive.GetFileName(), output))
        outputArchive.UseWorkingDirectory(*kept);
    inputArchive.LoadInPlace();
    CheckTemplateFiles(templateDirectory);
    outputArchive.Reset();
    outputArchive.CreateWorkingDirectory();

    StageObjects held;
    StageContext context;
    context.inputPackage = input;
    context.templateDirectory = templateDirectory;
    context.inputDirectory = inputArchive.WorkingDirectoryPath();
    context.inputInPackage = inputArchive.MembersInPackage();
    context.outputDirectory = outputArchive.WorkingDirectoryPath();
    context.members = &outputArchive.members;
    context.objects = &held.objects;
    context.inputNames = NameIndex::OfArchive(inputArchive.directory, inputArchive.GetFileName());
    context.templateNames = NameIndex::OfDirectory(templateDirectory);
    for (const Stage& stage : ConversionStages()) {
        ThrowIfStopRequested();
        stage.run(context);
    }
    ThrowIfStopRequested();

    outputArchive.Save();

    const std::vector<std::string> uncarried =
        UncarriedMembers(inputArchive.directory, context.requestedInputs);
    if (!uncarried.empty()) {
        ReportWarning(fmt::format("{}: not carried into the version-4 package: {}",
                                  PrintableName(inputArchive.GetFileName()),
                                  fmt::join(uncarried, ", ")));
    }
}

ConverterApp::ConverterApp(FileDialogs& dialogs, ProfileStore& profile, Settings settings)
    : dialogs_(dialogs), profile_(profile), settings_(std::move(settings)) {}

bool ConverterApp::InitInstance() {
    profile_.SetRegistryKey(kOrganisationKey);
    std::string programDirectory = CurrentDirectory();
    std::string templateDirectory =
        settings_.templateDirectory.empty() ? programDirectory : settings_.templateDirectory;

    if (settings_.firstRunCheck && !settings_.firstRunCheck(profile_, templateDirectory)) {
        outcome_ = Outcome::kStoppedAtFirstRun;
        return false;
    }

    std::optional<std::string> input;
    if (settings_.handedPackage.empty()) {
        FileDialogRequest open;
        open.kind = FileDialogRequest::Kind::kOpen;
        open.title = kOpenDialogTitle;
        open.filter = kOpenDialogFilter;
        open.defaultExtension = "viv";
        open.flags = kHideReadOnlyFlag;
        input = dialogs_.Show(open);
    } else {
        input = settings_.handedPackage;
    }
    if (!input) {
        outcome_ = Outcome::kCancelled;
        return false;
    }

    FileDialogRequest save;
    save.kind = FileDialogRequest::Kind::kSave;
    save.title = kSaveDialogTitle;
    save.filter = kSaveDialogFilter;
    save.defaultExtension = "viv";
    save.flags = kHideReadOnlyFlag | kOverwritePromptFlag;
    if (!settings_.handedPackage.empty()) {
        save.initialDirectory = FolderOf(*input);
        save.initialName = FreshOutputName(*input);
    }
    std::optional<std::string> output = dialogs_.Show(save);
    if (!output) {
        outcome_ = Outcome::kCancelled;
        return false;
    }

    ConvertPackage(*input, *output, templateDirectory);
    outcome_ = Outcome::kConverted;
    outputPath_ = *output;
    return false;
}

}  // namespace carconv
