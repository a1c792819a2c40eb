#include "app/desktop_first_run.h"

#include <chrono>
#include <memory>

#include "app/search_progress.h"
#include "files/errors.h"

namespace carconv {

namespace {

// Thrown through the search from its progress report when the user pressed a button in the
// search window. Not a std::exception, so that nothing on the way mistakes it for a failure.
struct SearchStopped {
    bool locate;
};

// How often the search window is brought up to date and its buttons are served: often enough
// to answer at once, seldom enough that the search does not wait for the display.
constexpr std::chrono::milliseconds kWindowInterval(40);

// Asks for the stock package until one installs or the user cancels.
bool LocateStockPackage(FileDialogs& dialogs, ProfileStore& profile,
                        const std::string& templateDirectory) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::kOpen;
    request.title = kLocateDialogTitle;
    request.filter = kLocateDialogFilter;
    request.defaultExtension = "viv";
    request.flags = kHideReadOnlyFlag;
    for (;;) {
        std::optional<std::string> chosen = dialogs.Show(request);
        if (!chosen)
            return false;
        try {
            InstallTemplatesFrom(*chosen, templateDirectory, profile);
            return true;
        } catch (const CarconvError& e) {
            dialogs.ShowError(e.what());
        }
    }
}

}  // namespace

bool DesktopFirstRunCheck(FileDialogs& dialogs, ProfileStore& profile,
                          const std::string& templateDirectory, const TemplateCheck& given) {
    const TemplateCheck check =
        given ? given
              : [](ProfileStore& store, const std::string& directory, const SearchProgress& progress) {
                    return FirstRunCheck(store, directory, progress);
                };
    if (!dialogs.OnDesktop()) {
        SearchProgressLine line;
        return check(profile, templateDirectory,
                     [&line](const std::string& folder) { line.Folder(folder); });
    }

    std::unique_ptr<SearchWindow> window;
    bool opened = false;
    std::chrono::steady_clock::time_point shown{};
    auto progress = [&](const std::string& folder) {
        const auto now = std::chrono::steady_clock::now();
        if (!opened) {
            window = dialogs.OpenSearchWindow({kSearchWindowTitle, kSearchWindowMessage});
            opened = true;
        } else if (now - shown < kWindowInterval) {
            return;
        }
        shown = now;
        if (!window)
            return;
        switch (window->Update(folder)) {
            case SearchWindow::Choice::kCancel:
                throw SearchStopped{false};
            case SearchWindow::Choice::kLocate:
                throw SearchStopped{true};
            case SearchWindow::Choice::kNone:
                break;
        }
    };

    try {
        return check(profile, templateDirectory, progress);
    } catch (const SearchStopped& stopped) {
        window.reset();
        if (!stopped.locate)
            return false;
    } catch (const StockPackageNotFound&) {
        window.reset();
    }
    return LocateStockPackage(dialogs, profile, templateDirectory);
}

}  // namespace carconv
