#include "desktop/file_dialogs.h"

#include <istream>
#include <ostream>

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

std::optional<std::string> ConsoleFileDialogs::Show(const FileDialogRequest& request) {
    prompt_ << request.title << ": " << std::flush;
    std::string line;
    if (!std::getline(answers_, line)) {
        prompt_ << '\n';
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return std::nullopt;
    if (request.kind == FileDialogRequest::Kind::kSave && !request.defaultExtension.empty()) {
        std::size_t nameStart = line.find_last_of("/\\");
        nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
        if (line.find('.', nameStart) == std::string::npos)
            line += "." + request.defaultExtension;
    }
    return line;
}

}  // namespace carconv
