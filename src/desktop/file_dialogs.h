#pragma once

// File dialogs: the two questions the dialog-driven run asks.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "desktop/search_window.h"
#include "desktop/written_window.h"

namespace carconv {

struct FileDialogRequest {
    // kFolder asks for a folder; filter, default extension and flags do not apply to it.
    enum class Kind { kOpen, kSave, kFolder };
    Kind kind = Kind::kOpen;
    std::string title;
    // Filter text as the dialogs describe it: "Description (*.ext)|*.ext||".
    std::string filter;
    // Added, with a dot, to a name typed without an extension when saving.
    std::string defaultExtension;
    // 4: read-only check box hidden; 2: confirm before overwriting an existing file.
    unsigned flags = 0;
    // The folder the dialog opens in; empty: the toolkit's choice (on Windows the common
    // dialogs' own, elsewhere the current directory).
    std::string initialDirectory;
    // The file name the dialog proposes; empty: none.
    std::string initialName;
};

inline constexpr unsigned kHideReadOnlyFlag = 4;
inline constexpr unsigned kOverwritePromptFlag = 2;

class FileDialogs {
  public:
    virtual ~FileDialogs();
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<std::string> Show(const FileDialogRequest& request) = 0;
    // Tells the user that the run failed, in a message box on a desktop. The console dialogs
    // show nothing here: the front end prints the same text as its error line.
    virtual void ShowError(const std::string& message);
    // Tells the user how a run went, in a message box on a desktop (with a warning sign when
    // `problem`). The console dialogs show nothing: the front end prints its own lines.
    virtual void ShowMessage(const std::string& message, bool problem);
    // Whether the questions are windows on a desktop rather than lines on a terminal.
    virtual bool OnDesktop() const;
    // Opens the window shown while the first-run search runs; nothing on a terminal.
    virtual std::unique_ptr<SearchWindow> OpenSearchWindow(const SearchWindowText& text);
    // Shows what a conversion of one package wrote, in the window "V4 CAR File written", until
    // the user closes it; nothing on a terminal, where the front end's lines say it.
    virtual void ShowWritten(const WrittenReport& report);
};

// Asks on a text stream: writes the title as a prompt to `prompt` and reads one line from
// `answers`. The end of input means Cancel, and so does an empty line, except where a Save
// question proposes a name (shown in brackets after the title, in the initial folder): an empty
// line takes it. A name without an extension gets the default one, as in the dialogs (when
// opening, only when that file exists). A Save question with kOverwritePromptFlag about a name
// that is taken asks "replace it? [y/N]"; anything but y or yes, or the end of input, cancels.
// A typed answer is taken as typed, relative to the current directory.
class ConsoleFileDialogs : public FileDialogs {
  public:
    ConsoleFileDialogs(std::istream& answers, std::ostream& prompt);
    std::optional<std::string> Show(const FileDialogRequest& request) override;

  private:
    // One line without its line end, or nothing at the end of input.
    std::optional<std::string> ReadAnswer();

    std::istream& answers_;
    std::ostream& prompt_;
};

// The dialogs the dialog-driven run uses on this desktop.
std::unique_ptr<FileDialogs> MakeDesktopFileDialogs();

}  // namespace carconv
