#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/batch_convert.h"
#include "app/converter_app.h"
#include "app/desktop_first_run.h"
#include "app/info_command.h"
#include "app/package_commands.h"
#include "app/package_drop.h"
#include "app/preview_command.h"
#include "app/search_progress.h"
#include "app/template_files.h"
#include "app/version.h"
#include "check/package_check.h"
#include "files/errors.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "files/working_directory.h"
#include "desktop/file_dialogs.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/profile_store.h"
#include "platform/terminal.h"
#include "preview/car_preview.h"

namespace carconv {

namespace {

// The name the settings are kept under: the executable's base name without ".exe" (in any letter
// case, as Windows file names come).
std::string ExecutableBaseName(const char* argv0) {
    std::string name = argv0 != nullptr ? argv0 : "carconv";
    std::size_t cut = name.find_last_of("/\\");
    if (cut != std::string::npos)
        name = name.substr(cut + 1);
    if (name.size() > 4 && AsciiLowerCase(name.substr(name.size() - 4)) == ".exe")
        name.resize(name.size() - 4);
    return name.empty() ? std::string("carconv") : name;
}

// Standard output for the length of a command: passes everything on to the stream's own buffer
// and keeps the reason of the first write that failed, which the stream itself forgets.
class CheckedOutput : public std::streambuf {
  public:
    explicit CheckedOutput(std::ostream& stream) : stream_(stream), target_(stream.rdbuf()) {
        stream_.rdbuf(this);
    }
    ~CheckedOutput() override { stream_.rdbuf(target_); }
    CheckedOutput(const CheckedOutput&) = delete;
    CheckedOutput& operator=(const CheckedOutput&) = delete;

    // Flushes what is still held; the error number of the first failed write (EIO when the
    // stream failed without one), or 0 when everything was written.
    int Finish() {
        stream_.flush();
        if (std::fflush(stdout) != 0)
            Failed();
        if (error_ == 0 && (!stream_ || std::ferror(stdout)))
            error_ = EIO;
        return error_;
    }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        errno = 0;
        if (traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)),
                                     traits_type::eof())) {
            Failed();
            return traits_type::eof();
        }
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        errno = 0;
        const std::streamsize written = target_->sputn(text, count);
        if (written < count)
            Failed();
        return written;
    }
    int sync() override {
        errno = 0;
        if (target_->pubsync() != 0) {
            Failed();
            return -1;
        }
        return 0;
    }

  private:
    void Failed() {
        if (error_ == 0)
            error_ = errno != 0 ? errno : EIO;
    }

    std::ostream& stream_;
    std::streambuf* target_;
    int error_ = 0;
};

// Exit status of a command whose standard output was a pipe that its reader had closed: as if
// SIGPIPE had ended it, which the shell expects of a program cut short by `| head`.
constexpr int kBrokenPipeStatus = 128 + 13;

}  // namespace

std::string ErrorText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

