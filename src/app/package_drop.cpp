#include "app/package_drop.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

#include <fmt/format.h>

#include "app/converter_app.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/terminal.h"

namespace carconv {

namespace fs = std::filesystem;

namespace {

bool EndsInVivExtension(const std::string& name) {
    static constexpr std::string_view kExtension = ".viv";
    if (name.size() < kExtension.size())
        return false;
    const std::string tail = name.substr(name.size() - kExtension.size());
    return std::equal(tail.begin(), tail.end(), kExtension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

// Whether anything, a link that leads nowhere included, carries the name `path`.
bool NameTaken(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(NativePath(path), ec).type() != fs::file_type::not_found;
}

std::string FileNameOf(const std::string& path) {
    return PathString(NativePath(path).filename());
}

// `text` without `prefix` when it begins with it.
std::string WithoutPrefix(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

}  // namespace

bool AreHandedPackages(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& commands) {
    if (arguments.empty())
        return false;
    for (const std::string& argument : arguments) {
        if (std::find(commands.begin(), commands.end(), argument) != commands.end() ||
            !EndsInVivExtension(argument) || !IsRegularFile(argument))
            return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    fs::path parent = NativePath(path).parent_path();
    return parent.empty() ? CurrentDirectory() : PathString(parent);
}

std::string FreshOutputName(const std::string& input) {
    std::string stem = FileNameOf(input);
    if (EndsInVivExtension(stem))
        stem.resize(stem.size() - 4);
    const std::string folder = FolderOf(input);
    constexpr int kMaxNumber = 1000;
    for (int number = 1; number <= kMaxNumber; ++number) {
        std::string name =
            number == 1 ? stem + "-v4.viv" : fmt::format("{}-v4-{}.viv", stem, number);
        if (!NameTaken(JoinPath(folder, name)))
            return name;
    }
    return stem + "-v4.viv";
}

std::string HandedPackagesReport(const std::vector<BatchJob>& jobs, const BatchSummary& summary,
                                 const std::string& outputDirectory) {
    std::string converted;
    std::string failed;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::string name = FileNameOf(jobs[i].input);
        const std::string error = i < summary.errors.size() ? summary.errors[i] : std::string();
        if (error.empty()) {
            converted += "\n" + name;
        } else {
            // The reason alone: the package is named at the start of the line already.
            std::string reason = WithoutPrefix(error, jobs[i].input + ": ");
            reason = WithoutPrefix(reason, "not converted: ");
            failed += "\n" + name + ": " + reason;
        }
    }
    std::string report = fmt::format("Converted {} of {} packages into {}", summary.converted,
                                     jobs.size(), outputDirectory);
    report += converted.empty() ? "." : ":" + converted;
    if (!failed.empty())
        report += "\n\nNot converted:" + failed;
    return report;
}

int ConvertHandedPackages(FileDialogs& dialogs, const std::vector<std::string>& inputs,
                          const std::string& templateDirectory) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::kFolder;
    request.title = kOutputFolderTitle;
    request.initialDirectory = inputs.empty() ? std::string() : FolderOf(inputs.front());
    std::optional<std::string> folder = dialogs.Show(request);
    if (!folder)
        return 0;

    std::vector<BatchJob> plan = PlanBatch(inputs, *folder);
    BatchSummary summary;
    {
        BatchConsole console(stderr, IsTerminal(stderr), plan.size());
        summary = ConvertPackages(
            plan, BatchWorkerCount(0, plan.size()), console,
            [&templateDirectory](const std::string& input, const std::string& output) {
                ConvertPackage(input, output, templateDirectory, Leftovers::kSwept);
            });
        console.Finish();
    }
    std::cout << BatchSummaryLine(summary) << std::endl;
    if (summary.interruption != 0)
        throw InterruptedError(summary.interruption);  // asked for: no report
    dialogs.ShowMessage(HandedPackagesReport(plan, summary, *folder), summary.failed != 0);
    return summary.failed == 0 ? 0 : 1;
}

}  // namespace carconv
