#pragma once

// Stand-ins for the platform interfaces the run talks to: a settings store in memory, and file
// dialogs that answer from a script and record what they were asked.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/desktop_first_run.h"
#include "desktop/file_dialogs.h"
#include "platform/profile_store.h"

namespace carconv::test {

class FakeProfile : public ProfileStore {
  public:
    void SetRegistryKey(const std::string& organisation) override { key = organisation; }
    int GetProfileInt(const std::string& s, const std::string& k, int d) override {
        auto it = values.find(s + "/" + k);
        return it == values.end() ? d : it->second;
    }
    void WriteProfileInt(const std::string& s, const std::string& k, int v) override {
        values[s + "/" + k] = v;
    }
    std::string key;
    std::map<std::string, int> values;  // "section/key" -> value
};

// Answers each request with the next answer of the script (nothing, i.e. Cancel, once the script
// is used up) and records requests, errors and messages. On a "desktop" it also opens search
// windows, whose user presses `searchChoice` once `pressAfter` folders have been shown.
class ScriptedDialogs : public FileDialogs {
  public:
    explicit ScriptedDialogs(std::vector<std::optional<std::string>> answers, bool desktop = false)
        : answers_(std::move(answers)), desktop_(desktop) {}

    std::optional<std::string> Show(const FileDialogRequest& r) override {
        requests.push_back(r);
        if (next_ >= answers_.size())
            return std::nullopt;
        return answers_[next_++];
    }
    void ShowError(const std::string& message) override { errors.push_back(message); }
    void ShowMessage(const std::string& message, bool problem) override {
        messages.push_back({message, problem});
    }
    bool OnDesktop() const override { return desktop_; }
    std::unique_ptr<SearchWindow> OpenSearchWindow(const SearchWindowText& text) override {
        searchWindows.push_back(text);
        return std::make_unique<Window>(*this);
    }

    std::vector<FileDialogRequest> requests;
    std::vector<std::string> errors;
    std::vector<std::pair<std::string, bool>> messages;
    std::vector<SearchWindowText> searchWindows;  // every window opened
    std::vector<std::string> shownFolders;        // every folder a window showed
    SearchWindow::Choice searchChoice = SearchWindow::Choice::kNone;
    std::size_t pressAfter = 1;

  private:
    class Window : public SearchWindow {
      public:
        explicit Window(ScriptedDialogs& owner) : owner_(owner) {}
        Choice Update(const std::string& folder) override {
            owner_.shownFolders.push_back(folder);
            return ++updates_ >= owner_.pressAfter ? owner_.searchChoice : Choice::kNone;
        }

      private:
        ScriptedDialogs& owner_;
        std::size_t updates_ = 0;
    };

    std::vector<std::optional<std::string>> answers_;
    std::size_t next_ = 0;
    bool desktop_;
};

// A first-run check whose search has no end of its own: it reports folder after folder until the
// progress report stops it (as the search window's buttons do), so that a test can press them
// while it runs. Gives up after a minute, setting `gaveUp`.
inline TemplateCheck EndlessSearch(std::atomic<bool>& gaveUp) {
    return [&gaveUp](ProfileStore&, const std::string&, const SearchProgress& progress) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (long i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
            progress("/srv/games/folder-" + std::to_string(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        gaveUp = true;
        return false;
    };
}

}  // namespace carconv::test