namespace {

// The check before a conversion, with live progress while it searches.
bool CheckTemplates(ProfileStore& profile, const TemplateLocation& templates) {
    SearchProgressLine line;
    return FirstRunCheck(profile, templates,
                         [&line](const std::string& folder) { line.Folder(folder); });
}

// "carconv: interrupted" after what was printed; returns the exit status.
int ReportInterruption(const InterruptedError& interruption) {
    std::cout.flush();
    std::cerr << "carconv: interrupted\n";
    return interruption.ExitStatus();
}

// Whether the window that shows what a desktop conversion wrote is left out: --quiet, or
// CARCONV_QUIET set to anything but empty or "0".
bool QuietFromEnvironment() {
    const char* value = std::getenv("CARCONV_QUIET");
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

// The side of the picture in the window "V4 CAR File written", in pixels.
constexpr int kWrittenPictureSize = 320;

// What the window "V4 CAR File written" shows for the package at `output`.
WrittenReport DescribeWritten(const std::string& output, std::vector<std::string> warnings) {
    WrittenReport report;
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(NativePath(output), ec);
    report.outputPath = ec ? output : PathString(absolute);
    report.warnings = std::move(warnings);
    // The picture is a courtesy: a package that cannot be drawn is still written.
    try {
        PreviewOptions options;
        options.size = kWrittenPictureSize;
        options.view = PreviewView::kThreeQuarter;
        ScopedWarningSink quiet{DropWarnings{}};
        PreviewImage picture = RenderCarPreview(output, options);
        report.pictureWidth = picture.width;
        report.pictureHeight = picture.height;
        report.pictureRgba = std::move(picture.rgba);
    } catch (const std::exception& e) {
        std::cerr << "carconv: warning: no picture of the car: " << e.what() << std::endl;
    }
    return report;
}

// The run with dialogs: without arguments, or for packages handed over by the desktop (`handed`,
// absolute paths). Returns the exit status.
int RunDialogs(const std::string& application, const std::string& templates, bool quiet,
               const std::vector<std::string>& handed = {}) {
    std::unique_ptr<FileDialogs> dialogs = MakeDesktopFileDialogs();
    std::unique_ptr<ProfileStore> profile = MakeUserProfileStore(application);
    const TemplateLocation location = LocateTemplates(templates, CurrentDirectory());
    const std::string& templateDirectory = location.directory;
    FileDialogs& questions = *dialogs;
    auto firstRunCheck = [&questions, &location](ProfileStore& store, const std::string&) {
        return DesktopFirstRunCheck(
            questions, store, location.directory,
            [&location](ProfileStore& checked, const std::string&, const SearchProgress& progress) {
                return FirstRunCheck(checked, location, progress);
            });
    };
    try {
        if (handed.size() > 1) {
            profile->SetRegistryKey(kOrganisationKey);
            if (!firstRunCheck(*profile, templateDirectory))
                return 0;
            return ConvertHandedPackages(*dialogs, handed, templateDirectory);
        }
        ConverterApp::Settings settings;
        settings.templateDirectory = templateDirectory;
        settings.firstRunCheck = firstRunCheck;
        if (!handed.empty())
            settings.handedPackage = handed.front();
        ConverterApp app(*dialogs, *profile, settings);
        // The warnings still go to stderr as they come; the window repeats them.
        std::vector<std::string> warnings;
        {
            ScopedWarningSink sink([&warnings](const std::string& message) {
                warnings.push_back(message);
                std::cerr << "carconv: warning: " << message << std::endl;
            });
            app.InitInstance();
        }
        if (app.outcome() == ConverterApp::Outcome::kConverted && !quiet && dialogs->OnDesktop())
            dialogs->ShowWritten(DescribeWritten(app.outputPath(), std::move(warnings)));
    } catch (const InterruptedError&) {
        throw;  // the user asked for it: no error box
    } catch (...) {
        // A failed run would otherwise look like a successful one to a desktop user.
        dialogs->ShowError(ErrorText(std::current_exception()));
        throw;
    }
    return 0;
}

void RunConvert(const std::string& application, const std::string& input, const std::string& output,
                const std::string& templates) {
    // A doomed conversion fails at once, before a first run searches for the stock package.
    CheckConversionPaths(input, output);
    std::unique_ptr<ProfileStore> profile = MakeUserProfileStore(application);
    profile->SetRegistryKey(kOrganisationKey);
    const TemplateLocation location = LocateTemplates(templates, CurrentDirectory());
    CheckTemplates(*profile, location);
    ConvertPackage(input, output, location.directory);
}

// Many packages into one directory; returns the exit status (1 when any package failed, 128 + the
// signal when the batch was interrupted).
int RunBatchConvert(const std::string& application, const std::vector<std::string>& inputs,
                    const std::string& outputDirectory, unsigned jobs,
                    const std::string& templates) {
    std::unique_ptr<ProfileStore> profile = MakeUserProfileStore(application);
    profile->SetRegistryKey(kOrganisationKey);
    const TemplateLocation location = LocateTemplates(templates, CurrentDirectory());
    const std::string& templateDirectory = location.directory;
    // Once, before any worker starts: it may install the templates every package needs.
    CheckTemplates(*profile, location);
    std::vector<BatchJob> plan = PlanBatch(inputs, outputDirectory);
    BatchConsole console(stderr, IsTerminal(stderr), plan.size());
    BatchSummary summary =
        ConvertPackages(plan, BatchWorkerCount(jobs, plan.size()), console,
                        [&templateDirectory](const std::string& input, const std::string& output) {
                            ConvertPackage(input, output, templateDirectory, Leftovers::kSwept);
                        });
    console.Finish();
    std::cout << BatchSummaryLine(summary) << std::endl;
    if (summary.interruption != 0)
        throw InterruptedError(summary.interruption);
    return summary.failed == 0 ? 0 : 1;
}

void RunInstallTemplates(const std::string& application, const std::string& from,
                         const std::vector<std::string>& roots, const std::string& templates) {
    std::unique_ptr<ProfileStore> profile = MakeUserProfileStore(application);
    profile->SetRegistryKey(kOrganisationKey);
    std::string templateDirectory = ResolveTemplateDirectory(templates, CurrentDirectory());
    std::string found = from;
    if (found.empty()) {
        std::vector<std::string> searched = roots.empty() ? DefaultSearchRoots() : roots;
        {
            SearchProgressLine line;
            for (const std::string& root : searched) {
                found =
                    FindStockCarPackage(root, [&line](const std::string& f) { line.Folder(f); });
                if (!found.empty())
                    break;
            }
        }
        if (found.empty()) {
            std::string where;
            for (const std::string& root : searched)
                where += (where.empty() ? "" : ", ") + PrintableName(root);
            throw CarconvError("no stock car package (data/cars/fm50/car.viv) found under " +
                               (where.empty() ? std::string("no folder") : where) +
                               "; give its path with --from");
        }
        std::cout << "found " << PrintableName(found) << '\n';
    }
    InstallTemplatesFrom(found, templateDirectory, *profile);
    std::cout << "installed";
    for (const char* name : kTemplateFiles)
        std::cout << ' ' << name;
    std::cout << " into " << PrintableName(templateDirectory) << '\n';
}

int RunCommand(int argc, char** argv) {
    const std::string application = ExecutableBaseName(argc > 0 ? argv[0] : nullptr);

    CLI::App app{
        "carconv converts a car package in the version-3 layout into the version-4 layout.\n"
        "Without a command it asks for the input and the output package in two dialogs. Given "
        "only\n"
        "packages (PACKAGE.viv...), as a file manager hands them over, it asks only where they go.",
        "carconv"};
    app.set_version_flag("--version", VersionText());
    app.require_subcommand(0, 1);
    bool quietOption = false;
    app.add_flag("--quiet", quietOption,
                 "Without a command: do not show the window \"V4 CAR File written\" after the "
                 "conversion (also CARCONV_QUIET=1)");

    std::string templates;
    std::vector<std::string> convertPaths;
    std::string outputDirectory;
    unsigned jobs = 0;
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Convert a version-3 package into a version-4 package (INPUT OUTPUT), or many packages "
        "into a directory (INPUT... --output-dir DIR)");
    convert->add_option("packages", convertPaths, "INPUT OUTPUT, or with --output-dir: INPUT...")
        ->required();
    CLI::Option* outputDirOption = convert->add_option(
        "--output-dir", outputDirectory,
        "Convert every INPUT into DIR under its own file name (DIR is created if missing)");
    convert
        ->add_option("--jobs", jobs,
                     "Packages converted at a time with --output-dir (default: number of cores)")
        ->check(CLI::Range(1u, 1024u))
        ->needs(outputDirOption);
    convert->add_option("--templates", templates, "Directory that holds the template files");
    convert->callback([&]() {
        if (outputDirectory.empty() && convertPaths.size() != 2) {
            throw CLI::ValidationError(
                "convert", "give INPUT OUTPUT, or one or more INPUTs with --output-dir DIR");
        }
    });

    std::string from;
    std::vector<std::string> roots;
    CLI::App* install = app.add_subcommand(
        "install-templates",
        "Install the dashboard and engine-sound templates from the version-4 game's stock car");
    install->add_option("--from", from, "The stock car package (.../data/cars/fm50/car.viv)");
    install->add_option("--search", roots, "Folders to search for it (default: every drive)")
        ->excludes("--from");
    install->add_option("--templates", templates, "Directory to install the template files into");

    std::string archive, directory;
    bool json = false;
    CLI::App* list = app.add_subcommand("list", "List the members of an archive");
    list->add_option("archive", archive, "Archive (.viv)")->required();
    list->add_flag("--json", json, "Print a JSON array of {name, offset, size, type}");

    std::string file;
    CLI::App* info = app.add_subcommand(
        "info", "Describe one file of any supported format (package, mesh, performance text, ...)");
    info->add_option("file", file, "File to describe, typed by its name and content")->required();
    info->add_flag("--json", json, "Print a JSON object instead of text");

    std::string checked;
    CLI::App* check = app.add_subcommand(
        "check",
        "Check a package member by member without writing anything; exit 1 when a problem "
        "is found");
    check->add_option("package", checked, "Package (.viv), version 3 or 4")->required();
    check->add_flag("--json", json, "Print a JSON object {package, version, findings}");

    CLI::App* unpack =
        app.add_subcommand("unpack", "Write every member of an archive into a directory");
    unpack->add_option("archive", archive, "Archive (.viv)")->required();
    unpack->add_option("directory", directory, "Directory to write into (created if missing)")
        ->required();

    std::vector<std::string> names;
    CLI::App* pack = app.add_subcommand("pack", "Pack files of a directory into a new archive");
    pack->add_option("directory", directory, "Directory that holds the files")->required();
    pack->add_option("archive", archive, "Archive to write (.viv)")->required();
    pack->add_option("names", names, "Files to pack, in this order (default: all, sorted by name)");

    std::string previewInput, previewOutput, previewView;
    PreviewOptions previewOptions;
    CLI::App* preview = app.add_subcommand(
        "preview",
        "Draw the car of a package or mesh into a PNG: a sheet of four views (front, "
        "side, top, three-quarter from the front left) or one view");
    preview
        ->add_option("file", previewInput,
                     "Package (.viv), or mesh (.fce) with its skin car00.tga beside it if any")
        ->required();
    preview->add_option("-o,--output", previewOutput,
                        "PNG to write (default: FILE-preview.png beside FILE; - for standard "
                        "output)");
    preview
        ->add_option("--size", previewOptions.size,
                     "Pixels along each side of one view (default 512)")
        ->check(CLI::Range(kMinPreviewSize, kMaxPreviewSize));
    preview->add_option("--view", previewView, "Draw only this view")
        ->check(CLI::IsMember({"front", "side", "top", "three-quarter"}));

    // Packages handed over by the desktop come as the only arguments, without a command.
    std::vector<std::string> commandNames;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
        commandNames.push_back(command->get_name());
    std::vector<std::string> handed(argv + std::min(argc, 1), argv + argc);
    bool quiet = QuietFromEnvironment();
    // --quiet may come with packages handed over as well as alone.
    const auto quietFlag = std::find(handed.begin(), handed.end(), std::string("--quiet"));
    if (quietFlag != handed.end() && handed.size() > 1) {
        handed.erase(quietFlag);
        quiet = true;
    }
    if (AreHandedPackages(handed, commandNames)) {
        for (std::string& path : handed) {
            std::error_code ec;
            std::filesystem::path absolute = std::filesystem::absolute(NativePath(path), ec);
            if (!ec)
                path = PathString(absolute);
        }
        try {
            SweepAbandonedWorkingDirectories();
            return RunDialogs(application, std::string(), quiet, handed);
        } catch (const InterruptedError& e) {
            return ReportInterruption(e);
        } catch (...) {
            std::cerr << "carconv: error: " << ErrorText(std::current_exception()) << '\n';
        }
        return 1;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "carconv: usage error: " << e.what() << "\n"
                  << "Run 'carconv --help' for more information.\n";
        return 2;
    }

    try {
        // What runs that were killed outright left in the temporary directory.
        SweepAbandonedWorkingDirectories();
        if (*convert && !outputDirectory.empty()) {
            return RunBatchConvert(application, convertPaths, outputDirectory, jobs, templates);
        } else if (*convert) {
            RunConvert(application, convertPaths[0], convertPaths[1], templates);
        } else if (*install) {
            RunInstallTemplates(application, from, roots, templates);
        } else if (*list) {
            ListArchive(archive, json, std::cout);
        } else if (*info) {
            PrintFileInfo(file, json, std::cout);
        } else if (*check) {
            const int status = PrintReport(CheckPackage(checked), json, std::cout);
            std::cout.flush();
            return status;
        } else if (*unpack) {
            UnpackArchive(archive, directory);
        } else if (*pack) {
            PackArchive(directory, archive, names);
        } else if (*preview) {
            previewOptions.view = ParsePreviewView(previewView);
            WritePreview(previewInput, previewOutput, previewOptions);
        } else {
            return RunDialogs(application, templates, quiet || quietOption);
        }
        std::cout.flush();
        return 0;
    } catch (const InterruptedError& e) {
        return ReportInterruption(e);
    } catch (...) {
        std::cerr << "carconv: error: " << ErrorText(std::current_exception()) << '\n';
    }
    return 1;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    CheckedOutput output(std::cout);
    int status = RunCommand(argc, argv);
    const int error = output.Finish();
    if (error == 0)
        return status;
    // The reader went away: it has seen what it wanted, and a message would only be noise.
    if (error == EPIPE)
        return status == 0 ? kBrokenPipeStatus : status;
    std::cerr << "carconv: error: standard output: "
              << std::generic_category().message(error) << '\n';
    return status == 0 ? 1 : status;
}

}  // namespace carconv
