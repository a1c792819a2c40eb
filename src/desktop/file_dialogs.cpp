#include "desktop/file_dialogs.h"

#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

#include "desktop/dialog_filter.h"
#include "files/safe_name.h"
#include "platform/file_system.h"

namespace carconv {

FileDialogs::~FileDialogs() = default;

void FileDialogs::ShowError(const std::string&) {}

void FileDialogs::ShowMessage(const std::string&, bool) {}

bool FileDialogs::OnDesktop() const {
    return false;
}

std::unique_ptr<SearchWindow> FileDialogs::OpenSearchWindow(const SearchWindowText&) {
    return nullptr;
}

void FileDialogs::ShowWritten(const WrittenReport&) {}

ConsoleFileDialogs::ConsoleFileDialogs(std::istream& answers, std::ostream& prompt)
    : answers_(answers), prompt_(prompt) {}

namespace {

// Whether anything, even a link that leads nowhere, already carries the name `path`.
bool NameTaken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(NativePath(path), ec));
}

bool IsYes(std::string answer) {
    for (char& c : answer)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return answer == "y" || answer == "yes";
}

}  // namespace

std::optional<std::string> ConsoleFileDialogs::ReadAnswer() {
    std::string line;
    if (!std::getline(answers_, line)) {
        prompt_ << '\n';
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::optional<std::string> ConsoleFileDialogs::Show(const FileDialogRequest& request) {
    const bool save = request.kind == FileDialogRequest::Kind::kSave;
    std::string proposed;
    if (save && !request.initialName.empty()) {
        proposed = request.initialDirectory.empty()
                       ? request.initialName
                       : JoinPath(request.initialDirectory, request.initialName);
    }
    prompt_ << request.title;
    if (!proposed.empty())
        prompt_ << " [" << PrintableName(proposed) << "]";
    prompt_ << ": " << std::flush;
    std::optional<std::string> answer = ReadAnswer();
    if (!answer)
        return std::nullopt;
    std::string path = answer->empty() ? proposed : *answer;
    if (path.empty())
        return std::nullopt;

    if (save) {
        path = CompleteExtension(path, request.defaultExtension);
        if ((request.flags & kOverwritePromptFlag) != 0 && NameTaken(path)) {
            prompt_ << PrintableName(path) << " already exists; replace it? [y/N] " << std::flush;
            std::optional<std::string> replace = ReadAnswer();
            if (!replace || !IsYes(*replace))
                return std::nullopt;
        }
    } else if (request.kind == FileDialogRequest::Kind::kOpen && !NameTaken(path)) {
        // A name typed without its extension means the package of that name, as in the dialogs.
        std::string completed = CompleteExtension(path, request.defaultExtension);
        if (IsRegularFile(completed))
            path = completed;
    }
    return path;
}

}  // namespace carconv
