#include "desktop/gtk_dialogs_posix.h"

#include <gtk/gtk.h>

#include <sys/stat.h>

#include <string>

#include "desktop/dialog_filter.h"
#include "platform/file_system.h"

namespace carconv {

void FlushGtkEvents() {
    while (gtk_events_pending())
        gtk_main_iteration();
    if (GdkDisplay* display = gdk_display_get_default())
        gdk_display_sync(display);
}

namespace {

// Whether anything, even a link that leads nowhere, already carries the name `path`.
bool NameTaken(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Asks over `parent` whether the existing file `path` may be replaced.
bool ConfirmReplace(GtkWindow* parent, const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    GtkWidget* question = gtk_message_dialog_new(
        parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, "%s already exists.\nDo you want to replace it?",
        name.c_str());
    gtk_window_set_title(GTK_WINDOW(question), "Replace File");
    gtk_dialog_set_default_response(GTK_DIALOG(question), GTK_RESPONSE_NO);
    bool replace = gtk_dialog_run(GTK_DIALOG(question)) == GTK_RESPONSE_YES;
    gtk_widget_destroy(question);
    FlushGtkEvents();
    return replace;
}

void AddFilters(GtkFileChooser* chooser, const std::string& filterText) {
    for (const DialogFilterEntry& entry : ParseDialogFilter(filterText)) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, entry.name.c_str());
        for (const std::string& pattern : entry.patterns)
            gtk_file_filter_add_pattern(filter, CaseInsensitiveGlob(pattern).c_str());
        gtk_file_chooser_add_filter(chooser, filter);  // takes ownership
    }
}

class GtkFileDialogs : public FileDialogs {
  public:
    std::optional<std::string> Show(const FileDialogRequest& request) override {
        const bool save = request.kind == FileDialogRequest::Kind::kSave;
        const bool folder = request.kind == FileDialogRequest::Kind::kFolder;
        GtkFileChooserAction action = GTK_FILE_CHOOSER_ACTION_OPEN;
        const char* accept = "_Open";
        if (save) {
            action = GTK_FILE_CHOOSER_ACTION_SAVE;
            accept = "_Save";
        } else if (folder) {
            action = GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
            accept = "_Select";
        }
        GtkWidget* dialog =
            gtk_file_chooser_dialog_new(request.title.c_str(), nullptr, action, "_Cancel",
                                        GTK_RESPONSE_CANCEL, accept, GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
        gtk_file_chooser_set_local_only(chooser, TRUE);
        if (!folder)
            AddFilters(chooser, request.filter);
        // GTK would otherwise open on its list of recent files, which is empty on a fresh desktop
        // and says nothing about where a typed name goes.
        const std::string start =
            request.initialDirectory.empty() ? CurrentDirectory() : request.initialDirectory;
        gtk_file_chooser_set_current_folder(chooser, start.c_str());
        if (save && !request.initialName.empty())
            gtk_file_chooser_set_current_name(chooser, request.initialName.c_str());
        // GTK's own overwrite question would judge the name before the default extension is
        // added, so the question is asked below about the completed name instead.
        gtk_file_chooser_set_do_overwrite_confirmation(chooser, FALSE);

        std::optional<std::string> chosen;
        while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
            gchar* filename = gtk_file_chooser_get_filename(chooser);
            if (filename == nullptr)
                continue;  // nothing local was chosen: the dialog stays open
            std::string path = filename;
            g_free(filename);
            if (save) {
                path = CompleteExtension(path, request.defaultExtension);
                if ((request.flags & kOverwritePromptFlag) != 0 && NameTaken(path) &&
                    !ConfirmReplace(GTK_WINDOW(dialog), path))
                    continue;
            } else if (!folder && !NameTaken(path)) {
                // A name typed without its extension means the package of that name, as in the
                // Windows dialog; GTK hands over a name that does not exist as it was typed.
                std::string completed = CompleteExtension(path, request.defaultExtension);
                if (IsRegularFile(completed))
                    path = completed;
            }
            chosen = path;
            break;
        }
        gtk_widget_destroy(dialog);
        FlushGtkEvents();
        return chosen;
    }

    void ShowError(const std::string& message) override { ShowBox(message, GTK_MESSAGE_ERROR); }

    void ShowMessage(const std::string& message, bool problem) override {
        ShowBox(message, problem ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO);
    }

    bool OnDesktop() const override { return true; }

    std::unique_ptr<SearchWindow> OpenSearchWindow(const SearchWindowText& text) override {
        return MakeGtkSearchWindow(text);
    }

    void ShowWritten(const WrittenReport& report) override { ShowGtkWrittenWindow(report); }

  private:
    static void ShowBox(const std::string& message, GtkMessageType type) {
        GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK,
                                                "%s", message.c_str());
        gtk_window_set_title(GTK_WINDOW(box), "carconv");
        gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        FlushGtkEvents();
    }
};

}  // namespace

std::unique_ptr<FileDialogs> MakeGtkFileDialogs() {
    if (!gtk_init_check(nullptr, nullptr))
        return nullptr;
    return std::make_unique<GtkFileDialogs>();
}

}  // namespace carconv

// What the program looks up in the module. Plain C names, so that they can be found by name.
extern "C" {
__attribute__((visibility("default"))) extern const char carconv_gtk_module_version[] =
    CARCONV_MODULE_VERSION;

__attribute__((visibility("default"))) carconv::FileDialogs* carconv_gtk_file_dialogs() {
    return carconv::MakeGtkFileDialogs().release();
}
}
