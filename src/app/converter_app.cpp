#include "app/converter_app.h"

#include <memory>
#include <utility>
#include <vector>

#include "app/package_drop.h"
#include "app/stage.h"
#include "app/stage_table.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "files/viv_archive.h"
#include "platform/file_system.h"

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

void ConvertPackage(const std::string& input, const std::string& output,
                    const std::string& templateDirectory) {
    // Declaration order is destruction order in reverse: stage objects go first, then the output
    // archive, then the input archive, each removing its working directory.
    VivArchive inputArchive(input);
    VivArchive outputArchive(output);
    inputArchive.Load();
    outputArchive.Reset();
    outputArchive.CreateWorkingDirectory();

    StageObjects held;
    StageContext context;
    context.templateDirectory = templateDirectory;
    context.inputDirectory = inputArchive.WorkingDirectoryPath();
    context.outputDirectory = outputArchive.WorkingDirectoryPath();
    context.members = &outputArchive.members;
    context.objects = &held.objects;
    context.inputNames = NameIndex::OfArchive(inputArchive.directory, inputArchive.GetFileName());
    context.templateNames = NameIndex::OfDirectory(templateDirectory);
    for (const Stage& stage : ConversionStages())
        stage.run(context);

    outputArchive.Save();
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
    return false;
}

}  // namespace carconv
